// The framework's default handlers: the item handler that splits events into
// one operation per kind, the scene handler (press, click and drag
// bookkeeping) and the view handler (hover tracking, click focus, Tab,
// resize and paint); and the dispatch of event classes to signals.
#pragma once

#include "KqEventHandler.h"
#include "KqGraphicsScene.h"
#include "KqObject.h"
#include "KqSignal.h"

class KqDragEndEvent;
class KqDragMoveEvent;
class KqDragStartEvent;
class KqEventAcceptedEvent;
class KqFocusEvent;
class KqHoverEvent;
class KqKeyEvent;
class KqCharEvent;
class KqMouseEvent;
class KqPaintEvent;
class KqResizeEvent;
class KqUpdateHoverEvent;

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
    // Hover and focus changes repaint the whole item without accepting.
    virtual void hoverEnter(KqHoverEvent* event);
    virtual void hoverLeave(KqHoverEvent* event);
    virtual void focusIn(KqFocusEvent* event);
    virtual void focusOut(KqFocusEvent* event);
    virtual void dragStart(KqDragStartEvent* event) { (void)event; }
    virtual void dragMove(KqDragMoveEvent* event) { (void)event; }
    virtual void dragEnd(KqDragEndEvent* event) { (void)event; }

protected:
    KqGraphicsItem* item() const { return static_cast<KqGraphicsItem*>(target()); }
};

// Event classes mapped to signals of (item, event) for the windows built on
// the framework.
class KqEventSignalDispatch : public KqRttiObject {
    KQ_DECLARE_CLASS(KqEventSignalDispatch)
public:
    explicit KqEventSignalDispatch(KqGraphicsItem* owner = nullptr) : m_owner(owner) {}
    ~KqEventSignalDispatch() override;
    template <class R> void connect(const KqClassInfo* eventClass, R* receiver, void (R::*member)(KqGraphicsItem*, KqEvent*))
    {
        KqSignal2*& signal = m_signals[eventClass];
        if (!signal)
            signal = new KqSignal2;
        signal->connect(receiver, member);
    }
    // Emits the signal of the event's class; the event's accepted flag, or
    // false when no signal is kept for the class.
    bool emit(KqGraphicsItem* item, KqEvent* event);
    KqGraphicsItem* owner() const { return m_owner; }

private:
    KqGraphicsItem* m_owner;
    KqMap<const KqClassInfo*, KqSignal2*> m_signals;
};

class KqDefaultSceneEventHandler : public KqSceneEventHandler {
    KQ_DECLARE_CLASS(KqDefaultSceneEventHandler)
public:
    KqDefaultSceneEventHandler() = default;
    void handle(KqEvent* event) override;

    virtual void mouseDown(KqMouseEvent* event);
    virtual void mouseUp(KqMouseEvent* event);
    virtual void mouseWheel(KqMouseEvent* event) { (void)event; }
    virtual void mouseMove(KqMouseEvent* event);
    virtual void keyDown(KqKeyEvent* event) { (void)event; }
    virtual void keyUp(KqKeyEvent* event) { (void)event; }
    virtual void charInput(KqCharEvent* event) { (void)event; }
    virtual void hoverEnter(KqHoverEvent* event) { (void)event; }
    virtual void hoverGain(KqHoverEvent* event) { (void)event; }
    virtual void hoverLeave(KqHoverEvent* event) { (void)event; }
    virtual void eventAccepted(KqEventAcceptedEvent* event);
    virtual void resize(KqResizeEvent* event) { (void)event; }

private:
    KqGraphicsScene* scene() const { return static_cast<KqGraphicsScene*>(target()); }
    void releaseImplicitGrabs();
    int m_implicitGrabs = 0;
};

class KqDefaultViewEventHandler : public KqViewEventHandler, public KqTrackable, public KqSceneListener {
    KQ_DECLARE_CLASS(KqDefaultViewEventHandler)
public:
    // Listens to the view's scene for items that leave it.
    explicit KqDefaultViewEventHandler(KqGraphicsView* view = nullptr);
    ~KqDefaultViewEventHandler() override;
    void handle(KqEvent* event) override;

    virtual void mouseDown(KqMouseEvent* event);
    virtual void mouseUp(KqMouseEvent* event);
    virtual void mouseWheel(KqMouseEvent* event) { (void)event; }
    virtual void mouseMove(KqMouseEvent* event);
    virtual void keyDown(KqKeyEvent* event);
    virtual void keyUp(KqKeyEvent* event) { (void)event; }
    virtual void charInput(KqCharEvent* event) { (void)event; }
    virtual void hoverEnter(KqHoverEvent* event);
    virtual void hoverGain(KqHoverEvent* event) { (void)event; }
    virtual void hoverLeave(KqHoverEvent* event);
    virtual void resize(KqResizeEvent* event);
    virtual void paint(KqPaintEvent* event);
    virtual void updateHover(KqUpdateHoverEvent* event);

    void sceneChanged(KqGraphicsScene* scene, int kind, KqGraphicsItem* item) override;
    void sceneDetached(KqGraphicsScene* scene) override;
    const KqVector<KqGraphicsItem*>& hoverStack() const { return m_hoverStack; }

private:
    KqGraphicsView* view() const;
    KqGraphicsScene* viewScene() const;
    void updateHoverFor(KqMouseEvent* event);
    void clickFocus();
    void leaveAll();

    KqGraphicsScene* m_listenedScene = nullptr;
    KqVector<KqGraphicsItem*> m_hoverItems;
    KqVector<KqGraphicsItem*> m_hoverStack;
};
