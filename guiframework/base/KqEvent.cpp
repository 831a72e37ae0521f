#include "KqEvent.h"

#include <cmath>

#include "KqGraphicsItem.h"
#include "KqGraphicsScene.h"
#include "KqGraphicsView.h"

#define KQ_DEFINE_EVENT(Class, Base) KQ_DEFINE_CLASS(Class, Base, 0, &kqMakeInstance<Class>)

KQ_DEFINE_EVENT(KqEvent, KqRttiObject)
KQ_DEFINE_EVENT(KqSceneEvent, KqEvent)
KQ_DEFINE_EVENT(KqEventAcceptedEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqMouseEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqSceneMouseEvent, KqMouseEvent)
KQ_DEFINE_EVENT(KqMouseDownEvent, KqMouseEvent)
KQ_DEFINE_EVENT(KqMouseUpEvent, KqMouseEvent)
KQ_DEFINE_EVENT(KqMouseWheelEvent, KqMouseEvent)
KQ_DEFINE_EVENT(KqMouseMoveEvent, KqMouseEvent)
KQ_DEFINE_EVENT(KqMouseDbClickEvent, KqMouseEvent)
KQ_DEFINE_EVENT(KqMouseClickedEvent, KqMouseEvent)
KQ_DEFINE_EVENT(KqMouseHoverEvent, KqMouseEvent)
KQ_DEFINE_EVENT(KqMouseLeaveEvent, KqMouseEvent)
KQ_DEFINE_EVENT(KqKeyEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqKeyDownEvent, KqKeyEvent)
KQ_DEFINE_EVENT(KqKeyUpEvent, KqKeyEvent)
KQ_DEFINE_EVENT(KqCharEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqHoverEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqHoverEnterEvent, KqHoverEvent)
KQ_DEFINE_EVENT(KqHoverGainEvent, KqHoverEvent)
KQ_DEFINE_EVENT(KqHoverLeaveEvent, KqHoverEvent)
KQ_DEFINE_EVENT(KqFocusEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqFocusInEvent, KqFocusEvent)
KQ_DEFINE_EVENT(KqFocusOutEvent, KqFocusEvent)
KQ_DEFINE_EVENT(KqFocusGainEvent, KqFocusEvent)
KQ_DEFINE_EVENT(KqSceneDragEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqDragStartEvent, KqSceneDragEvent)
KQ_DEFINE_EVENT(KqDragMoveEvent, KqSceneDragEvent)
KQ_DEFINE_EVENT(KqDragEndEvent, KqSceneDragEvent)
KQ_DEFINE_EVENT(KqDragDropEvent, KqMouseEvent)
KQ_DEFINE_EVENT(KqWinEventBase, KqSceneEvent)
KQ_DEFINE_EVENT(KqResizeEvent, KqWinEventBase)
KQ_DEFINE_EVENT(KqMoveEvent, KqWinEventBase)
KQ_DEFINE_EVENT(KqWinOnShowEvent, KqWinEventBase)
KQ_DEFINE_EVENT(KqWinEvent, KqWinEventBase)
KQ_DEFINE_EVENT(KqNcHitTestEvent, KqWinEvent)
KQ_DEFINE_EVENT(KqWinCommandEventBase, KqWinEventBase)
KQ_DEFINE_EVENT(KqWinCommandEvent, KqWinCommandEventBase)
KQ_DEFINE_EVENT(KqWinSysCommandEvent, KqWinCommandEventBase)
KQ_DEFINE_EVENT(KqPaintEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqEraseBkgndEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqMouseNcToClientEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqWindowEvent, KqWinEventBase)
KQ_DEFINE_EVENT(KqUpdateHoverEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqWidgetEvent, KqSceneEvent)
KQ_DEFINE_EVENT(KqCheckBoxEvent, KqWidgetEvent)
KQ_DEFINE_EVENT(KqTextEditEvent, KqWidgetEvent)
KQ_DEFINE_EVENT(KqMessageBoxEvent, KqWidgetEvent)

void kqRegisterEventClasses()
{
#define KQ_REGISTER_EVENT(Class) kqRegisterClass(#Class, &Class::classInfo, 0);
    KQ_REGISTER_EVENT(KqEvent)
    KQ_REGISTER_EVENT(KqSceneEvent)
    KQ_REGISTER_EVENT(KqEventAcceptedEvent)
    KQ_REGISTER_EVENT(KqMouseEvent)
    KQ_REGISTER_EVENT(KqSceneMouseEvent)
    KQ_REGISTER_EVENT(KqMouseDownEvent)
    KQ_REGISTER_EVENT(KqMouseUpEvent)
    KQ_REGISTER_EVENT(KqMouseWheelEvent)
    KQ_REGISTER_EVENT(KqMouseMoveEvent)
    KQ_REGISTER_EVENT(KqMouseDbClickEvent)
    KQ_REGISTER_EVENT(KqMouseClickedEvent)
    KQ_REGISTER_EVENT(KqMouseHoverEvent)
    KQ_REGISTER_EVENT(KqMouseLeaveEvent)
    KQ_REGISTER_EVENT(KqKeyEvent)
    KQ_REGISTER_EVENT(KqKeyDownEvent)
    KQ_REGISTER_EVENT(KqKeyUpEvent)
    KQ_REGISTER_EVENT(KqCharEvent)
    KQ_REGISTER_EVENT(KqHoverEvent)
    KQ_REGISTER_EVENT(KqHoverEnterEvent)
    KQ_REGISTER_EVENT(KqHoverGainEvent)
    KQ_REGISTER_EVENT(KqHoverLeaveEvent)
    KQ_REGISTER_EVENT(KqFocusEvent)
    KQ_REGISTER_EVENT(KqFocusInEvent)
    KQ_REGISTER_EVENT(KqFocusOutEvent)
    KQ_REGISTER_EVENT(KqFocusGainEvent)
    KQ_REGISTER_EVENT(KqSceneDragEvent)
    KQ_REGISTER_EVENT(KqDragStartEvent)
    KQ_REGISTER_EVENT(KqDragMoveEvent)
    KQ_REGISTER_EVENT(KqDragEndEvent)
    KQ_REGISTER_EVENT(KqDragDropEvent)
    KQ_REGISTER_EVENT(KqWinEventBase)
    KQ_REGISTER_EVENT(KqResizeEvent)
    KQ_REGISTER_EVENT(KqMoveEvent)
    KQ_REGISTER_EVENT(KqWinOnShowEvent)
    KQ_REGISTER_EVENT(KqWinEvent)
    KQ_REGISTER_EVENT(KqNcHitTestEvent)
    KQ_REGISTER_EVENT(KqWinCommandEventBase)
    KQ_REGISTER_EVENT(KqWinCommandEvent)
    KQ_REGISTER_EVENT(KqWinSysCommandEvent)
    KQ_REGISTER_EVENT(KqPaintEvent)
    KQ_REGISTER_EVENT(KqEraseBkgndEvent)
    KQ_REGISTER_EVENT(KqMouseNcToClientEvent)
    KQ_REGISTER_EVENT(KqWindowEvent)
    KQ_REGISTER_EVENT(KqUpdateHoverEvent)
    KQ_REGISTER_EVENT(KqWidgetEvent)
    KQ_REGISTER_EVENT(KqCheckBoxEvent)
    KQ_REGISTER_EVENT(KqTextEditEvent)
    KQ_REGISTER_EVENT(KqMessageBoxEvent)
#undef KQ_REGISTER_EVENT
}

// ---- base rules

void KqEvent::prepare(KqGraphicsView*) {}

void KqEvent::mapToItem(KqGraphicsItem*) {}

KqGraphicsItem* KqEvent::target(KqGraphicsScene*) { return nullptr; }

KqGraphicsItem* KqEvent::resolveTarget(KqGraphicsView* view)
{
    prepare(view);
    return target(view ? view->scene() : nullptr);
}

void KqMouseEvent::prepare(KqGraphicsView* view)
{
    if (view)
        scenePos = view->mapEventPoint(viewPos);
}

void KqNcHitTestEvent::prepare(KqGraphicsView* view)
{
    if (view)
        scenePos = view->mapEventPoint(viewPos);
}

void KqMouseEvent::mapToItem(KqGraphicsItem* item)
{
    if (!item)
        return;
    bool invertible = false;
    KqTransform toItem = item->sceneTransform().inverse(&invertible);
    KqPointF local = invertible ? toItem.map(KqPointF(scenePos.x, scenePos.y)) : KqPointF(scenePos.x, scenePos.y);
    itemPos = KqPoint(int32_t(std::floor(local.x)), int32_t(std::floor(local.y)));
}

void KqMouseEvent::copyPositions(const KqMouseEvent& other)
{
    screenPos = other.screenPos;
    windowPos = other.windowPos;
    viewPos = other.viewPos;
    scenePos = other.scenePos;
    itemPos = other.itemPos;
    button = other.button;
    nonClient = other.nonClient;
    hitTest = other.hitTest;
}

bool KqEvent::accepts(KqGraphicsItem*) const { return false; }

KqGraphicsItem* KqSceneEvent::cachedItem() const { return static_cast<KqGraphicsItem*>(cachedTarget.get()); }

void KqSceneEvent::setCachedTarget(KqGraphicsItem* item) { cachedTarget = KqWeakPointer(item); }

KqGraphicsItem* KqSceneEvent::target(KqGraphicsScene*) { return cachedItem(); }

bool KqSceneEvent::accepts(KqGraphicsItem*) const { return true; }

bool KqEventAcceptedEvent::accepts(KqGraphicsItem*) const { return false; }

// ---- per-kind accept rules

bool KqMouseEvent::accepts(KqGraphicsItem* item) const
{
    return button == 0 || (static_cast<uint32_t>(button) & item->acceptedMouseButtons()) != 0;
}

bool KqMouseWheelEvent::accepts(KqGraphicsItem* item) const { return item->testFlag(KqGraphicsItem::Focusable); }

KqGraphicsItem* KqMouseClickedEvent::target(KqGraphicsScene*) { return clickedItem; }

KqGraphicsItem* KqMouseClickedEvent::resolveTarget(KqGraphicsView*) { return clickedItem; }

namespace {
bool hasKeyboardFocus(KqGraphicsItem* item) { return item->hasFocus() || item->isMouseGrabber(); }
}

bool KqKeyEvent::accepts(KqGraphicsItem* item) const { return hasKeyboardFocus(item); }

bool KqCharEvent::accepts(KqGraphicsItem* item) const { return hasKeyboardFocus(item); }

// Hover goes to items that asked for hover events (their flag); the state
// bit with the same value means a pending repaint.
bool KqHoverEvent::accepts(KqGraphicsItem* item) const { return item->testFlag(KqGraphicsItem::AcceptsHover); }

KqHoverGainEvent::KqHoverGainEvent(KqGraphicsItem* item) { setCachedTarget(item); }

bool KqFocusEvent::accepts(KqGraphicsItem* item) const { return item->testFlag(KqGraphicsItem::Focusable); }

KqSceneDragEvent::KqSceneDragEvent(KqGraphicsItem* dragged)
{
    if (dragged)
        setCachedTarget(dragged);
}

bool KqSceneDragEvent::accepts(KqGraphicsItem* item) const { return item->testFlag(KqGraphicsItem::AcceptsDrag); }

bool KqDragDropEvent::accepts(KqGraphicsItem* item) const
{
    const uint32_t needed = KqGraphicsItem::AcceptsDrops | KqGraphicsItem::Visible | KqGraphicsItem::Enabled;
    return item != draggedItem.get() && (item->stateBits() & needed) == needed;
}

void KqDragDropEvent::copyFromMouse(const KqMouseEvent& other)
{
    screenPos = other.screenPos;
    windowPos = other.windowPos;
    viewPos = other.viewPos;
    scenePos = other.scenePos;
    itemPos = other.itemPos;
    button = other.button;
}

void KqDragDropEvent::copyFromDrop(const KqDragDropEvent& other)
{
    copyFromMouse(other);
    draggedItem = other.draggedItem;
}

KqResizeEvent::KqResizeEvent(void* window_, const KqRect& newRect_, const KqRect& oldRect_)
    : window(window_), newRect(newRect_), oldRect(oldRect_)
{
    setFlag(DeliverToChildren, true);
}

bool KqResizeEvent::accepts(KqGraphicsItem* item) const { return item->isVisible(); }

bool KqNcHitTestEvent::accepts(KqGraphicsItem* item) const
{
    static const KqString widgetClass = KqString::fromAnsi("KqWidgetItem");
    return item->isKindOf(widgetClass);
}

// ---- key modifiers

KqKeyEvent::KqKeyEvent(int32_t virtualKey_) : virtualKey(virtualKey_)
{
    static const struct {
        int32_t modifier;
        uint8_t flag;
    } keys[] = {{ShiftModifier, ShiftFlag}, {ControlModifier, ControlFlag}, {AltModifier, AltFlag}};
    for (const auto& key : keys) {
        if (kqIsModifierDown(key.modifier)) {
            modifierFlags |= key.flag;
            modifiers |= key.modifier;
        }
    }
}


bool kqIsModifierDown(int32_t modifier)
{
    int virtualKey;
    switch (modifier) {
    case KqKeyEvent::ShiftModifier:
        virtualKey = 16;
        break;
    case KqKeyEvent::ControlModifier:
        virtualKey = 17;
        break;
    case KqKeyEvent::AltModifier:
        virtualKey = 18;
        break;
    default:
        return false;
    }
    // Down: the high byte of the 16-bit state is set.
    return static_cast<uint16_t>(kqKeyState(virtualKey)) >= 256;
}

// ---- target rules

namespace {

// The scene's items at the point, topmost first: the first that takes the
// event is cached; an item that does not but stops the search ends it.
KqGraphicsItem* pointSearch(KqSceneEvent* event, KqGraphicsScene* scene, const KqPoint& scenePos, bool& resolved)
{
    if (!scene)
        return event->cachedItem();
    if (KqGraphicsItem* grabber = scene->mouseGrabber())
        return grabber;
    if (event->cachedItem() || resolved)
        return event->cachedItem();
    KqVector<KqGraphicsItem*> items = scene->items(KqPointF(scenePos.x, scenePos.y));
    for (int i = 0; i < items.count(); ++i) {
        KqGraphicsItem* item = items.at(i);
        if (event->accepts(item)) {
            event->setCachedTarget(item);
            break;
        }
        if (item->testFlag(KqGraphicsItem::StopsPointSearch))
            break;
    }
    resolved = true;
    return event->cachedItem();
}

} // namespace

KqGraphicsItem* KqMouseEvent::target(KqGraphicsScene* scene) { return pointSearch(this, scene, scenePos, resolved); }

KqGraphicsItem* KqNcHitTestEvent::target(KqGraphicsScene* scene) { return pointSearch(this, scene, scenePos, resolved); }

KqGraphicsItem* KqMouseWheelEvent::target(KqGraphicsScene* scene)
{
    if (!scene)
        return cachedItem();
    if (KqGraphicsItem* grabber = scene->mouseGrabber())
        return grabber;
    if (cachedItem())
        return cachedItem();
    if (KqGraphicsItem* focus = scene->roleItem(KqGraphicsScene::FocusItem)) {
        setCachedTarget(focus);
        return focus;
    }
    resolved = true;
    return nullptr;
}

KqGraphicsItem* KqMouseMoveEvent::target(KqGraphicsScene* scene)
{
    if (!scene)
        return cachedItem();
    if (KqGraphicsItem* grabber = scene->mouseGrabber())
        return grabber;
    if (cachedItem() || resolved)
        return cachedItem();
    if (KqGraphicsItem* hovered = scene->roleItem(KqGraphicsScene::HoverItem)) {
        setCachedTarget(hovered);
        return hovered;
    }
    return KqMouseEvent::target(scene);
}

namespace {
KqGraphicsItem* keyboardTarget(KqSceneEvent* event, KqGraphicsScene* scene)
{
    if (!scene)
        return event->cachedItem();
    if (KqGraphicsItem* grabber = scene->roleItem(KqGraphicsScene::KeyboardGrabber))
        return grabber;
    if (event->cachedItem())
        return event->cachedItem();
    return scene->roleItem(KqGraphicsScene::FocusItem);
}
}

KqGraphicsItem* KqKeyEvent::target(KqGraphicsScene* scene) { return keyboardTarget(this, scene); }

KqGraphicsItem* KqCharEvent::target(KqGraphicsScene* scene) { return keyboardTarget(this, scene); }

KqGraphicsItem* KqWinEventBase::target(KqGraphicsScene* scene)
{
    if (!cachedItem() && scene) {
        const KqClassInfo* frameClass = KqClassRegistry::instance()->find(KqString(u"KqFrameWindow"));
        KqGraphicsItem* frame = scene->roleItem(KqGraphicsScene::FrameWindow);
        if (frameClass && frame && frame->isKindOf(frameClass))
            setCachedTarget(frame);
    }
    return cachedItem();
}
