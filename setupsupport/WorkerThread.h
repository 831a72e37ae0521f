// Base of the setup programs' background jobs: one thread per object running
// execute(), with a stop flag the job polls between its units of work.
#pragma once

#include <windows.h>

#include <cstdint>

class CWorkerThread {
public:
    CWorkerThread() = default;
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Starts execute() on a new thread. A run still in progress is stopped
    // and joined first, so an object never owns more than one thread.
    bool start(int32_t parameter = 0);
    // async: on a new thread; otherwise execute() on the calling thread.
    bool run(bool async);
    // Waits for the thread, when there is one.
    void join();
    // Raises the stop flag, joins and forgets the thread; the object can be
    // started again afterwards.
    void stop();

    bool isStopRequested() const { return m_stopRequested != 0; }
    bool isRunning() const { return m_handle != nullptr; }
    uint32_t threadId() const { return m_threadId; }
    int32_t parameter() const { return m_parameter; }

    // Thread entry: runs the object's execute(); -1 for a missing object.
    static unsigned __stdcall threadProc(void* self);

protected:
    virtual void execute() = 0;

    // Polled by the job; a plain 32-bit word written by the owner thread.
    volatile int32_t m_stopRequested = 0;

private:
    HANDLE m_handle = nullptr;
    uint32_t m_threadId = 0;
    CWorkerThread* m_self = nullptr;
    int32_t m_parameter = 0;
};
