#include "KqAnchors.h"

#include "KqGraphicsItem.h"
#include "KqServices.h"
#include "KqTransform.h"

#include <cmath>

namespace {
const uint32_t kSlotBits[7] = {KqAnchorLine::Left, KqAnchorLine::Right, KqAnchorLine::Top, KqAnchorLine::Bottom,
                               KqAnchorLine::VCenter, KqAnchorLine::HCenter, KqAnchorLine::Baseline};

bool sameExtent(double a, double b) { return a == b || std::fabs(a - b) <= 1e-12 * std::min(std::fabs(a), std::fabs(b)); }

double ownLine(const KqGraphicsItem* item, uint32_t line)
{
    switch (line) {
    case KqAnchorLine::Right: return item->width();
    case KqAnchorLine::Bottom: return item->height();
    case KqAnchorLine::HCenter: return KqAnchors::half(item->width());
    case KqAnchorLine::VCenter: return KqAnchors::half(item->height());
    case KqAnchorLine::Baseline: return item->baselineOffset();
    default: return 0;
    }
}
} // namespace

double KqAnchors::half(double extent)
{
    long long whole = static_cast<long long>(extent);
    return whole % 2 == 0 ? extent / 2 : (extent + 1) / 2;
}

KqAnchors::KqAnchors(KqGraphicsItem* item)
    : KqItemChangeListener(KqGraphicsItem::GeometryChanged | KqGraphicsItem::ItemDestroyed | KqGraphicsItem::PositionChanged),
      m_item(item)
{
    retain(item);
}

KqAnchors::~KqAnchors() { unwatchAll(); }

void KqAnchors::report(const char* text) const { KqDebugStream() << m_item->objectName() << text; }

void KqAnchors::retain(KqGraphicsItem* target)
{
    int count = m_watched.value(target, 0);
    if (count == 0)
        watch(target);
    m_watched[target] = count + 1;
}

void KqAnchors::release(KqGraphicsItem* target)
{
    if (!target || !m_watched.contains(target))
        return;
    int count = m_watched.value(target) - 1;
    if (count > 0) {
        m_watched[target] = count;
        return;
    }
    m_watched.remove(target);
    unwatch(target);
}

void KqAnchors::setLine(Slot slot, const KqAnchorLine& target)
{
    if (m_lines[slot] == target)
        return;
    const bool horizontal = (kSlotBits[slot] & KqAnchorLine::kHorizontal) != 0;
    if (!target.item) {
        report("Cannot anchor to a null item.");
        return;
    }
    if (horizontal && (target.line & KqAnchorLine::kVertical)) {
        report("Cannot anchor a horizontal edge to a vertical edge.");
        return;
    }
    if (!horizontal && (target.line & KqAnchorLine::kHorizontal)) {
        report("Cannot anchor a vertical edge to a horizontal edge.");
        return;
    }
    if (target.item != m_item->parentItem() && target.item->parentItem() != m_item->parentItem()) {
        report("Cannot anchor to an item that isn't a parent or sibling.");
        return;
    }
    if (target.item == m_item) {
        report("Cannot anchor item to self.");
        return;
    }
    uint32_t used = m_usedLines | kSlotBits[slot];
    const uint32_t allH = KqAnchorLine::Left | KqAnchorLine::Right | KqAnchorLine::HCenter;
    const uint32_t allV = KqAnchorLine::Top | KqAnchorLine::Bottom | KqAnchorLine::VCenter;
    if ((used & allH) == allH) {
        report("Cannot specify left, right, and hcenter anchors.");
        return;
    }
    if ((used & allV) == allV) {
        report("Cannot specify top, bottom, and vcenter anchors.");
        return;
    }
    m_usedLines = used;
    release(m_lines[slot].item);
    m_lines[slot] = target;
    retain(target.item);
    if (horizontal)
        updateHorizontal();
    else
        updateVertical();
}

void KqAnchors::setFill(KqGraphicsItem* target)
{
    if (target == m_fill)
        return;
    if (target && target != m_item->parentItem() && target->parentItem() != m_item->parentItem()) {
        report("Cannot anchor to an item that isn't a parent or sibling.");
        return;
    }
    release(m_fill);
    m_fill = target;
    if (target) {
        retain(target);
        updateFill();
    }
}

void KqAnchors::setCenterIn(KqGraphicsItem* target)
{
    if (target == m_centerIn)
        return;
    if (target && target != m_item->parentItem() && target->parentItem() != m_item->parentItem()) {
        report("Cannot anchor to an item that isn't a parent or sibling.");
        return;
    }
    release(m_centerIn);
    m_centerIn = target;
    if (target) {
        retain(target);
        updateCenterIn();
    }
}

void KqAnchors::setMargin(Slot slot, double value)
{
    if (m_margins[slot] == value)
        return;
    m_margins[slot] = value;
    if (slot == VCenterSlot || slot == HCenterSlot) {
        if (m_centerIn) {
            updateCenterIn();
            return;
        }
    } else if (m_fill) {
        updateFill();
        return;
    }
    if (kSlotBits[slot] & KqAnchorLine::kHorizontal)
        updateHorizontal();
    else
        updateVertical();
}

void KqAnchors::setMargins(double m)
{
    double common = m_margins[CommonSlot];
    if (m == common)
        return;
    for (Slot slot : {RightSlot, LeftSlot, TopSlot, BottomSlot}) {
        if (m_margins[slot] == 0 || m_margins[slot] == common)
            setMargin(slot, m);
    }
    m_margins[CommonSlot] = m;
}

bool KqAnchors::linePosition(const KqAnchorLine& target, double& out) const
{
    KqGraphicsItem* t = target.item;
    if (!t)
        return false;
    if (t == m_item->parentItem()) {
        out = ownLine(t, target.line);
        return true;
    }
    if (t->parentItem() == m_item->parentItem()) {
        bool horizontal = (target.line & KqAnchorLine::kHorizontal) != 0;
        out = (horizontal ? t->x() : t->y()) + ownLine(t, target.line);
        return true;
    }
    return false;
}

bool KqAnchors::distance(const KqAnchorLine& a, double marginA, const KqAnchorLine& b, double marginB, double& out) const
{
    double pa, pb;
    if (!linePosition(a, pa) || !linePosition(b, pb))
        return false;
    out = (pb + marginB) - (pa + marginA);
    return true;
}

bool KqAnchors::enterLoop(Loop loop, const char* message)
{
    if (m_loops[loop] == 2) {
        report(message);
        return false;
    }
    ++m_loops[loop];
    return true;
}

void KqAnchors::updateHorizontal()
{
    if (m_fill || m_centerIn || !enterLoop(HorizontalLoop, "Possible anchor loop detected on horizontal anchor."))
        return;
    const KqAnchorLine& left = m_lines[LeftSlot];
    const KqAnchorLine& right = m_lines[RightSlot];
    const KqAnchorLine& center = m_lines[HCenterSlot];
    const double lm = m_margins[LeftSlot], rm = m_margins[RightSlot], offset = m_margins[HCenterSlot];
    double value, line;
    if (left.item) {
        if (right.item) {
            if (distance(left, lm, right, -rm, value))
                m_item->setWidth(value);
        } else if (center.item) {
            if (distance(left, lm, center, offset, value))
                m_item->setWidth(2 * value);
        }
        if (linePosition(left, line))
            m_item->setX(line + lm);
    } else if (right.item) {
        if (center.item && distance(center, offset, right, -rm, value))
            m_item->setWidth(2 * value);
        if (linePosition(right, line))
            m_item->setX(line - m_item->width() - rm);
    } else if (center.item) {
        if (linePosition(center, line))
            m_item->setX(line - half(m_item->width()) + offset);
    }
    --m_loops[HorizontalLoop];
}

void KqAnchors::updateVertical()
{
    if (m_fill || m_centerIn || !enterLoop(VerticalLoop, "Possible anchor loop detected on vertical anchor."))
        return;
    const KqAnchorLine& top = m_lines[TopSlot];
    const KqAnchorLine& bottom = m_lines[BottomSlot];
    const KqAnchorLine& center = m_lines[VCenterSlot];
    const double tm = m_margins[TopSlot], bm = m_margins[BottomSlot], offset = m_margins[VCenterSlot];
    double value, line;
    if (top.item) {
        if (bottom.item) {
            if (distance(top, tm, bottom, -bm, value))
                m_item->setHeight(value);
        } else if (center.item) {
            if (distance(top, tm, center, offset, value))
                m_item->setHeight(2 * value);
        }
        if (linePosition(top, line))
            m_item->setY(line + tm);
    } else if (bottom.item) {
        if (center.item && distance(center, offset, bottom, -bm, value))
            m_item->setHeight(2 * value);
        if (linePosition(bottom, line))
            m_item->setY(line - m_item->height() - bm);
    } else if (center.item) {
        if (linePosition(center, line))
            m_item->setY(line - half(m_item->height()) + offset);
    }
    --m_loops[VerticalLoop];
}

void KqAnchors::updateFill()
{
    KqGraphicsItem* t = m_fill;
    if (!t || !enterLoop(FillLoop, "Possible anchor loop detected on fill."))
        return;
    const double lm = m_margins[LeftSlot], rm = m_margins[RightSlot], tm = m_margins[TopSlot], bm = m_margins[BottomSlot];
    bool ok = true;
    if (t == m_item->parentItem())
        m_item->setPos(lm, tm);
    else if (t->parentItem() == m_item->parentItem())
        m_item->setPos(t->x() + lm, t->y() + tm);
    else
        ok = false;
    if (ok) {
        KqRectF r = m_item->rect();
        m_item->setRect(KqRectF(r.x, r.y, t->width() - lm - rm, t->height() - tm - bm));
    }
    --m_loops[FillLoop];
}

void KqAnchors::updateCenterIn()
{
    KqGraphicsItem* t = m_centerIn;
    if (m_fill || !t || !enterLoop(CenterLoop, "Possible anchor loop detected on centerIn."))
        return;
    double x = half(t->width()) - half(m_item->width()) + m_margins[HCenterSlot];
    double y = half(t->height()) - half(m_item->height()) + m_margins[VCenterSlot];
    bool ok = true;
    if (t != m_item->parentItem()) {
        if (t->parentItem() == m_item->parentItem()) {
            x += t->x();
            y += t->y();
        } else {
            ok = false;
        }
    }
    if (ok)
        m_item->setPos(x, y);
    --m_loops[CenterLoop];
}

void KqAnchors::recompute(const KqRectF& now, const KqRectF& before)
{
    updateFill();
    updateCenterIn();
    if (!sameExtent(now.x, before.x) || !sameExtent(now.width, before.width))
        updateHorizontal();
    if (!sameExtent(now.y, before.y) || !sameExtent(now.height, before.height))
        updateVertical();
}

void KqAnchors::itemChanged(uint32_t bit, KqGraphicsItem* item, const KqVariant& newValue, const KqVariant& oldValue)
{
    // Our own item moving because we are placing it is no new cause: going
    // round again would only count as a loop.
    if (item == m_item && (m_loops[HorizontalLoop] || m_loops[VerticalLoop] || m_loops[FillLoop] || m_loops[CenterLoop]))
        return;
    const bool isParent = item == m_item->parentItem();
    if (bit == KqGraphicsItem::GeometryChanged) {
        KqRectF now = newValue.toRectF(), before = oldValue.toRectF();
        if (isParent && sameExtent(now.width, before.width) && sameExtent(now.height, before.height))
            return;
        recompute(now, before);
    } else if (bit == KqGraphicsItem::PositionChanged) {
        if (isParent)
            return;
        KqPointF p = newValue.toPointF(), q = oldValue.toPointF();
        recompute(KqRectF(p.x, p.y, item->width(), item->height()), KqRectF(q.x, q.y, item->width(), item->height()));
    }
}

void KqAnchors::forgetItem(KqGraphicsItem* item)
{
    if (m_fill == item)
        m_fill = nullptr;
    if (m_centerIn == item)
        m_centerIn = nullptr;
    for (int slot = 0; slot < 7; ++slot) {
        if (m_lines[slot].item == item) {
            m_lines[slot] = KqAnchorLine();
            m_usedLines &= ~kSlotBits[slot];
        }
    }
    m_watched.remove(item);
    KqItemChangeListener::forgetItem(item);
}
