#include "BoundedWork.h"
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(5);
    }
    return true;
}

TEST(BoundedWork, WorkWithinTheLimitIsDone)
{
    std::atomic<int> runs{0};
    EXPECT_TRUE(tq::RunBounded([&] { ++runs; }, 5000));
    EXPECT_EQ(1, runs.load());
}

TEST(BoundedWork, WorkPastTheLimitGoesOnAlone)
{
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> finished{false};
    EXPECT_FALSE(tq::RunBounded([&] {
        WaitForSingleObject(release, INFINITE);
        finished = true;
    }, 50));
    EXPECT_FALSE(finished.load());
    SetEvent(release);
    EXPECT_TRUE(WaitUntil([&] { return finished.load(); }, 10000));
    CloseHandle(release);
}

// A host may unload the library that gave up on its work: the work's thread
// keeps it loaded until the work is done, then lets it go.
TEST(BoundedWork, TheLibraryOutlivesItsUnloadUntilTheWorkEnds)
{
    HMODULE probe = LoadLibraryW((tqtest::ProgramFolder() + L"\\bounded_work_probe.dll").c_str());
    ASSERT_TRUE(probe);
    using Start = BOOL(WINAPI*)(HANDLE, HANDLE, DWORD);
    auto start = reinterpret_cast<Start>(reinterpret_cast<void*>(GetProcAddress(probe, "StartWaitingWork")));
    ASSERT_TRUE(start);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(start(release, finished, 50)) << "the work waits past the limit";
    FreeLibrary(probe);
    ASSERT_TRUE(GetModuleHandleW(L"bounded_work_probe.dll")) << "unloaded under running work";
    SetEvent(release);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(finished, 10000));
    EXPECT_TRUE(WaitUntil([] { return !GetModuleHandleW(L"bounded_work_probe.dll"); }, 10000))
        << "the work's thread let the library go";
    CloseHandle(release);
    CloseHandle(finished);
}

} // namespace
