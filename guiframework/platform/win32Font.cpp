#include "KqFont.h"
#include "KqRenderHints.h"

#include "KqServices.h"
#include "win32Gdiplus.h"

#include <cmath>

KqRenderHints* KqRenderHints::instance() { return KqSingleton<KqRenderHints>::instance(); }

void KqRenderHints::apply(Gdiplus::Graphics* graphics) const
{
    graphics->SetTextRenderingHint(static_cast<Gdiplus::TextRenderingHint>(textRenderingHint));
    graphics->SetInterpolationMode(static_cast<Gdiplus::InterpolationMode>(interpolationMode));
    graphics->SetCompositingQuality(static_cast<Gdiplus::CompositingQuality>(compositingQuality));
}

struct KqDefaultFont {
    KqFont font{KqString(u"SimSun"), 0, 14.0, KqColor()};
};

namespace {
KqFont& defaultFont() { return KqSingleton<KqDefaultFont>::instance()->font; }
}

KqFont::KqFont() : KqFont(defaultFont()) {}

KqFont KqFont::fromFamily(const KqString& family)
{
    KqFont font;
    font.m_family = family;
    return font;
}

void KqFont::setDefaultPixelSize(double pixelSize) { defaultFont().m_pixelSize = pixelSize; }

KqRectF KqFont::measure(const KqString& text, double width, int formatFlags) const
{
    KqRectF result;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return result;
    {
        Gdiplus::Graphics graphics(dc);
        KqRenderHints::instance()->apply(&graphics);
        Gdiplus::FontFamily family(kqWide(m_family));
        Gdiplus::Font font(&family, static_cast<Gdiplus::REAL>(m_pixelSize), m_style, Gdiplus::UnitPixel);
        Gdiplus::StringFormat* format = Gdiplus::StringFormat::GenericDefault()->Clone();
        format->SetFormatFlags(formatFlags);
        Gdiplus::RectF box;
        if (width < 0) {
            graphics.MeasureString(kqWide(text), text.length(), &font, Gdiplus::PointF(0, 0), format, &box);
            result = KqRectF(box.X, box.Y, box.Width, box.Height);
        } else {
            Gdiplus::RectF area(0, 0, static_cast<Gdiplus::REAL>(width), 0);
            graphics.MeasureString(kqWide(text), text.length(), &font, area, format, &box);
            result = KqRectF(0, 0, std::ceil(box.Width), box.Height);
        }
        delete format;
    }
    DeleteDC(dc);
    return result;
}

KqRectF KqFont::boundingRect(const KqString& text) const { return measure(text, -1, Gdiplus::StringFormatFlagsMeasureTrailingSpaces); }

KqRectF KqFont::measureText(const KqString& text, double maxWidth) const
{
    return measure(text, maxWidth < 0 ? 0 : maxWidth,
                   Gdiplus::StringFormatFlagsNoClip | Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
}
