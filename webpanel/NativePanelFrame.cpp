#include "NativePanelFrame.h"

#include "PanelText.h"

#include <windowsx.h>

namespace {
const wchar_t kClassName[] = L"TqPanelFrameWindow";
}  // namespace

NativePanelFrame::NativePanelFrame(BrowserWindow* logic) : m_logic(logic)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &NativePanelFrame::windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
    RECT r = {0, 0, kWidth, kHeight};
    AdjustWindowRect(&r, WS_POPUP | WS_BORDER, FALSE);
    m_window = CreateWindowExW(0, kClassName, L"", WS_POPUP | WS_BORDER | WS_SYSMENU, 100, 100, r.right - r.left,
                               r.bottom - r.top, nullptr, nullptr, wc.hInstance, this);
}

NativePanelFrame::~NativePanelFrame()
{
    if (m_window) {
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
    }
}

void NativePanelFrame::setTitle(const KqString& title)
{
    m_title = toWide(title);
    SetWindowTextW(m_window, m_title.c_str());
    InvalidateRect(m_window, nullptr, FALSE);
}

void NativePanelFrame::showWindow()
{
    ShowWindow(m_window, SW_SHOWNORMAL);
    SetForegroundWindow(m_window);
}

void NativePanelFrame::closeWindow()
{
    ShowWindow(m_window, SW_HIDE);
}

void NativePanelFrame::setWebViewVisible(bool visible)
{
    m_webViewVisible = visible;
    InvalidateRect(m_window, nullptr, FALSE);
}

void NativePanelFrame::setLoadingVisible(bool visible)
{
    m_loadingVisible = visible;
    InvalidateRect(m_window, nullptr, FALSE);
}

void NativePanelFrame::setLoadingText(const KqString& text)
{
    m_loadingText = toWide(text);
    InvalidateRect(m_window, nullptr, FALSE);
}

void NativePanelFrame::webViewChanged()
{
    RECT view = {BrowserWindow::kWebViewX, BrowserWindow::kWebViewY, BrowserWindow::kWebViewX + BrowserWindow::kWebViewWidth,
                 BrowserWindow::kWebViewY + BrowserWindow::kWebViewHeight};
    InvalidateRect(m_window, &view, FALSE);
}

LRESULT CALLBACK NativePanelFrame::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<NativePanelFrame*>(create->lpCreateParams)->m_window = window;
    }
    auto* self = reinterpret_cast<NativePanelFrame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT NativePanelFrame::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_window, &ps);
        paint(dc);
        EndPaint(m_window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_CLOSE:
        if (m_logic->closeRequest())
            closeWindow();
        return 0;
    case WM_NCHITTEST: {
        POINT p = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(m_window, &p);
        if (p.y < BrowserWindow::kWebViewY)
            return HTCAPTION;  // the caption strip moves the window
        break;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
        if (PanelWebView* view = m_logic->webView()) {
            EngineKeyEvent e;
            e.type = message == WM_KEYDOWN ? EngineKeyEvent::Down : message == WM_KEYUP ? EngineKeyEvent::Up : EngineKeyEvent::Char;
            e.virtualKey = static_cast<int>(wParam);
            if (message == WM_CHAR)
                e.text = std::wstring(1, static_cast<wchar_t>(wParam));
            view->keyEvent(e);
        }
        return 0;
    default:
        if (mouse(message, wParam, lParam))
            return 0;
        break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

bool NativePanelFrame::mouse(UINT message, WPARAM wParam, LPARAM lParam)
{
    EngineMouseEvent e;
    switch (message) {
    case WM_MOUSEMOVE: e.type = EngineMouseEvent::Move; break;
    case WM_LBUTTONDOWN: e.type = EngineMouseEvent::Press; e.button = 0; break;
    case WM_LBUTTONUP: e.type = EngineMouseEvent::Release; e.button = 0; break;
    case WM_RBUTTONDOWN: e.type = EngineMouseEvent::Press; e.button = 2; break;
    case WM_RBUTTONUP: e.type = EngineMouseEvent::Release; e.button = 2; break;
    case WM_MOUSEWHEEL: e.type = EngineMouseEvent::Wheel; e.wheelDelta = GET_WHEEL_DELTA_WPARAM(wParam); break;
    default: return false;
    }
    POINT p = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (message == WM_MOUSEWHEEL)
        ScreenToClient(m_window, &p);
    PanelWebView* view = m_logic->webView();
    if (!view || !m_webViewVisible)
        return true;
    // The right button is the panel's own: it opens the menu on release.
    if (message == WM_RBUTTONDOWN)
        return true;
    if (message == WM_RBUTTONUP) {
        contextMenu(view, p);
        return true;
    }
    e.x = p.x - BrowserWindow::kWebViewX;
    e.y = p.y - BrowserWindow::kWebViewY;
    view->mouseEvent(e);
    return true;
}

void NativePanelFrame::contextMenu(PanelWebView* view, POINT at)
{
    // The page's menu is ours: view source and the developer tools.
    HMENU menu = CreatePopupMenu();
    for (const ContextMenuItem& item : view->handler().contextMenu())
        AppendMenuW(menu, MF_STRING | (item.enabled ? 0 : MF_GRAYED), static_cast<UINT_PTR>(item.command),
                    toWide(item.text).c_str());
    ClientToScreen(m_window, &at);
    int command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, m_window, nullptr);
    DestroyMenu(menu);
    if (command)
        view->handler().onContextMenuCommand(command);
}

void NativePanelFrame::paint(HDC dc)
{
    RECT client;
    GetClientRect(m_window, &client);
    HBRUSH caption = CreateSolidBrush(RGB(0x2b, 0x57, 0x9a));
    RECT strip = {0, 0, client.right, BrowserWindow::kWebViewY};
    FillRect(dc, &strip, caption);
    DeleteObject(caption);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT titleRect = {8, 0, client.right, BrowserWindow::kWebViewY};
    DrawTextW(dc, m_title.c_str(), -1, &titleRect, DT_SINGLELINE | DT_VCENTER);

    RECT view = {BrowserWindow::kWebViewX, BrowserWindow::kWebViewY, BrowserWindow::kWebViewX + BrowserWindow::kWebViewWidth,
                 BrowserWindow::kWebViewY + BrowserWindow::kWebViewHeight};
    PanelWebView* webView = m_logic->webView();
    std::shared_ptr<const EngineFrame> frame = webView ? webView->currentFrame() : nullptr;
    if (m_webViewVisible && frame && frame->width > 0) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = frame->width;
        bi.bmiHeader.biHeight = -frame->height;  // top-down rows
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, view.left, view.top, static_cast<DWORD>(frame->width), static_cast<DWORD>(frame->height), 0, 0, 0,
                          static_cast<UINT>(frame->height), frame->bgra.data(), &bi, DIB_RGB_COLORS);
        return;
    }
    FillRect(dc, &view, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (m_loadingVisible) {
        SetTextColor(dc, RGB(0x55, 0x55, 0x55));
        DrawTextW(dc, m_loadingText.c_str(), -1, &view, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
}
