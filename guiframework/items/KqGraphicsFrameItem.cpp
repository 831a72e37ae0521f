#include "KqGraphicsFrameItem.h"

#include "KqAnchors.h"
#include "KqAnimation.h"
#include "KqBasicItems.h"
#include "KqImage.h"
#include "KqPainter.h"
#include "KqTimer.h"

KQ_DEFINE_CLASS(KqGraphicsFrameItem, KqGraphicsItem, 'KGFM', &kqMakeInstance<KqGraphicsFrameItem>)

KqGraphicsFrameItem::KqGraphicsFrameItem(KqGraphicsItem* parentItem) : KqGraphicsItem(parentItem)
{
    setObjectName(KqString(u"frameitem"));
}

KqGraphicsFrameItem::~KqGraphicsFrameItem()
{
    if (KqFrameTicker* ticker = KqFrameTicker::existing())
        ticker->remove(this);
}

void KqGraphicsFrameItem::paint(KqPainter* painter)
{
    if (m_color.alpha == 0)
        return;
    const KqRectF r = rect();
    painter->fillRect(KqRectF(roundHalfUp(r.x), roundHalfUp(r.y), roundHalfUp(r.width), roundHalfUp(r.height)), m_color);
}

void KqGraphicsFrameItem::setColor(const KqColor& color)
{
    m_color = color;
    update();
}

void KqGraphicsFrameItem::setMargins(const KqMargins& margins)
{
    m_margins = margins;
    for (KqGraphicsMarginsPixmapItem* item : m_stateItems) {
        if (item)
            item->setMargins(margins);
    }
}

KqGraphicsMarginsPixmapItem* KqGraphicsFrameItem::stateItem(int index) const
{
    return index >= 0 && index < StateImageCount ? m_stateItems[index] : nullptr;
}

KqGraphicsMarginsPixmapItem* KqGraphicsFrameItem::ensureStateItem(int index)
{
    if (index < 0 || index >= StateImageCount)
        return nullptr;
    if (!m_stateItems[index]) {
        KqGraphicsMarginsPixmapItem* item = new KqGraphicsMarginsPixmapItem(this);
        item->setZValue(index);
        item->anchors()->setFill(this);
        item->setMargins(m_margins);
        item->setDrawCenter((m_frameFlags & DrawCenter) != 0);
        item->setVisible(index == NormalImage);
        m_stateItems[index] = item;
    }
    return m_stateItems[index];
}

void KqGraphicsFrameItem::setStateImageUrl(int index, const KqString& url)
{
    KqGraphicsMarginsPixmapItem* item = ensureStateItem(index);
    if (!item)
        return;
    item->setPixmap(KqImage::fromUrl(url)); // its fill anchor keeps the frame's size
    restartFrameAnimation();
    update();
}

bool KqGraphicsFrameItem::hasImage(int index) const
{
    KqGraphicsMarginsPixmapItem* item = stateItem(index);
    return item && !item->pixmap().isNull();
}

void KqGraphicsFrameItem::setRepaintOnStateChange(bool on)
{
    m_frameFlags = on ? (m_frameFlags | RepaintOnState) : (m_frameFlags & ~RepaintOnState);
}

void KqGraphicsFrameItem::setState(uint8_t bit, int imageIndex, bool on)
{
    if (((m_frameFlags & bit) != 0) == on)
        return;
    m_frameFlags = on ? (m_frameFlags | bit) : (m_frameFlags & ~bit);
    restartFrameAnimation();
    if (m_frameFlags & RepaintOnState)
        update();
    showStateImage(imageIndex, on);
}

void KqGraphicsFrameItem::showStateImage(int index, bool show)
{
    if (!hasImage(index))
        return;
    KqGraphicsMarginsPixmapItem* item = m_stateItems[index];
    if (!(m_animatedStates & (1u << index))) {
        item->setVisible(show);
        return;
    }
    // Only one fade at a time on a picture; a stopped fade deletes itself.
    for (int i = item->animationCount() - 1; i >= 0; --i) {
        if (i < item->animationCount())
            item->animationAt(i)->stop();
    }
    item->setVisible(true);
    KqPropertyAnimation* fade = new KqPropertyAnimation;
    fade->setTargetObject(item);
    fade->setPropertyName(KqString(u"opacity"));
    fade->setStartValue(KqVariant(show ? 0.0 : 1.0));
    fade->setEndValue(KqVariant(show ? 1.0 : 0.0));
    fade->setDuration(show ? kFadeInMs : kFadeOutMs);
    fade->setEasingCurve(KqEasingCurve(KqEasingCurve::InOutQuad));
    fade->start(KqAbstractAnimation::DeleteWhenStopped);
}

KqGraphicsMarginsPixmapItem* KqGraphicsFrameItem::currentImageItem() const
{
    if (isPressed() && hasImage(PressedImage))
        return m_stateItems[PressedImage];
    if (isFocused() && hasImage(FocusImage))
        return m_stateItems[FocusImage];
    if (isHovered() && hasImage(HoverImage))
        return m_stateItems[HoverImage];
    return m_stateItems[NormalImage];
}

void KqGraphicsFrameItem::restartFrameAnimation()
{
    KqGraphicsMarginsPixmapItem* current = currentImageItem();
    const int frames = current ? current->pixmap().frameCount() : 0;
    if (frames < 2) {
        if (KqFrameTicker* ticker = KqFrameTicker::existing())
            ticker->remove(this);
        return;
    }
    const int32_t delay = current->pixmap().frameDelay();
    if (delay > 0) {
        KqFrameTicker::instance()->schedule(this, delay);
        return;
    }
    for (int i = 0; i < frames; ++i) {
        advanceFrame();
        if (current->pixmap().frameDelay() > 0)
            break;
    }
}

void KqGraphicsFrameItem::advanceFrame()
{
    KqGraphicsMarginsPixmapItem* current = currentImageItem();
    if (!current || current->pixmap().frameCount() <= 1)
        return;
    KqImage image = current->pixmap();
    image.setActiveFrame((image.activeFrame() + 1) % image.frameCount());
    KqFrameTicker::instance()->schedule(this, image.frameDelay());
    current->update();
    update();
}

// ---- ticker

namespace {
KqFrameTicker* g_ticker = nullptr;
}

KqFrameTicker* KqFrameTicker::instance()
{
    // Lives until the process ends: frame items may die during exit.
    if (!g_ticker)
        g_ticker = new KqFrameTicker;
    return g_ticker;
}

KqFrameTicker* KqFrameTicker::existing() { return g_ticker; }

KqFrameTicker::KqFrameTicker() : m_timer(new KqTimer) { m_timer->timeout.connect(this, &KqFrameTicker::tick); }

KqFrameTicker::~KqFrameTicker()
{
    delete m_timer;
    if (g_ticker == this)
        g_ticker = nullptr;
}

void KqFrameTicker::remove(KqGraphicsFrameItem* item)
{
    if (m_remaining.remove(item))
        recomputeInterval();
}

void KqFrameTicker::schedule(KqGraphicsFrameItem* item, int32_t delayMs)
{
    if (delayMs <= 0) {
        remove(item);
        return;
    }
    m_remaining[item] = delayMs;
    if (delayMs < m_interval || m_interval <= 0)
        recomputeInterval();
}

void KqFrameTicker::recomputeInterval()
{
    int32_t smallest = 0;
    for (auto it = m_remaining.constBegin(); it != m_remaining.constEnd(); ++it) {
        if (it->second > 0 && (smallest == 0 || it->second < smallest))
            smallest = it->second;
    }
    if (smallest == m_interval)
        return;
    m_interval = smallest;
    if (smallest > 0)
        m_timer->start(smallest);
    else
        m_timer->stop();
}

void KqFrameTicker::tick()
{
    KqVector<KqGraphicsFrameItem*> due;
    for (auto it = m_remaining.begin(); it != m_remaining.end(); ++it) {
        if (it->second > 0) {
            it->second -= m_interval;
            if (it->second <= 0)
                due.append(it->first);
        }
    }
    // Advancing reschedules, so walk a copy.
    for (int i = 0; i < due.count(); ++i) {
        if (m_remaining.contains(due.at(i)))
            due.at(i)->advanceFrame();
    }
    recomputeInterval();
}
