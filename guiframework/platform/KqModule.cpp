#include "KqModule.h"

#include "KqServices.h"

int KqMessageLoop::run()
{
    MSG message;
    for (;;) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(message.wParam);
        if (got == -1)
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

KqModule* KqModule::instance() { return KqSingleton<KqModule>::instance(); }

void KqModule::term()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_loops.clear();
}

void KqModule::addMessageLoop(KqMessageLoop* loop)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_loops[GetCurrentThreadId()] = loop;
}

void KqModule::removeMessageLoop()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_loops.erase(GetCurrentThreadId());
}

KqMessageLoop* KqModule::messageLoop(DWORD threadId) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_loops.find(threadId);
    return it == m_loops.end() ? nullptr : it->second;
}
