#include "KqGraphicsScene.h"

#include "KqEvent.h"
#include "KqEventHandler.h"
#include "KqGraphicsItem.h"
#include "KqGraphicsView.h"
#include "KqPainter.h"
#include "KqRegion.h"
#include "KqStackingOrder.h"
#include "KqTimer.h"

namespace {

void collectAtPoint(KqGraphicsItem* item, const KqPointF& point, KqVector<KqGraphicsItem*>& out)
{
    if (!item->isVisible())
        return;
    KqTransform toScene = item->sceneTransform();
    bool inside = false;
    KqRectF bounds = toScene.mapRectF(item->boundingRect());
    if (bounds.contains(point.x, point.y)) {
        bool invertible = false;
        KqTransform toItem = toScene.inverse(&invertible);
        KqPointF local = invertible ? toItem.map(point) : point;
        inside = invertible && item->rect().contains(local.x, local.y);
    }
    if (item->children().count() && !(item->testFlag(KqGraphicsItem::ClipsChildren) && !inside)) {
        item->sortChildren();
        const KqVector<KqGraphicsItem*> children = item->children();
        for (int i = children.count() - 1; i >= 0; --i)
            collectAtPoint(children.at(i), point, out);
    }
    if (inside)
        out.append(item);
}

} // namespace

KqVector<KqGraphicsItem*> KqGraphicsSceneLinearIndex::itemsAtPoint(const KqVector<KqGraphicsItem*>& topLevelItems,
                                                                     const KqPointF& point, bool ascending) const
{
    KqVector<KqGraphicsItem*> found;
    for (int i = 0; i < topLevelItems.count(); ++i)
        collectAtPoint(topLevelItems.at(i), point, found);
    if (ascending) {
        KqVector<KqGraphicsItem*> reversed;
        for (int i = found.count() - 1; i >= 0; --i)
            reversed.append(found.at(i));
        return reversed;
    }
    return found;
}

KqGraphicsScene::KqGraphicsScene(KqObject* parent) : KqObject(parent), m_updateTimer(new KqTimer)
{
    m_updateTimer->timeout.connect(this, &KqGraphicsScene::processUpdates);
}

KqGraphicsScene::~KqGraphicsScene()
{
    m_destroying = true;
    m_updateTimer->timeout.clear();
    m_updateTimer->stop();
    if (m_flags & DeletesItems) {
        KqVector<KqGraphicsItem*> snapshot = m_topLevelItems;
        for (int i = 0; i < snapshot.count(); ++i)
            delete snapshot.at(i);
    }
    KqVector<KqGraphicsView*> views = m_views;
    for (int i = 0; i < views.count(); ++i)
        views.at(i)->setScene(nullptr);
    delete m_eventHandler;
    m_eventHandler = nullptr;
    KqVector<KqSceneListener*> listeners = m_listeners;
    m_listeners.clear();
    for (int i = 0; i < listeners.count(); ++i)
        listeners.at(i)->sceneDetached(this);
    // Items that outlive the scene forget it; their trees stay as they are.
    KqVector<KqGraphicsItem*> remaining = m_index.items();
    for (int i = 0; i < remaining.count(); ++i)
        remaining.at(i)->setSceneDirect(nullptr);
    delete m_updateTimer;
}

void KqGraphicsScene::addItem(KqGraphicsItem* item)
{
    if (!item || item->scene() == this)
        return;
    if (KqGraphicsScene* previous = item->scene())
        previous->removeItem(item);
    KqGraphicsItem* parent = item->parentItem();
    if (parent && parent->scene() != this)
        item->setParentItem(nullptr); // leaves the parent of the other scene; now top-level
    addSubtree(item);
}

void KqGraphicsScene::addSubtree(KqGraphicsItem* item)
{
    notifyListeners(KqSceneListener::AboutToAdd, item);
    if (!item->parentItem())
        addTopLevel(item);
    item->setSceneDirect(this);
    m_index.addItem(item);
    notifyListeners(KqSceneListener::Added, item);
    if (m_roles[TabStart] && item->testFlag(KqGraphicsItem::Focusable))
        m_roles[TabStart] = item;
    const KqVector<KqGraphicsItem*> children = item->children();
    for (int i = 0; i < children.count(); ++i) {
        if (children.at(i)->scene() != this)
            addSubtree(children.at(i));
    }
}

void KqGraphicsScene::addTopLevel(KqGraphicsItem* item)
{
    if (m_topLevelItems.contains(item))
        return;
    m_topLevelItems.append(item);
    m_flags |= SortTopLevel;
}

void KqGraphicsScene::removeTopLevel(KqGraphicsItem* item)
{
    if (m_topLevelItems.removeOne(item))
        m_flags |= SortTopLevel;
}

void KqGraphicsScene::removeItem(KqGraphicsItem* item)
{
    if (!item || item->scene() != this)
        return;
    removeSubtree(item);
    KqGraphicsItem* parent = item->parentItem();
    if (!parent)
        removeTopLevel(item);
    else if (parent->scene() == this && !(item->stateBits() & KqGraphicsItem::BeingDestroyed))
        item->setParentItem(nullptr);
}

void KqGraphicsScene::removeSubtree(KqGraphicsItem* item)
{
    if (m_flags & PointCacheValid)
        m_cachedItems.removeOne(item);
    if (m_grabStack.removeOne(item) || m_mouseGrabber == item)
        m_mouseGrabber = m_grabStack.count() ? m_grabStack.at(m_grabStack.count() - 1) : nullptr;
    if (m_pendingItems.removeOne(item))
        item->setStateBits(KqGraphicsItem::DirtyRegistered | KqGraphicsItem::GeometryPrepared | KqGraphicsItem::FullRepaintPending, false);
    for (KqGraphicsItem*& role : m_roles) {
        if (role == item)
            role = nullptr;
    }
    if (!m_roles[FocusItem])
        m_flags &= ~HasFocus;
    notifyListeners(KqSceneListener::AboutToRemove, item);
    // What the item showed is uncovered (not while the scene itself goes).
    if (!m_destroying) {
        bool shown = true;
        for (KqGraphicsItem* a = item; a && shown; a = a->parentItem())
            shown = a->isVisible();
        if (shown)
            invalidate(item->sceneBoundingRect());
    }
    m_index.removeItem(item);
    item->setSceneDirect(nullptr);
    notifyListeners(KqSceneListener::Removed, item);
    if (!(item->stateBits() & KqGraphicsItem::BeingDestroyed)) {
        const KqVector<KqGraphicsItem*> children = item->children();
        for (int i = 0; i < children.count(); ++i)
            removeSubtree(children.at(i));
    }
    m_topLevelItems.removeOne(item);
}

const KqVector<KqGraphicsItem*>& KqGraphicsScene::topLevelItems()
{
    if (m_flags & SortTopLevel) {
        kqSortItems(m_topLevelItems, KqStackKey::ZValue, false);
        m_flags &= ~SortTopLevel;
    }
    return m_topLevelItems;
}

KqVector<KqGraphicsItem*> KqGraphicsScene::items(const KqPointF& point)
{
    if ((m_flags & PointCacheValid) && point == m_cachedPoint)
        return m_cachedItems;
    m_cachedItems = m_index.itemsAtPoint(topLevelItems(), point, false);
    m_cachedPoint = point;
    m_flags |= PointCacheValid;
    return m_cachedItems;
}

void KqGraphicsScene::setFocusItem(KqGraphicsItem* item, int reason)
{
    if (item && hasFocus() && m_roles[FocusItem] == item)
        return;
    if (item && (!item->testFlag(KqGraphicsItem::Focusable) || !item->isVisible() || !item->isEnabled()))
        item = nullptr;
    if (!item && !hasFocus())
        return;
    if (KqGraphicsItem* old = m_roles[FocusItem]) {
        m_flags &= ~HasFocus;
        m_roles[FocusItem] = nullptr;
        m_roles[LastFocusItem] = old;
        KqFocusOutEvent out;
        out.reason = reason;
        sendEvent(old, &out);
    }
    if (item && item->scene() == this) {
        m_flags |= HasFocus;
        m_roles[FocusItem] = item;
        KqFocusInEvent in;
        in.reason = reason;
        sendEvent(item, &in);
    }
}

void KqGraphicsScene::restoreFocus(int reason)
{
    if (hasFocus())
        return;
    if (reason == 1 || reason == 2)
        focusNextPrev(reason == 1);
    else if (m_roles[LastFocusItem])
        setFocus(m_roles[LastFocusItem], reason);
}

namespace {

bool visibleToTop(KqGraphicsItem* item)
{
    for (; item; item = item->parentItem()) {
        if (!item->isVisible())
            return false;
    }
    return true;
}

bool takesTabFocus(KqGraphicsItem* item)
{
    return item->testFlag(KqGraphicsItem::Focusable) && item->isEnabled() &&
           (item->focusPolicy() & KqGraphicsItem::TabFocus) && visibleToTop(item);
}

// Tree order: the item, then its children in stacking order.
void collectTabChain(KqGraphicsItem* item, KqVector<KqGraphicsItem*>& chain)
{
    chain.append(item);
    item->sortChildren();
    const KqVector<KqGraphicsItem*> children = item->children();
    for (int i = 0; i < children.count(); ++i)
        collectTabChain(children.at(i), chain);
}

} // namespace

bool KqGraphicsScene::focusNextPrev(bool forward)
{
    const int reason = forward ? 1 : 2;
    KqGraphicsItem* focus = m_roles[FocusItem];
    if (!focus && m_roles[LastFocusItem] && takesTabFocus(m_roles[LastFocusItem])) {
        setFocus(m_roles[LastFocusItem], reason);
        return true;
    }
    if (!m_roles[TabStart])
        return false;
    // The chain is the whole tree that holds role 5, so items added after
    // the start (which addItem makes the new start) are all reached.
    KqVector<KqGraphicsItem*> chain;
    collectTabChain(m_roles[TabStart]->topLevelItem(), chain);
    const int count = chain.count();
    int at = focus ? chain.indexOf(focus) : -1;
    if (at < 0)
        at = forward ? count - 1 : 0; // the walk's first step lands on the first (or last) item
    for (int step = 1; step <= count; ++step) {
        int index = ((forward ? at + step : at - step) % count + count) % count;
        KqGraphicsItem* candidate = chain.at(index);
        if (candidate == focus)
            return false;
        if (takesTabFocus(candidate)) {
            setFocus(candidate, reason);
            return m_roles[FocusItem] == candidate;
        }
    }
    return false;
}

void KqGraphicsScene::addView(KqGraphicsView* view)
{
    if (view && !m_views.contains(view))
        m_views.append(view);
}

void KqGraphicsScene::removeView(KqGraphicsView* view) { m_views.removeOne(view); }

void KqGraphicsScene::addListener(KqSceneListener* listener)
{
    if (listener && !m_listeners.contains(listener))
        m_listeners.append(listener);
}

void KqGraphicsScene::removeListener(KqSceneListener* listener) { m_listeners.removeOne(listener); }

void KqGraphicsScene::notifyListeners(int kind, KqGraphicsItem* item)
{
    if (m_listeners.count() == 0)
        return;
    KqVector<KqSceneListener*> listeners = m_listeners; // a listener may leave while told
    for (int i = 0; i < listeners.count(); ++i)
        listeners.at(i)->sceneChanged(this, kind, item);
}

void KqGraphicsScene::setFocus(KqGraphicsItem* item, int reason)
{
    // Guarded against proxy chains that loop.
    for (int hops = 0; item && item->focusProxy() && hops < 64; ++hops)
        item = item->focusProxy();
    setFocusItem(item, reason);
}

void KqGraphicsScene::clearFocus()
{
    if (hasFocus())
        setFocusItem(nullptr, 7);
}

void KqGraphicsScene::grabMouse(KqGraphicsItem* item, bool implicit)
{
    if (!item)
        return;
    int top = m_grabStack.count() - 1;
    if (top >= 0 && m_grabStack.at(top) == item) {
        m_flags &= ~ImplicitGrab;
        return;
    }
    if (m_grabStack.contains(item))
        return;
    if (top >= 0 && (m_flags & ImplicitGrab))
        ungrabMouse(m_grabStack.at(top));
    m_grabStack.append(item);
    m_flags = implicit ? (m_flags | ImplicitGrab) : (m_flags & ~ImplicitGrab);
}

void KqGraphicsScene::ungrabMouse(KqGraphicsItem* item)
{
    int at = m_grabStack.indexOf(item);
    if (at < 0)
        return;
    while (m_grabStack.count() > at)
        m_grabStack.removeAt(m_grabStack.count() - 1);
    m_flags &= ~ImplicitGrab;
    // A released grabber must not keep taking every positional event.
    if (m_mouseGrabber && !m_grabStack.contains(m_mouseGrabber))
        m_mouseGrabber = m_grabStack.count() ? m_grabStack.at(m_grabStack.count() - 1) : nullptr;
}

void KqGraphicsScene::updateGrabber()
{
    int top = m_grabStack.count() - 1;
    m_mouseGrabber = top >= 0 ? m_grabStack.at(top) : nullptr;
    if (m_mouseGrabber && (m_flags & ImplicitGrab))
        ungrabMouse(m_mouseGrabber);
}

KqRectF KqGraphicsScene::itemsBoundingRect() const
{
    KqRectF united;
    bool first = true;
    for (int i = 0; i < m_topLevelItems.count(); ++i) {
        KqGraphicsItem* item = m_topLevelItems.at(i);
        KqRectF r = item->sceneBoundingRect();
        united = first ? r : united.unionWith(r);
        first = false;
    }
    return united;
}

KqRectF KqGraphicsScene::sceneRect() const { return (m_flags & ExplicitRect) ? m_sceneRect : itemsBoundingRect(); }

void KqGraphicsScene::setSceneRect(const KqRectF& rect)
{
    m_sceneRect = rect;
    m_flags |= ExplicitRect;
}

bool KqGraphicsScene::updatePending() const { return m_updateTimer->isActive(); }

void KqGraphicsScene::invalidate(const KqRectF& rect)
{
    if (rect.width <= 0 || rect.height <= 0 || (m_flags & FullRepaint))
        return;
    if (rect.contains(sceneRect()))
        m_flags |= FullRepaint;
    else
        m_dirtyRects.append(rect);
    if (!m_updateTimer->isActive())
        m_updateTimer->start(16);
}

void KqGraphicsScene::scheduleItemUpdate(KqGraphicsItem* item)
{
    m_pendingItems.append(item);
    if (!m_updateTimer->isActive())
        m_updateTimer->start(16);
}

void KqGraphicsScene::processUpdates()
{
    if (m_flags & FullRepaint)
        m_dirtyRects.append(sceneRect());
    m_flags &= ~FullRepaint;
    m_updateTimer->stop();
    for (int i = 0; i < m_pendingItems.count(); ++i)
        m_pendingItems.at(i)->setStateBits(KqGraphicsItem::DirtyRegistered | KqGraphicsItem::GeometryPrepared | KqGraphicsItem::FullRepaintPending, false);
    m_pendingItems.clear();
    if (m_dirtyRects.count()) {
        KqVector<KqRectF> rects = m_dirtyRects;
        m_dirtyRects = KqVector<KqRectF>();
        sceneUpdated.emit(rects);
        KqVector<KqGraphicsView*> views = m_views;
        for (int i = 0; i < views.count(); ++i)
            views.at(i)->updateScene(rects);
    }
}

namespace {
bool meets(const KqRectF& a, const KqRectF& b)
{
    KqRectF common = a.intersection(b);
    return common.width > 0 && common.height > 0;
}

KqRect wholeRect(const KqRectF& r) { return r.toRect(); }
}

void KqGraphicsScene::drawItems(KqPainter* painter, const KqTransform* viewTransform, const KqRectF& exposed)
{
    const KqVector<KqGraphicsItem*>& descending = topLevelItems();
    if (!painter || descending.count() == 0)
        return;
    KqVector<KqGraphicsItem*> items = descending; // a shared copy: painting may change the scene
    m_painter = painter;
    painter->save();
    for (int i = items.count() - 1; i >= 0; --i) {
        KqGraphicsItem* item = items.at(i);
        drawItem(item, painter, viewTransform, exposed, item->isEnabled() ? 1.0 : 0.0, true);
    }
    painter->restore();
    m_painter = nullptr;
}

void KqGraphicsScene::drawItem(KqGraphicsItem* item, KqPainter* painter, const KqTransform* viewTransform,
                               const KqRectF& exposed, double parentOpacity, bool inColor)
{
    if (!item || !item->isVisible())
        return;
    KqTransform transform = item->sceneTransform();
    if (viewTransform)
        transform = transform * *viewTransform;
    const KqRectF bounds = item->sceneBoundingRect();
    const bool drawSelf = !item->testFlag(KqGraphicsItem::NoOwnPaint) && meets(bounds, exposed);
    const bool hasChildren = item->children().count() > 0;
    if (!drawSelf && !hasChildren)
        return;
    const double opacity = item->opacity() * parentOpacity;
    if (nearZero(opacity))
        return;
    inColor = inColor && item->isEnabled();
    bool saved = false;
    auto clipToItem = [&]() {
        if (item->clipRegion())
            painter->setClipRegion(*item->clipRegion(), KqPainter::Intersect);
        else
            painter->setClipRect(wholeRect(item->boundingRect()), KqPainter::Intersect);
    };
    if (drawSelf) {
        painter->setTransform(transform);
        if (item->testFlag(KqGraphicsItem::ClippedContent)) {
            painter->save();
            saved = true;
            clipToItem();
        }
        if (nearlyEqual(opacity, 1.0) && inColor) {
            item->paint(painter);
        } else {
            // Translucent or grey: the item paints into a layer composed with both.
            KqRectF r = item->rect();
            int w = static_cast<int>(r.width), h = static_cast<int>(r.height);
            if (w > 0 && h > 0) {
                KqImagePaintEngine layer(w, h);
                KqPainter layerPainter(&layer);
                item->paint(&layerPainter);
                layer.opacity = opacity;
                layer.inColor = inColor;
                layer.composeInto(*painter);
            }
        }
    }
    const uint32_t containsChildren = 0x200000;
    if (hasChildren && ((!item->testFlag(KqGraphicsItem::ClipsChildren) && !item->testFlag(containsChildren)) ||
                        meets(bounds, exposed))) {
        item->sortChildren();
        if (item->testFlag(KqGraphicsItem::ClipsChildren)) {
            if (!saved) {
                painter->save();
                saved = true;
            }
            painter->setTransform(transform);
            clipToItem();
        } else {
            if (saved) {
                painter->restore();
                saved = false;
            }
            painter->setTransform(transform);
        }
        const KqVector<KqGraphicsItem*> children = item->children();
        for (int i = 0; i < children.count(); ++i)
            drawItem(children.at(i), painter, viewTransform, exposed, opacity, inColor);
    }
    if (saved)
        painter->restore();
}

bool KqGraphicsScene::sendEvent(KqGraphicsItem* item, KqEvent* event)
{
    if (!event)
        return false;
    if (KqSceneEvent* sceneEvent = kq_cast<KqSceneEvent>(static_cast<KqRttiObject*>(event)))
        sceneEvent->setCachedTarget(item);
    KqEventDispatcher::instance()->sendToScene(this, event);
    return event->isAccepted();
}

bool KqGraphicsScene::sendEvent(KqEvent* event)
{
    if (!event)
        return false;
    KqEventDispatcher::instance()->sendToScene(this, event);
    return event->isAccepted();
}

void KqGraphicsScene::setEventHandler(KqSceneEventHandler* handler)
{
    if (handler == m_eventHandler)
        return;
    delete m_eventHandler;
    m_eventHandler = handler;
    if (handler)
        handler->setTarget(this);
}
