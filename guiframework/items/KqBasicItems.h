// Items that draw something themselves: a picture, a nine-grid picture, a
// line of text and a filled rectangle.
#pragma once

#include "KqColor.h"
#include "KqFont.h"
#include "KqGraphicsItem.h"
#include "KqImage.h"

class KqGraphicsPixmapItem : public KqGraphicsItem {
    KQ_DECLARE_CLASS(KqGraphicsPixmapItem)
public:
    explicit KqGraphicsPixmapItem(KqGraphicsItem* parentItem = nullptr, KqGraphicsScene* scene = nullptr)
        : KqGraphicsItem(parentItem, scene) {}
    void setPixmap(const KqImage& image);
    const KqImage& pixmap() const { return m_image; }
    void setOffset(const KqPointF& offset) { m_offset = offset; }
    void paint(KqPainter* painter) override;

private:
    KqImage m_image;
    KqPointF m_offset;
};

class KqGraphicsMarginsPixmapItem : public KqGraphicsItem {
    KQ_DECLARE_CLASS(KqGraphicsMarginsPixmapItem)
public:
    explicit KqGraphicsMarginsPixmapItem(KqGraphicsItem* parentItem = nullptr) : KqGraphicsItem(parentItem) {}
    void setPixmap(const KqImage& image);
    void setPixmapUrl(const KqString& url) { setPixmap(KqImage::fromUrl(url)); }
    const KqImage& pixmap() const { return m_image; }
    void setMargins(const KqMargins& margins);
    const KqMargins& margins() const { return m_margins; }
    void setDrawCenter(bool on) { m_drawCenter = on; }
    void paint(KqPainter* painter) override;

private:
    KqMargins m_margins;
    KqImage m_image;
    bool m_drawCenter = true;
};

class KqGraphicsSimpleTextItem : public KqGraphicsItem {
    KQ_DECLARE_CLASS(KqGraphicsSimpleTextItem)
public:
    explicit KqGraphicsSimpleTextItem(KqGraphicsItem* parentItem = nullptr, KqGraphicsScene* scene = nullptr)
        : KqGraphicsItem(parentItem, scene) {}
    void setText(const KqString& text);
    // The text with a size of the caller's (a measured block of lines).
    void setTextAndSize(const KqString& text, const KqSizeF& size);
    const KqString& text() const { return m_text; }
    void setFont(const KqFont& font);
    const KqFont& font() const { return m_font; }
    void setPixelSize(int pixelSize);
    void setColor(const KqColor& color);
    void paint(KqPainter* painter) override;

private:
    void remeasure();
    KqString m_text;
    KqFont m_font;
};

class KqGraphicsRectItem : public KqGraphicsItem {
    KQ_DECLARE_CLASS(KqGraphicsRectItem)
public:
    explicit KqGraphicsRectItem(KqGraphicsItem* parentItem = nullptr, KqGraphicsScene* scene = nullptr)
        : KqGraphicsItem(parentItem, scene) {}
    void setColor(const KqColor& color)
    {
        m_color = color;
        update();
    }
    const KqColor& color() const { return m_color; }
    void paint(KqPainter* painter) override;

private:
    KqColor m_color{255, 255, 255, 255};
};
