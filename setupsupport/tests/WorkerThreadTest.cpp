// CWorkerThread: start, stop and restart, one thread per object.
#include "WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Runs until asked to stop; counts runs and how many run at once.
class LoopingWorker : public CWorkerThread {
public:
    LoopingWorker() { m_started = CreateEventW(nullptr, FALSE, FALSE, nullptr); }
    ~LoopingWorker() override
    {
        stop();
        CloseHandle(m_started);
    }
    bool waitStarted() { return WaitForSingleObject(m_started, 10000) == WAIT_OBJECT_0; }

    std::atomic<int> runs{0};
    std::atomic<int> active{0};
    std::atomic<int> mostActive{0};
    std::atomic<DWORD> lastThread{0};

protected:
    void execute() override
    {
        int now = ++active;
        int seen = mostActive.load();
        while (now > seen && !mostActive.compare_exchange_weak(seen, now)) {
        }
        lastThread = GetCurrentThreadId();
        ++runs;
        SetEvent(m_started);
        while (!isStopRequested())
            Sleep(1);
        --active;
    }

private:
    HANDLE m_started;
};

// Returns at once.
class OneShotWorker : public CWorkerThread {
public:
    ~OneShotWorker() override { stop(); }
    std::atomic<DWORD> ranOn{0};
protected:
    void execute() override { ranOn = GetCurrentThreadId(); }
};

} // namespace

TEST(WorkerThread, StartsStopsAndStartsAgain)
{
    LoopingWorker worker;
    ASSERT_TRUE(worker.start(0));
    ASSERT_TRUE(worker.waitStarted());
    EXPECT_TRUE(worker.isRunning());
    EXPECT_EQ(worker.lastThread.load(), worker.threadId());
    worker.stop();
    EXPECT_FALSE(worker.isRunning());
    EXPECT_FALSE(worker.isStopRequested());
    EXPECT_EQ(0u, worker.threadId());
    EXPECT_EQ(0, worker.active.load());

    ASSERT_TRUE(worker.start(7));
    EXPECT_EQ(7, worker.parameter());
    ASSERT_TRUE(worker.waitStarted());
    worker.stop();
    EXPECT_EQ(2, worker.runs.load());
    EXPECT_EQ(1, worker.mostActive.load());
}

TEST(WorkerThread, StopBeforeAnyStartReturnsAtOnce)
{
    LoopingWorker worker;
    worker.stop();
    EXPECT_FALSE(worker.isRunning());
    EXPECT_FALSE(worker.isStopRequested());
    EXPECT_EQ(0u, worker.threadId());
    EXPECT_EQ(0, worker.runs.load());
}

TEST(WorkerThread, SecondStartLeavesOneThread)
{
    LoopingWorker worker;
    ASSERT_TRUE(worker.start(0));
    ASSERT_TRUE(worker.waitStarted());
    const DWORD firstId = worker.threadId();
    HANDLE first = OpenThread(SYNCHRONIZE, FALSE, firstId);
    ASSERT_NE(nullptr, first);

    ASSERT_TRUE(worker.start(0));  // the first run is stopped and joined first
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first, 0)) << "the earlier thread still runs";
    CloseHandle(first);
    ASSERT_TRUE(worker.waitStarted());
    EXPECT_NE(firstId, worker.threadId());
    EXPECT_EQ(1, worker.active.load());
    worker.stop();
    EXPECT_EQ(2, worker.runs.load());
    EXPECT_EQ(1, worker.mostActive.load());
}

TEST(WorkerThread, RunsOnANewThreadOrOnTheCaller)
{
    OneShotWorker worker;
    EXPECT_TRUE(worker.run(false));
    EXPECT_EQ(GetCurrentThreadId(), worker.ranOn.load());
    EXPECT_FALSE(worker.isRunning());

    worker.ranOn = 0;
    ASSERT_TRUE(worker.run(true));
    worker.join();
    EXPECT_NE(0u, worker.ranOn.load());
    EXPECT_NE(GetCurrentThreadId(), worker.ranOn.load());
    worker.stop();
}

TEST(WorkerThread, ThreadEntryRefusesAMissingObject)
{
    EXPECT_EQ(static_cast<unsigned>(-1), CWorkerThread::threadProc(nullptr));
}
