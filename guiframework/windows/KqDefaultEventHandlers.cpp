#include "KqDefaultEventHandlers.h"

#include "KqEvent.h"
#include "KqGraphicsItem.h"
#include "KqGraphicsView.h"

KQ_DEFINE_CLASS(KqDefaultSceneEventHandler, KqSceneEventHandler, 'DSEH', &kqMakeInstance<KqDefaultSceneEventHandler>)
KQ_DEFINE_CLASS(KqDefaultViewEventHandler, KqViewEventHandler, 'DVEH', &kqMakeInstance<KqDefaultViewEventHandler>)

namespace {

template <class T> T* as(KqEvent* event) { return kq_cast<T>(static_cast<KqRttiObject*>(event)); }

bool isExactly(KqEvent* event, const KqClassInfo* info) { return event->dynamicClassInfo() == info; }

} // namespace

// ---- default scene handler

void KqDefaultSceneEventHandler::handle(KqEvent* event)
{
    const KqClassInfo* info = event->dynamicClassInfo();
    if (KqMouseEvent* mouse = as<KqMouseEvent>(event)) {
        if (info == KqMouseMoveEvent::classInfo())
            mouseMove(mouse);
        else if (info == KqMouseDownEvent::classInfo())
            mouseDown(mouse);
        else if (info == KqMouseUpEvent::classInfo())
            mouseUp(mouse);
        else if (info == KqMouseWheelEvent::classInfo())
            mouseWheel(mouse);
    } else if (KqKeyEvent* key = as<KqKeyEvent>(event)) {
        if (info == KqKeyDownEvent::classInfo())
            keyDown(key);
        else if (info == KqKeyUpEvent::classInfo())
            keyUp(key);
    } else if (KqCharEvent* character = as<KqCharEvent>(event)) {
        charInput(character);
    } else if (KqHoverEvent* hover = as<KqHoverEvent>(event)) {
        if (info == KqHoverEnterEvent::classInfo())
            hoverEnter(hover);
        else if (info == KqHoverGainEvent::classInfo())
            hoverGain(hover);
        else if (info == KqHoverLeaveEvent::classInfo())
            hoverLeave(hover);
    } else if (isExactly(event, KqEventAcceptedEvent::classInfo())) {
        eventAccepted(static_cast<KqEventAcceptedEvent*>(event));
    } else if (isExactly(event, KqResizeEvent::classInfo())) {
        resize(static_cast<KqResizeEvent*>(event));
    }
}

void KqDefaultSceneEventHandler::releaseImplicitGrabs()
{
    KqGraphicsScene* s = scene();
    for (; m_implicitGrabs > 0; --m_implicitGrabs)
        s->updateGrabber();
}

void KqDefaultSceneEventHandler::mouseDown(KqMouseEvent* event)
{
    KqGraphicsScene* s = scene();
    releaseImplicitGrabs();
    // A drag ended by an earlier release must not swallow this press's click.
    s->setRoleItem(KqGraphicsScene::DraggedItem, nullptr);
    KqGraphicsItem* pressed = event->target(s);
    s->setRoleItem(KqGraphicsScene::PressItem, pressed);
    if (!pressed)
        return;
    if (pressed->testFlag(KqGraphicsItem::AcceptsDrag)) {
        event->setCachedTarget(pressed);
        KqDragStartEvent start(pressed);
        start.drag.startScenePos = event->scenePos;
        start.drag.lastScenePos = event->scenePos;
        s->sendEvent(pressed, &start);
        s->setRoleItem(KqGraphicsScene::DragAccepted, static_cast<KqGraphicsItem*>(start.acceptedBy.get()));
    } else if (event->accepts(pressed) && (pressed->focusPolicy() & KqGraphicsItem::ClickFocus)) {
        ++m_implicitGrabs;
        s->grabMouse(pressed, true);
    }
}

void KqDefaultSceneEventHandler::mouseMove(KqMouseEvent* event)
{
    KqGraphicsScene* s = scene();
    KqGraphicsItem* dragged = s->roleItem(KqGraphicsScene::DragAccepted);
    if (!dragged) {
        s->setRoleItem(KqGraphicsScene::DraggedItem, nullptr);
        return;
    }
    event->setCachedTarget(dragged);
    s->setRoleItem(KqGraphicsScene::DraggedItem, dragged);
    KqMouseMoveEvent* move = as<KqMouseMoveEvent>(event);
    KqPoint delta = move ? KqPoint(move->word1, move->word2) : KqPoint();
    KqPoint from = event->scenePos;
    from -= delta;
    KqDragMoveEvent dragMove(dragged, from, event->scenePos);
    dragMove.drag.lastScenePos = event->scenePos;
    dragMove.drag.offset = delta;
    s->sendEvent(dragged, &dragMove);
}

void KqDefaultSceneEventHandler::mouseUp(KqMouseEvent* event)
{
    KqGraphicsScene* s = scene();
    if (KqGraphicsItem* pressed = s->roleItem(KqGraphicsScene::PressItem)) {
        // The press is over: a stray release later must not click again.
        s->setRoleItem(KqGraphicsScene::PressItem, nullptr);
        if (event->target(s) == pressed) {
            event->mapToItem(pressed);
            const KqRectF area = pressed->rect();
            if (area.contains(event->itemPos.x, event->itemPos.y) && !s->roleItem(KqGraphicsScene::DraggedItem)) {
                KqMouseClickedEvent clicked(pressed);
                clicked.copyPositions(*event);
                s->sendEvent(&clicked);
            }
        } else {
            KqMouseUpEvent release;
            release.copyPositions(*event);
            s->sendEvent(pressed, &release);
            event->setAccepted(true);
        }
    }
    if (KqGraphicsItem* dragged = s->roleItem(KqGraphicsScene::DragAccepted)) {
        event->setCachedTarget(dragged);
        s->setRoleItem(KqGraphicsScene::DragAccepted, nullptr);
        KqDragEndEvent end(dragged);
        KqWeakPointer draggedAlive(dragged);
        s->sendEvent(dragged, &end);
        KqDragDropEvent drop;
        drop.copyFromMouse(*event);
        drop.draggedItem = draggedAlive;
        s->sendEvent(&drop);
    }
    if (m_implicitGrabs > 0) {
        releaseImplicitGrabs();
        KqVector<KqGraphicsView*> views = s->views();
        for (int i = 0; i < views.count(); ++i) {
            KqUpdateHoverEvent update;
            update.data = event;
            views.at(i)->sendEvent(&update);
        }
    }
}

void KqDefaultSceneEventHandler::eventAccepted(KqEventAcceptedEvent* event)
{
    KqEvent* accepted = event->acceptedEvent;
    if (!accepted)
        return;
    if (isExactly(accepted, KqMouseDownEvent::classInfo())) {
        if (KqSceneEvent* sceneEvent = as<KqSceneEvent>(accepted))
            scene()->setRoleItem(KqGraphicsScene::PressItem, static_cast<KqGraphicsItem*>(sceneEvent->acceptedBy.get()));
        return;
    }
    if (!isExactly(accepted, KqMouseUpEvent::classInfo()))
        event->setAccepted(true);
}

// ---- default view handler

KqDefaultViewEventHandler::KqDefaultViewEventHandler(KqGraphicsView* view)
{
    if (view && view->scene()) {
        m_listenedScene = view->scene();
        m_listenedScene->addListener(this);
    }
}

KqDefaultViewEventHandler::~KqDefaultViewEventHandler()
{
    if (m_listenedScene)
        m_listenedScene->removeListener(this);
}

KqGraphicsView* KqDefaultViewEventHandler::view() const { return static_cast<KqGraphicsView*>(target()); }

KqGraphicsScene* KqDefaultViewEventHandler::viewScene() const { return view() ? view()->scene() : nullptr; }

void KqDefaultViewEventHandler::sceneChanged(KqGraphicsScene*, int kind, KqGraphicsItem* item)
{
    if (kind != KqSceneListener::AboutToRemove)
        return;
    while (m_hoverItems.removeOne(item)) {
    }
    while (m_hoverStack.removeOne(item)) {
    }
}

void KqDefaultViewEventHandler::sceneDetached(KqGraphicsScene* scene)
{
    if (scene == m_listenedScene)
        m_listenedScene = nullptr;
    m_hoverItems.clear();
    m_hoverStack.clear();
}

void KqDefaultViewEventHandler::handle(KqEvent* event)
{
    KqGraphicsScene* s = viewScene();
    const KqClassInfo* info = event->dynamicClassInfo();
    if (KqMouseEvent* mouse = as<KqMouseEvent>(event)) {
        m_hoverItems.clear();
        if (s)
            s->invalidatePointCache();
        if (info == KqMouseMoveEvent::classInfo())
            mouseMove(mouse);
        else if (info == KqMouseDownEvent::classInfo())
            mouseDown(mouse);
        else if (info == KqMouseUpEvent::classInfo())
            mouseUp(mouse);
        else if (info == KqMouseWheelEvent::classInfo())
            mouseWheel(mouse);
    } else if (KqKeyEvent* key = as<KqKeyEvent>(event)) {
        if (info == KqKeyDownEvent::classInfo())
            keyDown(key);
        else if (info == KqKeyUpEvent::classInfo())
            keyUp(key);
    } else if (KqCharEvent* character = as<KqCharEvent>(event)) {
        charInput(character);
    } else if (KqHoverEvent* hover = as<KqHoverEvent>(event)) {
        if (info == KqHoverEnterEvent::classInfo())
            hoverEnter(hover);
        else if (info == KqHoverGainEvent::classInfo())
            hoverGain(hover);
        else if (info == KqHoverLeaveEvent::classInfo())
            hoverLeave(hover);
    } else if (isExactly(event, KqResizeEvent::classInfo())) {
        resize(static_cast<KqResizeEvent*>(event));
    } else if (isExactly(event, KqPaintEvent::classInfo())) {
        paint(static_cast<KqPaintEvent*>(event));
    } else if (isExactly(event, KqUpdateHoverEvent::classInfo())) {
        updateHover(static_cast<KqUpdateHoverEvent*>(event));
    }
}

void KqDefaultViewEventHandler::mouseDown(KqMouseEvent* event)
{
    updateHoverFor(event);
    clickFocus();
}

void KqDefaultViewEventHandler::mouseUp(KqMouseEvent* event) { updateHoverFor(event); }

void KqDefaultViewEventHandler::mouseMove(KqMouseEvent* event) { updateHoverFor(event); }

void KqDefaultViewEventHandler::keyDown(KqKeyEvent* event)
{
    KqGraphicsScene* s = viewScene();
    if (!s || s->roleItem(KqGraphicsScene::KeyboardGrabber))
        return;
    if (s->focusItem() && !s->focusItem()->isEnabled())
        return;
    if (event->virtualKey != 9 || (event->modifierFlags & (KqKeyEvent::ControlFlag | KqKeyEvent::AltFlag)))
        return;
    if (s->focusNextPrev(!(event->modifierFlags & KqKeyEvent::ShiftFlag)))
        event->setAccepted(true);
}

void KqDefaultViewEventHandler::hoverEnter(KqHoverEvent*)
{
    if (KqGraphicsScene* s = viewScene())
        s->setRoleItem(KqGraphicsScene::HoverItem, m_hoverStack.count() ? m_hoverStack.at(m_hoverStack.count() - 1) : nullptr);
}

void KqDefaultViewEventHandler::hoverLeave(KqHoverEvent*)
{
    if (KqGraphicsScene* s = viewScene())
        s->setRoleItem(KqGraphicsScene::HoverItem, m_hoverStack.count() ? m_hoverStack.at(m_hoverStack.count() - 1) : nullptr);
}

void KqDefaultViewEventHandler::leaveAll()
{
    KqGraphicsView* v = view();
    while (m_hoverStack.count()) {
        KqGraphicsItem* item = m_hoverStack.at(m_hoverStack.count() - 1);
        m_hoverStack.removeAt(m_hoverStack.count() - 1);
        if (item->testFlag(KqGraphicsItem::AcceptsHover) && v) {
            KqHoverLeaveEvent leave;
            v->sendEvent(item, &leave);
        }
    }
}

void KqDefaultViewEventHandler::resize(KqResizeEvent* event)
{
    if (KqGraphicsView* v = view()) {
        KqRectF area(0, 0, event->clientWidth, event->clientHeight);
        v->setSceneRect(area);
        v->setViewportRect(area);
    }
    leaveAll();
    if (KqGraphicsScene* s = viewScene())
        s->clearFocus();
}

void KqDefaultViewEventHandler::paint(KqPaintEvent* event)
{
    if (KqGraphicsView* v = view())
        v->drawViewPort(event->painter, event->updateRect);
    event->setAccepted(true);
}

void KqDefaultViewEventHandler::updateHover(KqUpdateHoverEvent* event)
{
    if (KqMouseEvent* mouse = as<KqMouseEvent>(static_cast<KqEvent*>(event->data)))
        updateHoverFor(mouse);
    event->setAccepted(true);
}

namespace {

bool hovers(KqGraphicsItem* item) { return item && item->testFlag(KqGraphicsItem::AcceptsHover); }

KqGraphicsItem* hoverAncestor(KqGraphicsItem* item)
{
    while (item && !hovers(item))
        item = item->parentItem();
    return item;
}

} // namespace

void KqDefaultViewEventHandler::updateHoverFor(KqMouseEvent* event)
{
    KqGraphicsScene* s = viewScene();
    KqGraphicsView* v = view();
    if (!s || !v || s->mouseGrabber())
        return;
    if (m_hoverItems.count() == 0)
        m_hoverItems = s->items(KqPointF(event->scenePos.x, event->scenePos.y));
    KqGraphicsItem* entered = nullptr;
    for (int i = 0; i < m_hoverItems.count() && !entered; ++i) {
        if (hovers(m_hoverItems.at(i)))
            entered = m_hoverItems.at(i);
    }
    if (!entered && m_hoverItems.count())
        entered = hoverAncestor(m_hoverItems.at(0));

    KqGraphicsItem* common = nullptr;
    if (entered && m_hoverStack.count()) {
        common = hoverAncestor(entered->commonAncestorItem(m_hoverStack.at(m_hoverStack.count() - 1)));
        if (common && common->topLevelItem() != entered->topLevelItem())
            common = nullptr;
    }
    const int keep = common ? m_hoverStack.indexOf(common) : -1;

    // Leave innermost first. Handlers may delete items: the scene listener
    // then drops them from the stack, so re-read it every step.
    while (m_hoverStack.count() > keep + 1) {
        KqGraphicsItem* item = m_hoverStack.at(m_hoverStack.count() - 1);
        m_hoverStack.removeAt(m_hoverStack.count() - 1);
        if (hovers(item)) {
            KqHoverLeaveEvent leave;
            v->sendEvent(item, &leave);
        }
    }
    if (!entered)
        return;
    KqVector<KqGraphicsItem*> chain; // from s up to just below the kept item
    KqGraphicsItem* stop = keep >= 0 ? m_hoverStack.at(keep) : nullptr;
    for (KqGraphicsItem* item = entered; item && item != stop; item = item->parentItem())
        chain.append(item);
    std::vector<KqWeakPointer> alive;
    for (int i = 0; i < chain.count(); ++i)
        alive.emplace_back(chain.at(i));
    for (int i = chain.count() - 1; i >= 0; --i) {
        if (!alive[size_t(i)].get())
            continue;
        KqGraphicsItem* item = chain.at(i);
        m_hoverStack.append(item);
        if (hovers(item)) {
            KqHoverEnterEvent enter;
            v->sendEvent(item, &enter);
        }
    }
}

void KqDefaultViewEventHandler::clickFocus()
{
    KqGraphicsScene* s = viewScene();
    if (!s || s->mouseGrabber())
        return;
    KqVector<KqGraphicsItem*> items = m_hoverItems;
    for (int i = 0; i < items.count(); ++i) {
        KqGraphicsItem* item = items.at(i);
        if (item->testFlag(KqGraphicsItem::Focusable) && item->isEnabled() &&
            (item->focusPolicy() & KqGraphicsItem::ClickFocus)) {
            if (!item->hasFocus())
                s->setFocus(item, 0);
            return;
        }
        if (item->testFlag(KqGraphicsItem::KeepsClickFocus))
            break;
    }
    if (!(s->flags() & KqGraphicsScene::KeepsFocusOnEmptyClick))
        s->setFocusItem(nullptr, 0);
}
