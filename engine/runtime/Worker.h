// The thread half of the engine's worker objects. A public object owns a
// CWorker; the worker thread builds the Oper (which owns a window on that
// thread), pumps messages until asked to quit, then deletes the Oper.
#pragma once

#include <windows.h>
#include <atomic>

namespace tq {

// What the public object does on its worker thread.
class IWorkerBody {
public:
    virtual ~IWorkerBody() = default;
    // Builds the Oper; returns the window that receives commands (null on failure).
    virtual HWND CreateOper() = 0;
    // Tears the Oper down after the pump has ended.
    virtual void DestroyOper() = 0;
};

// Pumps the thread's messages until quitFlag is set and quitEvent signalled.
void RunWorkerPump(HANDLE quitEvent, const std::atomic<bool>& quitFlag);

class CWorker {
public:
    CWorker() = default;
    ~CWorker() { Quit(); }
    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;

    // Starts the thread and returns once the Oper exists (or could not be
    // made), so that no command is posted before its window is there.
    bool Start(IWorkerBody* body, int priority = THREAD_PRIORITY_NORMAL);
    // Ends the thread: quit flag, event, wait without time-out.
    void Quit();
    bool IsRunning() const { return m_thread != nullptr; }
    // Posts a command to the Oper's window; false (dropped) without one.
    bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    HWND OperWindow() const { return m_operWindow; }
    DWORD ThreadId() const { return m_threadId; }

private:
    static unsigned __stdcall ThreadMain(void* self);
    IWorkerBody* m_body = nullptr;
    HANDLE m_thread = nullptr;
    HANDLE m_quitEvent = nullptr;
    HANDLE m_ready = nullptr;
    unsigned m_threadId = 0;
    HWND m_operWindow = nullptr;
    std::atomic<bool> m_quit{false};  // per instance: a later worker starts afresh
};

// COM for a worker thread: initialised multithreaded, uninitialised only
// when the initialisation succeeded.
class CComInit {
public:
    explicit CComInit(DWORD model = COINIT_MULTITHREADED);
    ~CComInit();
    CComInit(const CComInit&) = delete;
    CComInit& operator=(const CComInit&) = delete;
    HRESULT Result() const { return m_hr; }
    // S_OK, S_FALSE, or RPC_E_CHANGED_MODE (COM is usable in the other model).
    bool Usable() const { return SUCCEEDED(m_hr) || m_hr == RPC_E_CHANGED_MODE; }
private:
    HRESULT m_hr;
};

} // namespace tq
