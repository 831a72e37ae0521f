// The item trees of one framework window: top-level items, an index that
// finds items at a point, keyboard focus, the mouse-grab stack, role items,
// and dirty areas handed on every 16 ms.
#pragma once

#include "KqClassInfo.h"
#include "KqContainers.h"
#include "KqGeometry.h"
#include "KqObject.h"
#include "KqSignal.h"

#include <cstdint>

class KqGraphicsItem;
class KqGraphicsView;
class KqEvent;
class KqPainter;
class KqSceneEventHandler;
class KqTimer;
class KqTransform;

// Finds items by position; the linear form keeps every item in one list.
class KqGraphicsSceneLinearIndex {
public:
    void addItem(KqGraphicsItem* item) { m_items.append(item); }
    void removeItem(KqGraphicsItem* item) { m_items.removeOne(item); }
    const KqVector<KqGraphicsItem*>& items() const { return m_items; }
    // Items whose shape holds the point, topmost first (ascending: reversed).
    KqVector<KqGraphicsItem*> itemsAtPoint(const KqVector<KqGraphicsItem*>& topLevelItems, const KqPointF& point,
                                           bool ascending) const;

private:
    KqVector<KqGraphicsItem*> m_items;
};

class KqGraphicsScene;

// Told about items joining and leaving a scene.
class KqSceneListener {
public:
    enum Kind { AboutToAdd = 0, Added = 1, AboutToRemove = 2, Removed = 3 };
    virtual ~KqSceneListener() = default;
    virtual void sceneChanged(KqGraphicsScene* scene, int kind, KqGraphicsItem* item) = 0;
    // The scene is going away: forget it.
    virtual void sceneDetached(KqGraphicsScene* scene) { (void)scene; }
};

class KqGraphicsScene : public KqObject, public KqTrackable {
public:
    enum Role { HoverItem = 0, FocusItem = 1, LastFocusItem = 2, KeyboardGrabber = 4, TabStart = 5, FrameWindow = 6,
                DragAccepted = 7, PressItem = 8, DraggedItem = 10, RoleCount = 15 };
    enum Flag : uint32_t { ExplicitRect = 0x1, SortTopLevel = 0x2, HasFocus = 0x8, PointCacheValid = 0x10,
                           ImplicitGrab = 0x20, DeletesItems = 0x40, FullRepaint = 0x80,
                           KeepsFocusOnEmptyClick = 0x4 };

    explicit KqGraphicsScene(KqObject* parent = nullptr);
    ~KqGraphicsScene() override;

    void addItem(KqGraphicsItem* item);
    void removeItem(KqGraphicsItem* item);
    // Top-level items, topmost first.
    const KqVector<KqGraphicsItem*>& topLevelItems();
    int itemCount() const { return m_index.items().count(); }
    KqVector<KqGraphicsItem*> items(const KqPointF& point);
    void invalidatePointCache() { m_flags &= ~PointCacheValid; }

    KqGraphicsItem* roleItem(int role) const { return role >= 0 && role < RoleCount ? m_roles[role] : nullptr; }
    void setRoleItem(int role, KqGraphicsItem* item)
    {
        if (role >= 0 && role < RoleCount)
            m_roles[role] = item;
    }
    KqGraphicsItem* focusItem() const { return m_roles[FocusItem]; }
    bool hasFocus() const { return (m_flags & HasFocus) != 0; }
    void setFocusItem(KqGraphicsItem* item, int reason);
    virtual void setFocus(KqGraphicsItem* item, int reason);
    virtual void clearFocus();
    virtual void restoreFocus(int reason);
    // Moves the focus along the Tab chain: the focusable, visible, enabled
    // items of role 5's tree in tree order, wrapping; true when it moved.
    virtual bool focusNextPrev(bool forward);

    // Views showing the scene: each takes the dirty rectangles of an update pass.
    void addView(KqGraphicsView* view);
    void removeView(KqGraphicsView* view);
    const KqVector<KqGraphicsView*>& views() const { return m_views; }
    void addListener(KqSceneListener* listener);
    void removeListener(KqSceneListener* listener);

    // Sends the event through the dispatcher, with the item as its cached target.
    bool sendEvent(KqGraphicsItem* item, KqEvent* event);
    bool sendEvent(KqEvent* event);
    void setEventHandler(KqSceneEventHandler* handler);
    KqSceneEventHandler* eventHandler() const { return m_eventHandler; }

    void grabMouse(KqGraphicsItem* item, bool implicit);
    void ungrabMouse(KqGraphicsItem* item);
    void updateGrabber();
    KqGraphicsItem* mouseGrabber() const { return m_mouseGrabber; }
    const KqVector<KqGraphicsItem*>& grabStack() const { return m_grabStack; }

    void invalidate(const KqRectF& rect);
    void scheduleItemUpdate(KqGraphicsItem* item);
    void processUpdates();
    bool updatePending() const;
    // Called with the dirty rectangles of each update pass (views take them).
    KqSignalOf<const KqVector<KqRectF>&> sceneUpdated;

    // Draws the items in stacking order; disabled top-level items are skipped.
    void drawItems(KqPainter* painter, const KqTransform* viewTransform, const KqRectF& exposed);
    KqPainter* painter() const { return m_painter; }

    KqRectF sceneRect() const;
    void setSceneRect(const KqRectF& rect);
    KqRectF itemsBoundingRect() const;
    uint32_t flags() const { return m_flags; }
    void setDeletesItems(bool on) { m_flags = on ? (m_flags | DeletesItems) : (m_flags & ~DeletesItems); }

    // Kept by items when they join or leave the top level.
    void addTopLevel(KqGraphicsItem* item);
    void removeTopLevel(KqGraphicsItem* item);
    void markTopLevelOrderStale() { m_flags |= SortTopLevel; }

private:
    void notifyListeners(int kind, KqGraphicsItem* item);
    void addSubtree(KqGraphicsItem* item);
    void removeSubtree(KqGraphicsItem* item);
    void drawItem(KqGraphicsItem* item, KqPainter* painter, const KqTransform* viewTransform, const KqRectF& exposed,
                  double parentOpacity, bool inColor);

    KqPainter* m_painter = nullptr;
    KqSceneEventHandler* m_eventHandler = nullptr;

    KqGraphicsSceneLinearIndex m_index;
    KqVector<KqGraphicsItem*> m_topLevelItems;
    KqGraphicsItem* m_roles[RoleCount] = {};
    KqRectF m_sceneRect;
    uint32_t m_flags = SortTopLevel;
    bool m_destroying = false;
    KqTimer* m_updateTimer;
    KqPointF m_cachedPoint;
    KqVector<KqGraphicsItem*> m_cachedItems;
    KqVector<KqGraphicsItem*> m_grabStack;
    KqGraphicsItem* m_mouseGrabber = nullptr;
    KqVector<KqRectF> m_dirtyRects;
    KqVector<KqGraphicsItem*> m_pendingItems;
    KqVector<KqGraphicsView*> m_views;
    KqVector<KqSceneListener*> m_listeners;
};
