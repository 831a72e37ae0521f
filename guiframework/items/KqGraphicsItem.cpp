#include "KqGraphicsItem.h"

#include "KqAnchors.h"
#include "KqAnimation.h"
#include "KqEventHandler.h"
#include "KqGraphicsScene.h"
#include "KqItemChangeListener.h"
#include "KqPropertyRegistry.h"
#include "KqRegion.h"
#include "KqServices.h"
#include "KqStackingOrder.h"

namespace {
int32_t g_nextSerial = 1;
}

KQ_DEFINE_CLASS(KqGraphicsItem, KqRttiObject, 'ITEM', &kqMakeInstance<KqGraphicsItem>)

KqItemRegistry* KqItemRegistry::instance() { return KqSingleton<KqItemRegistry>::instance(); }

KqGraphicsItem::KqGraphicsItem(KqGraphicsItem* parentItem, KqGraphicsScene* scene) : m_serial(g_nextSerial++)
{
    setParentItem(parentItem);
    if (scene && !parentItem)
        scene->addItem(this);
    KqItemRegistry::instance()->add(this);
}

KqGraphicsItem::~KqGraphicsItem()
{
    m_state |= BeingDestroyed;
    // Our own proxy must forget our field before anything else can write it.
    setFocusProxy(nullptr);
    for (int i = 0; i < m_focusProxyUsers.count(); ++i)
        *m_focusProxyUsers.at(i) = nullptr;
    m_focusProxyUsers.clear();
    notifyChangeListeners(ItemDestroyed, KqVariant(), KqVariant());
    while (m_children.count())
        delete m_children.at(m_children.count() - 1); // each child leaves the list as it goes
    if (m_scene)
        m_scene->removeItem(this); // also takes a top-level item off the scene's list
    if (m_parent) {
        m_parent->m_children.removeOne(this);
        m_parent = nullptr;
    }
    KqVector<KqItemChangeListener*> listeners = m_changeListeners;
    m_changeListeners.clear();
    for (int i = 0; i < listeners.count(); ++i)
        listeners.at(i)->forgetItem(this);
    delete m_eventHandler;
    m_eventHandler = nullptr;
    removeAnchors();
    // Attached animations stop and let go of the dying item.
    while (m_animations.count()) {
        KqAbstractAnimation* animation = m_animations.at(0);
        animation->stop();
        removeAnimation(animation);
    }
    KqItemRegistry::instance()->remove(m_serial);
    delete m_clipRegion;
}

void KqGraphicsItem::setClipRegion(KqRegion* region)
{
    if (region == m_clipRegion)
        return;
    delete m_clipRegion;
    m_clipRegion = region;
    update();
}

KqRectF KqGraphicsItem::boundingRect() const
{
    if (m_boundingRectOverride.width > 0 && m_boundingRectOverride.height > 0)
        return m_boundingRectOverride;
    return rect();
}

void KqGraphicsItem::setBoundingRectOverride(const KqRectF& rect)
{
    if (rect == m_boundingRectOverride)
        return;
    update();
    m_boundingRectOverride = rect;
    markAncestorsChildrenRectStale();
    update();
}

void KqGraphicsItem::paint(KqPainter*) {}

KqString KqGraphicsItem::objectPath() const
{
    if (!m_parent)
        return m_objectName;
    return m_parent->objectPath() + KqString::fromAnsi(".") + m_objectName;
}

KqVariant KqGraphicsItem::itemChange(int, const KqVariant& value) { return value; }

void KqGraphicsItem::itemChanged(int, const KqVariant&, const KqVariant&) {}

void KqGraphicsItem::markSubtree(uint32_t bits)
{
    if ((m_state & bits) == bits || (m_state & BeingDestroyed))
        return;
    m_state |= bits;
    for (int i = 0; i < m_children.count(); ++i)
        m_children.at(i)->markSubtree(bits);
}

void KqGraphicsItem::resetDepth()
{
    m_depth = -1;
    for (int i = 0; i < m_children.count(); ++i)
        m_children.at(i)->resetDepth();
}

void KqGraphicsItem::setParentItem(KqGraphicsItem* parent)
{
    // A descendant as parent would make a cycle that hangs every walk.
    if (parent == m_parent || parent == this || (parent && isAncestorOf(parent)))
        return;
    KqGraphicsItem* oldParent = m_parent;
    prepareGeometryChange();
    if (m_scene && !(m_state & BeingDestroyed)) {
        if (oldParent && !parent)
            m_scene->addTopLevel(this);
        else if (!oldParent && parent)
            m_scene->removeTopLevel(this);
    }
    if (oldParent) {
        oldParent->m_children.removeOne(this);
        m_siblingIndex = -1;
        oldParent->itemChange(ChildRemoved, KqVariant(static_cast<void*>(this)));
        oldParent->itemChanged(ChildRemoved, KqVariant(static_cast<void*>(this)), KqVariant(int32_t(0)));
        for (KqGraphicsItem* a = oldParent; a; a = a->m_parent)
            a->m_state |= ChildrenRectStale;
    }
    m_parent = parent;
    if (parent) {
        if (!parent->m_scene && m_scene)
            m_scene->removeItem(this);
        else if (parent->m_scene && parent->m_scene != m_scene)
            parent->m_scene->addItem(this);
        int count = parent->m_children.count();
        m_siblingIndex = count ? parent->m_children.at(count - 1)->m_siblingIndex + 1 : 0;
        parent->m_children.append(this);
        parent->itemChange(ChildAdded, KqVariant(static_cast<void*>(this)));
        parent->itemChanged(ChildAdded, KqVariant(static_cast<void*>(this)), KqVariant(int32_t(0)));
        for (KqGraphicsItem* a = parent; a; a = a->m_parent)
            a->m_state |= ChildrenRectStale;
        parent->m_state |= ChildrenNeedSort;
    }
    m_state &= ~(SceneTransformStale | StackingStale);
    markSubtree(SceneTransformStale | StackingStale);
    resetDepth();
    itemChanged(ParentChange, KqVariant(static_cast<void*>(parent)), KqVariant(static_cast<void*>(oldParent)));
    update();
}

KqGraphicsItem* KqGraphicsItem::topLevelItem()
{
    KqGraphicsItem* item = this;
    while (item->m_parent)
        item = item->m_parent;
    return item;
}

int KqGraphicsItem::depth() const
{
    if (m_depth < 0)
        m_depth = m_parent ? m_parent->depth() + 1 : 0;
    return m_depth;
}

bool KqGraphicsItem::isAncestorOf(const KqGraphicsItem* item) const
{
    for (const KqGraphicsItem* a = item ? item->m_parent : nullptr; a; a = a->m_parent) {
        if (a == this)
            return true;
    }
    return false;
}

KqGraphicsItem* KqGraphicsItem::commonAncestorItem(KqGraphicsItem* other)
{
    if (!other)
        return nullptr;
    KqGraphicsItem* a = this;
    KqGraphicsItem* b = other;
    while (a->depth() > b->depth())
        a = a->m_parent;
    while (b->depth() > a->depth())
        b = b->m_parent;
    while (a && a != b) {
        a = a->m_parent;
        b = b->m_parent;
    }
    return a;
}

void KqGraphicsItem::sortChildren()
{
    if (!(m_state & ChildrenNeedSort) || m_children.count() == 0)
        return;
    m_state &= ~ChildrenNeedSort;
    KqVector<KqGraphicsItem*> sorted = m_children;
    kqSortItems(sorted, KqStackKey::Insertion, true);
    for (int i = 0; i < sorted.count(); ++i)
        sorted[i]->m_siblingIndex = i;
    kqSortItems(sorted, KqStackKey::ZValue, true);
    m_children = sorted;
}

void KqGraphicsItem::setFlag(uint32_t bits, bool on)
{
    uint32_t old = m_flags;
    m_flags = on ? (m_flags | bits) : (m_flags & ~bits);
    itemChanged(FlagsChange, KqVariant(m_flags), KqVariant(old));
}

void KqGraphicsItem::setAcceptedMouseButtons(uint32_t buttons, bool on)
{
    uint32_t bits = (buttons << MouseButtonsShift) & MouseButtonsMask;
    setStateBits(bits, on);
}

void KqGraphicsItem::setVisible(bool visible)
{
    if (visible == isVisible())
        return;
    setStateBits(Visible, visible);
    notifyChangeListeners(VisibilityChanged, KqVariant(int32_t(visible ? 1 : 0)), KqVariant(int32_t(visible ? 0 : 1)));
    // Hidden, its pixels must go; shown, they must come: children may reach
    // outside the item's own rectangle.
    updateSubtree();
}

void KqGraphicsItem::updateSubtree()
{
    if (!m_scene)
        return;
    update();
    for (int i = 0; i < m_children.count(); ++i) {
        if (m_children.at(i)->isVisible())
            m_children.at(i)->updateSubtree();
    }
}

void KqGraphicsItem::setEnabled(bool enabled)
{
    if (enabled == isEnabled())
        return;
    setStateBits(Enabled, enabled);
    update();
    if (m_eventHandler)
        m_eventHandler->setEnabled(enabled);
}

void KqGraphicsItem::setEventHandler(KqItemEventHandler* handler)
{
    if (handler == m_eventHandler)
        return;
    delete m_eventHandler;
    m_eventHandler = handler;
    if (handler) {
        handler->setTarget(this);
        handler->setEnabled(isEnabled());
    }
}

bool KqGraphicsItem::sendEvent(KqEvent* event) { return m_scene ? m_scene->sendEvent(this, event) : false; }

void KqGraphicsItem::setZValue(double z)
{
    if (z == m_zValue)
        return;
    markSubtree(StackingStale);
    if (m_parent)
        m_parent->m_state |= ChildrenNeedSort;
    else if (m_scene)
        m_scene->markTopLevelOrderStale();
    double old = m_zValue;
    m_zValue = z;
    itemChanged(ZValueChange, KqVariant(z), KqVariant(old));
    update();
}

void KqGraphicsItem::setFocusProxy(KqGraphicsItem* item)
{
    if (item == m_focusProxy || item == this)
        return;
    if (item && item->m_scene != m_scene)
        return;
    for (KqGraphicsItem* p = item; p; p = p->m_focusProxy) {
        if (p == this)
            return;
    }
    if (m_focusProxy)
        m_focusProxy->m_focusProxyUsers.removeOne(&m_focusProxy);
    m_focusProxy = item;
    if (item)
        item->m_focusProxyUsers.append(&m_focusProxy);
}

bool KqGraphicsItem::hasFocus() const
{
    if (!m_scene || !m_scene->hasFocus())
        return false;
    KqGraphicsItem* focus = m_scene->focusItem();
    return focus == this || (focus && focus == m_focusProxy);
}

bool KqGraphicsItem::isMouseGrabber() const { return m_scene && m_scene->mouseGrabber() == this; }

KqRectF KqGraphicsItem::sceneBoundingRect() { return sceneTransform().mapRectF(rect()); }

void KqGraphicsItem::addChangeListener(KqItemChangeListener* listener)
{
    if (listener && !m_changeListeners.contains(listener))
        m_changeListeners.append(listener);
}

void KqGraphicsItem::removeChangeListener(KqItemChangeListener* listener) { m_changeListeners.removeOne(listener); }

void KqGraphicsItem::notifyChangeListeners(uint32_t bit, const KqVariant& newValue, const KqVariant& oldValue)
{
    // A shared copy: a listener may unwatch while we walk.
    KqVector<KqItemChangeListener*> listeners = m_changeListeners;
    for (int i = 0; i < listeners.count(); ++i) {
        KqItemChangeListener* listener = listeners.at(i);
        if ((listener->changeMask() & bit) && m_changeListeners.contains(listener))
            listener->itemChanged(bit, this, newValue, oldValue);
    }
}

// ---- geometry

KqRectF KqGraphicsItem::geometry() const
{
    KqRectF r = rect();
    return KqRectF(r.x + m_pos.x, r.y + m_pos.y, r.width, r.height);
}

void KqGraphicsItem::markAncestorsChildrenRectStale()
{
    for (KqGraphicsItem* a = m_parent; a; a = a->m_parent) {
        if (a->m_state & (ChildrenRectStale | BeingDestroyed))
            break;
        a->m_state |= ChildrenRectStale;
    }
}

void KqGraphicsItem::prepareGeometryChange()
{
    // Scenes collect dirty items; an item outside a scene has nothing to invalidate.
    if ((m_state & GeometryPrepared) || !m_scene)
        return;
    m_state |= GeometryPrepared;
    if (!(m_state & DirtyRegistered)) {
        m_state |= DirtyRegistered;
        m_scene->scheduleItemUpdate(this);
    }
    m_scene->invalidate(sceneBoundingRect());
}

void KqGraphicsItem::update(const KqRectF& rect)
{
    if (!m_scene)
        return;
    if (nearZero(rect.width) && nearZero(rect.height)) {
        m_state |= FullRepaintPending;
        if (!(m_state & DirtyRegistered)) {
            m_state |= DirtyRegistered;
            m_scene->scheduleItemUpdate(this);
        }
        m_scene->invalidate(sceneBoundingRect());
    } else {
        m_scene->invalidate(sceneTransform().mapRectF(rect));
    }
}

void KqGraphicsItem::reportGeometry(const KqRectF& newGeometry, const KqRectF& oldGeometry)
{
    notifyChangeListeners(GeometryChanged, KqVariant(newGeometry), KqVariant(oldGeometry));
    m_state &= ~GeometryGuard;
    itemChange(GeometryChange, KqVariant(newGeometry));
    itemChanged(GeometryChange, KqVariant(newGeometry), KqVariant(oldGeometry));
}

namespace {
bool fuzzyEqual(double a, double b) { return a == b || nearlyEqual(a, b) || (nearZero(a) && nearZero(b)); }
}

void KqGraphicsItem::setRect(const KqRectF& r)
{
    if (fuzzyEqual(r.x, m_rect.x) && fuzzyEqual(r.y, m_rect.y) && fuzzyEqual(r.width, m_rect.width) &&
        fuzzyEqual(r.height, m_rect.height))
        return;
    prepareGeometryChange();
    bool guarded = (m_state & GeometryGuard) != 0;
    m_state |= GeometryGuard;
    KqRectF old = geometry();
    m_rect = r;
    markAncestorsChildrenRectStale();
    if (!guarded)
        reportGeometry(geometry(), old);
    update();
}

void KqGraphicsItem::setPos(const KqPointF& p)
{
    if ((fuzzyEqual(p.x, m_pos.x) && fuzzyEqual(p.y, m_pos.y)) || (m_state & BeingDestroyed))
        return;
    prepareGeometryChange();
    bool guarded = (m_state & GeometryGuard) != 0;
    m_state |= GeometryGuard;
    KqRectF old = geometry();
    KqPointF oldPos = m_pos;
    m_pos = p;
    m_transform.setTranslation(p.x, p.y);
    markAncestorsChildrenRectStale();
    markSubtree(SceneTransformStale);
    if (!guarded)
        reportGeometry(geometry(), old);
    notifyChangeListeners(PositionChanged, KqVariant(p), KqVariant(oldPos));
    itemChanged(PositionChange, KqVariant(p), KqVariant(oldPos));
    update();
}

void KqGraphicsItem::setX(double x) { setPos(KqPointF(x, m_pos.y)); }

void KqGraphicsItem::setY(double y) { setPos(KqPointF(m_pos.x, y)); }

void KqGraphicsItem::setGeometry(double x, double y, double width, double height)
{
    bool guarded = (m_state & GeometryGuard) != 0;
    m_state |= GeometryGuard;
    KqRectF old = geometry();
    setPos(KqPointF(x, y));
    setRect(KqRectF(0, 0, width, height));
    if (!guarded) {
        KqRectF now = geometry();
        if (now == old)
            m_state &= ~GeometryGuard;
        else
            reportGeometry(now, old);
    }
}

void KqGraphicsItem::setWidth(double width) { setGeometry(m_pos.x, m_pos.y, width, height()); }

void KqGraphicsItem::setHeight(double height) { setGeometry(m_pos.x, m_pos.y, width(), height); }

void KqGraphicsItem::resize(double width, double height) { setGeometry(m_pos.x, m_pos.y, width, height); }

KqTransform KqGraphicsItem::sceneTransform()
{
    if (m_state & SceneTransformStale) {
        m_sceneTransformCache = m_parent ? m_transform * m_parent->sceneTransform() : m_transform;
        m_state &= ~SceneTransformStale;
    }
    return m_sceneTransformCache;
}

// ---- anchors

KqAnchors* KqGraphicsItem::anchors()
{
    if (!m_anchors)
        m_anchors = new KqAnchors(this);
    return m_anchors;
}

void KqGraphicsItem::removeAnchors()
{
    KqAnchors* anchors = m_anchors;
    m_anchors = nullptr;
    delete anchors;
}

// ---- named properties

namespace {

// "opacity": numbers of any kind become a double; other kinds read strictly (0).
double opacityFrom(const KqVariant& value)
{
    switch (value.kind()) {
    case KqVariant::Bool: return value.asBool() ? 1.0 : 0.0;
    case KqVariant::Char: return double(value.asChar());
    case KqVariant::UChar: return double(value.asUChar());
    case KqVariant::Int: return double(value.asInt());
    case KqVariant::UInt: return double(value.asUInt());
    case KqVariant::Float: return double(value.asFloat());
    case KqVariant::LongLong: return double(value.asLongLong());
    case KqVariant::ULongLong: return double(value.asULongLong());
    default: return value.asDouble();
    }
}

KqPropertyRegistry* itemProperties() { return KqPropertyRegistry::of<KqGraphicsItem>(); }

} // namespace

void KqGraphicsItem::registerProperties()
{
    static bool registered;
    if (registered)
        return;
    registered = true;
    itemProperties()->registerProperty(KqString(u"opacity"),
        new KqPropertyAccessorOf<KqGraphicsItem, double>(
            [](KqGraphicsItem* item, double v) { item->setOpacity(v); },
            [](KqGraphicsItem* item) { return item->opacity(); }, &opacityFrom));
}

bool KqGraphicsItem::setProperty(const KqString& name, const KqVariant& value)
{
    registerProperties();
    if (itemProperties()->contains(name))
        return itemProperties()->setProperty(this, name, value);
    m_dynamicProperties[name] = value;
    return true;
}

KqVariant KqGraphicsItem::property(const KqString& name)
{
    registerProperties();
    if (itemProperties()->contains(name))
        return itemProperties()->property(this, name);
    return m_dynamicProperties.value(name);
}

bool KqGraphicsItem::hasProperty(const KqString& name)
{
    registerProperties();
    return itemProperties()->contains(name) || m_dynamicProperties.contains(name);
}

// ---- animations

void KqGraphicsItem::addAnimation(KqAbstractAnimation* animation)
{
    if (!animation || m_animations.contains(animation))
        return;
    animation->setTargetItem(this);
    m_animations.append(animation);
}

void KqGraphicsItem::removeAnimation(KqAbstractAnimation* animation)
{
    if (!m_animations.removeOne(animation))
        return;
    animation->detachedFromItem(this);
}
