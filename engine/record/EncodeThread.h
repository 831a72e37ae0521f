// Thread base of the recorder's encode threads and its writer thread.
#pragma once

#include <windows.h>
#include <atomic>

namespace tq {

class CEncodeThread {
public:
    CEncodeThread() = default;
    virtual ~CEncodeThread();
    CEncodeThread(const CEncodeThread&) = delete;
    CEncodeThread& operator=(const CEncodeThread&) = delete;

    // Starts the thread; true when it runs (or already ran). An autoDelete
    // thread deletes its object when it ends and is never joined.
    bool Start(bool autoDelete);
    // Asks the thread to end and waits for it; the handle is closed here,
    // once, after the thread has ended. False when the wait timed out.
    bool Stop(DWORD timeoutMs = INFINITE);
    bool StopRequested() const { return m_stop; }

protected:
    virtual bool OnStart() = 0;
    virtual void OnStop() = 0;
    virtual void Run() = 0;

private:
    static unsigned __stdcall ThreadProc(void* self);

    std::atomic<bool> m_stop{false};
    bool m_autoDelete = false;
    HANDLE m_thread = nullptr;
    unsigned m_threadId = 0;
};

} // namespace tq
