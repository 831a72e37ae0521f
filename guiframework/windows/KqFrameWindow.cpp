#include "KqFrameWindow.h"

#include "KqAnchors.h"
#include "KqBasicItems.h"
#include "KqCursor.h"
#include "KqDefaultEventHandlers.h"
#include "KqEvent.h"
#include "KqGraphicsFrameItem.h"
#include "KqGraphicsScene.h"
#include "KqGraphicsView.h"
#include "KqRegion.h"
#include "KqWindow.h"

#include <cstdio>

KQ_DEFINE_CLASS(KqFrameWindow, KqWidgetItem, 'FWOW', &kqMakeInstance<KqFrameWindow>)

KqFrameWindow::KqFrameWindow(KqObject* parent) : KqWidgetItem(nullptr), m_object(new KqObject(parent))
{
    // The scene and view are children of this object; a parent that dies
    // first takes them with it and nulls the slot.
    KqPointer::registerSlot(&m_object);
    m_title = KqString(u"Ostravi Engine");
    m_windowFlags.set(Resizable);
    setRect(KqRectF(0, 0, 640, 480));
    setWindowDragMode(DragsWindow);
    setFlag(AcceptsDrag, true);
    setFlag(AcceptsHover, false);

    m_scene = new KqGraphicsScene(m_object);
    m_scene->setEventHandler(new KqDefaultSceneEventHandler);
    m_scene->setDeletesItems(true);

    m_view = new KqGraphicsView(m_scene, m_object, nullptr);
    KqDefaultViewEventHandler* viewHandler = new KqDefaultViewEventHandler(m_view);
    m_view->setEventHandler(viewHandler);
    viewHandler->setCallback(KqResizeEvent::classInfo(), &KqFrameWindow::onResize);
    viewHandler->setCallback(KqMoveEvent::classInfo(), &KqFrameWindow::onMove);
    viewHandler->setCallback(KqNcHitTestEvent::classInfo(), &KqFrameWindow::onHitTest);
    viewHandler->setCallback(KqWinOnShowEvent::classInfo(), &KqFrameWindow::onShow);
    viewHandler->setCallback(KqWindowEvent::classInfo(), &KqFrameWindow::onWindowEvent);
    viewHandler->setCallback(KqMouseNcToClientEvent::classInfo(), &KqFrameWindow::onNcToClient);
    viewHandler->setCallback(KqKeyUpEvent::classInfo(), &KqFrameWindow::onKeyUp);

    m_fullLayer = new KqGraphicsItem;
    m_fullLayer->setObjectName(KqString(u"_fullcontentlayer"));
    m_fullLayer->setGeometry(0, 0, 640, 480);

    m_contentLayer = new KqGraphicsItem(m_fullLayer);
    m_contentLayer->setObjectName(KqString(u"contentcontainerlayer"));
    m_contentLayer->anchors()->setFill(m_fullLayer);
    m_contentLayer->anchors()->setMargins(m_shadowMargin);

    KqGraphicsFrameItem* frame = background();
    frame->setParentItem(m_contentLayer);
    frame->setZValue(1);
    KqMargins frameMargins;
    frameMargins.left = frameMargins.top = frameMargins.right = frameMargins.bottom = kShadowNineGrid;
    frame->setMargins(frameMargins);

    setParentItem(m_contentLayer);
    setObjectName(KqString(u"window"));
    setZValue(2);
    anchors()->setFill(m_contentLayer);

    m_popupLayer = new KqGraphicsItem(m_contentLayer);
    m_popupLayer->setObjectName(KqString(u"popupLayer"));
    m_popupLayer->setZValue(3);
    m_popupLayer->anchors()->setFill(this);

    m_border = new KqGraphicsMarginsPixmapItem(m_fullLayer);
    m_border->setObjectName(KqString(u"border"));
    m_border->setZValue(1);
    m_border->anchors()->setFill(m_fullLayer);
    m_border->setMargins(frameMargins);
    m_border->setPixmapUrl(KqString(u"kqgui:shadow.png"));

    setBackgroundColor(KqColor(143, 201, 151, 245));
    layoutContent(false);

    if (KqItemEventHandler* handler = eventHandler())
        handler->connectEvent(KqDragMoveEvent::classInfo(), &KqFrameWindow::onDragMove);

    m_scene->addItem(m_fullLayer);
    m_scene->setDeletesItems(true);
    m_scene->setRoleItem(KqGraphicsScene::FrameWindow, this);
    // The Tab chain is the window's tree.
    m_scene->setRoleItem(KqGraphicsScene::TabStart, this);
}

KqFrameWindow::~KqFrameWindow()
{
    // Leave the scene first: it deletes its layers, not this item.
    if (m_view && m_view->window())
        m_view->window()->finalDestroyed.removeConnectionsTo(this);
    if (KqGraphicsScene* s = scene())
        s->removeItem(this);
    setParentItem(nullptr);
    m_keyItems = KqMap<uint16_t, KqWeakPointer>();
    KqPointer::unregisterSlot(&m_object);
    delete m_object; // the scene (with the layers) and the view
}

KqFrameWindow* KqFrameWindow::of(void* view)
{
    KqGraphicsScene* s = view ? static_cast<KqGraphicsView*>(view)->scene() : nullptr;
    return s ? kq_cast<KqFrameWindow>(static_cast<KqRttiObject*>(s->roleItem(KqGraphicsScene::FrameWindow))) : nullptr;
}

void KqFrameWindow::showWindow(int showCommand)
{
    const bool existed = winId() != nullptr;
    m_view->showWindow(showCommand, m_geometry);
    if (!existed && winId())
        connectClosed();
}

void KqFrameWindow::connectClosed()
{
    if (m_closedConnected || !m_view->window())
        return;
    m_view->window()->finalDestroyed.connect(this, &KqFrameWindow::windowClosed);
    m_closedConnected = true;
}

void KqFrameWindow::windowClosed()
{
    if (m_view->window())
        m_view->window()->finalDestroyed.removeConnectionsTo(this);
    m_closedConnected = false;
    if (windowFlag(DeleteOnClose))
        KqDeferredDeleter::instance()->append(this);
}

void KqFrameWindow::close()
{
    setVisible(false);
    if (!winId()) {
        windowClosed();
        return;
    }
    connectClosed();
    m_view->window()->destroy(); // the window-closed handling runs from its final message
}

void KqFrameWindow::redrawNow()
{
    HWND window = winId();
    if (!window)
        return;
    m_scene->processUpdates();
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ERASE | RDW_INVALIDATE);
}

void KqFrameWindow::setWindowTitle(const KqString& title)
{
    m_title = title;
    if (winId())
        m_view->window()->setTitle(title);
}

void KqFrameWindow::setWindowIcon(int resourceId)
{
    m_iconId = resourceId;
    if (winId())
        m_view->window()->setIcon(resourceId);
}

void KqFrameWindow::setWindowFlag(int bit, bool on)
{
    if (bit >= 0 && bit < WindowFlagCount)
        m_windowFlags.set(size_t(bit), on);
}

bool KqFrameWindow::windowFlag(int bit) const { return bit >= 0 && bit < WindowFlagCount && m_windowFlags.test(size_t(bit)); }

void KqFrameWindow::setGeometry(const KqRect& geometry)
{
    m_geometry = geometry;
    if (winId())
        m_view->window()->setGeometry(geometry); // the move and resize notifications follow
    else
        m_fullLayer->setGeometry(0, 0, geometry.right - geometry.left + 1, geometry.bottom - geometry.top + 1);
}

void KqFrameWindow::setBackgroundColor(const KqColor& color) { background()->setColor(color); }

HWND KqFrameWindow::winId() const { return m_view && m_view->window() ? m_view->window()->winId() : nullptr; }

KqString KqFrameWindow::objectPath() const
{
    char text[16];
    std::snprintf(text, sizeof text, "w%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(this) & 0xFFFFFFFFu));
    return KqString::fromAnsi(text);
}

int KqFrameWindow::hitTestCode(int w, int h, int x, int y, int b, bool maximised)
{
    if (maximised)
        return HTCLIENT;
    if (b <= 0)
        return HTCLIENT;
    const bool left = x < b, right = x >= w - b, top = y < b, bottom = y >= h - b;
    const bool middleX = b <= x && x <= w - 1 - b, middleY = b <= y && y <= h - 1 - b;
    if (left && top)
        return HTTOPLEFT;
    if (left && middleY)
        return HTLEFT;
    if (right && top)
        return HTTOPRIGHT;
    if (right && middleY)
        return HTRIGHT;
    if (middleX && top)
        return HTTOP;
    if (left && bottom)
        return HTBOTTOMLEFT;
    if (x >= w - b - 10 && y >= h - b - 10)
        return HTBOTTOMRIGHT; // a larger grip
    if (middleX && bottom)
        return HTBOTTOM;
    return HTCLIENT;
}

void KqFrameWindow::layoutContent(bool maximised)
{
    if (maximised) {
        m_contentLayer->anchors()->setMargins(0);
        m_contentLayer->setFlag(ClipsChildren, false);
        m_border->setVisible(false);
        return;
    }
    m_contentLayer->anchors()->setMargins(m_shadowMargin);
    if (m_cornerRadius) {
        KqRectF r = m_contentLayer->rect();
        m_contentLayer->setClipRegion(new KqRegion(KqRect(0, 0, int(r.width), int(r.height)), m_cornerRadius, m_cornerRadius));
        m_contentLayer->setFlag(ClipsChildren, true);
    } else {
        m_contentLayer->setFlag(ClipsChildren, false);
    }
    m_border->setVisible(true);
}

int KqFrameWindow::dragModeFrom(KqGraphicsItem* item) const
{
    for (; item; item = item->parentItem()) {
        if (KqWidgetItem* widget = kq_cast<KqWidgetItem>(static_cast<KqRttiObject*>(item))) {
            if (widget->windowDragMode() != AsParent)
                return widget->windowDragMode();
        }
    }
    return ClientArea;
}

void KqFrameWindow::onResize(void* view, KqEvent* event)
{
    KqFrameWindow* self = of(view);
    if (!self)
        return;
    KqResizeEvent* e = static_cast<KqResizeEvent*>(event);
    self->m_fullLayer->setGeometry(0, 0, e->clientWidth, e->clientHeight);
    self->m_geometry = e->windowRect;
    self->layoutContent(e->sizeType == SIZE_MAXIMIZED || e->sizeType == SIZE_MAXSHOW);
    e->setCachedTarget(self);
}

void KqFrameWindow::onMove(void* view, KqEvent* event)
{
    KqFrameWindow* self = of(view);
    if (!self)
        return;
    KqMoveEvent* e = static_cast<KqMoveEvent*>(event);
    self->m_geometry = e->windowRect;
    e->setCachedTarget(self);
}

void KqFrameWindow::onHitTest(void* view, KqEvent* event)
{
    KqFrameWindow* self = of(view);
    if (!self)
        return;
    KqNcHitTestEvent* e = static_cast<KqNcHitTestEvent*>(event);
    const int w = e->windowRect.right - e->windowRect.left + 1, h = e->windowRect.bottom - e->windowRect.top + 1;
    const int b = self->windowFlag(Resizable) ? 4 : 0;
    HWND window = self->winId();
    int code = hitTestCode(w, h, e->windowPos.x, e->windowPos.y, b, window && IsZoomed(window));
    if (code == HTCLIENT && self->testFlag(AcceptsDrag)) {
        KqGraphicsItem* under = e->target(self->m_scene);
        if (self->dragModeFrom(under) == DragsWindow)
            code = HTCAPTION;
    }
    e->hitTest = code;
    e->setCachedTarget(self);
}

void KqFrameWindow::onShow(void* view, KqEvent* event)
{
    KqFrameWindow* self = of(view);
    KqWinOnShowEvent* e = static_cast<KqWinOnShowEvent*>(event);
    HWND handle = self ? self->winId() : nullptr;
    if (!handle || e->showCommand == SW_HIDE)
        return;
    KqWindow* window = self->m_view->window();
    window->setTitle(self->m_title);
    window->setIcon(self->m_iconId);
    window->setGeometry(self->m_geometry);
    if (self->m_centerOnShow)
        window->center();
    if (self->m_windowKind == 1 || self->m_windowKind == 2) {
        LONG ex = GetWindowLongW(handle, GWL_EXSTYLE);
        SetWindowLongW(handle, GWL_EXSTYLE, (ex | 0x8000088) & ~0x40000);
        SetWindowLongW(handle, GWL_STYLE, GetWindowLongW(handle, GWL_STYLE) | LONG(0x80000003));
    }
    if (!self->windowFlag(Resizable))
        SetWindowLongW(handle, GWL_STYLE, GetWindowLongW(handle, GWL_STYLE) & ~0x50000);
    e->setCachedTarget(self);
}

void KqFrameWindow::onWindowEvent(void* view, KqEvent* event)
{
    if (KqFrameWindow* self = of(view))
        static_cast<KqSceneEvent*>(event)->setCachedTarget(self);
}

void KqFrameWindow::onNcToClient(void*, KqEvent*) { KqCursorManager::instance()->setCursorShape(0); }

void KqFrameWindow::onKeyUp(void* view, KqEvent* event)
{
    KqFrameWindow* self = of(view);
    KqKeyEvent* e = static_cast<KqKeyEvent*>(event);
    if (!self || (e->modifierFlags & (KqKeyEvent::ShiftFlag | KqKeyEvent::ControlFlag)))
        return;
    KqGraphicsItem* item = static_cast<KqGraphicsItem*>(self->m_keyItems.value(uint16_t(e->virtualKey)).get());
    if (!item)
        return;
    static const KqString editClass(u"KqSimpleEdit");
    KqGraphicsItem* focus = self->m_scene->focusItem();
    if (!(e->modifierFlags & KqKeyEvent::AltFlag) && focus && focus->isKindOf(editClass))
        return;
    if (item->isEnabled()) {
        KqMouseClickedEvent clicked(item);
        self->m_view->sendEvent(&clicked);
    }
}

void KqFrameWindow::onDragMove(void* item, KqEvent* event)
{
    // The window moves through the hit test, not the item.
    if (static_cast<KqFrameWindow*>(static_cast<KqGraphicsItem*>(item))->winId())
        event->setAccepted(true);
}
