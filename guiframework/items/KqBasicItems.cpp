#include "KqBasicItems.h"

#include "KqPainter.h"

#include <cmath>

KQ_DEFINE_CLASS(KqGraphicsPixmapItem, KqGraphicsItem, 'GPPM', &kqMakeInstance<KqGraphicsPixmapItem>)
KQ_DEFINE_CLASS(KqGraphicsMarginsPixmapItem, KqGraphicsItem, 'GMPP', &kqMakeInstance<KqGraphicsMarginsPixmapItem>)
KQ_DEFINE_CLASS(KqGraphicsSimpleTextItem, KqGraphicsItem, 'GSTM', &kqMakeInstance<KqGraphicsSimpleTextItem>)
KQ_DEFINE_CLASS(KqGraphicsRectItem, KqGraphicsItem, 'GRTM', &kqMakeInstance<KqGraphicsRectItem>)

namespace {
KqRect wholeRect(const KqRectF& r)
{
    return KqRect(roundHalfUp(r.x), roundHalfUp(r.y), roundHalfUp(r.width), roundHalfUp(r.height));
}
}

void KqGraphicsPixmapItem::setPixmap(const KqImage& image)
{
    m_image = image;
    KqSize size = image.size();
    setRect(KqRectF(0, 0, size.width, size.height));
    update();
}

void KqGraphicsPixmapItem::paint(KqPainter* painter)
{
    if (m_image.isNull())
        return;
    painter->drawImage(roundHalfUp(m_offset.x), roundHalfUp(m_offset.y), roundHalfUp(width()), roundHalfUp(height()), m_image);
}

void KqGraphicsMarginsPixmapItem::setPixmap(const KqImage& image)
{
    m_image = image;
    KqSize size = image.size();
    resize(size.width, size.height);
    update();
}

void KqGraphicsMarginsPixmapItem::setMargins(const KqMargins& margins)
{
    m_margins = margins;
    update();
}

void KqGraphicsMarginsPixmapItem::paint(KqPainter* painter)
{
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return;
    const KqMargins& m = m_margins;
    const KqRect target = wholeRect(rect());
    const KqSize image = m_image.size();
    if (m.left == 0 && m.top == 0 && m.right == 0 && m.bottom == 0) {
        painter->drawImage(target.left, target.top, target.right - target.left + 1, target.bottom - target.top + 1, m_image);
        return;
    }
    const int tw = target.right - target.left + 1, th = target.bottom - target.top + 1;
    if (tw == image.width && th == image.height) {
        painter->drawImage(target, m_image, KqRect(0, 0, image.width, image.height));
        return;
    }
    painter->drawNineGrid(target, m_image, KqRect::fromEdges(m.left, m.top, m.right, m.bottom));
    if (!m_drawCenter)
        return;
    KqRect centre = KqRect::fromEdges(target.left + m.left, target.top + m.top, target.right - m.right, target.bottom - m.bottom);
    KqRect source = KqRect::fromEdges(m.left, m.top, image.width - m.right - 1, image.height - m.bottom - 1);
    const int cw = centre.right - centre.left + 1, ch = centre.bottom - centre.top + 1;
    const int sw = source.right - source.left + 1, sh = source.bottom - source.top + 1;
    if (cw <= 0 || ch <= 0 || sw <= 0 || sh <= 0)
        return;
    // Stretching pulls in the neighbouring border pixel: keep one pixel clear of it.
    if (cw != sw && m.right > 0 && sw > 1)
        --source.right;
    if (ch != sh && m.bottom > 0 && sh > 1)
        --source.bottom;
    painter->drawImage(centre, m_image, source);
}

void KqGraphicsSimpleTextItem::remeasure()
{
    KqRectF measured = m_font.measureText(m_text, 100000);
    setRect(KqRectF(0, 0, measured.width, measured.height));
    update(); // a new text of the same size repaints too
}

void KqGraphicsSimpleTextItem::setText(const KqString& text)
{
    m_text = text;
    remeasure();
}

void KqGraphicsSimpleTextItem::setTextAndSize(const KqString& text, const KqSizeF& size)
{
    m_text = text;
    setRect(KqRectF(0, 0, size.width, size.height));
    update();
}

void KqGraphicsSimpleTextItem::setFont(const KqFont& font)
{
    m_font = font;
    remeasure();
}

void KqGraphicsSimpleTextItem::setPixelSize(int pixelSize)
{
    m_font.setPixelSize(pixelSize);
    remeasure();
}

void KqGraphicsSimpleTextItem::setColor(const KqColor& color)
{
    m_font.setColor(color);
    update();
}

void KqGraphicsSimpleTextItem::paint(KqPainter* painter) { painter->drawText(rect(), m_text, m_font); }

void KqGraphicsRectItem::paint(KqPainter* painter)
{
    KqRect r = wholeRect(rect());
    painter->fillRect(KqRectF(r), m_color);
}
