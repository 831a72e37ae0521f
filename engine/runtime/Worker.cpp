#include "Worker.h"

#include <objbase.h>
#include <process.h>

namespace tq {

void RunWorkerPump(HANDLE quitEvent, const std::atomic<bool>& quitFlag)
{
    for (;;) {
        const DWORD result = MsgWaitForMultipleObjectsEx(1, &quitEvent, INFINITE, QS_ALLINPUT, 0);
        if (quitFlag.load())
            break;
        if (result == WAIT_OBJECT_0 + 1) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        } else if (result == WAIT_FAILED) {
            break;
        }
    }
}

bool CWorker::Start(IWorkerBody* body, int priority)
{
    if (m_thread)
        return true;
    m_body = body;
    m_quit = false;
    m_operWindow = nullptr;
    m_quitEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CWorker::ThreadMain, this, 0, &m_threadId));
    if (!m_thread) {
        CloseHandle(m_ready);
        CloseHandle(m_quitEvent);
        m_ready = m_quitEvent = nullptr;
        return false;
    }
    if (priority != THREAD_PRIORITY_NORMAL)
        SetThreadPriority(m_thread, priority);
    WaitForSingleObject(m_ready, INFINITE);
    CloseHandle(m_ready);
    m_ready = nullptr;
    return m_operWindow != nullptr;
}

void CWorker::Quit()
{
    if (!m_thread)
        return;
    m_quit = true;
    SetEvent(m_quitEvent);
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    CloseHandle(m_quitEvent);
    m_thread = m_quitEvent = nullptr;
    m_operWindow = nullptr;
    m_threadId = 0;
}

bool CWorker::Post(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return m_operWindow && PostMessageW(m_operWindow, message, wParam, lParam);
}

unsigned __stdcall CWorker::ThreadMain(void* param)
{
    auto* self = static_cast<CWorker*>(param);
    self->m_operWindow = self->m_body->CreateOper();
    SetEvent(self->m_ready);
    if (self->m_operWindow)
        RunWorkerPump(self->m_quitEvent, self->m_quit);
    self->m_body->DestroyOper();
    return 0;
}

CComInit::CComInit(DWORD model) : m_hr(CoInitializeEx(nullptr, model)) {}

CComInit::~CComInit()
{
    if (SUCCEEDED(m_hr))
        CoUninitialize();
}

} // namespace tq
