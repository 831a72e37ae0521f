// How a run of text is measured and drawn: a font, with the measuring
// replaceable (tests give every unit a fixed advance).
#pragma once

#include "KqClassInfo.h"
#include "KqFont.h"
#include "KqGeometry.h"

#include <cstdint>

class KqPainter;

// Measures text in a font; null restores measuring through KqFont.
typedef KqSizeF (*KqTextMeasureSource)(const KqFont& font, const KqString& text);
void kqSetTextMeasureSource(KqTextMeasureSource source);

class KqCharFormat : public KqRttiObject {
    KQ_DECLARE_CLASS(KqCharFormat)
public:
    KqCharFormat() = default;
    virtual KqSizeF measure(const KqString& text) const;
    virtual KqSizeF measureUnits(const KqChar* units, int count) const;
    virtual KqSizeF measureChar(KqChar unit) const;
    // Draws into a valid rectangle; answers the rectangle's size.
    virtual KqSizeF draw(KqPainter* painter, const KqRectF& rect, const KqString& text) const;
    virtual KqSizeF drawUnits(KqPainter* painter, const KqPointF& point, const KqChar* units, int count) const;
    virtual KqSizeF drawChar(KqPainter* painter, const KqPointF& point, KqChar unit) const;
    virtual void unitInserted(KqChar unit) { (void)unit; }
    virtual void unitRemoved(KqChar unit) { (void)unit; }
    virtual void formatHook(int32_t value) { (void)value; }

    const KqFont& font() const { return m_font; }
    void setFont(const KqFont& font)
    {
        m_font = font;
        m_lastValid = false;
    }

private:
    KqFont m_font;
    // Layout, caret and scrolling measure the same text in turn after each
    // keystroke: the last answer is kept.
    mutable KqString m_lastText;
    mutable KqSizeF m_lastSize{0, 0};
    mutable KqTextMeasureSource m_lastSource = nullptr;
    mutable bool m_lastValid = false;
};

// The document-level format record (kept for stored layouts; unused here).
class KqTextFormat : public KqRttiObject {
    KQ_DECLARE_CLASS(KqTextFormat)
public:
    KqTextFormat() = default;
    uint8_t flags = 0;
    int32_t value = 0;
};
