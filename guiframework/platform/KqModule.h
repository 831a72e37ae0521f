// The platform layer's module object: the module handle and each thread's
// running message loop; the loop itself.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>

class KqMessageLoop {
public:
    // GetMessageW / TranslateMessage / DispatchMessageW until WM_QUIT;
    // returns its exit code. A failed GetMessageW (-1) is skipped.
    int run();
};

class KqModule {
public:
    static KqModule* instance();
    void init(HINSTANCE module) { m_module = module; }
    void term();
    HINSTANCE handle() const { return m_module ? m_module : GetModuleHandleW(nullptr); }

    void addMessageLoop(KqMessageLoop* loop);
    void removeMessageLoop();
    // The loop the thread runs, or null.
    KqMessageLoop* messageLoop(DWORD threadId = GetCurrentThreadId()) const;

private:
    HINSTANCE m_module = nullptr;
    mutable std::mutex m_lock;
    std::map<DWORD, KqMessageLoop*> m_loops;
};
