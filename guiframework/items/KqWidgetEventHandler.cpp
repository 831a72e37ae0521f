#include "KqWidgetEventHandler.h"

#include "KqCursor.h"
#include "KqEvent.h"
#include "KqGraphicsFrameItem.h"
#include "KqWidgetItem.h"

KQ_DEFINE_CLASS(KqEventSignalDispatch, KqRttiObject, 'ESDH', &kqMakeInstance<KqEventSignalDispatch>)
KQ_DEFINE_CLASS(KqWidgetEventHandler, KqDefaultItemEventHandler, 'KWEH', &kqMakeInstance<KqWidgetEventHandler>)

KqEventSignalDispatch::~KqEventSignalDispatch()
{
    for (auto it = m_signals.constBegin(); it != m_signals.constEnd(); ++it)
        delete it->second;
}

KqSignal2* KqEventSignalDispatch::signal(const KqClassInfo* eventClass)
{
    KqSignal2*& slot = m_signals[eventClass];
    if (!slot)
        slot = new KqSignal2;
    return slot;
}

bool KqEventSignalDispatch::emit(KqGraphicsItem* item, KqEvent* event)
{
    KqSignal2* s = event ? m_signals.value(event->eventType(), nullptr) : nullptr;
    if (!s)
        return false;
    s->emit(item, event);
    return event->isAccepted();
}

KqWidgetEventHandler::~KqWidgetEventHandler() { delete m_dispatch; }

KqEventSignalDispatch* KqWidgetEventHandler::eventSignalDispatch()
{
    if (!m_dispatch)
        m_dispatch = new KqEventSignalDispatch(m_widget);
    return m_dispatch;
}

void KqWidgetEventHandler::handle(KqEvent* event)
{
    if (!event)
        return;
    if (m_dispatch) {
        // A slot may delete the widget and with it this handler.
        KqWeakPointer alive(this);
        m_dispatch->emit(m_widget, event);
        if (!alive.get())
            return;
    }
    if (!event->isAccepted())
        KqDefaultItemEventHandler::handle(event);
}

namespace {
KqGraphicsFrameItem* backgroundOf(KqWidgetItem* widget) { return widget ? widget->background() : nullptr; }
}

void KqWidgetEventHandler::mouseDown(KqMouseEvent* event)
{
    if (KqGraphicsFrameItem* b = backgroundOf(m_widget))
        b->setPressed(true);
    event->setAccepted(true);
}

void KqWidgetEventHandler::mouseUp(KqMouseEvent* event)
{
    if (KqGraphicsFrameItem* b = backgroundOf(m_widget))
        b->setPressed(false);
    event->setAccepted(true);
}

bool KqWidgetEventHandler::showsDragCursor() const
{
    return m_widget && m_widget->testFlag(KqGraphicsItem::AcceptsDrag) && !m_widget->isKindOf(KqString(u"KqFrameWindow"));
}

void KqWidgetEventHandler::hoverEnter(KqHoverEvent* event)
{
    repaintItem();
    if (KqGraphicsFrameItem* b = backgroundOf(m_widget))
        b->setHovered(true);
    if (showsDragCursor()) {
        KqCursorManager::instance()->pushCursor();
        KqCursorManager::instance()->setCursorShape(kDragCursorShape);
    }
    event->setAccepted(true);
}

void KqWidgetEventHandler::hoverLeave(KqHoverEvent* event)
{
    repaintItem();
    if (KqGraphicsFrameItem* b = backgroundOf(m_widget))
        b->setHovered(false);
    if (showsDragCursor())
        KqCursorManager::instance()->popCursor();
    event->setAccepted(true);
}

void KqWidgetEventHandler::focusIn(KqFocusEvent*)
{
    repaintItem();
    if (KqGraphicsFrameItem* b = backgroundOf(m_widget))
        b->setFocused(true);
}

void KqWidgetEventHandler::focusOut(KqFocusEvent*)
{
    repaintItem();
    if (KqGraphicsFrameItem* b = backgroundOf(m_widget))
        b->setFocused(false);
}

void KqWidgetEventHandler::dragStart(KqSceneDragEvent* event) { event->setAccepted(true); }

void KqWidgetEventHandler::dragEnd(KqSceneDragEvent* event) { event->setAccepted(true); }

void KqWidgetEventHandler::dragMove(KqSceneDragEvent* event)
{
    if (m_widget && event->dynamicClassInfo() == KqDragMoveEvent::classInfo()) {
        const KqDragMoveEvent* move = static_cast<const KqDragMoveEvent*>(event);
        m_widget->setPos(m_widget->x() + (move->to.x - move->from.x), m_widget->y() + (move->to.y - move->from.y));
    }
    event->setAccepted(true);
}
