#include "KqTimer.h"

#include "KqServices.h"

#include <atomic>
#include <cstdlib>

KQ_DEFINE_CLASS(KqTimer, KqRttiObject, 'TIMR', &kqMakeInstance<KqTimer>)

KqTimer::~KqTimer() { stop(); }

bool KqTimer::start(int32_t intervalMs)
{
    if (isActive()) {
        if (intervalMs == m_interval)
            return true; // the running period is kept
        stop();
    }
    KqTimerServiceWindow* service = KqTimerServiceWindow::instance();
    const int32_t id = service ? service->add(this, intervalMs) : -1;
    if (id == -1) {
        // Without the service window no WM_TIMER would ever reach us: stay stopped.
        KqDebugStream() << "KqTimer::start: no timer service window, the timer does not run";
        return false;
    }
    m_interval = intervalMs;
    m_timerId = id;
    return true;
}

void KqTimer::stop()
{
    if (m_timerId == -1)
        return;
    if (KqTimerServiceWindow* service = KqTimerServiceWindow::existing())
        service->remove(m_timerId);
    m_interval = -1;
    m_timerId = -1;
}

namespace {
std::atomic<KqTimerServiceWindow*> g_service(nullptr);
std::atomic<bool> g_serviceGone(false);
}

KqTimerServiceWindow* KqTimerServiceWindow::existing() { return g_service.load(std::memory_order_acquire); }

KqTimerServiceWindow* KqTimerServiceWindow::instance()
{
    KqTimerServiceWindow* current = g_service.load(std::memory_order_acquire);
    if (current || g_serviceGone)
        return current;
    KqTimerServiceWindow* fresh = new KqTimerServiceWindow;
    KqTimerServiceWindow* expected = nullptr;
    if (!g_service.compare_exchange_strong(expected, fresh)) {
        delete fresh;
        return expected;
    }
    atexit(&KqTimerServiceWindow::destroyAtExit);
    return fresh;
}

void KqTimerServiceWindow::destroyAtExit()
{
    g_serviceGone = true;
    delete g_service.exchange(nullptr);
}

KqTimerServiceWindow::~KqTimerServiceWindow() {}

int32_t KqTimerServiceWindow::add(KqTimer* timer, int32_t intervalMs)
{
    if (!hwnd()) {
        static const KqWindowClassSpec windowClass = {L"KqTimerServiceWindow", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,
                                                      IDC_ARROW, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)};
        create(windowClass, WS_POPUP, 0, L"", CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
        // SetTimer on no window would make a thread timer that nothing dispatches.
        if (!hwnd())
            return -1;
    }
    int32_t id = m_nextId;
    while (m_timers.contains(id))
        ++id;
    m_nextId = id + 1;
    int32_t running = static_cast<int32_t>(SetTimer(hwnd(), static_cast<UINT_PTR>(id), static_cast<UINT>(intervalMs), nullptr));
    m_timers[running] = timer;
    return running;
}

void KqTimerServiceWindow::remove(int32_t id)
{
    m_timers.remove(id);
    if (hwnd())
        KillTimer(hwnd(), static_cast<UINT_PTR>(id));
    if (m_timers.count() == 0)
        destroy();
}

bool KqTimerServiceWindow::processMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_TIMER: {
        KqTimer* timer = m_timers.value(static_cast<int32_t>(wParam), nullptr);
        if (timer)
            timer->timeout.emit();
        result = 0;
        return true;
    }
    case WM_DESTROY:
        result = 1;
        return true;
    case WM_NCDESTROY:
        result = 0;
        return true;
    }
    return false;
}
