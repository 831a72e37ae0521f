#include "MoodMusic.h"

#include "AudioGraphRecipes.h"
#include "ComPtr.h"
#include "EngineLog.h"
#include "FrameProtocol.h"
#include "GraphHelpers.h"
#include "MusicInspect.h"
#include "MusicMessages.h"
#include "ShareHandle.h"
#include "VolumeTable.h"

namespace {
const GUID kFilterGraph = {0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
}

class CMoodMusicOper : public tq::CMessageWindow {
public:
    explicit CMoodMusicOper(CMoodMusic* owner) : m_owner(owner) { CreateMessageWindow(MessageOnly); }
    ~CMoodMusicOper() override
    {
        {
            tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
            ClearUp();
        }
        DestroyMessageWindow();
    }

protected:
    bool OnWindowMessage(UINT message, WPARAM, LPARAM lParam, LRESULT* result) override
    {
        *result = 0;
        switch (message) {
        case tq::WM_MOODMUSINOTIFY: OnMoodNotify(); return true;
        case WM_MOOD_START: OnStartMoodMusic(); return true;
        case WM_MOOD_SETVOLUME: OnSetMoodVolume(); return true;
        case WM_MOOD_STOP: OnStopMoodMusic(); return true;
        case WM_MUSIC_INSPECT: {
            tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
            ReportTrack(m_track, reinterpret_cast<MusicGraphReport*>(lParam)->tracks[0]);
            return true;
        }
        default: return false;
        }
    }

private:
    void OnMoodNotify()
    {
        tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
        if (tq::DrainTrackEvents(m_track, 0))
            ClearUp();
    }

    void OnStartMoodMusic()
    {
        tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
        if (!m_owner)
            return;
        ClearUp();
        StartMoodMusic();
    }

    void StartMoodMusic()
    {
        const std::string name = m_owner->GetFileName();
        if (name.empty() || tq::GetFileSize64(name.c_str()) <= 0)
            return;
        WriteLog(kLogInfo, "CMoodMusicOper::startMoodMusic filename %s", name.c_str());
        HRESULT hr = E_FAIL;
        const std::string device = tq::ChosenAudioDevice();
        for (tq::AudioRecipe recipe : tq::AudioRecipeOrder(tq::AudioUser::Mood, name)) {
            hr = tq::BuildAudioTrack(recipe, tq::AudioUser::Mood, name, Hwnd(), device, m_track);
            if (SUCCEEDED(hr))
                break;
            ClearUp();
        }
        if (SUCCEEDED(hr))
            tq::DrainTrackEvents(m_track, 1, true);
    }

    void OnSetMoodVolume()
    {
        tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
        if (m_owner && m_track.audio)
            m_track.audio->put_Volume(tq::VolumeToDirectShow(m_owner->GetVolume()));
    }

    void OnStopMoodMusic()
    {
        tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
        ClearUp();
        WriteLog(kLogInfo, "CMoodMusicOper::OnStopMoodMusic");
    }

    void ClearUp()
    {
        WriteLog(kLogInfo, "CMoodMusicOper::ClearUp");
        m_track.Clear();
    }

    tq::CComInit m_com;
    CMoodMusic* m_owner;
    tq::AudioTrack m_track;
};

HWND CMoodMusic::Body::CreateOper()
{
    m_owner.m_oper = new CMoodMusicOper(&m_owner);
    return m_owner.m_oper->Hwnd();
}

void CMoodMusic::Body::DestroyOper()
{
    delete m_owner.m_oper;
    m_owner.m_oper = nullptr;
}

CMoodMusic::CMoodMusic()
{
    m_window.CreateMessageWindow(tq::CMessageWindow::HiddenPopup);
    m_worker.Start(&m_body);
}

CMoodMusic::~CMoodMusic()
{
    m_worker.Quit();
    m_window.DestroyMessageWindow();
}

int CMoodMusic::StartMoodMusic(const char* fileName)
{
    {
        tq::CCritSecLock lock(m_lock);
        m_fileName = fileName ? fileName : "";
    }
    m_worker.Post(WM_MOOD_START);
    return 0;
}

void CMoodMusic::StopMoodMusic()
{
    m_worker.Post(WM_MOOD_STOP);
}

std::wstring CMoodMusic::GetMoodMusicName()
{
    tq::CCritSecLock lock(m_lock);
    return AnsiToWide(m_fileName);
}

double CMoodMusic::GetDuration(const char* fileName)
{
    // The caller's apartment stays as it was: COM is released only when
    // this call initialised it (an STA caller answers RPC_E_CHANGED_MODE).
    tq::CComInit com(COINIT_MULTITHREADED);
    if (!fileName || !com.Usable())
        return 0.0;
    tq::ComPtr<IGraphBuilder> graph;
    if (FAILED(CoCreateInstance(kFilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.ReceiveVoid())))
        return 0.0;
    wchar_t wide[512] = {};
    MultiByteToWideChar(CP_ACP, 0, fileName, -1, wide, 511);
    double seconds = 0.0;
    tq::ComPtr<IMediaPosition> position;
    if (SUCCEEDED(graph->RenderFile(wide, nullptr)) &&
        SUCCEEDED(graph->QueryInterface(IID_IMediaPosition, position.ReceiveVoid())) &&
        FAILED(position->get_Duration(&seconds)))
        seconds = 0.0;
    position.Release();
    tq::RemoveAllFilters(graph.Get());
    return seconds;
}

void CMoodMusic::SetMoodMusicVolume(double volume)
{
    {
        tq::CCritSecLock lock(m_lock);
        m_volume = volume;
    }
    m_worker.Post(WM_MOOD_SETVOLUME);
}

void CMoodMusic::Quit()
{
    m_worker.Quit();
}

std::string CMoodMusic::GetFileName()
{
    tq::CCritSecLock lock(m_lock);
    return m_fileName;
}

double CMoodMusic::GetVolume()
{
    tq::CCritSecLock lock(m_lock);
    return m_volume;
}

bool CMoodMusic::InspectForTest(MusicGraphReport& report)
{
    const HWND worker = m_worker.OperWindow();
    return worker && SendMessageW(worker, WM_MUSIC_INSPECT, 0, reinterpret_cast<LPARAM>(&report)) == 0;
}
