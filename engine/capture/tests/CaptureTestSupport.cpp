#include "CaptureTestSupport.h"
#include "CaptureLog.h"
#include "ShareHandle.h"
#include "testing/TestFilters.h"

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

bool RegisterTestCamera()
{
    return tqtest::CallServerRegistration(L"TqTestCam.ax", true);
}

void SetCameraSwitch(const char* name, const char* value)
{
    SetEnvironmentVariableA(name, value && *value ? value : nullptr);
}

void ClearCameraSwitches()
{
    for (const char* name : {"TQ_TESTCAM_SUBTYPES", "TQ_TESTCAM_MJPEG", "TQ_TESTCAM_CAPSSIZE", "TQ_TESTCAM_SHORT",
                             "TQ_TESTCAM_AUDIO"})
        SetEnvironmentVariableA(name, nullptr);
}

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
        Sleep(5);
    }
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

void StartLogCapture()
{
    SetCaptureLogObserver(&Observe);
}

void ClearLog()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    g_log.clear();
}

std::vector<std::string> LogLines()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    return g_log;
}

int CountLog(const std::string& fragment)
{
    const std::vector<std::string> lines = LogLines();
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.find(fragment) != std::string::npos; }));
}

std::vector<uint8_t> ReadRecord()
{
    std::vector<uint8_t> record(tq::kCaptureMemorySize);
    tq::CMutexLock lock(tq::GetShareMemoryMutex().Get());
    tq::CMappedView view(tq::GetCaptureShareMemory().Get(), FILE_MAP_READ);
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

bool WaitForFrame(int32_t after, uint32_t width, uint32_t height, std::vector<uint8_t>& record, DWORD timeoutMs)
{
    return PumpUntil([&] {
        record = ReadRecord();
        const tq::FrameHeader header = HeaderOf(record);
        return header.frameTime != after && header.width == width && header.height == height;
    }, timeoutMs);
}

void FillRecord(int32_t frameTime, uint32_t width, uint32_t height, uint8_t value)
{
    tq::CMutexLock lock(tq::GetShareMemoryMutex().Get());
    tq::CMappedView view(tq::GetCaptureShareMemory().Get(), FILE_MAP_ALL_ACCESS);
    if (!view)
        return;
    memset(view.Get(), value, tq::kCaptureMemorySize);
    tq::FrameHeader header;
    header.smoothFlag = 0;
    header.width = width;
    header.height = height;
    header.frameTime = frameTime;
    tq::WriteFrameHeader(view.Get(), header);
}

int ColourDistance(const uint8_t* picture, int width, int height, int x, int y, PatternColor colour)
{
    const uint8_t* p = picture + (size_t(height - 1 - y) * width + x) * 3;
    return std::max({std::abs(p[0] - colour.b), std::abs(p[1] - colour.g), std::abs(p[2] - colour.r)});
}

int QuadrantDistance(const uint8_t* picture, int width, int height, bool mirrored)
{
    int worst = 0;
    for (int q = 0; q < 4; ++q) {
        const int x = (q & 1) ? width * 3 / 4 : width / 4;
        const int y = (q & 2) ? height * 3 / 4 : height / 4;
        worst = std::max(worst, ColourDistance(picture, width, height, x, y, QuadrantColor(mirrored ? q ^ 1 : q)));
    }
    return worst;
}

