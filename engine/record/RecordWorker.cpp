#include "RecordWorker.h"

#include <process.h>

namespace tq {

namespace {

const wchar_t kWindowClass[] = L"TqRecordWorkerWindow";

HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

} // namespace

bool CRecordWorkerThread::Start(IRecordWorkerBody* body, int priority)
{
    if (m_thread)
        return true;
    m_body = body;
    m_quit = false;
    m_quitEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_quitEvent || !m_ready) {
        if (m_quitEvent)
            CloseHandle(m_quitEvent);
        if (m_ready)
            CloseHandle(m_ready);
        m_quitEvent = m_ready = nullptr;
        return false;
    }
    m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CRecordWorkerThread::ThreadMain, this, 0, nullptr));
    if (m_thread) {
        SetThreadPriority(m_thread, priority);
        WaitForSingleObject(m_ready, INFINITE);
    }
    CloseHandle(m_ready);
    m_ready = nullptr;
    if (!m_thread) {
        CloseHandle(m_quitEvent);
        m_quitEvent = nullptr;
        return false;
    }
    return m_operWindow != nullptr;
}

void CRecordWorkerThread::Quit()
{
    if (!m_thread)
        return;
    m_quit = true;
    SetEvent(m_quitEvent);
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    CloseHandle(m_quitEvent);
    m_thread = nullptr;
    m_quitEvent = nullptr;
    m_operWindow = nullptr;
}

bool CRecordWorkerThread::Post(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return m_operWindow && PostMessageW(m_operWindow, message, wParam, lParam);
}

unsigned __stdcall CRecordWorkerThread::ThreadMain(void* param)
{
    CRecordWorkerThread* self = static_cast<CRecordWorkerThread*>(param);
    self->m_operWindow = self->m_body->CreateOper();
    HANDLE quitEvent = self->m_quitEvent;
    SetEvent(self->m_ready);
    for (;;) {
        DWORD wait = MsgWaitForMultipleObjectsEx(1, &quitEvent, INFINITE, QS_ALLINPUT, 0);
        if (self->m_quit)
            break;
        if (wait == WAIT_OBJECT_0 + 1) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    self->m_body->DestroyOper();
    return 0;
}

CRecordMessageWindow::~CRecordMessageWindow()
{
    DestroyMessageWindow();
}

bool CRecordMessageWindow::CreateMessageWindow()
{
    HINSTANCE module = ThisModule();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &CRecordMessageWindow::WindowProc;
    wc.hInstance = module;
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);  // already registered on a later call: fine
    m_hWnd = CreateWindowExW(0, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, this);
    return m_hWnd != nullptr;
}

void CRecordMessageWindow::DestroyMessageWindow()
{
    if (m_hWnd) {
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
}

LRESULT CALLBACK CRecordMessageWindow::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CRecordMessageWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    LRESULT result = 0;
    if (self && self->OnWindowMessage(message, wParam, lParam, &result))
        return result;
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

} // namespace tq
