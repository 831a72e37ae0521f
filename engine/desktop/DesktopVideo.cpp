#include "DesktopVideo.h"
#include "DesktopMessages.h"
#include "DesktopVideoOper.h"
#include "ManagerLog.h"
#include "SourceOutputSize.h"

#include <mmsystem.h>

// Hands a preview to the manager (DesktopHandOff.cpp).
void HandDesktopPreviewToManager(VcamManger* manager, const uint8_t* preview, uint32_t timeMs);

CDesktopVideo::CDesktopVideo()
{
    m_window.CreateMessageWindow(tq::CMessageWindow::HiddenPopup);
    m_worker.Start(&m_body, THREAD_PRIORITY_ABOVE_NORMAL);
}

CDesktopVideo::~CDesktopVideo()
{
    m_worker.Quit();
    m_window.DestroyMessageWindow();
}

DWORD CDesktopVideo::DefaultClock()
{
    return timeGetTime();
}

HWND CDesktopVideo::Body::CreateOper()
{
    auto* oper = new CDesktopVideoOper(&m_owner);
    m_owner.m_oper = oper;
    return oper->Hwnd();
}

void CDesktopVideo::Body::DestroyOper()
{
    CDesktopVideoOper* oper = m_owner.m_oper;
    m_owner.m_oper = nullptr;
    delete oper;  // kills a running timer and frees the buffers
}

bool CDesktopVideo::Window::OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT* result)
{
    switch (message) {
    case WM_DESKTOP_STOPPED:
        m_owner.OnStopped();
        break;
    case WM_DESKTOP_STARTED: {
        tq::CCritSecLock lock(m_owner.m_lock);
        m_owner.m_running = true;
        break;
    }
    default:
        return false;
    }
    *result = 0;
    return true;
}

void CDesktopVideo::OnStopped()
{
    {
        tq::CCritSecLock lock(m_lock);
        StopUsageClock();
    }
    if (m_listener)
        m_listener->OnDesktopStopped();
}

void CDesktopVideo::StopUsageClock()
{
    if (m_running) {
        m_running = false;
        m_usageMs += m_clock() - m_usageStart;
    }
}

void CDesktopVideo::Quit()
{
    m_worker.Quit();
}

void CDesktopVideo::Stop(uint32_t)
{
    bool wasRunning;
    {
        tq::CCritSecLock lock(m_lock);
        wasRunning = m_running;
        StopUsageClock();
    }
    if (wasRunning)
        m_worker.Post(WM_DESKTOP_STOP);
}

void CDesktopVideo::Start(HWND window, uint32_t secondValue, uint32_t mode)
{
    {
        tq::CCritSecLock lock(m_lock);
        m_captureWindow = window;
        m_secondValue = secondValue;
        m_mode = mode;
        m_running = true;
        m_usageStart = m_clock();
    }
    m_worker.Post(WM_DESKTOP_CONF);
    m_worker.Post(WM_DESKTOP_START);
}

void CDesktopVideo::SetListener(IDesktopVideoListener* listener)
{
    m_listener = listener;
}

uint32_t CDesktopVideo::GetPlayedSeconds()
{
    tq::CCritSecLock lock(m_lock);
    if (m_running) {
        const DWORD now = m_clock();
        m_usageMs += now - m_usageStart;
        m_usageStart = now;
    }
    const uint32_t seconds = m_usageMs < 2000 ? 0 : m_usageMs / 1000;
    m_usageMs = 0;
    return seconds;
}

bool CDesktopVideo::IsRunning()
{
    tq::CCritSecLock lock(m_lock);
    return m_running;
}

DesktopCursorMark* CDesktopVideo::GetCursorMark(DesktopCursorMark* out)
{
    if (out) {
        tq::CCritSecLock lock(m_lock);
        *out = m_mark;
    }
    return out;
}

void CDesktopVideo::SetCursorMark(const DesktopCursorMark* mark)
{
    if (!mark)
        return;
    tq::CCritSecLock lock(m_lock);
    m_mark = *mark;
}

int CDesktopVideo::ReopenDesktop(int, int, int frameTime)
{
    {
        tq::CCritSecLock lock(m_lock);
        if (!m_running)
            return 1;
        const int ms = frameTime / 10000;
        m_interval = ms < 66 ? (ms > 0 ? ms : 1) : 66;
    }
    ++m_reopenCount;
    m_worker.Post(WM_DESKTOP_REOPEN);
    return 0;
}

void CDesktopVideo::SetFrameTime(int frameTime)
{
    {
        tq::CCritSecLock lock(m_lock);
        const int ms = frameTime / 10000;
        m_interval = ms > 0 ? ms : 1;  // a zero interval would make SetTimer's minimum meaningless
    }
    m_worker.Post(WM_DESKTOP_CONF);
}

void CDesktopVideo::SetOutWidthAndHeight(int width, int height)
{
    {
        tq::CCritSecLock lock(m_lock);
        tq::ChooseSourceOutputSize(width, height, m_outWidth, m_outHeight);
    }
    m_worker.Post(WM_DESKTOP_CONF);
}

DesktopSettings CDesktopVideo::GetSettings()
{
    tq::CCritSecLock lock(m_lock);
    DesktopSettings settings;
    settings.window = m_captureWindow;
    settings.secondValue = m_secondValue;
    settings.mode = m_mode;
    settings.interval = m_interval;
    settings.outWidth = m_outWidth;
    settings.outHeight = m_outHeight;
    settings.mark = m_mark;
    return settings;
}

void CDesktopVideo::HandOverPreview(const uint8_t* preview, uint32_t timeMs)
{
    if (VcamManger* manager = m_manager.load())
        HandDesktopPreviewToManager(manager, preview, timeMs);
}

DesktopCaptureRect CDesktopVideo::LastRectForTesting()
{
    return m_oper ? m_oper->LastRect() : DesktopCaptureRect();
}
