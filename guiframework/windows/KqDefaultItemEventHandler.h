// The item handler that splits events into one operation per kind; the
// defaults repaint the item on hover and focus changes and accept nothing.
#pragma once

#include "KqEventHandler.h"

class KqCharEvent;
class KqFocusEvent;
class KqHoverEvent;
class KqKeyEvent;
class KqMouseEvent;
class KqSceneDragEvent;

class KqDefaultItemEventHandler : public KqItemEventHandler {
    KQ_DECLARE_CLASS(KqDefaultItemEventHandler)
public:
    KqDefaultItemEventHandler() = default;
    void handle(KqEvent* event) override;

    virtual void mouseDown(KqMouseEvent* event) { (void)event; }
    virtual void mouseUp(KqMouseEvent* event) { (void)event; }
    virtual void mouseWheel(KqMouseEvent* event) { (void)event; }
    virtual void mouseMove(KqMouseEvent* event) { (void)event; }
    virtual void mouseDbClick(KqMouseEvent* event) { (void)event; }
    virtual void mouseClicked(KqMouseEvent* event) { (void)event; }
    virtual void keyDown(KqKeyEvent* event) { (void)event; }
    virtual void keyUp(KqKeyEvent* event) { (void)event; }
    virtual void charInput(KqCharEvent* event) { (void)event; }
    virtual void hoverEnter(KqHoverEvent* event);
    virtual void hoverLeave(KqHoverEvent* event);
    virtual void focusIn(KqFocusEvent* event);
    virtual void focusOut(KqFocusEvent* event);
    virtual void dragStart(KqSceneDragEvent* event) { (void)event; }
    virtual void dragMove(KqSceneDragEvent* event) { (void)event; }
    virtual void dragEnd(KqSceneDragEvent* event) { (void)event; }

protected:
    KqGraphicsItem* item() const { return static_cast<KqGraphicsItem*>(target()); }
    void repaintItem();
};
