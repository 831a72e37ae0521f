// The widget handler: switches a widget's pressed, hovered and focused
// states, shows the hand cursor over draggable widgets, moves dragged ones,
// and first offers every event to the widget's signals by event class.
#pragma once

#include "KqDefaultItemEventHandler.h"
#include "KqSignal.h"

class KqWidgetItem;

// Event class -> signal, for the windows that assemble widgets.
class KqEventSignalDispatch : public KqRttiObject {
    KQ_DECLARE_CLASS(KqEventSignalDispatch)
public:
    explicit KqEventSignalDispatch(KqGraphicsItem* owner = nullptr) : m_owner(owner) {}
    ~KqEventSignalDispatch() override;
    template <class R> void connect(const KqClassInfo* eventClass, R* receiver, void (R::*member)(KqGraphicsItem*, KqEvent*))
    {
        signal(eventClass)->connect(receiver, member);
    }
    // Emits the signal of the event's class; the event's accepted flag, or
    // false without such a signal.
    bool emit(KqGraphicsItem* item, KqEvent* event);
    KqGraphicsItem* owner() const { return m_owner; }
    KqSignal2* signalFor(const KqClassInfo* eventClass) const { return m_signals.value(eventClass, nullptr); }

private:
    KqSignal2* signal(const KqClassInfo* eventClass);
    KqGraphicsItem* m_owner;
    KqMap<const KqClassInfo*, KqSignal2*> m_signals;
};

class KqWidgetEventHandler : public KqDefaultItemEventHandler {
    KQ_DECLARE_CLASS(KqWidgetEventHandler)
public:
    static const int kDragCursorShape = 13;
    explicit KqWidgetEventHandler(KqWidgetItem* widget = nullptr) : m_widget(widget) {}
    ~KqWidgetEventHandler() override;
    KqWidgetItem* widget() const { return m_widget; }
    KqEventSignalDispatch* eventSignalDispatch();
    bool hasEventSignalDispatch() const { return m_dispatch != nullptr; }

    void handle(KqEvent* event) override;
    void mouseDown(KqMouseEvent* event) override;
    void mouseUp(KqMouseEvent* event) override;
    void hoverEnter(KqHoverEvent* event) override;
    void hoverLeave(KqHoverEvent* event) override;
    void focusIn(KqFocusEvent* event) override;
    void focusOut(KqFocusEvent* event) override;
    void dragStart(KqSceneDragEvent* event) override;
    void dragMove(KqSceneDragEvent* event) override;
    void dragEnd(KqSceneDragEvent* event) override;

private:
    bool showsDragCursor() const;
    KqWidgetItem* m_widget;
    KqEventSignalDispatch* m_dispatch = nullptr;
};
