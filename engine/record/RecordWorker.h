// The recorder's worker: one thread that owns a message-only window and pumps
// its messages until asked to quit. Shaped like the engine's shared worker
// base (a body that builds and tears down the Oper on the worker thread), so
// the recorder can move onto it.
#pragma once

#include <windows.h>
#include <atomic>

namespace tq {

class IRecordWorkerBody {
public:
    virtual ~IRecordWorkerBody() = default;
    // On the worker thread: builds the Oper; returns its window (null on failure).
    virtual HWND CreateOper() = 0;
    // On the worker thread, after the pump: deletes the Oper.
    virtual void DestroyOper() = 0;
};

class CRecordWorkerThread {
public:
    CRecordWorkerThread() = default;
    ~CRecordWorkerThread() { Quit(); }
    CRecordWorkerThread(const CRecordWorkerThread&) = delete;
    CRecordWorkerThread& operator=(const CRecordWorkerThread&) = delete;

    // Starts the thread and returns once the Oper exists (or could not be made).
    bool Start(IRecordWorkerBody* body, int priority);
    // Quit flag, quit event, wait without time-out; the Oper is gone after.
    void Quit();
    bool IsRunning() const { return m_thread != nullptr; }
    bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

private:
    static unsigned __stdcall ThreadMain(void* self);

    IRecordWorkerBody* m_body = nullptr;
    HANDLE m_thread = nullptr;
    HANDLE m_quitEvent = nullptr;
    HANDLE m_ready = nullptr;
    HWND m_operWindow = nullptr;
    std::atomic<bool> m_quit{false};
};

// A message-only window whose messages go to the object.
class CRecordMessageWindow {
public:
    CRecordMessageWindow() = default;
    virtual ~CRecordMessageWindow();
    CRecordMessageWindow(const CRecordMessageWindow&) = delete;
    CRecordMessageWindow& operator=(const CRecordMessageWindow&) = delete;

    bool CreateMessageWindow();
    void DestroyMessageWindow();
    HWND Hwnd() const { return m_hWnd; }

protected:
    // True when handled (result in *result); others go to DefWindowProc.
    virtual bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) = 0;

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_hWnd = nullptr;
};

} // namespace tq
