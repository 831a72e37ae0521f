#include "EnhanceVideo.h"

namespace {
const int kInterfaceVersion = 20130401;
}

CEnhanceVideo::CEnhanceVideo()
{
    InitializeCriticalSection(&m_lock);
    if (vpGetInterface(0, &m_instance) && m_instance) {
        m_instance->SetSink(this);
        m_instance->Init(kInterfaceVersion);
    } else {
        m_instance = nullptr;
    }
}

CEnhanceVideo::~CEnhanceVideo()
{
    // Ends the benchmark thread before the sink goes away.
    vpFreeInstance(m_instance);
    m_instance = nullptr;
    DeleteCriticalSection(&m_lock);
}

void CEnhanceVideo::SetGpuStateHandler(GpuStateHandler handler)
{
    // Calls happen under the lock, so once a null handler is set no call is
    // left running.
    EnterCriticalSection(&m_lock);
    m_handler = handler;
    if (m_handler && m_verdict != 0)
        m_handler(m_verdict == 1);
    LeaveCriticalSection(&m_lock);
}

void CEnhanceVideo::DeletingDestructor(unsigned flags)
{
    if (flags & 1)
        delete this;
    else
        this->~CEnhanceVideo();
}

void CEnhanceVideo::OnState(bool gpuUseless, int, int)
{
    EnterCriticalSection(&m_lock);
    m_verdict = gpuUseless ? 1 : 2;
    if (m_handler)
        m_handler(gpuUseless);
    LeaveCriticalSection(&m_lock);
}

bool CEnhanceVideo::ProcessFrame(uint8_t* pixels, int width, int height, int stride)
{
    return m_instance ? m_instance->ProcessFrame(pixels, width, height, stride) : false;
}

bool CEnhanceVideo::IsSmoothEnabled()
{
    return m_instance ? m_instance->GetSmoothEnabled() : false;
}

void CEnhanceVideo::SetSmoothEnabled(bool enabled)
{
    if (m_instance)
        m_instance->SetSmoothEnabled(enabled);
}

void CEnhanceVideo::SetAutoMode(bool enabled)
{
    if (m_instance)
        m_instance->SetAutoMode(enabled);
}

void CEnhanceVideo::SetSmoothStrength(int percent)
{
    if (m_instance)
        m_instance->SetSmoothStrength(percent);
}

void CEnhanceVideo::SetSmoothMix(int percent)
{
    if (m_instance)
        m_instance->SetSmoothMix(percent);
}

bool CEnhanceVideo::IsReady()
{
    return m_instance ? m_instance->IsReady() : false;
}
