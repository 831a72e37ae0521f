// How long the accompaniment takes from StartAccompanyMusic to its first
// position past 0, and from SwitchPlayType to the other track running,
// against a bare graph of the same file (RenderFile, Run, first position
// past 0) in the same run. Medians of a few rounds, in milliseconds.
//
//   audiostart [file]   (default: music\song.mp3 beside the program)
#include "AccompanyMusic.h"
#include "AccompanyMusicOper.h"
#include "ComPtr.h"
#include "MusicInspect.h"

#include <windows.h>
#include <dshow.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

const int kRounds = 7;

class FirstPosition : public IAccompanyMusicListener {
public:
    void OnAccompanyPosition(double seconds) override
    {
        if (seconds > 0.0 && !firstAt)
            firstAt = timeGetTime();
    }
    void OnAccompanyEnd() override {}
    void OnAccompanyDuration(const char*, double) override {}
    DWORD firstAt = 0;
};

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = timeGetTime();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (timeGetTime() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
    }
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return -1.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A bare graph: RenderFile, Run, and the wait for its position to move.
double BareStart(const std::wstring& file)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    double ms = -1.0;
    {
        const DWORD start = timeGetTime();
        tq::ComPtr<IGraphBuilder> graph;
        tq::ComPtr<IMediaControl> control;
        tq::ComPtr<IMediaPosition> position;
        if (SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.ReceiveVoid())) &&
            SUCCEEDED(graph->RenderFile(file.c_str(), nullptr)) &&
            SUCCEEDED(graph->QueryInterface(IID_IMediaControl, control.ReceiveVoid())) &&
            SUCCEEDED(graph->QueryInterface(IID_IMediaPosition, position.ReceiveVoid())) && SUCCEEDED(control->Run())) {
            REFTIME at = 0.0;
            while (at <= 0.0 && timeGetTime() - start < 5000) {
                Sleep(1);
                position->get_CurrentPosition(&at);
            }
            if (at > 0.0)
                ms = timeGetTime() - start;
            control->Stop();
        }
    }
    CoUninitialize();
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    timeBeginPeriod(1);
    std::string file;
    if (argc > 1) {
        file = argv[1];
    } else {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        file = path;
        file = file.substr(0, file.find_last_of('\\')) + "\\music\\song.mp3";
    }
    const std::wstring wide(file.begin(), file.end());

    std::vector<double> starts, switches, bare;
    CAccompanyMusic music;
    FirstPosition listener;
    music.SetListener(&listener);
    for (int round = 0; round < kRounds; ++round) {
        listener.firstAt = 0;
        const DWORD start = timeGetTime();
        music.StartAccompanyMusic(file.c_str(), file.c_str(), kPlayOriginal);
        if (!PumpUntil([&] { return listener.firstAt != 0; }, 10000)) {
            fprintf(stderr, "audiostart: %s does not play\n", file.c_str());
            return 1;
        }
        starts.push_back(listener.firstAt - start);

        const DWORD switchAt = timeGetTime();
        music.SwitchPlayType(round % 2 == 0 ? kPlayKaraoke : kPlayOriginal);
        const int heard = round % 2 == 0 ? 1 : 0;
        if (PumpUntil([&] {
                MusicGraphReport report;
                return music.InspectForTest(report) && report.tracks[heard].state == State_Running;
            }, 5000))
            switches.push_back(timeGetTime() - switchAt);
        music.StopAccompanyMusic();
        bare.push_back(BareStart(wide));
    }
    music.Quit();

    printf("file: %s (%d rounds, medians)\n", file.c_str(), kRounds);
    printf("accompaniment start to first position: %8.1f ms (positions are reported every 100 ms)\n", Median(starts));
    printf("bare RenderFile and Run to position:   %8.1f ms\n", Median(bare));
    printf("ratio accompaniment / bare:            %8.2f\n", Median(bare) > 0 ? Median(starts) / Median(bare) : 0.0);
    // The first position can only come one report period after the start.
    printf("ratio without one report period:       %8.2f (goal <= 2)\n",
           Median(bare) > 0 ? (Median(starts) - CAccompanyMusicOper::kPositionPeriodMs) / Median(bare) : 0.0);
    printf("switch to the other track running:     %8.1f ms\n", Median(switches));
    timeEndPeriod(1);
    return 0;
}
