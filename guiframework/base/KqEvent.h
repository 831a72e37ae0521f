// Event objects: the base with its accept flag, scene events with their
// cached target and depth counters, and the mouse, key, hover, focus, drag,
// window and widget events. Classes are numbered by registration order.
#pragma once

#include "KqClassInfo.h"
#include "KqGeometry.h"
#include "KqObject.h"
#include "KqVariant.h"

#include <cstdint>

class KqGraphicsItem;
class KqGraphicsScene;
class KqGraphicsView;

class KqEvent : public KqRttiObject {
    KQ_DECLARE_CLASS(KqEvent)
public:
    enum Flag : uint32_t { Accepted = 0x1, DeliverToChildren = 0x2 };

    KqEvent() = default;
    uint32_t flags = 0;
    void setFlag(uint32_t mask, bool on) { flags = on ? (flags | mask) : (flags & ~mask); }
    bool isAccepted() const { return (flags & Accepted) != 0; }
    void setAccepted(bool on) { setFlag(Accepted, on); }

    // The event class: the key of signal dispatch.
    virtual const KqClassInfo* eventType() const { return dynamicClassInfo(); }
    // Scene coordinates from view coordinates (positional events only).
    virtual void prepare(KqGraphicsView* view);
    // Item coordinates from scene coordinates (positional events only).
    virtual void mapToItem(KqGraphicsItem* item);
    // The item the event goes to, or null.
    virtual KqGraphicsItem* target(KqGraphicsScene* scene);
    virtual KqGraphicsItem* resolveTarget(KqGraphicsView* view);
    // Whether the item takes this kind of event.
    virtual bool accepts(KqGraphicsItem* item) const;
};

class KqSceneEvent : public KqEvent {
    KQ_DECLARE_CLASS(KqSceneEvent)
public:
    KqSceneEvent() = default;
    KqWeakPointer cachedTarget;
    KqWeakPointer acceptedBy; // the item whose handler accepted the event
    KqWeakPointer view;       // the view that sent it
    int32_t upDepth = 0;      // parents climbed
    int32_t downDepth = 0;    // levels descended

    KqGraphicsItem* cachedItem() const;
    void setCachedTarget(KqGraphicsItem* item);
    KqGraphicsItem* target(KqGraphicsScene* scene) override;
    bool accepts(KqGraphicsItem* item) const override;
};

class KqEventAcceptedEvent : public KqSceneEvent {
    KQ_DECLARE_CLASS(KqEventAcceptedEvent)
public:
    explicit KqEventAcceptedEvent(KqEvent* accepted = nullptr) : acceptedEvent(accepted) {}
    KqEvent* acceptedEvent;
    bool accepts(KqGraphicsItem* item) const override;
};

class KqMouseEvent : public KqSceneEvent {
    KQ_DECLARE_CLASS(KqMouseEvent)
public:
    enum Button { NoButtonTest = 0, LeftButton = 1 };
    KqMouseEvent() = default;
    void mapToItem(KqGraphicsItem* item) override;
    KqPoint screenPos, windowPos, viewPos, scenePos, itemPos;
    int32_t button = 0;
    bool resolved = false;
    void* data = nullptr;
    // Non-client forms: the mark and the hit-test code of the message.
    bool nonClient = false;
    int32_t hitTest = 0;
    void prepare(KqGraphicsView* view) override;
    bool accepts(KqGraphicsItem* item) const override;
    KqGraphicsItem* target(KqGraphicsScene* scene) override;
    // Positions, button and non-client data of another mouse event.
    void copyPositions(const KqMouseEvent& other);
};

// A mouse event class with nothing of its own.
#define KQ_PLAIN_EVENT(Class, Base)     \
    class Class : public Base {         \
        KQ_DECLARE_CLASS(Class)         \
    public:                             \
        Class() = default;              \
    };

KQ_PLAIN_EVENT(KqSceneMouseEvent, KqMouseEvent)
KQ_PLAIN_EVENT(KqMouseDownEvent, KqMouseEvent)
KQ_PLAIN_EVENT(KqMouseUpEvent, KqMouseEvent)

class KqMouseWheelEvent : public KqMouseEvent {
    KQ_DECLARE_CLASS(KqMouseWheelEvent)
public:
    KqMouseWheelEvent() = default;
    int32_t delta = 0;
    int64_t extra = 0;
    bool accepts(KqGraphicsItem* item) const override;
    KqGraphicsItem* target(KqGraphicsScene* scene) override;
};

class KqMouseMoveEvent : public KqMouseEvent {
    KQ_DECLARE_CLASS(KqMouseMoveEvent)
public:
    KqMouseMoveEvent() = default;
    int32_t word1 = 0, word2 = 0;
    KqGraphicsItem* target(KqGraphicsScene* scene) override;
};

KQ_PLAIN_EVENT(KqMouseDbClickEvent, KqMouseEvent)

class KqMouseClickedEvent : public KqMouseEvent {
    KQ_DECLARE_CLASS(KqMouseClickedEvent)
public:
    explicit KqMouseClickedEvent(KqGraphicsItem* clicked = nullptr) : clickedItem(clicked) {}
    KqGraphicsItem* clickedItem;
    KqGraphicsItem* target(KqGraphicsScene* scene) override;
    KqGraphicsItem* resolveTarget(KqGraphicsView* view) override;
};

KQ_PLAIN_EVENT(KqMouseHoverEvent, KqMouseEvent)
KQ_PLAIN_EVENT(KqMouseLeaveEvent, KqMouseEvent)

class KqKeyEvent : public KqSceneEvent {
    KQ_DECLARE_CLASS(KqKeyEvent)
public:
    enum ModifierFlag : uint8_t { ShiftFlag = 0x1, ControlFlag = 0x2, AltFlag = 0x4 };
    enum Modifier : int32_t { ShiftModifier = 0x2000000, ControlModifier = 0x4000000, AltModifier = 0x8000000 };
    explicit KqKeyEvent(int32_t virtualKey = 0);
    int32_t virtualKey;
    int32_t keyData = 0;
    uint8_t modifierFlags = 0;
    int32_t modifiers = 0;
    bool accepts(KqGraphicsItem* item) const override;
    KqGraphicsItem* target(KqGraphicsScene* scene) override;
};

class KqKeyDownEvent : public KqKeyEvent {
    KQ_DECLARE_CLASS(KqKeyDownEvent)
public:
    explicit KqKeyDownEvent(int32_t virtualKey = 0) : KqKeyEvent(virtualKey) {}
};

class KqKeyUpEvent : public KqKeyEvent {
    KQ_DECLARE_CLASS(KqKeyUpEvent)
public:
    explicit KqKeyUpEvent(int32_t virtualKey = 0) : KqKeyEvent(virtualKey) {}
};

class KqCharEvent : public KqSceneEvent {
    KQ_DECLARE_CLASS(KqCharEvent)
public:
    explicit KqCharEvent(int32_t character_ = 0) : character(character_) {}
    int32_t character;
    int32_t charData = 0;
    bool accepts(KqGraphicsItem* item) const override;
    KqGraphicsItem* target(KqGraphicsScene* scene) override;
};

class KqHoverEvent : public KqSceneEvent {
    KQ_DECLARE_CLASS(KqHoverEvent)
public:
    KqHoverEvent() = default;
    bool accepts(KqGraphicsItem* item) const override;
};

KQ_PLAIN_EVENT(KqHoverEnterEvent, KqHoverEvent)

class KqHoverGainEvent : public KqHoverEvent {
    KQ_DECLARE_CLASS(KqHoverGainEvent)
public:
    explicit KqHoverGainEvent(KqGraphicsItem* item = nullptr);
};

KQ_PLAIN_EVENT(KqHoverLeaveEvent, KqHoverEvent)

class KqFocusEvent : public KqSceneEvent {
    KQ_DECLARE_CLASS(KqFocusEvent)
public:
    KqFocusEvent() = default;
    int32_t reason = 8;
    bool accepts(KqGraphicsItem* item) const override;
};

KQ_PLAIN_EVENT(KqFocusInEvent, KqFocusEvent)
KQ_PLAIN_EVENT(KqFocusOutEvent, KqFocusEvent)
KQ_PLAIN_EVENT(KqFocusGainEvent, KqFocusEvent)

struct KqDragState {
    KqPoint startScenePos;
    KqPoint lastScenePos;
    KqPoint offset;
    int32_t phase = 0;
};

class KqSceneDragEvent : public KqSceneEvent {
    KQ_DECLARE_CLASS(KqSceneDragEvent)
public:
    explicit KqSceneDragEvent(KqGraphicsItem* dragged = nullptr);
    KqDragState drag;
    bool accepts(KqGraphicsItem* item) const override;
    virtual void copyDragState(const KqSceneDragEvent& other) { drag = other.drag; }
};

class KqDragStartEvent : public KqSceneDragEvent {
    KQ_DECLARE_CLASS(KqDragStartEvent)
public:
    explicit KqDragStartEvent(KqGraphicsItem* dragged = nullptr) : KqSceneDragEvent(dragged) {}
};

class KqDragMoveEvent : public KqSceneDragEvent {
    KQ_DECLARE_CLASS(KqDragMoveEvent)
public:
    KqDragMoveEvent() = default;
    KqDragMoveEvent(KqGraphicsItem* dragged, const KqPoint& from_, const KqPoint& to_)
        : KqSceneDragEvent(dragged), from(from_), to(to_) {}
    KqPoint from, to;
};

class KqDragEndEvent : public KqSceneDragEvent {
    KQ_DECLARE_CLASS(KqDragEndEvent)
public:
    explicit KqDragEndEvent(KqGraphicsItem* dragged = nullptr) : KqSceneDragEvent(dragged) {}
};

class KqDragDropEvent : public KqMouseEvent {
    KQ_DECLARE_CLASS(KqDragDropEvent)
public:
    KqDragDropEvent() = default;
    KqWeakPointer draggedItem;
    bool accepts(KqGraphicsItem* item) const override;
    virtual void copyFromMouse(const KqMouseEvent& other);
    virtual void copyFromDrop(const KqDragDropEvent& other);
};

class KqWinEventBase : public KqSceneEvent {
    KQ_DECLARE_CLASS(KqWinEventBase)
public:
    KqWinEventBase() = default;
    KqGraphicsItem* target(KqGraphicsScene* scene) override;
};

class KqResizeEvent : public KqWinEventBase {
    KQ_DECLARE_CLASS(KqResizeEvent)
public:
    KqResizeEvent() : KqResizeEvent(nullptr, KqRect(), KqRect()) {}
    KqResizeEvent(void* window_, const KqRect& newRect_, const KqRect& oldRect_);
    int32_t sizeType = 0;
    void* window;
    KqRect newRect, oldRect;
    int32_t word1 = 0, word2 = 0;
    int32_t minWidth = -1, minHeight = -1;
    // From WM_SIZE: the window's rectangle (inclusive edges) and size, and
    // the new client size.
    KqRect windowRect;
    int32_t windowWidth = 0, windowHeight = 0;
    int32_t clientWidth = 0, clientHeight = 0;
    bool accepts(KqGraphicsItem* item) const override;
};

class KqMoveEvent : public KqWinEventBase {
    KQ_DECLARE_CLASS(KqMoveEvent)
public:
    KqMoveEvent() = default;
    int32_t word1 = 0, word2 = 0;
    KqPoint pos{-1, -1};
    KqRect windowRect; // at the new position (inclusive edges)
};

class KqWinOnShowEvent : public KqWinEventBase {
    KQ_DECLARE_CLASS(KqWinOnShowEvent)
public:
    KqWinOnShowEvent() = default;
    int32_t word = 0;
    KqWeakPointer window;
    int32_t showCommand = 1;
};

// The window message as the native window received it.
struct KqWinMessage {
    void* window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    intptr_t result;
};

class KqWinEvent : public KqWinEventBase {
    KQ_DECLARE_CLASS(KqWinEvent)
public:
    KqWinEvent() = default;
    KqWinMessage* message = nullptr;
};

class KqNcHitTestEvent : public KqWinEvent {
    KQ_DECLARE_CLASS(KqNcHitTestEvent)
public:
    KqNcHitTestEvent() = default;
    KqPoint screenPos, windowPos, viewPos, scenePos, itemPos;
    KqRect windowRect;
    int32_t hitTest = 1; // HTCLIENT
    bool resolved = false;
    void prepare(KqGraphicsView* view) override;
    bool accepts(KqGraphicsItem* item) const override;
    KqGraphicsItem* target(KqGraphicsScene* scene) override;
};

class KqWinCommandEventBase : public KqWinEventBase {
    KQ_DECLARE_CLASS(KqWinCommandEventBase)
public:
    KqWinCommandEventBase() = default;
    int32_t commandId = 0;
    void* control = nullptr;
    int32_t word1 = 1, word2 = 0;
    intptr_t result = 0; // the answer to the message when accepted
};

KQ_PLAIN_EVENT(KqWinCommandEvent, KqWinCommandEventBase)
KQ_PLAIN_EVENT(KqWinSysCommandEvent, KqWinCommandEventBase)

class KqPainter;

class KqPaintEvent : public KqSceneEvent {
    KQ_DECLARE_CLASS(KqPaintEvent)
public:
    KqPaintEvent() = default;
    KqWeakPointer window;
    KqRectF updateRect; // view coordinates; null: everything
    KqPainter* painter = nullptr;
};

class KqEraseBkgndEvent : public KqSceneEvent {
    KQ_DECLARE_CLASS(KqEraseBkgndEvent)
public:
    KqEraseBkgndEvent() = default;
    KqWeakPointer window;
    void* deviceContext = nullptr;
    int32_t word = 0;
};

KQ_PLAIN_EVENT(KqMouseNcToClientEvent, KqSceneEvent)

class KqWindowEvent : public KqWinEventBase {
    KQ_DECLARE_CLASS(KqWindowEvent)
public:
    KqWindowEvent() = default;
    void* window = nullptr;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    intptr_t result = 0;
};

class KqUpdateHoverEvent : public KqSceneEvent {
    KQ_DECLARE_CLASS(KqUpdateHoverEvent)
public:
    KqUpdateHoverEvent() = default;
    void* data = nullptr;
};

KQ_PLAIN_EVENT(KqWidgetEvent, KqSceneEvent)

class KqCheckBoxEvent : public KqWidgetEvent {
    KQ_DECLARE_CLASS(KqCheckBoxEvent)
public:
    KqCheckBoxEvent() = default;
    bool checked = false;
    bool flag2 = false;
};

class KqTextEditEvent : public KqWidgetEvent {
    KQ_DECLARE_CLASS(KqTextEditEvent)
public:
    KqTextEditEvent() = default;
    int32_t kind = 0;
    KqVariant value;
};

class KqMessageBoxEvent : public KqWidgetEvent {
    KQ_DECLARE_CLASS(KqMessageBoxEvent)
public:
    KqMessageBoxEvent() = default;
    int32_t result = -1; // none yet
};

#undef KQ_PLAIN_EVENT

// Modifier keys: ShiftModifier, ControlModifier or AltModifier; other
// values answer false.
bool kqIsModifierDown(int32_t modifier);
// Test seam: replaces GetKeyState (null restores it).
void kqSetKeyStateSource(int16_t (*source)(int virtualKey));
int16_t kqKeyState(int virtualKey);

// Registers the event classes in their fixed order (numbers 1-48).
void kqRegisterEventClasses();
