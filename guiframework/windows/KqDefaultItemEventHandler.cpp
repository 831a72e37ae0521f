#include "KqDefaultItemEventHandler.h"

#include "KqEvent.h"
#include "KqGraphicsItem.h"

KQ_DEFINE_CLASS(KqDefaultItemEventHandler, KqItemEventHandler, 'DIEH', &kqMakeInstance<KqDefaultItemEventHandler>)

void KqDefaultItemEventHandler::handle(KqEvent* event)
{
    if (!event || event->isAccepted())
        return;
    const KqClassInfo* type = event->dynamicClassInfo();
    if (type->inherits(KqMouseEvent::classInfo())) {
        KqMouseEvent* e = static_cast<KqMouseEvent*>(event);
        if (type == KqMouseDownEvent::classInfo())
            mouseDown(e);
        else if (type == KqMouseUpEvent::classInfo())
            mouseUp(e);
        else if (type == KqMouseWheelEvent::classInfo())
            mouseWheel(e);
        else if (type == KqMouseMoveEvent::classInfo())
            mouseMove(e);
        else if (type == KqMouseDbClickEvent::classInfo())
            mouseDbClick(e);
        else if (type == KqMouseClickedEvent::classInfo())
            mouseClicked(e);
    } else if (type->inherits(KqKeyEvent::classInfo())) {
        KqKeyEvent* e = static_cast<KqKeyEvent*>(event);
        if (type == KqKeyDownEvent::classInfo())
            keyDown(e);
        else if (type == KqKeyUpEvent::classInfo())
            keyUp(e);
    } else if (type->inherits(KqCharEvent::classInfo())) {
        charInput(static_cast<KqCharEvent*>(event));
    } else if (type->inherits(KqHoverEvent::classInfo())) {
        KqHoverEvent* e = static_cast<KqHoverEvent*>(event);
        if (type == KqHoverEnterEvent::classInfo())
            hoverEnter(e);
        else if (type == KqHoverLeaveEvent::classInfo())
            hoverLeave(e);
    } else if (type->inherits(KqFocusEvent::classInfo())) {
        KqFocusEvent* e = static_cast<KqFocusEvent*>(event);
        if (type == KqFocusInEvent::classInfo())
            focusIn(e);
        else if (type == KqFocusOutEvent::classInfo())
            focusOut(e);
    } else if (type->inherits(KqSceneDragEvent::classInfo())) {
        KqSceneDragEvent* e = static_cast<KqSceneDragEvent*>(event);
        if (type == KqDragStartEvent::classInfo())
            dragStart(e);
        else if (type == KqDragMoveEvent::classInfo())
            dragMove(e);
        else if (type == KqDragEndEvent::classInfo())
            dragEnd(e);
    }
}

void KqDefaultItemEventHandler::repaintItem()
{
    if (KqGraphicsItem* i = item())
        i->update();
}

void KqDefaultItemEventHandler::hoverEnter(KqHoverEvent*) { repaintItem(); }
void KqDefaultItemEventHandler::hoverLeave(KqHoverEvent*) { repaintItem(); }
void KqDefaultItemEventHandler::focusIn(KqFocusEvent*) { repaintItem(); }
void KqDefaultItemEventHandler::focusOut(KqFocusEvent*) { repaintItem(); }
