#include "KqPositioner.h"

#include "KqAnchors.h"
#include "KqServices.h"
#include "KqStackingOrder.h"

#include <algorithm>

KQ_DEFINE_CLASS(KqBasePositioner, KqGraphicsItem, 'GBPR', &kqMakeInstance<KqBasePositioner>)
KQ_DEFINE_CLASS(KqRowPositioner, KqBasePositioner, 'GRPR', &kqMakeInstance<KqRowPositioner>)
KQ_DEFINE_CLASS(KqColumnPositioner, KqBasePositioner, 'GCPR', &kqMakeInstance<KqColumnPositioner>)

KqBasePositioner::KqBasePositioner(KqGraphicsItem* parentItem, KqGraphicsScene* scene) : KqBasePositioner(None, parentItem, scene) {}

KqBasePositioner::KqBasePositioner(int direction, KqGraphicsItem* parentItem, KqGraphicsScene* scene)
    : KqGraphicsItem(parentItem, scene), KqItemChangeListener(31), m_direction(direction)
{
    setFlag(NoOwnPaint, true);
}

KqBasePositioner::~KqBasePositioner()
{
    unwatchAll();
    m_childStates.clear();
}

void KqBasePositioner::setSpacing(double spacing)
{
    m_spacing = spacing;
    positionChildren();
}

void KqBasePositioner::positionChildren()
{
    if (m_flags & InProgress)
        return;
    m_flags |= InProgress;
    KqVector<KqGraphicsItem*> children = this->children();
    kqSortItems(children, KqStackKey::Insertion, true);
    KqVector<ChildState> states;
    for (int i = 0; i < children.count(); ++i) {
        KqGraphicsItem* child = children.at(i);
        bool shows = child->isVisible() && child->width() != 0 && child->height() != 0 &&
                     !(child->stateBits() & BeingDestroyed);
        int known = -1;
        for (int k = 0; k < m_childStates.count(); ++k) {
            if (m_childStates.at(k).child == child) {
                known = k;
                break;
            }
        }
        if (known == -1) {
            watch(child);
            states.append(ChildState{child, true, shows});
            continue;
        }
        ChildState state = m_childStates.at(known);
        if (!shows) {
            state.isVisible = false;
        } else if (state.isVisible) {
            state.isNew = false;
        } else {
            state.isVisible = true;
            state.isNew = true;
        }
        states.append(state);
    }
    m_childStates = states;
    KqSizeF size = doPositioning();
    m_flags &= ~InProgress;
    // Without visible children the extent would be minus the spacing.
    m_implicitHeight = std::max(0.0, size.height);
    if (m_flags & ImplicitHeight)
        setHeight(m_implicitHeight);
    m_implicitWidth = std::max(0.0, size.width);
    if (m_flags & ImplicitWidth)
        setWidth(m_implicitWidth);
}

KqVariant KqBasePositioner::itemChange(int kind, const KqVariant& value)
{
    if (kind == ChildAdded) {
        positionChildren();
    } else if (kind == ChildRemoved) {
        KqGraphicsItem* child = static_cast<KqGraphicsItem*>(value.asPointer());
        for (int k = 0; k < m_childStates.count(); ++k) {
            if (m_childStates.at(k).child == child) {
                m_childStates.removeAt(k);
                break;
            }
        }
        unwatch(child);
        positionChildren();
    }
    return KqGraphicsItem::itemChange(kind, value);
}

void KqBasePositioner::itemChanged(uint32_t bit, KqGraphicsItem*, const KqVariant&, const KqVariant&)
{
    if (bit & (1 | 2 | 4 | 8 | 16))
        positionChildren();
}

void KqBasePositioner::forgetItem(KqGraphicsItem* item)
{
    for (int k = 0; k < m_childStates.count(); ++k) {
        if (m_childStates.at(k).child == item) {
            m_childStates.removeAt(k);
            break;
        }
    }
    KqItemChangeListener::forgetItem(item);
}

KqSizeF KqRowPositioner::doPositioning()
{
    double x = 0, height = 0;
    for (int i = 0; i < m_childStates.count(); ++i) {
        const ChildState& state = m_childStates.at(i);
        if (!state.child || !state.isVisible)
            continue;
        if (state.child->x() != x)
            state.child->setX(x);
        height = std::max(height, state.child->height());
        x += state.child->width() + spacing();
    }
    return KqSizeF{x - spacing(), height};
}

KqSizeF KqColumnPositioner::doPositioning()
{
    double y = 0, width = 0;
    for (int i = 0; i < m_childStates.count(); ++i) {
        const ChildState& state = m_childStates.at(i);
        if (!state.child || !state.isVisible)
            continue;
        if (state.child->y() != y)
            state.child->setY(y);
        width = std::max(width, state.child->width());
        y += state.child->height() + spacing();
    }
    return KqSizeF{width, y - spacing()};
}

namespace {
bool conflicts(const KqVector<KqGraphicsItem*>& children, uint32_t lines)
{
    for (int i = 0; i < children.count(); ++i) {
        KqGraphicsItem* child = children.at(i);
        if (!child->hasAnchors())
            continue;
        KqAnchors* a = child->anchors();
        if ((a->usedLines() & lines) || a->fill() || a->centerIn())
            return true;
    }
    return false;
}
}

void KqRowPositioner::checkAnchors()
{
    if (conflicts(children(), 0x13))
        KqDebugStream() << objectName() << "Cannot specify left, right, horizontalCenter, fill or centerIn anchors for items inside Row";
}

void KqColumnPositioner::checkAnchors()
{
    if (conflicts(children(), 0x6c))
        KqDebugStream() << objectName() << "Cannot specify top, bottom, verticalCenter, fill or centerIn anchors for items inside Column";
}
