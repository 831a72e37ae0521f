// Native windows of the framework: one registration per window class, one
// static window procedure that finds the object in GWLP_USERDATA (stored
// from CREATESTRUCT at WM_NCCREATE), and subclassing of windows made by
// others (the same slot holds the object, the old procedure is kept).
#pragma once

#include <windows.h>

struct KqWindowClassSpec {
    const wchar_t* name;
    UINT style;
    LPCWSTR cursor;  // system cursor id, or null
    HBRUSH background;
};

class KqNativeWindowBase {
public:
    KqNativeWindowBase() = default;
    KqNativeWindowBase(const KqNativeWindowBase&) = delete;
    KqNativeWindowBase& operator=(const KqNativeWindowBase&) = delete;
    virtual ~KqNativeWindowBase();

    HWND hwnd() const { return m_hwnd; }
    // Registers the class on first use and creates the window with this object attached.
    HWND create(const KqWindowClassSpec& windowClass, DWORD style, DWORD exStyle, const wchar_t* title,
                int x, int y, int width, int height, HWND parent);
    // Attaches this object to an existing window by replacing its procedure.
    bool subclass(HWND window);
    void destroy();

    // True from the window's final message until the outermost message
    // under way returns (the object is then handed to onFinalMessage).
    bool finalMessagePending() const { return m_finalPending; }

    // Registers a class once per process; true when it is (or already was) registered.
    static bool registerClass(const KqWindowClassSpec& windowClass);

protected:
    // Handles a message; false passes it on to the default (or subclassed) procedure.
    virtual bool processMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // After WM_NCDESTROY, once no message of the window is under way any
    // more: the window is gone and detached (the object may delete itself).
    virtual void onFinalMessage() {}
    LRESULT defaultProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK subclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void detach();

    HWND m_hwnd = nullptr;
    WNDPROC m_oldProc = nullptr;
    int m_depth = 0;          // messages of this window under way (nested sends)
    bool m_finalPending = false;
};
