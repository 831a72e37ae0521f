// Node of the retained scene graph: geometry in doubles, stacking value,
// behaviour flags, state bits, children owned in insertion order, change
// listeners and an optional event handler.
#pragma once

#include "KqClassInfo.h"
#include "KqContainers.h"
#include "KqGeometry.h"
#include "KqString.h"
#include "KqTransform.h"
#include "KqVariant.h"

#include <cstdint>

class KqAbstractAnimation;
class KqAnchors;
class KqGraphicsScene;
class KqItemChangeListener;
class KqEvent;
class KqItemEventHandler;
class KqPainter;
class KqRegion;

class KqGraphicsItem : public KqRttiObject {
    KQ_DECLARE_CLASS(KqGraphicsItem)
public:
    // Behaviour flags.
    enum Flag : uint32_t {
        AcceptsDrag = 0x1,
        Focusable = 0x4,
        ClippedContent = 0x8,
        ClipsChildren = 0x10,
        NoOwnPaint = 0x400,
        AcceptsHover = 0x10000,
        KeepsClickFocus = 0x20000,
        StopsPointSearch = 0x100000,
    };
    // State bits.
    enum State : uint32_t {
        AcceptsDrops = 0x2000,
        DirtyRegistered = 0x4000,
        GeometryPrepared = 0x8000,
        FullRepaintPending = 0x10000,
        BeingDestroyed = 0x20000,
        Visible = 0x40000,
        Enabled = 0x80000,
        ChildrenRectStale = 0x200000,
        SceneTransformStale = 0x400000,
        StackingStale = 0x800000,
        ChildrenNeedSort = 0x1000000,
        GeometryGuard = 0x2000000,
        MouseButtonsShift = 26,
        MouseButtonsMask = 0x7C000000,
    };
    // The region that clips the item (and, with ClipsChildren, its children)
    // instead of its bounding rectangle; owned, null clears it.
    void setClipRegion(KqRegion* region);
    // Listener bits.
    enum ListenerBit : uint32_t { GeometryChanged = 1, VisibilityChanged = 4, ItemDestroyed = 16, PositionChanged = 32 };
    // Change kinds of itemChange and itemChanged.
    enum ChangeKind { PositionChange = 0, ParentChange = 4, ChildAdded = 5, ChildRemoved = 6, FlagsChange = 11, ZValueChange = 12, GeometryChange = 14 };

    explicit KqGraphicsItem(KqGraphicsItem* parentItem = nullptr, KqGraphicsScene* scene = nullptr);
    ~KqGraphicsItem() override;

    virtual KqRectF rect() const { return m_rect; }
    virtual KqRectF boundingRect() const;
    virtual void paint(KqPainter* painter);
    virtual KqString objectPath() const;
    virtual KqVariant itemChange(int kind, const KqVariant& value);
    virtual void itemChanged(int kind, const KqVariant& newValue, const KqVariant& oldValue);
    virtual KqGraphicsItem* nextInFocusChain() { return this; }
    virtual KqGraphicsItem* previousInFocusChain() { return this; }
    virtual bool setProperty(const KqString& name, const KqVariant& value);
    virtual KqVariant property(const KqString& name);
    virtual bool hasProperty(const KqString& name);
    virtual void registerProperties();

    // Geometry (parent coordinates unless said).
    KqPointF pos() const { return m_pos; }
    double x() const { return m_pos.x; }
    double y() const { return m_pos.y; }
    void setPos(const KqPointF& pos);
    void setPos(double x, double y) { setPos(KqPointF(x, y)); }
    void setX(double x);
    void setY(double y);
    void setRect(const KqRectF& rect);
    void setGeometry(double x, double y, double width, double height);
    void setGeometry(const KqRectF& rect) { setGeometry(rect.x, rect.y, rect.width, rect.height); }
    void setWidth(double width);
    void setHeight(double height);
    void resize(double width, double height);
    void setSize(const KqSizeF& size) { resize(size.width, size.height); }
    double width() const { return rect().width; }
    double height() const { return rect().height; }
    KqSizeF size() const { return KqSizeF{rect().width, rect().height}; }
    // The local rectangle moved by the position.
    KqRectF geometry() const;
    const KqTransform& transform() const { return m_transform; }
    KqTransform sceneTransform();
    double baselineOffset() const { return m_baselineOffset; }
    // Repaints part of the item; an empty rectangle means the whole item.
    void update(const KqRectF& rect = KqRectF());
    // Repaints the item and every visible descendant.
    void updateSubtree();

    void addAnimation(KqAbstractAnimation* animation);
    void removeAnimation(KqAbstractAnimation* animation);
    int animationCount() const { return m_animations.count(); }
    KqAbstractAnimation* animationAt(int i) const { return m_animations.at(i); }

    KqAnchors* anchors();
    bool hasAnchors() const { return m_anchors != nullptr; }
    void removeAnchors();

    // Tree.
    void setParentItem(KqGraphicsItem* parent);
    KqGraphicsItem* parentItem() const { return m_parent; }
    KqGraphicsScene* scene() const { return m_scene; }
    // Set by the scene as it adds or removes the item.
    void setSceneDirect(KqGraphicsScene* scene) { m_scene = scene; }
    KqRectF sceneBoundingRect();
    KqGraphicsItem* topLevelItem();
    int depth() const;
    bool isAncestorOf(const KqGraphicsItem* item) const;
    KqGraphicsItem* commonAncestorItem(KqGraphicsItem* other);
    const KqVector<KqGraphicsItem*>& children() const { return m_children; }
    int siblingIndex() const { return m_siblingIndex; }
    int32_t serial() const { return m_serial; }
    // Brings the children into stacking order when a change asked for it.
    void sortChildren();

    // State.
    uint32_t flags() const { return m_flags; }
    bool testFlag(uint32_t bits) const { return (m_flags & bits) != 0; }
    void setFlag(uint32_t bits, bool on);
    uint32_t stateBits() const { return m_state; }
    void setStateBits(uint32_t bits, bool on) { m_state = on ? (m_state | bits) : (m_state & ~bits); }
    uint32_t acceptedMouseButtons() const { return (m_state & MouseButtonsMask) >> MouseButtonsShift; }
    void setAcceptedMouseButtons(uint32_t buttons, bool on);
    bool isVisible() const { return (m_state & Visible) != 0; }
    void setVisible(bool visible);
    bool isEnabled() const { return (m_state & Enabled) != 0; }
    void setEnabled(bool enabled);
    double zValue() const { return m_zValue; }
    void setZValue(double z);
    double opacity() const { return m_opacity; }
    void setOpacity(double opacity)
    {
        if (opacity != m_opacity) {
            m_opacity = opacity;
            update();
        }
    }
    KqString objectName() const { return m_objectName; }
    void setObjectName(const KqString& name) { m_objectName = name; }

    // Focus policy: by Tab, by a click.
    enum FocusPolicyBit : uint32_t { TabFocus = 0x1, ClickFocus = 0x2 };
    uint32_t focusPolicy() const { return m_focusPolicy; }
    void setFocusPolicy(uint32_t policy) { m_focusPolicy = policy; }
    KqGraphicsItem* focusProxy() const { return m_focusProxy; }
    void setFocusProxy(KqGraphicsItem* item);
    bool hasFocus() const;
    bool isMouseGrabber() const;

    KqItemEventHandler* eventHandler() const { return m_eventHandler; }
    // Deletes the previous handler; the new one follows the enabled state.
    void setEventHandler(KqItemEventHandler* handler);
    bool sendEvent(KqEvent* event);
    KqRegion* clipRegion() const { return m_clipRegion; }
    // A bounding rectangle narrower than the item (the visible part of
    // scrolled content); an empty one clears it.
    void setBoundingRectOverride(const KqRectF& rect);
    KqRectF boundingRectOverride() const { return m_boundingRectOverride; }

    // Listeners.
    void addChangeListener(KqItemChangeListener* listener);
    void removeChangeListener(KqItemChangeListener* listener);
    void notifyChangeListeners(uint32_t bit, const KqVariant& newValue, const KqVariant& oldValue);

private:
    void markSubtree(uint32_t bits);
    void markAncestorsChildrenRectStale();
    void prepareGeometryChange();
    void reportGeometry(const KqRectF& newGeometry, const KqRectF& oldGeometry);
    void resetDepth();

    uint32_t m_flags = 0;
    uint32_t m_state = Visible | Enabled | ChildrenRectStale | SceneTransformStale | StackingStale;
    int32_t m_serial;
    KqRectF m_rect;
    KqRectF m_childrenRect;
    KqRectF m_boundingRectOverride;
    KqRegion* m_clipRegion = nullptr;
    KqPointF m_pos;
    KqTransform m_transform;
    KqTransform m_sceneTransformCache;
    mutable int32_t m_depth = -1;
    int32_t m_siblingIndex = -1;
    double m_zValue = 0;
    KqString m_objectName;
    KqItemEventHandler* m_eventHandler = nullptr;
    KqVector<KqItemChangeListener*> m_changeListeners;
    KqAnchors* m_anchors = nullptr;
    double m_baselineOffset = 0;
    uint32_t m_focusPolicy = 0;
    KqGraphicsItem* m_focusProxy = nullptr;
    KqVector<KqGraphicsItem**> m_focusProxyUsers;
    double m_opacity = 1.0;
    KqVector<KqAbstractAnimation*> m_animations;
    KqGraphicsScene* m_scene = nullptr;
    KqGraphicsItem* m_parent = nullptr;
    KqVector<KqGraphicsItem*> m_children;
    KqMap<KqString, KqVariant> m_dynamicProperties;
};

// Living items by serial number.
class KqItemRegistry {
public:
    static KqItemRegistry* instance();
    KqGraphicsItem* find(int32_t serial) const { return m_items.value(serial, nullptr); }
    int count() const { return m_items.count(); }
    void add(KqGraphicsItem* item) { m_items[item->serial()] = item; }
    void remove(int32_t serial) { m_items.remove(serial); }

private:
    KqMap<int32_t, KqGraphicsItem*> m_items;
};
