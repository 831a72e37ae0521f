#include "KqCharFormat.h"

#include "KqPainter.h"

#include <cmath>

KQ_DEFINE_CLASS(KqCharFormat, KqRttiObject, 'CFMT', &kqMakeInstance<KqCharFormat>)
KQ_DEFINE_CLASS(KqTextFormat, KqRttiObject, 'TFAT', &kqMakeInstance<KqTextFormat>)

namespace {
KqTextMeasureSource g_measure = nullptr;
}

void kqSetTextMeasureSource(KqTextMeasureSource source) { g_measure = source; }

KqSizeF KqCharFormat::measure(const KqString& text) const
{
    if (m_lastValid && m_lastSource == g_measure && m_lastText.length() == text.length() && m_lastText.compare(text) == 0)
        return m_lastSize;
    KqSizeF size;
    if (g_measure) {
        size = g_measure(m_font, text);
    } else {
        KqRectF r = m_font.measureText(text, 100000);
        size = KqSizeF{r.width, r.height};
    }
    m_lastText = text;
    m_lastSize = size;
    m_lastSource = g_measure;
    m_lastValid = true;
    return size;
}

KqSizeF KqCharFormat::measureUnits(const KqChar* units, int count) const
{
    return measure(count > 0 ? KqString(units, count) : KqString());
}

KqSizeF KqCharFormat::measureChar(KqChar unit) const { return measure(KqString(unit)); }

KqSizeF KqCharFormat::draw(KqPainter* painter, const KqRectF& rect, const KqString& text) const
{
    if (painter && rect.width > 0 && rect.height > 0)
        painter->drawText(rect, text, m_font);
    return KqSizeF{rect.width, rect.height};
}

KqSizeF KqCharFormat::drawUnits(KqPainter* painter, const KqPointF& point, const KqChar* units, int count) const
{
    const KqString text = count > 0 ? KqString(units, count) : KqString();
    const KqSizeF size = measure(text);
    return draw(painter, KqRectF(roundHalfUp(point.x), roundHalfUp(point.y), roundHalfUp(size.width), roundHalfUp(size.height)), text);
}

KqSizeF KqCharFormat::drawChar(KqPainter* painter, const KqPointF& point, KqChar unit) const
{
    return drawUnits(painter, point, &unit, 1);
}
