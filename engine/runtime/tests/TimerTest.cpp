#include "MultimediaTimer.h"
#include "ThreadTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using namespace tq;

namespace {

class RecordingCallback : public ITimerCallback {
public:
    void OnTimer(UINT_PTR id) override { ids.push_back(id); }
    std::vector<UINT_PTR> ids;
};

void PumpFor(DWORD milliseconds)
{
    const DWORD end = GetTickCount() + milliseconds;
    while (GetTickCount() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(5);
    }
}

} // namespace

TEST(ThreadTimer, TicksReachTheRegisteredObjectUntilKilled)
{
    RecordingCallback callback;
    const UINT_PTR id = SetThreadTimer(20, &callback);
    ASSERT_NE(0u, id);
    PumpFor(200);
    ASSERT_FALSE(callback.ids.empty());
    for (UINT_PTR seen : callback.ids)
        EXPECT_EQ(id, seen);
    KillThreadTimer(id);
    const size_t ticks = callback.ids.size();
    PumpFor(100);
    EXPECT_EQ(ticks, callback.ids.size());
}

TEST(ThreadTimer, KillWithZeroDoesNothing)
{
    RecordingCallback callback;
    const UINT_PTR id = SetThreadTimer(20, &callback);
    KillThreadTimer(0);
    PumpFor(100);
    EXPECT_FALSE(callback.ids.empty());
    KillThreadTimer(id);
}

namespace {
struct SlowCallbackState {
    std::atomic<bool> inside{false};
    std::atomic<bool> ranAfterStop{false};
    std::atomic<bool> stopped{false};
    std::atomic<int> calls{0};
};

void SlowCallback(void* context)
{
    auto* state = static_cast<SlowCallbackState*>(context);
    if (state->stopped)
        state->ranAfterStop = true;
    state->inside = true;
    ++state->calls;
    Sleep(30);
    if (state->stopped)
        state->ranAfterStop = true;
    state->inside = false;
}
}

TEST(MultimediaTimer, StopWaitsForARunningCallback)
{
    SlowCallbackState state;
    CMultimediaTimer timer;
    ASSERT_TRUE(timer.Start(10, &SlowCallback, &state));
    for (int i = 0; i < 200 && !state.inside; ++i)
        Sleep(1);
    ASSERT_TRUE(state.inside.load());
    timer.Stop();
    state.stopped = true;
    EXPECT_FALSE(state.inside.load());
    Sleep(100);
    EXPECT_FALSE(state.ranAfterStop.load());
    EXPECT_FALSE(timer.IsRunning());
}
