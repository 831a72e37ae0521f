// The frame protocol across real processes: this test plays the engine and
// starts framepeer (from the same folder) as the camera filter's side.
#include "FrameProtocol.h"
#include "SharedFrameWriter.h"
#include "ShareHandle.h"
#include "framepeer/TestPattern.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tq;

namespace {

std::wstring PeerPath()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    return p.substr(0, p.find_last_of(L"\\/") + 1) + L"framepeer.exe";
}

HANDLE StartPeer(const std::wstring& arguments)
{
    std::wstring command = L"\"" + PeerPath() + L"\" " + arguments;
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

DWORD WaitExit(HANDLE process, DWORD timeoutMs = 60000)
{
    DWORD code = 0xDEAD;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

DWORD RunPeer(const std::wstring& arguments)
{
    HANDLE p = StartPeer(arguments);
    return p ? WaitExit(p) : 0xBAD;
}

class PatternSteps : public IFrameWriterSteps {
public:
    explicit PatternSteps(uint32_t seed) : m_seed(seed) {}
    void WritePixels(uint8_t* pixels, uint32_t w, uint32_t h) override { tqtools::FillPattern(pixels, w, h, m_seed); }
private:
    uint32_t m_seed;
};

// Puts raw bytes at the start of the capture record, bypassing the writer's checks.
void WriteRawHeader(uint32_t width, uint32_t height)
{
    CMutexLock lock(GetShareMemoryMutex().Get());
    CMappedView view(GetCaptureShareMemory().Get(), FILE_MAP_ALL_ACCESS);
    ASSERT_TRUE(view);
    FrameHeader h;
    h.width = width;
    h.height = height;
    WriteFrameHeader(view.Get(), h);
}

} // namespace

TEST(FrameProtocolIpc, ReaderBeforeAnyEngineFindsNothing)
{
    // Nothing has created the objects in this process yet.
    EXPECT_EQ(3u, RunPeer(L"read"));
}

TEST(FrameProtocolIpc, ReaderCopiesTheWrittenFrameExactly)
{
    GetUserShareMemory();
    GetVcamParaShareMemory().ResetVcamPara();
    CSharedFrameWriter writer;
    PatternSteps steps(42);
    FrameHeader h;
    h.smoothFlag = 1;
    h.width = 480;
    h.height = 360;
    h.frameTime = static_cast<int32_t>(timeGetTime());
    ASSERT_TRUE(writer.WriteFrame(h, steps, FrameWriterPlan()));
    EXPECT_EQ(0u, RunPeer(L"read \"\" 42"));
    EXPECT_EQ(2u, RunPeer(L"read \"\" 43"));  // a different picture is told apart
}

TEST(FrameProtocolIpc, ReaderRefusesHostileRecords)
{
    GetVcamParaShareMemory().ResetVcamPara();
    const struct { uint32_t width, height; } cases[] = {{0, 360}, {480, 0}, {801, 600}, {100000, 100000}};
    for (const auto& c : cases) {
        WriteRawHeader(c.width, c.height);
        EXPECT_EQ(2u, RunPeer(L"read")) << c.width << "x" << c.height;
    }
}

TEST(FrameProtocolIpc, AutoResetEventReleasesOneOfTwoWaiters)
{
    HANDLE ready[2];
    HANDLE waiters[2];
    for (int i = 0; i < 2; ++i) {
        const std::wstring name = L"frame-protocol-test-ready-" + std::to_wstring(i);
        ready[i] = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
        waiters[i] = StartPeer(L"wait-event " + name + L" 3000");
        ASSERT_NE(nullptr, waiters[i]);
    }
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, ready, TRUE, 30000));
    Sleep(200);  // both are now inside their wait
    HANDLE frame = OpenEventW(EVENT_ALL_ACCESS, FALSE, kSynFrameEventName);
    ASSERT_NE(nullptr, frame);
    SetEvent(frame);
    const DWORD first = WaitExit(waiters[0]);
    const DWORD second = WaitExit(waiters[1]);
    EXPECT_EQ(1u, (first == 0) + (second == 0)) << first << " " << second;
    EXPECT_EQ(1u, (first == 1) + (second == 1)) << first << " " << second;
    CloseHandle(frame);
    CloseHandle(ready[0]);
    CloseHandle(ready[1]);
}
