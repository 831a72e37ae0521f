#include "MediaGrabberCB.h"
#include "MediaMessages.h"

#include <mmsystem.h>
#include <uuids.h>

#include <cstring>

MediaPictureFormat::MediaPictureFormat() : subtype(MEDIASUBTYPE_RGB24) {}

HRESULT STDMETHODCALLTYPE CMediaGrabberCB::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_ISampleGrabberCB || riid == IID_IUnknown) {
        *ppv = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CMediaGrabberCB::BufferCB(double, BYTE* buffer, LONG length)
{
    const uint32_t arrival = timeGetTime();
    bool first = false;
    {
        tq::CCritSecLock lock(m_lock);
        const size_t size = (buffer && length > 0) ? size_t(length) : 0;
        if (m_sample.size() < size)
            m_sample.resize(size);  // grows only when a longer sample arrives
        if (size)
            memcpy(m_sample.data(), buffer, size);
        m_length = size;
        m_arrivalMs = arrival;
        m_held = true;
        m_sampleFormat = m_format;
        first = m_firstSample;
        m_firstSample = false;
    }
    if (first && m_workerWindow && *m_workerWindow)
        PostMessageW(*m_workerWindow, WM_MEDIA_GOTPICTURE, 0, 0);
    return 0;
}

void CMediaGrabberCB::SetFormat(const MediaPictureFormat& format)
{
    tq::CCritSecLock lock(m_lock);
    m_format = format;
}

void CMediaGrabberCB::Reset()
{
    tq::CCritSecLock lock(m_lock);
    m_sample.clear();
    m_sample.shrink_to_fit();
    m_length = 0;
    m_held = false;
    m_firstSample = true;
}

bool CMediaGrabberCB::TakeSample(std::vector<uint8_t>& buffer, uint32_t& lastTaken, MediaSampleCopy& copy)
{
    tq::CCritSecLock lock(m_lock);
    if (!m_held || !(int32_t(lastTaken - m_arrivalMs) < 0))
        return false;
    if (buffer.size() < m_length)
        buffer.resize(m_length);
    if (m_length)
        memcpy(buffer.data(), m_sample.data(), m_length);
    copy.length = m_length;
    copy.arrivalMs = m_arrivalMs;
    copy.format = m_sampleFormat;
    lastTaken = m_arrivalMs;
    return true;
}
