#include "MessageWindow.h"
#include "ModuleInstance.h"

namespace tq {

namespace {
const wchar_t kWindowClass[] = L"TqEngineWindow";

ATOM RegisterEngineWindowClass(WNDPROC proc)
{
    // Registered once per module; a second registration finds the class.
    static ATOM atom = [proc] {
        WNDCLASSEXW wc = {sizeof wc};
        wc.lpfnWndProc = proc;
        wc.hInstance = GetEngineModule();
        wc.lpszClassName = kWindowClass;
        ATOM a = RegisterClassExW(&wc);
        return a ? a : ATOM(1);
    }();
    return atom;
}
}

CMessageWindow::~CMessageWindow()
{
    DestroyMessageWindow();
}

bool CMessageWindow::CreateMessageWindow(Kind kind)
{
    if (m_hWnd)
        return true;
    RegisterEngineWindowClass(&CMessageWindow::WindowProc);
    HWND parent = kind == MessageOnly ? HWND_MESSAGE : nullptr;
    m_hWnd = CreateWindowExW(0, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, parent, nullptr,
                             GetEngineModule(), this);
    return m_hWnd != nullptr;
}

void CMessageWindow::DestroyMessageWindow()
{
    if (m_hWnd) {
        HWND hWnd = m_hWnd;
        m_hWnd = nullptr;
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        DestroyWindow(hWnd);
    }
}

bool CMessageWindow::Post(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return m_hWnd && PostMessageW(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CMessageWindow::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<CMessageWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    LRESULT result = 0;
    if (self && self->OnWindowMessage(message, wParam, lParam, &result))
        return result;
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

} // namespace tq
