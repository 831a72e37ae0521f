#include "MessageWindow.h"
#include "Worker.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace tq;

namespace {

constexpr UINT WM_TEST_COMMAND = WM_APP + 1;

// An Oper that counts commands on its own thread.
class CountingOper : public CMessageWindow {
public:
    std::atomic<int>* handled = nullptr;
    DWORD* threadSeen = nullptr;
protected:
    bool OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT* result) override
    {
        if (message != WM_TEST_COMMAND)
            return false;
        *threadSeen = GetCurrentThreadId();
        ++*handled;
        *result = 0;
        return true;
    }
};

class CountingWorker : public IWorkerBody {
public:
    CountingWorker() { worker.Start(this); }
    ~CountingWorker() override { worker.Quit(); }
    HWND CreateOper() override
    {
        oper = new CountingOper;
        oper->handled = &handled;
        oper->threadSeen = &threadSeen;
        oper->CreateMessageWindow(CMessageWindow::MessageOnly);
        return oper->Hwnd();
    }
    void DestroyOper() override
    {
        delete oper;
        oper = nullptr;
        ++destroyed;
    }
    CWorker worker;
    CountingOper* oper = nullptr;
    std::atomic<int> handled{0};
    DWORD threadSeen = 0;
    int destroyed = 0;
};

bool WaitFor(const std::atomic<int>& value, int expected)
{
    for (int i = 0; i < 500 && value.load() != expected; ++i)
        Sleep(10);
    return value.load() == expected;
}

} // namespace

TEST(Worker, CommandsPostedRightAfterConstructionReachTheOper)
{
    CountingWorker w;
    ASSERT_TRUE(w.worker.IsRunning());
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(w.worker.Post(WM_TEST_COMMAND));
    EXPECT_TRUE(WaitFor(w.handled, 5));
    EXPECT_EQ(w.worker.ThreadId(), w.threadSeen);
    EXPECT_NE(GetCurrentThreadId(), w.threadSeen);
}

TEST(Worker, QuitEndsTheThreadAndDeletesTheOper)
{
    CountingWorker w;
    w.worker.Quit();
    EXPECT_FALSE(w.worker.IsRunning());
    EXPECT_EQ(1, w.destroyed);
    EXPECT_FALSE(w.worker.Post(WM_TEST_COMMAND));  // dropped, not sent to a stale window
    w.worker.Quit();                               // a second quit is harmless
}

TEST(Worker, ASecondGenerationOfWorkersRuns)
{
    // One worker quitting must not leave later workers dead.
    for (int generation = 0; generation < 3; ++generation) {
        CountingWorker w;
        EXPECT_TRUE(w.worker.Post(WM_TEST_COMMAND));
        EXPECT_TRUE(WaitFor(w.handled, 1)) << "generation " << generation;
    }
}

TEST(Worker, TwoLiveWorkersQuitIndependently)
{
    CountingWorker a, b;
    a.worker.Quit();
    EXPECT_TRUE(b.worker.Post(WM_TEST_COMMAND));
    EXPECT_TRUE(WaitFor(b.handled, 1));
}

TEST(ComInit, UninitialisesOnlyWhatItInitialised)
{
    // This thread becomes single-threaded; a multithreaded request then fails
    // with RPC_E_CHANGED_MODE, is still usable, and must not uninitialise.
    CComInit sta(COINIT_APARTMENTTHREADED);
    ASSERT_TRUE(SUCCEEDED(sta.Result()));
    {
        CComInit mta(COINIT_MULTITHREADED);
        EXPECT_EQ(RPC_E_CHANGED_MODE, mta.Result());
        EXPECT_TRUE(mta.Usable());
    }
    // Still initialised: a second STA request answers S_FALSE.
    CComInit again(COINIT_APARTMENTTHREADED);
    EXPECT_EQ(S_FALSE, again.Result());
}
