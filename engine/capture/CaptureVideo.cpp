#include "CaptureVideo.h"
#include "CaptureLog.h"
#include "CaptureMessages.h"
#include "CaptureVideoOper.h"

#include <dbt.h>
#include <mmsystem.h>

#include <vector>

// Hands a preview to the manager (ManagerHandOff.cpp).
void HandPreviewToManager(VcamManger* manager, const uint8_t* preview, uint32_t timeMs);

CCaptureVideo::CCaptureVideo()
{
    m_window.CreateMessageWindow(tq::CMessageWindow::HiddenPopup);
    m_worker.Start(&m_body, THREAD_PRIORITY_ABOVE_NORMAL);
}

CCaptureVideo::~CCaptureVideo()
{
    m_worker.Quit();
    m_window.DestroyMessageWindow();
}

HWND CCaptureVideo::Body::CreateOper()
{
    auto* oper = new CCaptureVideoOper(&m_owner);
    m_owner.m_oper = oper;
    return oper->Hwnd();
}

void CCaptureVideo::Body::DestroyOper()
{
    // The UI thread waits in Quit meanwhile, so nothing reads m_oper now.
    CCaptureVideoOper* oper = m_owner.m_oper;
    m_owner.m_oper = nullptr;
    if (oper) {
        oper->Clear();
        delete oper;
    }
}

bool CCaptureVideo::Window::OnWindowMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result)
{
    switch (message) {
    case WM_CAPTURE_NOTIFYLISTENER:
        if (m_owner.m_listener)
            m_owner.m_listener->OnDeviceListChanged();
        break;
    case WM_CAPTURE_OPENRESULT:
        m_owner.OnOpenResult();
        break;
    case WM_CAPTURE_DEVICECHANGE:
        m_owner.OnDeviceChange(wParam);
        break;
    default:
        return false;
    }
    *result = 0;
    return true;
}

void CCaptureVideo::Quit()
{
    m_worker.Quit();
}

int CCaptureVideo::Init(const char* cameraName, HWND ownerWindow)
{
    if (!cameraName || !*cameraName)
        return 0;
    tq::CCritSecLock lock(m_lock);
    m_cameraName = cameraName;
    m_ownerWindow = ownerWindow;
    CaptureWriteLog(1, "CCaptureVideo::Init name %s", cameraName);
    m_worker.Post(WM_CAPTURE_SETCONF);
    m_worker.Post(WM_CAPTURE_INIT);
    m_running = false;
    m_usageStart = timeGetTime();
    return 0;
}

int CCaptureVideo::EnumDevices()
{
    m_worker.Post(WM_CAPTURE_ENUMDEVICES);
    return 0;
}

void CCaptureVideo::GetDeviceLists(std::vector<std::string>& pnpDevices, std::vector<std::string>& otherDevices)
{
    tq::CCritSecLock lock(m_lock);
    pnpDevices = m_pnpDevices;
    otherDevices = m_otherDevices;
}

bool CCaptureVideo::DeviceHasAudio(const char* name)
{
    tq::CCritSecLock lock(m_lock);
    auto found = m_devices.find(name ? name : "");
    return found != m_devices.end() && found->second.hasAudio;
}

void CCaptureVideo::StopUsageClock()
{
    if (m_running) {
        m_usageMs += timeGetTime() - m_usageStart;
        m_running = false;
    }
}

int CCaptureVideo::StopCaptureVideo(uint32_t)
{
    CaptureWriteLog(1, "CCaptureVideo::StopCaptureVideo");
    {
        tq::CCritSecLock lock(m_lock);
        m_cameraName.clear();
        StopUsageClock();
    }
    return m_worker.Post(WM_CAPTURE_STOP) ? 1 : 0;
}

void CCaptureVideo::Pause()
{
    m_worker.Post(WM_CAPTURE_PAUSE);
}

void CCaptureVideo::Continue()
{
    m_worker.Post(WM_CAPTURE_CONTINUE);
}

void CCaptureVideo::Snapshot(bool take)
{
    if (!take || !m_oper || !m_snapshotSink)
        return;
    std::vector<uint8_t> copy(kCapturePreviewBytes);
    m_oper->CopyPreview(copy.data());
    m_snapshotSink->OnSnapshot(copy.data(), uint32_t(copy.size()));
}

void CCaptureVideo::SetSnapshotSink(ISnapshotSink* sink)
{
    m_snapshotSink = sink;
}

void CCaptureVideo::ShowPropertyPage()
{
    m_worker.Post(WM_CAPTURE_PROPERTYPAGE);
}

void CCaptureVideo::SetListener(ICaptureVideoListener* listener)
{
    m_listener = listener;
}

uint32_t CCaptureVideo::GetPlayedSeconds()
{
    tq::CCritSecLock lock(m_lock);
    if (m_running) {
        const DWORD now = timeGetTime();
        m_usageMs += now - m_usageStart;
        m_usageStart = now;
    }
    const uint32_t seconds = m_usageMs < 2000 ? 0 : m_usageMs / 1000;
    m_usageMs = 0;
    return seconds;
}

void CCaptureVideo::SetOpenAudio(bool open)
{
    bool reopen = false;
    {
        tq::CCritSecLock lock(m_lock);
        reopen = m_running && open != m_openAudio;
        m_openAudio = open;
    }
    m_worker.Post(WM_CAPTURE_SETCONF);
    if (reopen)
        m_worker.Post(WM_CAPTURE_REOPEN);
    CaptureWriteLog(1, "CCaptureVideo::SetOpenAudio %s", open ? "open" : "not open");
}

bool CCaptureVideo::IsRunning()
{
    tq::CCritSecLock lock(m_lock);
    return m_running;
}

void CCaptureVideo::CaptureSizeFor(int outWidth, int outHeight, int& captureWidth, int& captureHeight)
{
    if ((outWidth == 480 && outHeight == 360) || (outWidth == 400 && outHeight == 300)) {
        captureWidth = 640;
        captureHeight = 480;
    } else {
        captureWidth = outWidth;
        captureHeight = outHeight;
    }
}

void CCaptureVideo::ReopenCapture(int width, int height, int frameTime)
{
    bool sizeChanged = false;
    int captureWidth, captureHeight, framesPerSecond;
    {
        tq::CCritSecLock lock(m_lock);
        if (!m_running)
            return;
        CaptureSizeFor(width, height, captureWidth, captureHeight);
        sizeChanged = captureWidth != m_captureWidth || captureHeight != m_captureHeight;
        m_captureWidth = captureWidth;
        m_captureHeight = captureHeight;
        // Kept even when the capture size stays, so the next SETCONF does not undo it.
        m_outWidth = width;
        m_outHeight = height;
        if (frameTime > 0)
            m_framesPerSecond = 10000000 / frameTime;
        framesPerSecond = m_framesPerSecond;
    }
    // One lock at a time: the worker's lock is never taken under the public one.
    if (m_oper)
        m_oper->SetOutputSize(width, height);
    CaptureLogLine("CCaptureVideo::ReopenCapture height=" + std::to_string(captureHeight) +
                   ",width=" + std::to_string(captureWidth) + ",frameRate=" + std::to_string(framesPerSecond));
    m_worker.Post(WM_CAPTURE_SETCONF);
    if (sizeChanged)
        m_worker.Post(WM_CAPTURE_REOPEN);
}

void CCaptureVideo::SetFrameTime(int frameTime)
{
    if (frameTime <= 0)
        return;
    tq::CCritSecLock lock(m_lock);
    m_framesPerSecond = 10000000 / frameTime;
}

void CCaptureVideo::SetOutWidthAndHeight(int width, int height)
{
    tq::CCritSecLock lock(m_lock);
    CaptureSizeFor(width, height, m_captureWidth, m_captureHeight);
    m_outWidth = width;
    m_outHeight = height;
    CaptureWriteLog(1, "CCaptureVideo::SetOutWidthAndHeight height %u width %u widthSample %u heightSample %u",
                    unsigned(height), unsigned(width), unsigned(m_captureHeight), unsigned(m_captureWidth));
}

CaptureSettings CCaptureVideo::GetSettings()
{
    tq::CCritSecLock lock(m_lock);
    CaptureSettings settings;
    settings.ownerWindow = m_ownerWindow;
    settings.cameraName = m_cameraName;
    settings.captureWidth = m_captureWidth;
    settings.captureHeight = m_captureHeight;
    settings.framesPerSecond = m_framesPerSecond > 0 ? m_framesPerSecond : 1;
    settings.outWidth = m_outWidth;
    settings.outHeight = m_outHeight;
    settings.openAudio = m_openAudio;
    return settings;
}

void CCaptureVideo::SetDeviceLists(const std::vector<std::string>& pnpDevices,
                                   const std::vector<std::string>& otherDevices)
{
    tq::CCritSecLock lock(m_lock);
    m_pnpDevices = pnpDevices;
    m_otherDevices = otherDevices;
}

void CCaptureVideo::SetDeviceMap(const CaptureDeviceMap& devices)
{
    tq::CCritSecLock lock(m_lock);
    m_devices = devices;
}

void CCaptureVideo::SetOpenResult(const std::string& name, int result)
{
    tq::CCritSecLock lock(m_lock);
    m_openResults.clear();
    if (!name.empty()) {
        m_openResults[name] = result;
        CaptureWriteLog(1, "setOpenCaptureResult name %s res %d", name.c_str(), result);
    }
}

void CCaptureVideo::OnOpenResult()
{
    bool failed = false;
    {
        tq::CCritSecLock lock(m_lock);
        for (const auto& entry : m_openResults) {
            if (entry.first != m_cameraName)
                continue;
            if (entry.second != 0) {
                m_cameraName.clear();
                StopUsageClock();  // a failed reopen leaves nothing running
                failed = true;
            } else {
                m_running = true;
            }
        }
        m_openResults.clear();
    }
    // Outside the lock: the listener may call back, even Quit.
    if (failed && m_listener)
        m_listener->OnOpenFailed();
}

void CCaptureVideo::OnDeviceChange(WPARAM eventCode)
{
    m_worker.Post(WM_CAPTURE_ENUMDEVICES);
    m_lastDeviceChange = eventCode == DBT_DEVICEARRIVAL ? 1 : 2;
    if (m_listener)
        m_listener->OnDeviceChange(m_lastDeviceChange);
}

void CCaptureVideo::HandOverPreview(const uint8_t* preview, uint32_t timeMs)
{
    if (VcamManger* manager = m_manager.load())
        HandPreviewToManager(manager, preview, timeMs);
}
