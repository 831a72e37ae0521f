#include "AccompanyMusic.h"

#include "AccompanyMusicOper.h"
#include "EngineLog.h"
#include "LumeoLog.h"
#include "MusicInspect.h"
#include "MusicMessages.h"

#include <mmsystem.h>

namespace {

// Ids of measurement requests: never reset, so a name asked for again after
// its measurement queues behind the ones still waiting.
int g_durationRequestCounter = 0;

bool QualifiesForMeasurement(const std::string& name)
{
    for (const char* extension : {".aac", ".AAC", ".mp3", ".MP3"})
        if (name.find(extension) != std::string::npos)
            return true;
    return false;
}

} // namespace

HWND CAccompanyMusic::Body::CreateOper()
{
    m_owner.m_oper = new CAccompanyMusicOper(&m_owner);
    return m_owner.m_oper->Hwnd();
}

void CAccompanyMusic::Body::DestroyOper()
{
    delete m_owner.m_oper;  // clears both tracks, stops the timers, releases COM
    m_owner.m_oper = nullptr;
}

CAccompanyMusic::CAccompanyMusic()
{
    m_positions.reserve(10);
    m_window.CreateMessageWindow(tq::CMessageWindow::HiddenPopup);
    m_worker.Start(&m_body);  // returns once the worker's window takes commands
}

CAccompanyMusic::~CAccompanyMusic()
{
    m_worker.Quit();
    m_window.DestroyMessageWindow();
}

int CAccompanyMusic::StartAccompanyMusic(const char* origFile, const char* kalaokFile, int playType)
{
    {
        tq::CCritSecLock lock(m_lock);
        m_playType = playType;
        m_origFileName = origFile ? origFile : "";
        m_kalaokFileName = kalaokFile ? kalaokFile : "";
    }
    LUMEO_LOG_LINE()
        .AppendNarrow("CAccompanyMusic::StartAccompanyMusic origFileName: ").AppendNarrow(origFile ? origFile : "")
        .AppendNarrow(" kalaokFileName: ").AppendNarrow(kalaokFile ? kalaokFile : "")
        .AppendNarrow("type: ").AppendInt(playType);
    m_worker.Post(WM_ACCOMPANY_START);
    m_worker.Post(WM_ACCOMPANY_SETVOLUME);
    StartCounting();
    return 0;
}

void CAccompanyMusic::SwitchPlayType(int playType)
{
    {
        tq::CCritSecLock lock(m_lock);
        m_playType = playType;
    }
    m_worker.Post(WM_ACCOMPANY_SWITCHTYPE);
}

int CAccompanyMusic::StopAccompanyMusic()
{
    m_worker.Post(WM_ACCOMPANY_STOP);
    StopCounting();
    return 0;
}

int CAccompanyMusic::PauseAccompanyMusic()
{
    m_worker.Post(WM_ACCOMPANY_PAUSE);
    StopCounting();
    return 0;
}

int CAccompanyMusic::ContinueAccompanyMusic()
{
    m_worker.Post(WM_ACCOMPANY_CONTINUE);
    StartCounting();
    return 0;
}

int CAccompanyMusic::SetPlayPosition(double fraction)
{
    {
        tq::CCritSecLock lock(m_lock);
        m_seekFraction = fraction;
    }
    m_worker.Post(WM_ACCOMPANY_SETPOSITION);
    return 0;
}

double CAccompanyMusic::GetPlayPosition()
{
    tq::CCritSecLock lock(m_lock);
    return m_lastPosition;
}

void CAccompanyMusic::SetAccompanyVolume(double volume)
{
    {
        tq::CCritSecLock lock(m_lock);
        m_volume = volume;
    }
    m_worker.Post(WM_ACCOMPANY_SETVOLUME);
}

void CAccompanyMusic::GetPreMusicDuration(const std::vector<std::string>& fileNames)
{
    {
        tq::CCritSecLock lock(m_lock);
        for (const std::string& name : fileNames) {
            if (m_pendingIndex.count(name) || !QualifiesForMeasurement(name))
                continue;
            const int id = ++g_durationRequestCounter;
            m_pendingIndex[name] = id;
            m_pending[id] = name;
            WriteLog(kLogInfo, "CAccompanyMusic::GetPreMusicDuration %s", name.c_str());
        }
    }
    m_worker.Post(WM_ACCOMPANY_QUERYDURATION);
}

void CAccompanyMusic::SetListener(IAccompanyMusicListener* listener)
{
    tq::CCritSecLock lock(m_lock);
    m_listener = listener;
}

void CAccompanyMusic::Quit()
{
    m_worker.Quit();
}

int CAccompanyMusic::GetPlayedSeconds()
{
    if (m_counting) {
        const DWORD now = timeGetTime();
        m_playedMs += now - m_countStart;
        m_countStart = now;
    }
    const DWORD played = m_playedMs < 2000 ? 0 : m_playedMs;
    m_playedMs = 0;
    return static_cast<int>(played / 1000);
}

void CAccompanyMusic::StartCounting()
{
    if (!m_counting) {
        m_counting = true;
        m_countStart = timeGetTime();
    }
}

void CAccompanyMusic::StopCounting()
{
    if (m_counting) {
        m_counting = false;
        m_playedMs += timeGetTime() - m_countStart;
    }
}

int CAccompanyMusic::GetPlayType()
{
    tq::CCritSecLock lock(m_lock);
    return m_playType;
}

std::string CAccompanyMusic::GetOrigFileName()
{
    tq::CCritSecLock lock(m_lock);
    return m_origFileName;
}

std::string CAccompanyMusic::GetKalaokFileName()
{
    tq::CCritSecLock lock(m_lock);
    return m_kalaokFileName;
}

double CAccompanyMusic::GetVolume()
{
    tq::CCritSecLock lock(m_lock);
    return m_volume;
}

double CAccompanyMusic::GetSeekFraction()
{
    tq::CCritSecLock lock(m_lock);
    return m_seekFraction;
}

std::string CAccompanyMusic::FirstPendingName()
{
    tq::CCritSecLock lock(m_lock);
    return m_pending.empty() ? std::string() : m_pending.begin()->second;
}

void CAccompanyMusic::StoreDuration(const std::string& name, double milliseconds)
{
    tq::CCritSecLock lock(m_lock);
    m_durations[name] = milliseconds;
    auto index = m_pendingIndex.find(name);
    if (index != m_pendingIndex.end()) {
        m_pending.erase(index->second);
        m_pendingIndex.erase(index);
    }
}

void CAccompanyMusic::AddPosition(double seconds)
{
    tq::CCritSecLock lock(m_lock);
    m_lastPosition = seconds;
    m_positions.push_back(seconds);
}

bool CAccompanyMusic::InspectForTest(MusicGraphReport& report)
{
    const HWND worker = m_worker.OperWindow();
    return worker && SendMessageW(worker, WM_MUSIC_INSPECT, 0, reinterpret_cast<LPARAM>(&report)) == 0 && m_worker.IsRunning();
}

bool CAccompanyMusic::Window::OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT* result)
{
    CAccompanyMusic& owner = m_owner;
    *result = 0;
    switch (message) {
    case WM_ACCOMPANY_NOTIFYSTARTED: {
        tq::CCritSecLock lock(owner.m_lock);
        if (owner.m_listener) {
            owner.m_lastPosition = 0.0;
            owner.m_positions.clear();
            owner.m_listener->OnAccompanyPosition(0.0);
        }
        return true;
    }
    case WM_ACCOMPANY_NOTIFYDURATION: {
        std::map<std::string, double> durations;
        IAccompanyMusicListener* listener = nullptr;
        {
            tq::CCritSecLock lock(owner.m_lock);
            durations = owner.m_durations;
            listener = owner.m_listener;
        }
        if (listener)
            for (const auto& entry : durations)
                listener->OnAccompanyDuration(entry.first.c_str(), entry.second);
        return true;
    }
    case WM_ACCOMPANY_NOTIFYEND: {
        owner.StopCounting();
        IAccompanyMusicListener* listener = nullptr;
        {
            tq::CCritSecLock lock(owner.m_lock);
            listener = owner.m_listener;
        }
        if (listener)
            listener->OnAccompanyEnd();
        return true;
    }
    case WM_ACCOMPANY_NOTIFYPOSITION: {
        std::vector<double> positions;
        IAccompanyMusicListener* listener = nullptr;
        {
            tq::CCritSecLock lock(owner.m_lock);
            positions.swap(owner.m_positions);
            owner.m_positions.reserve(10);
            listener = owner.m_listener;
        }
        if (listener)
            for (double p : positions)
                listener->OnAccompanyPosition(p);
        return true;
    }
    default:
        return false;
    }
}
