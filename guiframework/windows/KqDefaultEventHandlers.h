// The framework's default scene handler (press, click and drag bookkeeping)
// and view handler (hover tracking, click focus, Tab, resize and paint).
#pragma once

#include "KqDefaultItemEventHandler.h"
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
