#include "AccompanyMusicOper.h"

#include "AccompanyMusic.h"
#include "ComPtr.h"
#include "EngineLog.h"
#include "FrameProtocol.h"
#include "GraphHelpers.h"
#include "LumeoLog.h"
#include "MusicInspect.h"
#include "MusicMessages.h"
#include "ShareHandle.h"
#include "VolumeTable.h"

#include <cmath>

using tq::AudioTrack;
using tq::ComPtr;

namespace {

const GUID kFilterGraph = {0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID kAsyncReader = {0xE436EBB5, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

CLogLine AccompanyLine(const char* function, int line)
{
    return CLogLine(kLumeoLogModule, kLumeoLogLevel, "AccompanyMusic", static_cast<unsigned short>(line), function);
}
#define ACCOMPANY_LINE() AccompanyLine(__FUNCTION__, __LINE__)

CAccompanyMusic::SetTimerFn g_setTimer = nullptr;
CAccompanyMusic::KillTimerFn g_killTimer = nullptr;
CAccompanyMusic::TrackRunningFn g_trackRunning = nullptr;

UINT_PTR StartTimer(UINT milliseconds, tq::ITimerCallback* callback)
{
    return g_setTimer ? g_setTimer(milliseconds, callback) : tq::SetThreadTimer(milliseconds, callback);
}

void StopTimer(UINT_PTR id)
{
    if (!id)
        return;
    if (g_killTimer)
        g_killTimer(id);
    else
        tq::KillThreadTimer(id);
}

} // namespace

void CAccompanyMusic::SetTimerFunctionsForTest(SetTimerFn set, KillTimerFn kill)
{
    g_setTimer = set;
    g_killTimer = kill;
}

void CAccompanyMusic::SetTrackRunningHookForTest(TrackRunningFn hook)
{
    g_trackRunning = hook;
}

CAccompanyMusicOper::CAccompanyMusicOper(CAccompanyMusic* owner) : m_owner(owner)
{
    CreateMessageWindow(MessageOnly);
}

CAccompanyMusicOper::~CAccompanyMusicOper()
{
    Shutdown();
    DestroyMessageWindow();
}

void CAccompanyMusicOper::Shutdown()
{
    tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
    ClearUp(Orig);
    ClearUp(Kalaok);
    StopPositionTimer();
    StopTimer(m_durationTimer);
    m_durationTimer = 0;
    if (m_durationGraph)
        tq::RemoveAllFilters(m_durationGraph.Get());
    m_durationGraph.Release();
}

bool CAccompanyMusicOper::OnWindowMessage(UINT message, WPARAM, LPARAM lParam, LRESULT* result)
{
    *result = 0;
    switch (message) {
    case WM_ACCOMPANY_START: OnStartAccompanyMusic(); return true;
    case WM_ACCOMPANY_STOP: OnStopAccompanyMusic(); return true;
    case WM_ACCOMPANY_PAUSE: OnPauseAccompanyMusic(); return true;
    case WM_ACCOMPANY_CONTINUE: OnContinueAccompanyMusic(); return true;
    case WM_ACCOMPANY_SETVOLUME: OnSetAccompanyVolume(); return true;
    case WM_ACCOMPANY_QUERYDURATION: StartDurationTimer(); return true;
    case WM_ACCOMPANY_SETPOSITION: OnSetPlayPosition(); return true;
    case WM_ACCOMPANY_SWITCHTYPE: OnSwitchPlayType(); return true;
    case tq::WM_ACCOMPANYMUSIORIGNOTIFY: OnTrackNotify(Orig); return true;
    case tq::WM_ACCOMPANY_KALAOKNOTIFY: OnTrackNotify(Kalaok); return true;
    case WM_MUSIC_INSPECT: Inspect(*reinterpret_cast<MusicGraphReport*>(lParam)); return true;
    default: return false;
    }
}

void CAccompanyMusicOper::OnStartAccompanyMusic()
{
    tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
    if (!m_owner) {
        ACCOMPANY_LINE().AppendNarrow("CAccompanyMusicOper::OnStartAccompanyMusic NULL");
        return;
    }
    m_playType = m_owner->GetPlayType();
    ClearUp(Orig);
    ClearUp(Kalaok);
    StopPositionTimer();
    StartTrack(Orig);
    StartTrack(Kalaok);
    PauseTrack(m_playType == 1 ? Kalaok : Orig);
    m_owner->PostToPublic(WM_ACCOMPANY_NOTIFYSTARTED);
    StartPositionTimer();
}

void CAccompanyMusicOper::StartTrack(Track which)
{
    if (which == Orig)
        ACCOMPANY_LINE().AppendNarrow("CAccompanyMusicOper::StartAccompanyMusic4Orig");
    const std::string name = which == Orig ? m_owner->GetOrigFileName() : m_owner->GetKalaokFileName();
    if (name.empty() || tq::GetFileSize64(name.c_str()) <= 0)
        return;
    if (which == Orig)
        WriteLog(kLogInfo, "CAccompanyMusicOper StartAccompanyMusic4Orig filename %s", name.c_str());
    else
        WriteLog(kLogInfo, "CAccompanyMusicOper::StartAccompanyMusic4Kalaok %s", name.c_str());

    const tq::AudioUser user = which == Orig ? tq::AudioUser::Orig : tq::AudioUser::Kalaok;
    AudioTrack& track = m_tracks[which];
    HRESULT hr = E_FAIL;
    const std::string device = tq::ChosenAudioDevice();
    for (tq::AudioRecipe recipe : tq::AudioRecipeOrder(user, name)) {
        hr = tq::BuildAudioTrack(recipe, user, name, Hwnd(), device, track);
        if (SUCCEEDED(hr))
            break;
        ClearUp(which);
    }
    if (FAILED(hr))
        return;
    if (g_trackRunning)
        g_trackRunning(which);

    LONGLONG duration = 0;
    if (track.seeking && SUCCEEDED(track.seeking->GetDuration(&duration))) {
        m_owner->StoreDuration(name, static_cast<double>(duration) / 10000.0);
        m_owner->PostToPublic(WM_ACCOMPANY_NOTIFYDURATION);
    }
    tq::DrainTrackEvents(track, 1, true);
}

int CAccompanyMusicOper::PauseTrack(Track which)
{
    AudioTrack& track = m_tracks[which];
    if (!track.control)
        return 0;
    OAFilterState state = State_Stopped;
    if (FAILED(track.control->GetState(2000, &state)))
        return -1;
    if (state == State_Running) {
        track.control->Pause();
        StopPositionTimer();
    }
    return 0;
}

int CAccompanyMusicOper::ResumeTrack(Track which)
{
    AudioTrack& track = m_tracks[which];
    if (!track.control)
        return 0;
    OAFilterState state = State_Stopped;
    if (FAILED(track.control->GetState(2000, &state)))
        return -1;
    if (state == State_Paused) {
        track.control->Run();
        StartPositionTimer();
    }
    return 0;
}

void CAccompanyMusicOper::OnPauseAccompanyMusic()
{
    tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
    PauseTrack(Audible());
    ACCOMPANY_LINE().AppendNarrow("CAccompanyMusicOper::OnPauseAccompanyMusic");
}

void CAccompanyMusicOper::OnContinueAccompanyMusic()
{
    tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
    ResumeTrack(Audible());
    ACCOMPANY_LINE().AppendNarrow("CAccompanyMusicOper::OnContinueAccompanyMusic");
}

void CAccompanyMusicOper::OnStopAccompanyMusic()
{
    tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
    ClearUp(Orig);
    ClearUp(Kalaok);
    StopPositionTimer();
    ACCOMPANY_LINE().AppendNarrow("CAccompanyMusicOper::OnStopAccompanyMusic");
}

void CAccompanyMusicOper::OnSwitchPlayType()
{
    tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
    if (!m_owner)
        return;
    m_playType = m_owner->GetPlayType();
    const Track to = Audible();
    const Track from = to == Orig ? Kalaok : Orig;
    bool wasRunning = false;
    if (m_tracks[from].control) {
        OAFilterState state = State_Stopped;
        if (FAILED(m_tracks[from].control->GetState(2000, &state)))
            return;
        wasRunning = state == State_Running;
        if (wasRunning)
            PauseTrack(from);
    }
    // The newly audible track goes on where the other one stands; it is
    // sought before it runs, so nothing of its old place is heard.
    AudioTrack& target = m_tracks[to];
    if (target.control && target.seeking && m_tracks[from].position) {
        REFTIME seconds = 0.0;
        m_tracks[from].position->get_CurrentPosition(&seconds);
        LONGLONG current = static_cast<LONGLONG>(std::trunc(seconds * 10000000.0));
        LONGLONG duration = 0;
        target.seeking->GetDuration(&duration);
        target.seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &duration, AM_SEEKING_AbsolutePositioning);
    }
    if (wasRunning)
        ResumeTrack(to);
    ACCOMPANY_LINE().AppendNarrow("CAccompanyMusicOper::OnSwitchPlayType ").AppendInt(m_playType);
}

void CAccompanyMusicOper::OnSetPlayPosition()
{
    tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
    if (!m_owner)
        return;
    const double fraction = m_owner->GetSeekFraction();
    AudioTrack& track = m_tracks[Audible()];
    if (track.control && track.seeking && fraction >= 0.0 && fraction <= 1.0) {
        LONGLONG duration = 0;
        track.seeking->GetDuration(&duration);
        LONGLONG current = static_cast<LONGLONG>(std::trunc(static_cast<double>(duration) * fraction));
        track.seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &duration, AM_SEEKING_AbsolutePositioning);
        track.control->Run();
        StartPositionTimer();  // a seek while paused plays on: its positions are reported again
    }
    ReportPosition();
}

void CAccompanyMusicOper::OnSetAccompanyVolume()
{
    tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
    if (!m_owner)
        return;
    const double volume = m_owner->GetVolume();
    const long value = tq::VolumeToDirectShow(volume);
    for (AudioTrack& track : m_tracks)
        if (track.audio)
            track.audio->put_Volume(value);
    ACCOMPANY_LINE().AppendNarrow("CAccompanyMusicOper::OnSetAccompanyVolume ").AppendDouble(volume);
}

void CAccompanyMusicOper::ReportPosition()
{
    double seconds = 0.0;
    AudioTrack& track = m_tracks[Audible()];
    if (track.position)
        track.position->get_CurrentPosition(&seconds);
    if (seconds > 1e-8 && m_owner) {
        m_owner->AddPosition(seconds);
        m_owner->PostToPublic(WM_ACCOMPANY_NOTIFYPOSITION);
    }
}

void CAccompanyMusicOper::OnTrackNotify(Track which)
{
    tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
    if (!tq::DrainTrackEvents(m_tracks[which], 0))
        return;
    if (which != Audible()) {
        // The silent track runs for a moment at its start: a very short file
        // can end then. Only that track goes; the song heard plays on.
        ClearUp(which);
        return;
    }
    ClearUp(Orig);
    ClearUp(Kalaok);
    StopPositionTimer();
    if (m_owner && (m_playType == 0 || m_playType == 1))
        m_owner->PostToPublic(WM_ACCOMPANY_NOTIFYEND);
}

void CAccompanyMusicOper::ClearUp(Track which)
{
    ACCOMPANY_LINE().AppendNarrow(which == Orig ? "CAccompanyMusicOper::ClearUpOrig" : "CAccompanyMusicOper::ClearUpKalaok");
    m_tracks[which].Clear();
}

void CAccompanyMusicOper::StartPositionTimer()
{
    StopTimer(m_positionTimer);
    m_positionTimer = StartTimer(kPositionPeriodMs, this);
}

void CAccompanyMusicOper::StopPositionTimer()
{
    StopTimer(m_positionTimer);
    m_positionTimer = 0;
}

void CAccompanyMusicOper::OnTimer(UINT_PTR timerId)
{
    if (timerId == 0)
        return;
    if (timerId == m_positionTimer) {
        // Reads positions only: no graph is built or torn down here.
        if (m_tracks[Orig].position)
            ReportPosition();
    } else if (timerId == m_durationTimer) {
        OnDurationTimer();
    }
}

void CAccompanyMusicOper::StartDurationTimer()
{
    if (!m_durationTimer)
        m_durationTimer = StartTimer(m_durationPeriod, this);
}

void CAccompanyMusicOper::OnDurationTimer()
{
    tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
    if (!m_owner)
        return;
    for (int round = 0; round < 4; ++round) {
        const std::string name = m_owner->FirstPendingName();
        if (name.empty()) {
            m_measurements = 0;
            StopTimer(m_durationTimer);
            m_durationTimer = 0;
            m_durationPeriod = kDurationPeriodMs;
            break;
        }
        ++m_measurements;
        if (m_measurements >= 100 && m_durationPeriod == kDurationPeriodMs) {
            m_durationPeriod = kSlowDurationPeriodMs;
            StopTimer(m_durationTimer);
            m_durationTimer = StartTimer(m_durationPeriod, this);
        }
        const long long duration = GetPreGetDuration(name);
        m_owner->StoreDuration(name, static_cast<double>(duration) / 10000.0);
        m_owner->PostToPublic(WM_ACCOMPANY_NOTIFYDURATION);
    }
    if (m_durationGraph)
        tq::RemoveAllFilters(m_durationGraph.Get());
    m_durationGraph.Release();
}

long long CAccompanyMusicOper::GetPreGetDuration(const std::string& name)
{
    ACCOMPANY_LINE().AppendNarrow("CAccompanyMusicOper::GetPreGetDuration ").AppendString(name);
    if (!m_durationGraph &&
        FAILED(CoCreateInstance(kFilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, m_durationGraph.ReceiveVoid())))
        return 0;
    ComPtr<IBaseFilter> source;
    ComPtr<IFileSourceFilter> fileSource;
    ComPtr<IMediaSeeking> seeking;
    LONGLONG duration = 0;
    bool ok = SUCCEEDED(CoCreateInstance(kAsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, source.ReceiveVoid())) &&
              SUCCEEDED(source->QueryInterface(IID_IFileSourceFilter, fileSource.ReceiveVoid())) &&
              SUCCEEDED(m_durationGraph->AddFilter(source.Get(), L"AsyncReader")) &&
              SUCCEEDED(m_durationGraph->QueryInterface(IID_IMediaSeeking, seeking.ReceiveVoid()));
    if (ok) {
        seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
        const std::wstring wide = AnsiToWide(name);
        ComPtr<IPin> out;
        ok = SUCCEEDED(fileSource->Load(wide.c_str(), nullptr));
        if (ok)
            out.Attach(tq::GetOutputPin(source.Get(), 0));
        ok = ok && out && SUCCEEDED(m_durationGraph->Render(out.Get())) && SUCCEEDED(seeking->GetDuration(&duration));
    }
    // Every filter goes, not only the source: a renderer left over from one
    // file must not answer for the next one's duration.
    tq::RemoveAllFilters(m_durationGraph.Get());
    if (!ok)
        duration = 0;
    ACCOMPANY_LINE().AppendNarrow("CAccompanyMusicOper::GetPreGetDuration filename ").AppendString(name)
        .AppendNarrow(" time ").AppendInt64(duration);
    return duration;
}

void CAccompanyMusicOper::Inspect(MusicGraphReport& report)
{
    tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
    ReportTrack(m_tracks[Orig], report.tracks[0]);
    ReportTrack(m_tracks[Kalaok], report.tracks[1]);
    report.durationPeriod = m_durationPeriod;
    report.durationTimer = m_durationTimer != 0;
    report.positionTimer = m_positionTimer != 0;
}
