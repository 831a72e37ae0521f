// Hands work from any thread to the UI thread that made the queue: a
// message-only window wakes that thread's message loop, and the tasks run
// there, high-priority ones before the rest.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>

class UiThreadQueue {
public:
    UiThreadQueue();   // on the UI thread
    ~UiThreadQueue();  // on the UI thread; tasks not yet run are dropped
    UiThreadQueue(const UiThreadQueue&) = delete;
    UiThreadQueue& operator=(const UiThreadQueue&) = delete;

    void post(std::function<void()> task, bool highPriority = false);
    // UI thread only: runs the task once, after ms; the id cancels it.
    unsigned postAfter(unsigned ms, std::function<void()> task);
    void cancel(unsigned id);
    // Runs every task posted so far (UI thread only).
    void runPending();
    bool onUiThread() const { return GetCurrentThreadId() == m_threadId; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    DWORD m_threadId = 0;
    std::mutex m_lock;
    std::deque<std::function<void()>> m_high;
    std::deque<std::function<void()>> m_normal;
    bool m_wakePosted = false;
    std::map<unsigned, std::function<void()>> m_timers;  // UI thread only
    unsigned m_nextTimer = 1;
};

// Pumps the calling thread's messages until done() holds or timeoutMs
// passes; true when done() held.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);
