// mediaroadbench: the media-file and desktop sources' costs, in one run.
//   mediaroadbench [CLIP]   CLIP: a 640x480 H.264 file (e.g. made by ffmpeg)
// Reports:
//   - one tick of the media frame road (letterbox, record, preview) for
//     1280 x 720 and 720 x 576 RGB24 samples, against a memcpy of the record;
//   - the graph DirectShow builds for CLIP (as DefaultMedia does) decoding
//     into a grabber with the clock off, against the clip's real time;
//   - one desktop tick (copy, cursor, letterbox, record) of the whole screen,
//     against a plain BitBlt of the screen.
#include "DesktopVideo.h"
#include "DesktopVideoOper.h"
#include "DShowGuids.h"
#include "FrameProtocol.h"
#include "MediaVideo.h"
#include "MediaVideoOper.h"
#include "ShareHandle.h"

#include <dshow.h>
#include <mmsystem.h>
#include <qedit.h>
#include <uuids.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

double NowMs()
{
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

void NextMillisecond()
{
    const DWORD now = timeGetTime();
    while (timeGetTime() == now)
        Sleep(0);
}

double MedianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void BenchFrameRoad()
{
    CMediaVideo media;
    CMediaVideoOper* oper = media.OperForTesting();
    if (!oper) {
        printf("frame road: no worker\n");
        return;
    }
    std::vector<uint8_t> record(tq::kFrameHeaderSize + 480 * 360 * 3), copy(record.size());
    std::vector<double> copies;
    for (int i = 0; i < 200; ++i) {
        const double start = NowMs();
        memcpy(copy.data(), record.data(), record.size());
        copies.push_back(NowMs() - start);
    }
    const double memcpyMs = MedianOf(copies);
    for (const auto& size : {std::make_pair(1280, 720), std::make_pair(720, 576)}) {
        std::vector<uint8_t> sample(size_t(size.first) * size.second * 3, 0x80);
        MediaPictureFormat format;
        format.width = size.first;
        format.height = size.second;
        oper->SetPictureFormatForTesting(format);
        std::vector<double> ticks;
        for (int i = 0; i < 100; ++i) {
            NextMillisecond();  // a tick writes only a sample newer than the last
            oper->GrabberCallback().BufferCB(0, sample.data(), LONG(sample.size()));
            const double start = NowMs();
            oper->DealNewPicture();
            ticks.push_back(NowMs() - start);
        }
        const double tick = MedianOf(ticks);
        printf("frame road tick %dx%d RGB24: %.3f ms (memcpy of the record %.3f ms, %.1fx)\n", size.first,
               size.second, tick, memcpyMs, memcpyMs > 0 ? tick / memcpyMs : 0.0);
    }
    media.Quit();
}

// Replaces a renderer by a filter, connecting the renderer's upstream pin to it.
bool Replace(IGraphBuilder* graph, const wchar_t* rendererName, IBaseFilter* replacement, const wchar_t* name)
{
    IBaseFilter* renderer = nullptr;
    if (FAILED(graph->FindFilterByName(rendererName, &renderer)) || !renderer)
        return false;
    IEnumPins* pins = nullptr;
    IPin* in = nullptr;
    IPin* upstream = nullptr;
    renderer->EnumPins(&pins);
    pins->Next(1, &in, nullptr);
    pins->Release();
    in->ConnectedTo(&upstream);
    graph->RemoveFilter(renderer);
    graph->AddFilter(replacement, name);
    replacement->EnumPins(&pins);
    IPin* target = nullptr;
    pins->Next(1, &target, nullptr);
    pins->Release();
    const bool ok = upstream && target && SUCCEEDED(graph->Connect(upstream, target));
    for (IUnknown* p : {static_cast<IUnknown*>(in), static_cast<IUnknown*>(upstream), static_cast<IUnknown*>(target),
                        static_cast<IUnknown*>(renderer)})
        if (p)
            p->Release();
    return ok;
}

void BenchDecoding(const std::string& clip)
{
    IGraphBuilder* graph = nullptr;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, reinterpret_cast<void**>(&graph));
    std::wstring wide(clip.begin(), clip.end());
    if (!graph || FAILED(graph->RenderFile(wide.c_str(), nullptr))) {
        printf("decoding: %s cannot be rendered\n", clip.c_str());
        if (graph)
            graph->Release();
        return;
    }
    IBaseFilter* grabber = nullptr;
    IBaseFilter* nullVideo = nullptr;
    IBaseFilter* nullSound = nullptr;
    CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(&grabber));
    CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(&nullVideo));
    CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(&nullSound));
    const bool picture = Replace(graph, L"Video Renderer", nullVideo, L"Null Render");
    Replace(graph, L"Default DirectSound Device", nullSound, L"Null Sound");
    IMediaFilter* filter = nullptr;
    graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&filter));
    filter->SetSyncSource(nullptr);  // as fast as the decoder goes
    IMediaSeeking* seeking = nullptr;
    graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
    LONGLONG duration = 0;
    seeking->GetDuration(&duration);
    IMediaControl* control = nullptr;
    IMediaEvent* event = nullptr;
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
    graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&event));
    const double start = NowMs();
    control->Run();
    long code = 0;
    event->WaitForCompletion(60000, &code);
    const double elapsed = NowMs() - start;
    control->Stop();
    printf("decoding %s (%s) with the clock off: %.0f ms for %.0f ms of clip, %.1fx real time\n", clip.c_str(),
           picture ? "picture to a null renderer" : "no picture branch found", elapsed, duration / 10000.0,
           elapsed > 0 ? duration / 10000.0 / elapsed : 0.0);
    for (IUnknown* p : {static_cast<IUnknown*>(event), static_cast<IUnknown*>(control), static_cast<IUnknown*>(seeking),
                        static_cast<IUnknown*>(filter), static_cast<IUnknown*>(grabber), static_cast<IUnknown*>(nullVideo),
                        static_cast<IUnknown*>(nullSound)})
        if (p)
            p->Release();
    graph->Release();
}

void BenchDesktop()
{
    CDesktopVideo owner;
    CDesktopVideoOper oper(&owner);
    DesktopCaptureRect rect;
    rect.width = GetSystemMetrics(SM_CXSCREEN) + (GetSystemMetrics(SM_CXSCREEN) & 1);
    rect.height = GetSystemMetrics(SM_CYSCREEN);
    DesktopCursorMark mark;
    mark.enabled = 1;
    std::vector<double> ticks, blits;
    for (int i = 0; i < 30; ++i) {
        double start = NowMs();
        oper.CopyScreenToBitmap(rect, mark);
        ticks.push_back(NowMs() - start);

        start = NowMs();
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, rect.width, rect.height);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, rect.width, rect.height, screen, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        blits.push_back(NowMs() - start);
    }
    printf("desktop tick %dx%d (copy, cursor halo, letterbox, record): %.2f ms; plain BitBlt %.2f ms\n", rect.width,
           rect.height, MedianOf(ticks), MedianOf(blits));
    owner.Quit();
}

} // namespace

int main(int argc, char** argv)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    tq::GetCaptureShareMemory();
    timeBeginPeriod(1);
    BenchFrameRoad();
    if (argc > 1)
        BenchDecoding(argv[1]);
    else
        printf("decoding: no clip given (mediaroadbench CLIP)\n");
    BenchDesktop();
    timeEndPeriod(1);
    CoUninitialize();
    return 0;
}
