#include "MediaTestSupport.h"
#include "MediaLog.h"
#include "ShareHandle.h"

#include <objbase.h>

#include <mmsystem.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {
std::mutex g_logLock;
std::vector<std::string> g_log;

void Observe(const std::string& line)
{
    std::lock_guard<std::mutex> lock(g_logLock);
    g_log.push_back(line);
}
}

const Rgb kQuadrants[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void NextMillisecond()
{
    const DWORD now = timeGetTime();
    while (timeGetTime() == now)
        Sleep(1);
}

void StartMediaLogCapture()
{
    SetMediaLogObserver(&Observe);
}

void ClearMediaLog()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    g_log.clear();
}

int CountMediaLog(const std::string& fragment)
{
    std::lock_guard<std::mutex> lock(g_logLock);
    return int(std::count_if(g_log.begin(), g_log.end(),
                             [&](const std::string& line) { return line.find(fragment) != std::string::npos; }));
}

std::vector<std::string> MediaLogLines()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    return g_log;
}

std::vector<uint8_t> ReadRecord()
{
    std::vector<uint8_t> record(tq::kFrameCopyBytes, 0);
    tq::CMutexLock lock(tq::GetShareMemoryMutex().Get());
    tq::CMappedView view(tq::GetCaptureShareMemory().Get(), FILE_MAP_ALL_ACCESS, tq::kCaptureMemorySize,
                         "CaptureShareMemory");
    if (view)
        memcpy(record.data(), view.Get(), record.size());
    return record;
}

tq::FrameHeader HeaderOf(const std::vector<uint8_t>& record)
{
    tq::FrameHeader header;
    header.smoothFlag = tq::ReadU32BE(record.data(), tq::kOffSmoothFlag);
    header.width = tq::ReadU32BE(record.data(), tq::kOffWidth);
    header.height = tq::ReadU32BE(record.data(), tq::kOffHeight);
    header.frameTime = tq::ReadFrameTimeLow(record.data(), tq::kOffFrameTime);
    return header;
}

void FillRecord(int32_t frameTime, uint8_t value)
{
    tq::CMutexLock lock(tq::GetShareMemoryMutex().Get());
    tq::CMappedView view(tq::GetCaptureShareMemory().Get(), FILE_MAP_ALL_ACCESS, tq::kCaptureMemorySize,
                         "CaptureShareMemory");
    if (!view)
        return;
    tq::FrameHeader header;
    header.width = 480;
    header.height = 360;
    header.frameTime = frameTime;
    tq::WriteFrameHeader(view.Get(), header);
    memset(view.Get() + tq::kFrameHeaderSize, value, tq::kMaxFramePixelBytes);
}

bool WaitForNewFrame(int32_t after, std::vector<uint8_t>& record, DWORD timeoutMs)
{
    return PumpUntil([&] {
        record = ReadRecord();
        return HeaderOf(record).frameTime != after;
    }, timeoutMs);
}

Rgb PixelAt(const uint8_t* picture, int width, int height, int x, int y)
{
    const uint8_t* p = picture + (size_t(height - 1 - y) * width + x) * 3;
    return {p[2], p[1], p[0]};
}

int Distance(Rgb a, Rgb b)
{
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

std::vector<uint8_t> QuadrantPicture(int width, int height)
{
    std::vector<uint8_t> picture(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = kQuadrants[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)];
            uint8_t* p = picture.data() + (size_t(height - 1 - y) * width + x) * 3;
            p[0] = uint8_t(c.b);
            p[1] = uint8_t(c.g);
            p[2] = uint8_t(c.r);
        }
    }
    return picture;
}

int QuadrantDistance(const uint8_t* picture, int pictureWidth, int pictureHeight, int x, int y, int width, int height)
{
    int worst = 0;
    for (int q = 0; q < 4; ++q) {
        const int cx = x + (q % 2 ? width * 3 / 4 : width / 4);
        const int cy = y + (q / 2 ? height * 3 / 4 : height / 4);
        worst = std::max(worst, Distance(PixelAt(picture, pictureWidth, pictureHeight, cx, cy), kQuadrants[q]));
    }
    return worst;
}

tq::ComPtr<IFilterGraph> RunningGraph()
{
    tq::ComPtr<IFilterGraph> graph;
    tq::ComPtr<IRunningObjectTable> rot;
    tq::ComPtr<IEnumMoniker> monikers;
    if (FAILED(GetRunningObjectTable(0, rot.Receive())) || FAILED(rot->EnumRunning(monikers.Receive())))
        return graph;
    wchar_t suffix[32];
    swprintf(suffix, 32, L" pid %08x", unsigned(GetCurrentProcessId()));
    tq::ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.Receive(), nullptr) == S_OK) {
        tq::ComPtr<IBindCtx> context;
        CreateBindCtx(0, context.Receive());
        LPOLESTR name = nullptr;
        if (FAILED(moniker->GetDisplayName(context.Get(), nullptr, &name)) || !name)
            continue;
        const std::wstring text(name);
        CoTaskMemFree(name);
        if (text.find(L"FilterGraph ") == std::wstring::npos || text.find(suffix) == std::wstring::npos)
            continue;
        tq::ComPtr<IUnknown> object;
        if (SUCCEEDED(rot->GetObject(moniker.Get(), object.Receive())) && object)
            object->QueryInterface(IID_IFilterGraph, graph.ReceiveVoid());
        break;
    }
    return graph;
}
