// A font description with its colour, and text measurement through GDI+.
#pragma once

#include "KqColor.h"
#include "KqGeometry.h"
#include "KqString.h"

#include <cstdint>

class KqFont {
public:
    enum Style : int32_t { Bold = 1, Italic = 2, Underline = 4, Strikeout = 8 };

    KqFont(); // a copy of the default font
    static KqFont fromFamily(const KqString& family);
    // Changes the default size for fonts made afterwards.
    static void setDefaultPixelSize(double pixelSize);

    const KqString& family() const { return m_family; }
    int32_t style() const { return m_style; }
    double pixelSize() const { return m_pixelSize; }
    const KqColor& color() const { return m_color; }
    void setFamily(const KqString& family) { m_family = family; }
    void setStyle(int32_t style) { m_style = style; }
    void setPixelSize(double pixelSize) { m_pixelSize = pixelSize; }
    void setColor(const KqColor& color) { m_color = color; }

    // The text's bounding box laid out from the origin without limits.
    KqRectF boundingRect(const KqString& text) const;
    // (0, 0, whole-number width, height) within a maximum width; trailing spaces count.
    KqRectF measureText(const KqString& text, double maxWidth) const;

private:
    friend struct KqDefaultFont;
    KqFont(const KqString& family, int32_t style, double pixelSize, const KqColor& color)
        : m_family(family), m_style(style), m_pixelSize(pixelSize), m_color(color) {}
    KqRectF measure(const KqString& text, double width, int formatFlags) const;

    KqString m_family;
    int32_t m_style;
    double m_pixelSize;
    KqColor m_color;
};
