#include "MusicInspect.h"

#include "ComPtr.h"
#include "EngineLog.h"

void ReportTrack(tq::AudioTrack& track, MusicTrackReport& report)
{
    report = MusicTrackReport();
    report.hasGraph = track.graph.Get() != nullptr;
    if (!track.graph)
        return;
    tq::ComPtr<IEnumFilters> filters;
    if (SUCCEEDED(track.graph->EnumFilters(filters.Receive())) && filters) {
        for (;;) {
            tq::ComPtr<IBaseFilter> filter;
            if (filters->Next(1, filter.Receive(), nullptr) != S_OK)
                break;
            FILTER_INFO info = {};
            if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
                report.filters.push_back(WideToAnsi(info.achName));
                if (info.pGraph)
                    info.pGraph->Release();
            }
        }
    }
    if (track.fileSource) {
        LPOLESTR name = nullptr;
        if (SUCCEEDED(track.fileSource->GetCurFile(&name, nullptr)) && name) {
            report.file = WideToAnsi(name);
            CoTaskMemFree(name);
        }
    }
    if (track.audio)
        report.volumeRead = SUCCEEDED(track.audio->get_Volume(&report.volume));
    OAFilterState state = 0;
    if (track.control && SUCCEEDED(track.control->GetState(500, &state)))
        report.state = state;
    if (track.position)
        track.position->get_CurrentPosition(&report.position);
}
