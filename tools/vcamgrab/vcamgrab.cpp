// vcamgrab: a small DirectShow consumer of a video input device.
//   vcamgrab list
//       prints the friendly name of every video input device, one a line.
//   vcamgrab grab NAME [-size WxH] [-frametime T] [-frames N] [-out DIR] [-timeout MS]
//       opens the device NAME, asks it for WxH RGB24 at T (100 ns units)
//       through IAMStreamConfig, runs it into a Sample Grabber and a Null
//       Renderer, prints each sample's time and saves the first N frames as
//       DIR\frame_000.bmp, ... (default: 640x480, 333333, 5 frames, ".").
// Exit codes: 0 ok, 1 device missing, 2 graph failed, 3 too few frames, 4 usage/io.
#include "CaptureGraph.h"
#include "common/BmpFile.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct GrabOptions {
    std::wstring name;
    int width = 640;
    int height = 480;
    REFERENCE_TIME frameTime = 333333;
    int frames = 5;
    std::wstring outDir = L".";
    DWORD timeoutMs = 15000;
};

bool ParseOptions(int argc, wchar_t** argv, GrabOptions& options)
{
    if (argc < 3)
        return false;
    options.name = argv[2];
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::wstring key = argv[i];
        const wchar_t* value = argv[i + 1];
        if (key == L"-size") {
            if (swscanf(value, L"%dx%d", &options.width, &options.height) != 2)
                return false;
        } else if (key == L"-frametime") {
            options.frameTime = _wcstoi64(value, nullptr, 10);
        } else if (key == L"-frames") {
            options.frames = _wtoi(value);
        } else if (key == L"-out") {
            options.outDir = value;
        } else if (key == L"-timeout") {
            options.timeoutMs = DWORD(_wtoi(value));
        } else {
            return false;
        }
    }
    return options.frames > 0 && options.width > 0 && options.height > 0;
}

int List()
{
    for (const std::wstring& name : CCaptureGraph::ListVideoDevices())
        wprintf(L"%ls\n", name.c_str());
    return 0;
}

int Grab(const GrabOptions& options)
{
    CCaptureGraph graph;
    HRESULT hr = graph.OpenDevice(options.name);
    if (FAILED(hr)) {
        fwprintf(stderr, L"vcamgrab: no video input device \"%ls\" (hr 0x%08lx)\n", options.name.c_str(), hr);
        return 1;
    }
    hr = graph.SetFormat(options.width, options.height, options.frameTime);
    if (FAILED(hr))
        fwprintf(stderr, L"vcamgrab: the device refused %dx%d (hr 0x%08lx)\n", options.width, options.height, hr);

    std::mutex lock;
    std::vector<std::vector<BYTE>> frames;
    HANDLE enough = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    int seen = 0;
    hr = graph.Build([&](const CapturedSample& sample) {
        std::lock_guard<std::mutex> guard(lock);
        ++seen;
        if (sample.hasTime)
            printf("sample %d time %.4f s, %ld bytes\n", seen, double(sample.start) / 1e7, sample.length);
        else
            printf("sample %d time none, %ld bytes\n", seen, sample.length);
        fflush(stdout);
        if (int(frames.size()) < options.frames && sample.data && sample.length > 0) {
            frames.emplace_back(sample.data, sample.data + sample.length);
            if (int(frames.size()) == options.frames)
                SetEvent(enough);
        }
    });
    if (FAILED(hr)) {
        fprintf(stderr, "vcamgrab: could not build the graph (hr 0x%08lx)\n", hr);
        CloseHandle(enough);
        return 2;
    }
    printf("connected %dx%d\n", graph.Width(), graph.Height());
    hr = graph.Run();
    if (FAILED(hr)) {
        fprintf(stderr, "vcamgrab: could not run the graph (hr 0x%08lx)\n", hr);
        CloseHandle(enough);
        return 2;
    }
    WaitForSingleObject(enough, options.timeoutMs);
    graph.Stop();
    CloseHandle(enough);

    const int width = graph.Width();
    const int height = graph.Height();
    const size_t stride = DibStride(width);
    const size_t rowBytes = size_t(width) * 3;
    std::lock_guard<std::mutex> guard(lock);
    for (size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].size() < stride * size_t(height)) {
            fprintf(stderr, "vcamgrab: frame %u is %u bytes, short of %dx%d\n", unsigned(i), unsigned(frames[i].size()),
                    width, height);
            return 4;
        }
        std::vector<uint8_t> packed(rowBytes * size_t(height));
        for (int row = 0; row < height; ++row)
            memcpy(packed.data() + size_t(row) * rowBytes, frames[i].data() + size_t(row) * stride, rowBytes);
        wchar_t path[MAX_PATH];
        swprintf(path, MAX_PATH, L"%ls\\frame_%03u.bmp", options.outDir.c_str(), unsigned(i));
        if (!tqtools::SaveBmp24(path, width, height, packed.data())) {
            fwprintf(stderr, L"vcamgrab: cannot write %ls\n", path);
            return 4;
        }
        wprintf(L"saved %ls\n", path);
    }
    if (int(frames.size()) < options.frames) {
        fprintf(stderr, "vcamgrab: only %u of %d frames arrived\n", unsigned(frames.size()), options.frames);
        return 3;
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int result = 4;
    GrabOptions options;
    if (argc >= 2 && std::wstring(argv[1]) == L"list")
        result = List();
    else if (argc >= 3 && std::wstring(argv[1]) == L"grab" && ParseOptions(argc, argv, options))
        result = Grab(options);
    else
        fprintf(stderr, "usage: vcamgrab list | vcamgrab grab NAME [-size WxH] [-frametime T] [-frames N] [-out DIR] [-timeout MS]\n");
    if (SUCCEEDED(com))
        CoUninitialize();
    return result;
}
