#include "MediaVideo.h"
#include "MediaLog.h"
#include "MediaMessages.h"
#include "MediaVideoOper.h"
#include "SourceOutputSize.h"

#include <mmsystem.h>


// The manager calls of this source (MediaHandOff.cpp).
void HandMediaPreviewToManager(VcamManger* manager, const uint8_t* preview, uint32_t timeMs);
void StopManagerBackgroundVideo(VcamManger* manager);

CMediaVideo::CMediaVideo()
{
    m_window.CreateMessageWindow(tq::CMessageWindow::HiddenPopup);
    m_worker.Start(&m_body, THREAD_PRIORITY_ABOVE_NORMAL);
}

CMediaVideo::~CMediaVideo()
{
    m_worker.Quit();
    m_window.DestroyMessageWindow();
}

DWORD CMediaVideo::DefaultClock()
{
    return timeGetTime();
}

HWND CMediaVideo::Body::CreateOper()
{
    auto* oper = new CMediaVideoOper(&m_owner);
    m_owner.m_oper = oper;
    return oper->Hwnd();
}

void CMediaVideo::Body::DestroyOper()
{
    // Quit waits for this thread meanwhile; Snapshot reads m_oper only on the UI thread.
    CMediaVideoOper* oper = m_owner.m_oper.exchange(nullptr);
    if (oper) {
        oper->Clear();
        delete oper;
    }
}

bool CMediaVideo::Window::OnWindowMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result)
{
    switch (message) {
    case WM_MEDIA_NOTIFYPROGRESS:
        if (m_owner.m_listener)
            m_owner.m_listener->OnMediaProgress(double(unsigned(wParam)) / 100.0);
        break;
    case WM_MEDIA_NOTIFYOPEN:
        m_owner.OnOpenReport(wParam);
        break;
    case WM_MEDIA_NOTIFYEND:
        m_owner.OnEndReport();
        break;
    case WM_MEDIA_NOTIFYDURATION:
        m_owner.OnDurationReport();
        break;
    case WM_MEDIA_NOTIFYSTOPPED:
        break;
    default:
        return false;
    }
    *result = 0;
    return true;
}

void CMediaVideo::Quit()
{
    m_worker.Quit();
}

int CMediaVideo::Init(const char* fileName, int flag)
{
    if (!fileName || !*fileName)
        return 0;
    {
        tq::CCritSecLock lock(m_lock);
        m_initFlag = flag;
        m_fileName = fileName;
        m_worker.Post(WM_MEDIA_INIT);
    }
    StopManagerBackground();
    m_playing = false;
    m_playStart = m_clock();
    MediaWriteLog("CMediaVideo::Init %s", fileName);
    return 0;
}

void CMediaVideo::StopPlayClock()
{
    if (m_playing) {
        m_playing = false;
        m_playedMs += m_clock() - m_playStart;
    }
}

int CMediaVideo::StopMediaVideo()
{
    {
        tq::CCritSecLock lock(m_lock);
        m_fileName.clear();
    }
    m_worker.Post(WM_MEDIA_STOP);
    StopPlayClock();
    MediaWriteLog("CMediaVideo::StopMediaVideo");
    return 0;
}

void CMediaVideo::Pause()
{
    m_worker.Post(WM_MEDIA_PAUSE);
}

void CMediaVideo::Continue()
{
    m_worker.Post(WM_MEDIA_CONTINUE);
}

void CMediaVideo::SetVolume(double volume)
{
    {
        tq::CCritSecLock lock(m_lock);
        m_volume = volume;
    }
    m_worker.Post(WM_MEDIA_SETVOLUME);
}

void CMediaVideo::Snapshot(bool take)
{
    CMediaVideoOper* oper = m_oper.load();
    if (!take || !oper || !m_snapshotSink)
        return;
    std::vector<uint8_t> copy(kMediaPreviewBytes);
    oper->CopyPreview(copy.data());
    m_snapshotSink->OnSnapshot(copy.data(), uint32_t(copy.size()));
}

void CMediaVideo::SetSnapshotSink(ISnapshotSink* sink)
{
    m_snapshotSink = sink;
}

bool CMediaVideo::SetPosition(double milliseconds)
{
    {
        tq::CCritSecLock lock(m_lock);
        m_position = milliseconds;
    }
    m_worker.Post(WM_MEDIA_SETPOSITION);
    return true;
}

void CMediaVideo::SetListener(IMediaVideoListener* listener)
{
    m_listener = listener;
}

void CMediaVideo::GetPreMediaDuration(const std::vector<std::string>& fileNames)
{
    {
        tq::CCritSecLock lock(m_lock);
        for (const std::string& name : fileNames) {
            if (m_durations.Add(name))
                MediaWriteLog("CMediaVideo::GetPreMediaDuration %s", name.c_str());
        }
    }
    m_worker.Post(WM_MEDIA_STARTPROGRESS);
}

int CMediaVideo::GetPlayedSeconds()
{
    if (m_playing) {
        const DWORD now = m_clock();
        m_playedMs += now - m_playStart;
        m_playStart = now;
    }
    const int seconds = m_playedMs < 2000 ? 0 : int(m_playedMs / 1000);
    m_playedMs = 0;
    return seconds;
}

bool CMediaVideo::IsPlaying()
{
    return m_playing;
}

void CMediaVideo::ReopenMedia(int, int, int frameTime)
{
    ++m_reopenCount;
    SetFrameTime(frameTime);
}

void CMediaVideo::SetFrameTime(int frameTime)
{
    {
        tq::CCritSecLock lock(m_lock);
        const int ms = frameTime / 10000;
        // A frame time under 1 ms would stop the picture timer's arithmetic.
        m_perFrameTime = ms < 66 ? (ms > 0 ? ms : 1) : 66;
    }
    m_worker.Post(WM_MEDIA_SETCONF);
}

void CMediaVideo::SetOutWidthAndHeight(int width, int height)
{
    {
        tq::CCritSecLock lock(m_lock);
        tq::ChooseSourceOutputSize(width, height, m_outWidth, m_outHeight);
    }
    m_worker.Post(WM_MEDIA_SETCONF);
}

MediaSettings CMediaVideo::GetSettings()
{
    tq::CCritSecLock lock(m_lock);
    MediaSettings settings;
    settings.fileName = m_fileName;
    settings.initFlag = m_initFlag;
    settings.perFrameTime = m_perFrameTime;
    settings.outWidth = m_outWidth;
    settings.outHeight = m_outHeight;
    settings.volume = m_volume;
    settings.position = m_position;
    return settings;
}

int CMediaVideo::GetPerFrameTime()
{
    tq::CCritSecLock lock(m_lock);
    return m_perFrameTime;
}

std::string CMediaVideo::TakePendingName()
{
    tq::CCritSecLock lock(m_lock);
    return m_durations.TakeNext();
}

void CMediaVideo::StoreDuration(const std::string& name, double milliseconds)
{
    tq::CCritSecLock lock(m_lock);
    m_durations.Store(name, milliseconds);
}

std::map<std::string, double> CMediaVideo::Durations()
{
    tq::CCritSecLock lock(m_lock);
    return m_durations.Durations();
}

void CMediaVideo::StopManagerBackground()
{
    if (VcamManger* manager = m_manager.load())
        StopManagerBackgroundVideo(manager);
}

void CMediaVideo::OnOpenReport(WPARAM failed)
{
    if (!failed) {
        // A start the host stopped before its report arrived is not playing.
        tq::CCritSecLock lock(m_lock);
        m_playing = !m_fileName.empty();
        return;
    }
    m_playing = false;
    {
        tq::CCritSecLock lock(m_lock);
        m_fileName.clear();
    }
    StopManagerBackground();
    if (m_listener)
        m_listener->OnMediaOpenFailed();
}

void CMediaVideo::OnEndReport()
{
    {
        tq::CCritSecLock lock(m_lock);
        m_fileName.clear();
    }
    StopPlayClock();
    if (m_listener)
        m_listener->OnMediaEnd();
}

void CMediaVideo::OnDurationReport()
{
    const std::map<std::string, double> durations = Durations();
    if (!m_listener)
        return;
    for (const auto& entry : durations)
        m_listener->OnMediaDuration(entry.first.c_str(), entry.second);
}

void CMediaVideo::HandOverPreview(const uint8_t* preview, uint32_t timeMs)
{
    if (VcamManger* manager = m_manager.load())
        HandMediaPreviewToManager(manager, preview, timeMs);
}
