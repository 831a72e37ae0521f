#include "MediaVideoOper.h"
#include "AudioRendererExchange.h"
#include "BoundedWork.h"
#include "GraphHelpers.h"
#include "MediaLog.h"
#include "MediaMessages.h"
#include "ShareHandle.h"
#include "VolumeTable.h"


#include <cmath>

// The sound output the audio output chooser holds (VcamManger.cpp).
std::string ChosenSoundOutput(VcamManger* manager);

namespace {

// Stops and releases a graph on a thread of its own: Wine's graphs can hang
// in Stop (sound and video after a seek) and in their final Release (the
// system clock's advise thread), and neither may hang the worker or Quit.
struct GraphJob {
    tq::ComPtr<IMediaControl> control;
    tq::ComPtr<IGraphBuilder> graph;             // emptied and released when given
    std::vector<tq::ComPtr<IUnknown>> released;  // the graph's other interfaces
    bool full = false;                           // Pause and StopWhenReady before Stop
};

void RunGraphJob(GraphJob* job)
{
    {
        tq::CComInit com;
        if (job->control) {
            if (job->full) {
                job->control->Pause();
                job->control->StopWhenReady();
            }
            job->control->Stop();
            job->control.Release();
        }
        job->released.clear();
        if (job->graph) {
            tq::RemoveAllFilters(job->graph.Get());
            job->graph.Release();
        }
    }
    delete job;
}

// True when the job ended within the time limit; otherwise it is left to
// finish (and free itself) whenever it can.
bool RunGraphJobBounded(GraphJob* job)
{
    return tq::RunBounded([job] { RunGraphJob(job); }, kMediaStopWaitMs);
}

bool StopGraphBounded(IMediaControl* control, bool full)
{
    auto* job = new GraphJob;
    job->control = control;
    job->full = full;
    return RunGraphJobBounded(job);
}

} // namespace

CMediaVideoOper::CMediaVideoOper(CMediaVideo* owner) : m_owner(owner)
{
    m_work.assign(kMediaWorkBytes, 0);
    m_preview.assign(kMediaPreviewBytes, 0);
    CreateMessageWindow(tq::CMessageWindow::MessageOnly);
    m_hwnd = Hwnd();
}

CMediaVideoOper::~CMediaVideoOper()
{
    tq::KillThreadTimer(m_durationTimer);
    m_durationTimer = 0;
    m_picTimer.Stop();
    DestroyMessageWindow();
    m_hwnd = nullptr;
}

bool CMediaVideoOper::OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT* result)
{
    switch (message) {
    case WM_MEDIA_INIT: OnInit(); break;
    case WM_MEDIA_STOP: OnStopMediaVideo(); break;
    case WM_MEDIA_PAUSE: OnPauseMediaVideo(); break;
    case WM_MEDIA_CONTINUE: OnContinueMediaVideo(); break;
    case WM_MEDIA_SETPOSITION: OnPlayMediaVideoPosition(); break;
    case WM_MEDIA_SETVOLUME: {
        tq::CMutexLock lock(tq::GetProcessMutex().Get());
        DealSetAudioVolume();
        break;
    }
    case WM_MEDIA_SETCONF: OnSetMediaConf(); break;
    case WM_MEDIA_STARTPROGRESS: StartDurationTimer(); break;
    case WM_MEDIA_GOTPICTURE: OnGetNewPicture(); break;
    case WM_MEDIA_GRAPHNOTIFY: OnGraphNotify(); break;
    default:
        return false;
    }
    *result = 0;
    return true;
}

void CMediaVideoOper::CopyPreview(uint8_t* destination)
{
    tq::CCritSecLock lock(m_lock);
    memcpy(destination, m_preview.data(), kMediaPreviewBytes);
}

void CMediaVideoOper::OnInit()
{
    tq::CMutexLock lock(tq::GetProcessMutex().Get());
    const std::string name = m_owner->GetSettings().fileName;
    MediaWriteLog("CMediaVideoOper::OnInit start filename %s", name.c_str());
    if (name.empty()) {
        MediaWriteLog("CMediaVideoOper::OnInit filename is empty");
        m_owner->PostToPublic(WM_MEDIA_NOTIFYOPEN, 1);
        return;
    }
    if (m_graph && !m_currentFile.empty() && m_currentFile == name) {
        // The playing file again: from its start. The host hears that it
        // plays, since Init has just marked it as not playing.
        if (ReplayFromStart())
            m_owner->PostToPublic(WM_MEDIA_NOTIFYOPEN, 0);
        else
            m_owner->PostToPublic(WM_MEDIA_NOTIFYOPEN, 1);
        return;
    }
    Clear();
    const HRESULT rc = InitDirect(name);
    m_owner->PostToPublic(WM_MEDIA_NOTIFYOPEN, rc < 0 ? 1 : 0);
    if (rc >= 0) {
        m_owner->StoreDuration(name, 0.0);
        m_owner->PostToPublic(WM_MEDIA_NOTIFYDURATION);
        m_currentFile = name;
    }
    DealSetAudioVolume();
    MediaWriteLog("CMediaVideoOper::OnInit started filename %s", name.c_str());
}

void CMediaVideoOper::StopGraph()
{
    if (m_control && !StopGraphBounded(m_control.Get(), false))
        MediaWriteLog("CMediaVideoOper::StopGraph the graph did not stop within %u ms", unsigned(kMediaStopWaitMs));
}

bool CMediaVideoOper::ReplayFromStart()
{
    if (!m_seeking || !m_control)
        return false;
    LONGLONG duration = 0;
    m_seeking->GetDuration(&duration);
    // Seeking a running graph that plays sound and video leaves Wine's graph
    // unable to stop: the graph is stopped first, then moved, then run.
    StopGraph();
    LONGLONG start = 0;
    m_seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &duration, AM_SEEKING_AbsolutePositioning);
    return SUCCEEDED(m_control->Run());
}

HRESULT CMediaVideoOper::InitDirect(const std::string& name)
{
    MediaWriteLog("CMediaVideoOper::InitDirect begin");
    HRESULT hr = InitMediaFilters(name);
    if (FAILED(hr)) {
        Clear();
        return hr;
    }
    if (!tq::IsWindowsVistaOrLater() && !ReadGrabberType()) {
        Clear();
        return E_FAIL;
    }
    if (FAILED(hr = m_grabber->SetBufferSamples(TRUE)))
        return Fail(media_text::kSetBufferSamples, hr);
    if (FAILED(hr = m_grabber->SetOneShot(FALSE)))
        return Fail(media_text::kSetOneShot, hr);
    if (FAILED(hr = m_grabber->SetCallback(&m_grabberCB, 1)))
        return Fail(media_text::kSetCallback, hr);

    tq::ComPtr<IVideoWindow> window;
    if (SUCCEEDED(m_graph->QueryInterface(IID_IVideoWindow, window.ReceiveVoid())) && window) {
        window->put_AutoShow(OAFALSE);
        window->put_Owner(0);
        window->put_Visible(OAFALSE);
    }
    RemoveExtraSoundRenderers();
    ResetAudioFilter();

    m_graph->QueryInterface(IID_IMediaPosition, m_position.ReceiveVoid());  // the picture timer reads the play position
    if (FAILED(hr = m_control->Run())) {
        Clear();
        return hr;
    }
    MediaWriteLog("CMediaVideoOper::InitDirect end");
    m_inRot = SUCCEEDED(tq::AddToRot(m_graph.Get(), &m_rotRegistration));
    return 0;
}

void CMediaVideoOper::RemoveExtraSoundRenderers()
{
    static const char kDefault[] = "Default DirectSound Device";
    bool again = true;
    while (again) {
        again = false;
        tq::ComPtr<IEnumFilters> filters;
        if (FAILED(m_graph->EnumFilters(filters.Receive())) || !filters)
            return;
        tq::ComPtr<IBaseFilter> filter;
        while (filters->Next(1, filter.Receive(), nullptr) == S_OK) {
            FILTER_INFO info = {};
            if (FAILED(filter->QueryFilterInfo(&info)))
                continue;
            if (info.pGraph)
                info.pGraph->Release();
            const std::string name = tq::WideToAnsiString(info.achName);
            MediaWriteLog("query filter %s", name.c_str());
            if (name.size() > sizeof kDefault - 1 && name.compare(0, sizeof kDefault - 1, kDefault) == 0) {
                MediaWriteLog("remove filter %s", name.c_str());
                m_graph->RemoveFilter(filter.Get());
                again = true;
                break;
            }
        }
    }
}

void CMediaVideoOper::ResetAudioFilter()
{
    const std::string device = ChosenSoundOutput(m_owner->GetManager());
    tq::ComPtr<IBaseFilter> renderer;
    switch (tq::ExchangeAudioRenderer(m_graph.Get(), device, renderer.Receive())) {
    case tq::AudioExchange::Exchanged:
        m_exchangedRenderer = renderer;
        MediaWriteLog("CMediaVideoOper reset audio dev %s", device.c_str());
        break;
    case tq::AudioExchange::NotNeeded:
        MediaWriteLog("CMediaVideoOper::ResetAudioFilter current dev %s", device.c_str());
        break;
    case tq::AudioExchange::KeptDefault:
        MediaWriteLog("CMediaVideoOper::ResetAudioFilter no renderer for %s, the default plays", device.c_str());
        break;
    case tq::AudioExchange::NoDefaultFound:
        break;
    }
}

void CMediaVideoOper::DealSetAudioVolume()
{
    const double volume = m_owner->GetSettings().volume;
    MediaWriteLog("CMediaVideoOper::DealSetAudioVolume %f", volume);
    if (m_graph)
        tq::SetGraphVolume(m_graph.Get(), volume);
}

void CMediaVideoOper::OnPlayMediaVideoPosition()
{
    tq::CMutexLock lock(tq::GetProcessMutex().Get());
    const double position = m_owner->GetSettings().position;
    MediaWriteLog("CMediaVideoOper::OnPlayMediaVideoPosition %f", position);
    if (!m_graph || !m_seeking || !m_control)
        return;
    LONGLONG duration = 0;
    if (FAILED(m_seeking->GetDuration(&duration)))
        return;
    const double scaled = std::trunc(position * 10000.0);
    if (!(scaled >= 0.0) || scaled > double(duration))
        return;  // before the start, past the end, or not a number
    LONGLONG target = LONGLONG(scaled);
    StopGraph();  // see ReplayFromStart
    m_seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, &duration, AM_SEEKING_AbsolutePositioning);
    m_control->Run();
}

void CMediaVideoOper::OnPauseMediaVideo()
{
    tq::CMutexLock lock(tq::GetProcessMutex().Get());
    MediaLogLine("CMediaVideoOper::OnPauseMediaVideo enter");
    tq::ComPtr<IMediaControl> control;
    if (m_graph && SUCCEEDED(m_graph->QueryInterface(IID_IMediaControl, control.ReceiveVoid())) && control)
        control->Pause();
    MediaLogLine("CMediaVideoOper::OnPauseMediaVideo end");
}

void CMediaVideoOper::OnContinueMediaVideo()
{
    tq::CMutexLock lock(tq::GetProcessMutex().Get());
    MediaLogLine("CMediaVideoOper::OnContinueMediaVideo");
    tq::ComPtr<IMediaControl> control;
    if (m_graph && SUCCEEDED(m_graph->QueryInterface(IID_IMediaControl, control.ReceiveVoid())) && control)
        control->Run();
}

void CMediaVideoOper::OnStopMediaVideo()
{
    tq::CMutexLock lock(tq::GetProcessMutex().Get());
    MediaLogLine("CMediaVideoOper::OnStopMediaVideo enter");
    Clear();
    m_owner->PostToPublic(WM_MEDIA_NOTIFYSTOPPED);
    MediaLogLine("CMediaVideoOper::OnStopMediaVideo end");
}

void CMediaVideoOper::OnGraphNotify()
{
    tq::CMutexLock lock(tq::GetProcessMutex().Get());
    if (!m_event)
        return;
    long code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    const char* ending = nullptr;
    while (SUCCEEDED(m_event->GetEvent(&code, &param1, &param2, 0))) {
        m_event->FreeEventParams(code, param1, param2);
        if (code == EC_COMPLETE)
            ending = "EC_COMPLETE";
        else if (code == EC_ERRORABORT && !ending)
            ending = "EC_ERRORABORT";  // a stream that broke off ends the play too
    }
    if (!ending)
        return;
    MediaWriteLog("CMediaVideoOper::OnGraphNotify %s", ending);
    Clear();
    m_owner->PostToPublic(WM_MEDIA_NOTIFYEND);
}

void CMediaVideoOper::OnSetMediaConf()
{
    const MediaSettings settings = m_owner->GetSettings();
    m_outHeight = settings.outHeight;
    m_outWidth = settings.outWidth;
    const bool changed = settings.perFrameTime != m_perFrameTime;
    m_perFrameTime = settings.perFrameTime;
    if (m_picTimer.IsRunning() && changed)
        StartPicTimer();
    MediaLogLine("CMediaVideoOper::OnSetMediaConf heightout=" + std::to_string(m_outHeight) + "\xEF\xBC\x8C" +
                 "widthout=" + std::to_string(m_outWidth) + "\xEF\xBC\x8C" +
                 "perframetime=" + std::to_string(m_perFrameTime));
}

void CMediaVideoOper::Clear()
{
    MediaLogLine("CMediaVideoOper::Clear begin");
    // Waits for a tick that is running: nothing touches the graph or the
    // buffers from the timer thread once this returns.
    m_picTimer.Stop();
    if (m_grabber)
        m_grabber->SetCallback(nullptr, 1);
    if (m_inRot) {
        tq::RemoveFromRot(m_rotRegistration);
        m_inRot = false;
        m_rotRegistration = 0;
    }
    if (m_event)
        m_event->SetNotifyWindow(0, 0, 0);
    if (m_graph) {
        auto* job = new GraphJob;
        job->full = true;
        if (FAILED(m_graph->QueryInterface(IID_IMediaControl, job->control.ReceiveVoid())) || !job->control)
            MediaWriteLog("CMediaVideoOper::Clear  Get IMediaControl failed!");
        else
            MediaWriteLog("CMediaVideoOper::Clear  StopWhenReady");
        job->graph = m_graph;
        for (IUnknown* held : {static_cast<IUnknown*>(m_grabber.Get()), static_cast<IUnknown*>(m_control.Get()),
                               static_cast<IUnknown*>(m_event.Get()), static_cast<IUnknown*>(m_seeking.Get()),
                               static_cast<IUnknown*>(m_position.Get()), static_cast<IUnknown*>(m_exchangedRenderer.Get())})
            if (held)
                job->released.emplace_back(held);
        for (auto& filter : m_filters)
            job->released.emplace_back(filter.second.Get());
        // The job holds its own references now; ours go before it runs.
        m_grabber.Release();
        m_control.Release();
        m_event.Release();
        m_seeking.Release();
        m_position.Release();
        m_exchangedRenderer.Release();
        m_filters.clear();
        m_graph.Release();
        if (!RunGraphJobBounded(job))
            MediaWriteLog("CMediaVideoOper::Clear the graph did not stop and go within %u ms and is left behind",
                          unsigned(kMediaStopWaitMs));
    }
    m_grabberCB.Reset();
    m_currentFile.clear();
    MediaLogLine("CMediaVideoOper::Clear end");
}

void CMediaVideoOper::StartDurationTimer()
{
    if (m_durationTimer)
        return;
    m_durationPeriod = 2000;
    m_durationTimer = tq::SetThreadTimer(m_durationPeriod, this);
}

void CMediaVideoOper::OnTimer(UINT_PTR timerId)
{
    if (timerId && timerId == m_durationTimer)
        OnDurationTimer();
}

void CMediaVideoOper::OnDurationTimer()
{
    tq::CMutexLock lock(tq::GetProcessMutex().Get());
    for (int round = 0; round < 2; ++round) {
        const std::string name = m_owner->TakePendingName();
        if (name.empty()) {
            tq::KillThreadTimer(m_durationTimer);
            m_durationTimer = 0;
            return;
        }
        const long long duration = getPreMediaDuration(name);
        m_owner->StoreDuration(name, double(duration) / 10000.0);
        m_owner->PostToPublic(WM_MEDIA_NOTIFYDURATION);
        if (m_durationPeriod == 2000) {
            m_durationPeriod = 500;
            tq::KillThreadTimer(m_durationTimer);
            m_durationTimer = tq::SetThreadTimer(m_durationPeriod, this);
        }
    }
}

long long CMediaVideoOper::getPreMediaDuration(const std::string& name)
{
    tq::ComPtr<IGraphBuilder> graph;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                IID_IGraphBuilder, graph.ReceiveVoid())) || !graph)
        return 0;
    tq::ComPtr<IMediaSeeking> seeking;
    long long duration = 0;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaSeeking, seeking.ReceiveVoid())) && seeking) {
        // Media time: the duration is read as 100-ns units.
        seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
        LONGLONG value = 0;
        if (SUCCEEDED(graph->RenderFile(MediaAnsiToWide(name).c_str(), nullptr)) &&
            SUCCEEDED(seeking->GetDuration(&value)) && value > 0)
            duration = value;
    }
    seeking.Release();
    auto* job = new GraphJob;
    job->graph = graph;
    graph.Release();
    if (!RunGraphJobBounded(job))
        MediaWriteLog("CMediaVideoOper::getPreMediaDuration the graph did not go within %u ms and is left behind",
                      unsigned(kMediaStopWaitMs));
    MediaWriteLog("CMediaVideoOper::getPreMediaDuration filename %s time %llu", name.c_str(),
                  static_cast<unsigned long long>(duration));
    return duration;
}
