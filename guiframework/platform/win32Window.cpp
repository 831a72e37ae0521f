// The framework's native windows: the "DUI_HOST_WINDOW" object behind each
// KqWindow, the window itself and the adapter that turns messages into events.
#include "KqWindow.h"
#include "KqWindowAdapter.h"

#include "MemPool.h"

#include "KqApplication.h"
#include "KqCursor.h"
#include "KqEvent.h"
#include "KqEventHandler.h"
#include "KqGraphicsView.h"
#include "platform/KqNativeWindowBase.h"

#include <windowsx.h>
#include <shellapi.h>
#include <gdiplus.h>

// The native-window object: owns the adapter, raises the creation and
// destruction signals and deletes itself after the window's final message.
class KqHostWindow : public KqNativeWindowBase {
public:
    static void* operator new(size_t size) { return mp_alloc(static_cast<unsigned>(size)); }
    static void operator delete(void* p) { mp_free(p); }

    KqHostWindow() : adapter(new KqWindowAdapter) {}
    ~KqHostWindow() override { delete adapter; }

    HWND createHost()
    {
        static const KqWindowClassSpec hostClass = {L"DUI_HOST_WINDOW", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, IDC_ARROW,
                                                    reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)};
        return create(hostClass, KqWindow::HostStyle, KqWindow::HostExStyle, nullptr, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
    }
    // The KqWindow is going away: nothing may reach it any more.
    void forgetOwner()
    {
        created.clear();
        destroyed.clear();
        finalDestroyed.clear();
        view = nullptr;
        adapter->setView(nullptr);
        adapter->attach(nullptr, hwnd(), nullptr);
    }

    KqSignal0 created, destroyed, finalDestroyed;
    KqGraphicsView* view = nullptr;
    KqWindowAdapter* adapter;

protected:
    bool processMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        switch (message) {
        case WM_CREATE:
            if (KqApplication* application = KqApplication::instance())
                application->addWindow(this);
            created.emit();
            result = 0;
            return true;
        case WM_DESTROY:
            destroyed.emit();
            if (KqApplication* application = KqApplication::instance())
                application->removeWindow(this);
            result = 1;
            return true;
        case WM_NCDESTROY:
            finalDestroyed.emit();
            adapter->processMessage(message, wParam, lParam, result);
            return false;
        default:
            return adapter->processMessage(message, wParam, lParam, result);
        }
    }
    void onFinalMessage() override { delete this; }
};

// ---- KqWindow

KQ_DEFINE_CLASS(KqWindow, KqRttiObject, 'WINW', &kqMakeInstance<KqWindow>)

KqWindow::KqWindow() { makeHost(); }

KqWindow::~KqWindow()
{
    KqHostWindow* host = m_host;
    m_host = nullptr;
    if (!host)
        return;
    host->forgetOwner();
    if (HWND window = host->hwnd()) {
        if (KqApplication* application = KqApplication::instance())
            application->removeWindow(host);
        DestroyWindow(window); // the host deletes itself at the final message
    } else if (!host->finalMessagePending()) {
        delete host;
    }
}

void KqWindow::makeHost()
{
    m_host = new KqHostWindow;
    m_host->view = m_view;
    m_host->created.connect(this, &KqWindow::onCreate);
    m_host->destroyed.connect(this, &KqWindow::onDestroy);
    m_host->finalDestroyed.connect(this, &KqWindow::onFinalDestroy);
}

void KqWindow::onCreate() { created.emit(); }

void KqWindow::onDestroy() { destroyed.emit(); }

void KqWindow::onFinalDestroy()
{
    // Forget the host first: a receiver may delete this window.
    if (m_host) {
        m_host->view = nullptr;
        m_host = nullptr;
    }
    finalDestroyed.emit();
}

void KqWindow::show(int showCommand, const KqRect& geometry)
{
    if (!m_host)
        makeHost();
    HWND window = m_host->hwnd();
    if (!window) {
        window = m_host->createHost();
        if (!window)
            return;
        // Only the cursor manager sets cursors.
        SetClassLongPtrW(window, GCLP_HCURSOR, 0);
        KqCursorManager::instance()->setCursorShape(0);
        DragAcceptFiles(window, TRUE);
        m_host->adapter->attach(this, window, m_view);
        setGeometry(geometry);
    }
    m_host->adapter->onShow(showCommand);
    ShowWindow(window, showCommand);
}

void KqWindow::setGeometry(const KqRect& geometry)
{
    HWND window = winId();
    if (!window)
        return;
    const int width = geometry.right - geometry.left + 1, height = geometry.bottom - geometry.top + 1;
    RECT current;
    GetWindowRect(window, &current);
    if (current.left == geometry.left && current.top == geometry.top && current.right - current.left == width &&
        current.bottom - current.top == height)
        return;
    SetWindowPos(window, nullptr, geometry.left, geometry.top, width, height, 0);
}

void KqWindow::setTitle(const KqString& title)
{
    m_title = title;
    if (HWND window = winId())
        SetWindowTextW(window, reinterpret_cast<const wchar_t*>(m_title.data()));
}

KqString KqWindow::title() const { return m_title; }

void KqWindow::setIcon(int resourceId)
{
    HWND window = winId();
    if (!window)
        return;
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
}

void KqWindow::center(HWND owner)
{
    HWND window = winId();
    if (!window)
        return;
    if (!owner)
        owner = GetWindow(window, GW_OWNER);
    RECT own, area;
    GetWindowRect(window, &own);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    area = monitor.rcWork;
    RECT around = area;
    if (owner && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &around);
    const int width = own.right - own.left, height = own.bottom - own.top;
    int x = around.left + ((around.right - around.left) - width) / 2;
    int y = around.top + ((around.bottom - around.top) - height) / 2;
    if (x + width > area.right)
        x = area.right - width;
    if (x < area.left)
        x = area.left;
    if (y + height > area.bottom)
        y = area.bottom - height;
    if (y < area.top)
        y = area.top;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

KqSize KqWindow::clientSize() const
{
    KqSize size;
    HWND window = winId();
    RECT client;
    if (window && GetClientRect(window, &client)) {
        size.width = client.right - client.left;
        size.height = client.bottom - client.top;
    }
    return size;
}

HWND KqWindow::winId() const { return m_host ? m_host->hwnd() : nullptr; }

void KqWindow::destroy()
{
    if (HWND window = winId())
        DestroyWindow(window);
}

void KqWindow::invalidate(const KqRect& rect)
{
    if (m_host)
        m_host->adapter->invalidate(rect);
}

void KqWindow::setView(KqGraphicsView* view)
{
    m_view = view;
    if (m_host) {
        m_host->view = view;
        m_host->adapter->setView(view);
    }
}

KqGraphicsView* KqWindow::view() const { return m_view; }

KqWindowAdapter* KqWindow::adapter() const { return m_host ? m_host->adapter : nullptr; }

// ---- KqWindowAdapter

KQ_DEFINE_CLASS(KqWindowAdapter, KqRttiObject, 'WAER', &kqMakeInstance<KqWindowAdapter>)

namespace {

KqPoint pointOf(LPARAM lParam) { return KqPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); }

KqRect windowRectOf(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return KqRect::fromEdges(r.left, r.top, r.right - 1, r.bottom - 1);
}

} // namespace

KqWindowAdapter::~KqWindowAdapter() { delete m_lastMouseEvent; }

void KqWindowAdapter::attach(KqWindow* window, HWND hwnd, KqGraphicsView* view)
{
    m_window = window;
    m_hwnd = hwnd;
    m_view = view;
    m_attached = hwnd != nullptr;
    readLayered();
}

void KqWindowAdapter::readLayered()
{
    m_layered = m_hwnd && (GetWindowLongW(m_hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
}

bool KqWindowAdapter::send(KqEvent* event)
{
    if (!m_attached || !m_view)
        return false;
    KqEventDispatcher::instance()->sendToView(m_view, event);
    return event->isAccepted();
}

void KqWindowAdapter::remember(const KqMouseEvent& event)
{
    if (!m_lastMouseEvent || m_lastMouseEvent->dynamicClassInfo() != event.dynamicClassInfo()) {
        delete m_lastMouseEvent;
        m_lastMouseEvent = static_cast<KqMouseEvent*>(event.dynamicClassInfo()->create());
    }
    if (m_lastMouseEvent)
        m_lastMouseEvent->copyPositions(event);
}

void KqWindowAdapter::sendMouse(KqMouseEvent* event, LPARAM lParam, int button, bool screenPoint)
{
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    POINT client = point, screen = point;
    if (screenPoint)
        ScreenToClient(m_hwnd, &client);
    else
        ClientToScreen(m_hwnd, &screen);
    event->screenPos = KqPoint(screen.x, screen.y);
    event->windowPos = KqPoint(client.x, client.y);
    event->viewPos = event->windowPos;
    event->scenePos = event->viewPos;
    if (m_view) {
        KqPointF scene = m_view->mapToScene(KqPointF(client.x, client.y));
        event->scenePos = KqPoint(int32_t(scene.x), int32_t(scene.y));
    }
    event->button = button;
    if (KqMouseMoveEvent* move = kq_cast<KqMouseMoveEvent>(static_cast<KqRttiObject*>(event))) {
        if (m_lastMouseEvent) {
            move->word1 = move->scenePos.x - m_lastMouseEvent->scenePos.x;
            move->word2 = move->scenePos.y - m_lastMouseEvent->scenePos.y;
        }
    }
    remember(*event);
    send(event);
}

void KqWindowAdapter::sendNonClient(KqMouseEvent* event, WPARAM hitTestCode, LPARAM lParam, int button)
{
    event->nonClient = true;
    event->hitTest = static_cast<int32_t>(hitTestCode);
    sendMouse(event, lParam, button, true);
}

LRESULT KqWindowAdapter::hitTest(LPARAM lParam)
{
    if (!m_attached || !m_view)
        return HTCAPTION;
    POINT client = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (!ScreenToClient(m_hwnd, &client))
        return HTCAPTION;
    KqWinMessage record = {m_hwnd, WM_NCHITTEST, 0, lParam, 0};
    KqNcHitTestEvent event;
    event.message = &record;
    event.windowRect = windowRectOf(m_hwnd);
    event.screenPos = pointOf(lParam);
    event.windowPos = KqPoint(client.x, client.y);
    event.viewPos = event.windowPos;
    KqPointF scene = m_view->mapToScene(KqPointF(client.x, client.y));
    event.scenePos = KqPoint(int32_t(scene.x), int32_t(scene.y));
    event.hitTest = HTCAPTION;
    send(&event);
    return event.hitTest;
}

bool KqWindowAdapter::processMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message >= WM_USER) {
        KqWindowEvent event;
        event.window = m_hwnd;
        event.message = message;
        event.wParam = wParam;
        event.lParam = lParam;
        if (send(&event)) {
            result = event.result;
            return true;
        }
        return false;
    }
    result = 0;
    switch (message) {
    case WM_MOVE: {
        KqMoveEvent event;
        event.pos = pointOf(lParam);
        KqRect now = windowRectOf(m_hwnd);
        event.windowRect = KqRect(event.pos.x, event.pos.y, now.right - now.left + 1, now.bottom - now.top + 1);
        send(&event);
        return true;
    }
    case WM_SIZE: {
        const int clientWidth = LOWORD(lParam), clientHeight = HIWORD(lParam);
        // Minimised, the client is 0 x 0: keep the store we have.
        if (wParam != SIZE_MINIMIZED && clientWidth > 0 && clientHeight > 0)
            m_backingStore.resize(clientWidth, clientHeight);
        KqRect windowRect = windowRectOf(m_hwnd);
        KqResizeEvent event(m_hwnd, KqRect(0, 0, clientWidth, clientHeight), windowRect);
        event.sizeType = static_cast<int32_t>(wParam);
        event.windowRect = windowRect;
        event.windowWidth = windowRect.right - windowRect.left + 1;
        event.windowHeight = windowRect.bottom - windowRect.top + 1;
        event.clientWidth = clientWidth;
        event.clientHeight = clientHeight;
        send(&event);
        if (wParam != SIZE_MINIMIZED)
            paint(nullptr, nullptr);
        return true;
    }
    case WM_ACTIVATE:
    case WM_SHOWWINDOW:
        return false;
    case WM_NCDESTROY:
        // The handle is about to die: nothing more is sent or painted.
        m_attached = false;
        m_hwnd = nullptr;
        return false;
    case WM_PAINT: {
        RECT update = {};
        const bool hasUpdate = GetUpdateRect(m_hwnd, &update, TRUE) && !IsRectEmpty(&update);
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hwnd, &ps);
        HWND window = m_hwnd;
        paint(dc, hasUpdate ? &update : nullptr);
        EndPaint(window, &ps);
        return true;
    }
    case WM_ERASEBKGND: {
        KqEraseBkgndEvent event;
        event.window = KqWeakPointer(m_window);
        event.deviceContext = reinterpret_cast<void*>(wParam);
        send(&event);
        result = 1;
        return true;
    }
    case WM_GETMINMAXINFO: {
        RECT area = {};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMaxSize.x = info->ptMaxTrackSize.x = area.right - area.left + 4;
        info->ptMaxSize.y = info->ptMaxTrackSize.y = area.bottom - area.top + 4;
        info->ptMaxPosition.x = area.left - 2;
        info->ptMaxPosition.y = area.top - 2;
        return true;
    }
    case WM_NCHITTEST:
        result = hitTest(lParam);
        return true;
    case WM_NCMOUSEMOVE:
        m_inNonClient = true;
        if (m_ncLeftDown)
            return processMessage(WM_NCLBUTTONUP, wParam, lParam, result);
        if (m_ncRightDown)
            return processMessage(WM_NCRBUTTONUP, wParam, lParam, result);
        {
            KqMouseMoveEvent event;
            sendNonClient(&event, wParam, lParam, 0);
        }
        return false;
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN: {
        const bool left = message == WM_NCLBUTTONDOWN;
        (left ? m_ncLeftDown : m_ncRightDown) = true;
        KqMouseDownEvent event;
        sendNonClient(&event, wParam, lParam, left ? 1 : 2);
        return false;
    }
    case WM_NCLBUTTONUP:
    case WM_NCRBUTTONUP: {
        const bool left = message == WM_NCLBUTTONUP;
        (left ? m_ncLeftDown : m_ncRightDown) = false; // one release per press
        KqMouseUpEvent event;
        sendNonClient(&event, wParam, lParam, left ? 1 : 2);
        return false;
    }
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDBLCLK: {
        const bool left = message == WM_NCLBUTTONDBLCLK;
        {
            KqMouseDbClickEvent event;
            sendNonClient(&event, wParam, lParam, left ? 1 : 2);
        }
        return processMessage(left ? WM_NCLBUTTONDOWN : WM_NCRBUTTONDOWN, wParam, lParam, result);
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        KqKeyDownEvent event(static_cast<int32_t>(wParam));
        event.keyData = static_cast<int32_t>(lParam);
        send(&event);
        return true;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        KqKeyUpEvent event(static_cast<int32_t>(wParam));
        event.keyData = static_cast<int32_t>(lParam);
        send(&event);
        return true;
    }
    case WM_CHAR: {
        KqCharEvent event(static_cast<int32_t>(wParam));
        event.charData = static_cast<int32_t>(lParam);
        send(&event);
        return true;
    }
    case WM_COMMAND:
    case WM_SYSCOMMAND: {
        KqWinCommandEvent command;
        KqWinSysCommandEvent sysCommand;
        KqWinCommandEventBase& event = message == WM_COMMAND ? static_cast<KqWinCommandEventBase&>(command) : sysCommand;
        event.commandId = static_cast<int32_t>(wParam);
        event.control = reinterpret_cast<void*>(lParam);
        if (!send(&event))
            return false;
        result = event.result;
        return true;
    }
    case WM_MOUSEMOVE: {
        if (m_inNonClient) {
            m_inNonClient = false;
            KqMouseNcToClientEvent enter;
            send(&enter);
        }
        KqMouseMoveEvent event;
        sendMouse(&event, lParam, 0, false);
        return true;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN: {
        SetCapture(m_hwnd);
        KqMouseDownEvent event;
        sendMouse(&event, lParam, message == WM_LBUTTONDOWN ? 1 : message == WM_MBUTTONDOWN ? 4 : 2, false);
        return true;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        {
            KqMouseUpEvent event;
            sendMouse(&event, lParam, message == WM_LBUTTONUP ? 1 : message == WM_MBUTTONUP ? 4 : 2, false);
        }
        ReleaseCapture();
        return true;
    }
    case WM_LBUTTONDBLCLK: {
        {
            KqMouseDbClickEvent event;
            sendMouse(&event, lParam, 1, false);
        }
        return processMessage(WM_LBUTTONDOWN, wParam, lParam, result);
    }
    case WM_MBUTTONDBLCLK: {
        KqMouseDbClickEvent event;
        sendMouse(&event, lParam, 4, false);
        return true;
    }
    case WM_MOUSEWHEEL: {
        KqMouseWheelEvent event;
        event.extra = LOWORD(wParam); // key state
        event.delta = static_cast<int16_t>(HIWORD(wParam));
        sendMouse(&event, lParam, 0, true);
        return true;
    }
    case WM_DROPFILES:
        DragFinish(reinterpret_cast<HDROP>(wParam));
        return true;
    case WM_NCCALCSIZE:
    case WM_NCPAINT:
    case WM_TIMER:
    case WM_CAPTURECHANGED:
    case WM_MOUSEHOVER:
    case WM_MOUSELEAVE:
        return true;
    default:
        return false;
    }
}

void KqWindowAdapter::paint(HDC dc, const RECT* update)
{
    if (!m_hwnd)
        return;
    HWND window = m_hwnd;
    HDC ownDC = nullptr;
    if (m_layered || !dc)
        dc = ownDC = GetDC(window);
    m_backingStore.begin();
    if (m_attached && m_view) {
        // The area is drawn afresh: pixels an earlier frame left there (a
        // hidden item, an old text) must not show through what is drawn now.
        if (update)
            m_backingStore.erase(KqRect::fromEdges(update->left, update->top, update->right - 1, update->bottom - 1), true);
        else
            m_backingStore.erase(KqRect(), true);
    }
    {
        KqPainter painter(&m_backingStore);
        if (m_attached && m_view) {
            KqPaintEvent event;
            if (update)
                event.updateRect = KqRectF(update->left, update->top, update->right - update->left, update->bottom - update->top);
            event.painter = &painter;
            event.window = KqWeakPointer(m_window);
            send(&event);
        }
    }
    if (Gdiplus::Graphics* graphics = m_backingStore.graphics())
        graphics->Flush(Gdiplus::FlushIntentionSync);
    GdiFlush();
    const KqSize store = m_backingStore.size();
    if (m_hwnd && store.width > 0) {
        if (m_layered) {
            RECT r;
            GetWindowRect(window, &r);
            POINT destination = {r.left, r.top};
            SIZE size = {r.right - r.left, r.bottom - r.top};
            POINT source = {0, 0};
            BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            HDC screen = GetDC(nullptr);
            UpdateLayeredWindow(window, screen, &destination, &size, m_backingStore.memoryDC(), &source, 0, &blend, ULW_ALPHA);
            ReleaseDC(nullptr, screen);
        } else {
            BitBlt(dc, 0, 0, store.width, store.height, m_backingStore.memoryDC(), 0, 0, SRCCOPY);
        }
    }
    m_backingStore.end();
    if (ownDC)
        ReleaseDC(window, ownDC);
}

void KqWindowAdapter::invalidate(const KqRect& rect)
{
    if (!m_hwnd)
        return;
    m_backingStore.begin();
    if (rect.right >= rect.left && rect.bottom >= rect.top) {
        m_backingStore.erase(rect, true);
        RECT area = {rect.left, rect.top, rect.right + 1, rect.bottom + 1};
        InvalidateRect(m_hwnd, &area, TRUE);
    } else {
        m_backingStore.erase(KqRect(), true);
        InvalidateRect(m_hwnd, nullptr, TRUE);
    }
    m_backingStore.end();
}

void KqWindowAdapter::onShow(int showCommand)
{
    KqWinOnShowEvent event;
    event.showCommand = showCommand;
    event.window = KqWeakPointer(m_window);
    send(&event);
    readLayered();
}
