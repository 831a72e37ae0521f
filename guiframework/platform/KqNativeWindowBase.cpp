#include "KqNativeWindowBase.h"

#include "KqModule.h"

#include <mutex>
#include <set>
#include <string>

namespace {
std::mutex g_classLock;
std::set<std::wstring> g_registeredClasses;
}

bool KqNativeWindowBase::registerClass(const KqWindowClassSpec& windowClass)
{
    std::lock_guard<std::mutex> hold(g_classLock);
    if (g_registeredClasses.count(windowClass.name))
        return true;
    WNDCLASSEXW info = {};
    info.cbSize = sizeof info;
    info.style = windowClass.style;
    info.lpfnWndProc = &KqNativeWindowBase::windowProc;
    info.hInstance = KqModule::instance()->handle();
    info.hCursor = windowClass.cursor ? LoadCursorW(nullptr, windowClass.cursor) : nullptr;
    info.hbrBackground = windowClass.background;
    info.lpszClassName = windowClass.name;
    if (!RegisterClassExW(&info) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    g_registeredClasses.insert(windowClass.name);
    return true;
}

KqNativeWindowBase::~KqNativeWindowBase()
{
    // A window outliving its object would call into freed memory; the
    // derived part is gone already, so detach before destroying.
    if (m_hwnd) {
        HWND window = m_hwnd;
        detach();
        DestroyWindow(window);
    }
}

HWND KqNativeWindowBase::create(const KqWindowClassSpec& windowClass, DWORD style, DWORD exStyle, const wchar_t* title,
                                int x, int y, int width, int height, HWND parent)
{
    if (m_hwnd || !registerClass(windowClass))
        return nullptr;
    return CreateWindowExW(exStyle, windowClass.name, title, style, x, y, width, height, parent, nullptr,
                           KqModule::instance()->handle(), this);
}

bool KqNativeWindowBase::subclass(HWND window)
{
    if (m_hwnd || !window)
        return false;
    m_hwnd = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_oldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KqNativeWindowBase::subclassProc)));
    return true;
}

void KqNativeWindowBase::destroy()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

LRESULT KqNativeWindowBase::defaultProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_oldProc)
        return CallWindowProcW(m_oldProc, m_hwnd, message, wParam, lParam);
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

void KqNativeWindowBase::detach()
{
    if (m_oldProc) {
        SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
        m_oldProc = nullptr;
    }
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
    m_hwnd = nullptr;
}

LRESULT KqNativeWindowBase::dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    // A handler may destroy the window inside a message (a click that closes
    // it): the final notification waits until the outermost message returns,
    // so no frame below uses a deleted object.
    ++m_depth;
    LRESULT result = 0;
    bool handled = processMessage(message, wParam, lParam, result);
    if (!handled && m_hwnd)
        result = defaultProc(message, wParam, lParam);
    if (message == WM_NCDESTROY && m_hwnd) {
        detach();
        m_finalPending = true;
    }
    if (--m_depth == 0 && m_finalPending) {
        m_finalPending = false;
        onFinalMessage(); // may delete the object
    }
    return result;
}

LRESULT CALLBACK KqNativeWindowBase::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    KqNativeWindowBase* self = reinterpret_cast<KqNativeWindowBase*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self && message == WM_NCCREATE) {
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        self = static_cast<KqNativeWindowBase*>(create->lpCreateParams);
        if (self) {
            self->m_hwnd = window;
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->dispatch(message, wParam, lParam);
}

LRESULT CALLBACK KqNativeWindowBase::subclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    KqNativeWindowBase* self = reinterpret_cast<KqNativeWindowBase*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->dispatch(message, wParam, lParam);
}
