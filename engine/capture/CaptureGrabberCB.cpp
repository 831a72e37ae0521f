#include "CaptureGrabberCB.h"
#include "CaptureMessages.h"
#include "CaptureVideoOper.h"

#include <mmsystem.h>

#include <cstring>

HRESULT STDMETHODCALLTYPE CCaptureGrabberCB::QueryInterface(REFIID riid, void** ppv)
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

HRESULT STDMETHODCALLTYPE CCaptureGrabberCB::BufferCB(double, BYTE* buffer, LONG length)
{
    const uint32_t arrival = timeGetTime();
    bool first = false;
    {
        tq::CCritSecLock lock(m_lock);
        const size_t size = (buffer && length > 0) ? size_t(length) : 0;
        if (m_sample.size() < size)
            m_sample.assign(size, 0);  // grows only when a larger sample arrives
        if (size)
            memcpy(m_sample.data(), buffer, size);
        m_length = size;
        m_arrivalMs = arrival;
        first = m_firstSample;
        m_firstSample = false;
    }
    if (first)
        PostMessageW(m_oper->Hwnd(), WM_CAPTURE_GOTPICTURE, 0, 0);
    return 0;
}

void CCaptureGrabberCB::Reset()
{
    tq::CCritSecLock lock(m_lock);
    m_sample.clear();
    m_sample.shrink_to_fit();
    m_length = 0;
    m_firstSample = true;
}

bool CCaptureGrabberCB::CopyLatest(std::vector<uint8_t>& buffer, size_t& length, uint32_t& arrivalMs)
{
    tq::CCritSecLock lock(m_lock);
    if (m_firstSample)
        return false;
    if (buffer.size() < m_length)
        buffer.assign(m_length, 0);
    if (m_length)
        memcpy(buffer.data(), m_sample.data(), m_length);
    length = m_length;
    arrivalMs = m_arrivalMs;
    return true;
}
