#include "UiThreadQueue.h"

namespace {
const wchar_t kClassName[] = L"TqPanelUiQueue";
const UINT kWakeMessage = WM_APP + 0x241;
}  // namespace

UiThreadQueue::UiThreadQueue() : m_threadId(GetCurrentThreadId())
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &UiThreadQueue::windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // fails harmlessly when already registered
    m_window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

UiThreadQueue::~UiThreadQueue()
{
    if (m_window) {
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
    }
}

void UiThreadQueue::post(std::function<void()> task, bool highPriority)
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        (highPriority ? m_high : m_normal).push_back(std::move(task));
        wake = !m_wakePosted;
        m_wakePosted = true;
    }
    if (wake)
        PostMessageW(m_window, kWakeMessage, 0, 0);
}

unsigned UiThreadQueue::postAfter(unsigned ms, std::function<void()> task)
{
    unsigned id = m_nextTimer++;
    m_timers[id] = std::move(task);
    SetTimer(m_window, id, ms, nullptr);
    return id;
}

void UiThreadQueue::cancel(unsigned id)
{
    if (m_timers.erase(id))
        KillTimer(m_window, id);
}

void UiThreadQueue::runPending()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_wakePosted = false;
    }
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            std::deque<std::function<void()>>& from = !m_high.empty() ? m_high : m_normal;
            if (from.empty())
                return;
            task = std::move(from.front());
            from.pop_front();
        }
        task();
    }
}

LRESULT CALLBACK UiThreadQueue::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kWakeMessage) {
        auto* queue = reinterpret_cast<UiThreadQueue*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (queue)
            queue->runPending();
        return 0;
    }
    if (message == WM_TIMER) {
        auto* queue = reinterpret_cast<UiThreadQueue*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        KillTimer(window, wParam);
        if (!queue)
            return 0;
        auto it = queue->m_timers.find(static_cast<unsigned>(wParam));
        if (it == queue->m_timers.end())
            return 0;
        std::function<void()> task = std::move(it->second);
        queue->m_timers.erase(it);
        task();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, (timeoutMs - elapsed) < 20 ? (timeoutMs - elapsed) : 20, QS_ALLINPUT);
    }
}
