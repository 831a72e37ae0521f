// Event handlers of scenes and items: callbacks by event class, then the
// handler's own handle operation unless a callback accepted the event.
#pragma once

#include "KqClassInfo.h"
#include "KqContainers.h"

#include <cstdint>
#include <vector>

class KqEvent;
class KqGraphicsItem;
class KqGraphicsScene;
class KqGraphicsView;

// A callback accepts an event by setting its accepted flag.
typedef void (*KqEventCallback)(void* target, KqEvent* event);

class KqEventHandler : public KqRttiObject {
    KQ_DECLARE_CLASS(KqEventHandler)
public:
    KqEventHandler() = default;
    virtual void handle(KqEvent* event) { (void)event; }
    void* target() const { return m_target; }
    void setTarget(void* target) { m_target = target; }

private:
    void* m_target = nullptr;
};

class KqSceneEventHandler : public KqEventHandler {
    KQ_DECLARE_CLASS(KqSceneEventHandler)
public:
    KqSceneEventHandler() = default;
    void setCallback(const KqClassInfo* eventClass, KqEventCallback callback) { m_callbacks[eventClass] = callback; }
    // The dispatcher's entry.
    void offer(KqEvent* event);

private:
    KqMap<const KqClassInfo*, KqEventCallback> m_callbacks;
};

class KqViewEventHandler : public KqEventHandler {
    KQ_DECLARE_CLASS(KqViewEventHandler)
public:
    KqViewEventHandler() = default;
    void setCallback(const KqClassInfo* eventClass, KqEventCallback callback) { m_callbacks[eventClass] = callback; }
    // The dispatcher's entry.
    void offer(KqEvent* event);

private:
    KqMap<const KqClassInfo*, KqEventCallback> m_callbacks;
};

class KqItemEventHandler : public KqEventHandler {
    KQ_DECLARE_CLASS(KqItemEventHandler)
public:
    enum Flag : uint32_t { TakesFromChildren = 0x1, TakesFromParents = 0x2, HandlerEnabled = 0x4 };
    KqItemEventHandler() = default;
    void connectEvent(const KqClassInfo* eventClass, KqEventCallback callback) { m_callbacks[eventClass].push_back(callback); }
    uint32_t handlerFlags() const { return m_flags; }
    void setHandlerFlag(uint32_t bits, bool on) { m_flags = on ? (m_flags | bits) : (m_flags & ~bits); }
    void setEnabled(bool on) { setHandlerFlag(HandlerEnabled, on); }
    // The dispatcher's entry: nothing while disabled.
    void offer(KqEvent* event);

private:
    uint32_t m_flags = HandlerEnabled;
    KqMap<const KqClassInfo*, std::vector<KqEventCallback>> m_callbacks;
};

// Offers events to scenes and delivers them to their target items.
class KqEventDispatcher {
public:
    static KqEventDispatcher* instance();
    // The view's handler first, then (prepared with the view) the scene.
    void sendToView(KqGraphicsView* view, KqEvent* event);
    void sendToScene(KqGraphicsScene* scene, KqEvent* event);
    void deliver(KqGraphicsItem* item, KqEvent* event);

private:
    void deliverUp(KqGraphicsItem* item, KqEvent* event);
    void deliverDown(KqGraphicsItem* item, KqEvent* event);
    // Steps shared by both directions: false when the event went no further.
    bool offerTo(KqGraphicsItem* item, KqEvent* event, int depth, uint32_t flag, bool& gone);
};
