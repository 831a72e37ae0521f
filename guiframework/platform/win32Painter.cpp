#include "KqPainter.h"

#include "KqRenderHints.h"
#include "win32Gdiplus.h"

// ---- backing store

KqPaintEngine::KqPaintEngine() { m_memoryDC = CreateCompatibleDC(nullptr); }

KqPaintEngine::~KqPaintEngine()
{
    delete m_graphics;
    m_graphics = nullptr;
    m_stateStack.clear();
    if (m_dib)
        DeleteObject(m_dib);
    if (m_memoryDC)
        DeleteDC(m_memoryDC);
}

bool KqPaintEngine::resize(int width, int height)
{
    if (width == m_size.width && height == m_size.height)
        return true;
    if (width <= 0 || height <= 0)
        return false;
    BITMAPV5HEADER header = {};
    header.bV5Size = sizeof header;
    header.bV5Width = width;
    header.bV5Height = height; // bottom-up
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(m_memoryDC, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib)
        return false;
    delete m_graphics;
    m_graphics = nullptr;
    if (m_dib)
        DeleteObject(m_dib);
    m_dib = dib;
    m_bits = static_cast<uint32_t*>(bits);
    m_size.width = width;
    m_size.height = height;
    return true;
}

void KqPaintEngine::begin()
{
    m_stateStack.clear();
    if (!m_dib)
        return;
    m_previousBitmap = static_cast<HBITMAP>(SelectObject(m_memoryDC, m_dib));
    if (m_graphics)
        return; // the store keeps its pixels between paints
    m_graphics = new Gdiplus::Graphics(m_memoryDC);
    KqRenderHints::instance()->apply(m_graphics);
    m_graphics->Clear(Gdiplus::Color(0));
}

void KqPaintEngine::end()
{
    if (m_previousBitmap)
        SelectObject(m_memoryDC, m_previousBitmap);
    m_previousBitmap = nullptr;
}

void KqPaintEngine::erase(const KqRect& rect, bool flag)
{
    if (!flag || !m_graphics)
        return;
    if (rect.right < rect.left || rect.bottom < rect.top) {
        m_graphics->Clear(Gdiplus::Color(0));
        return;
    }
    Gdiplus::CompositingMode previous = m_graphics->GetCompositingMode();
    m_graphics->SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    Gdiplus::SolidBrush clear(Gdiplus::Color(0));
    m_graphics->FillRectangle(&clear, Gdiplus::RectF(Gdiplus::REAL(rect.left), Gdiplus::REAL(rect.top),
                                                      Gdiplus::REAL(rect.right - rect.left + 1),
                                                      Gdiplus::REAL(rect.bottom - rect.top + 1)));
    m_graphics->SetCompositingMode(previous);
}

uint32_t KqPaintEngine::pixel(int x, int y) const
{
    if (!m_bits || x < 0 || y < 0 || x >= m_size.width || y >= m_size.height)
        return 0;
    if (m_graphics)
        m_graphics->Flush(Gdiplus::FlushIntentionSync);
    GdiFlush();
    return m_bits[size_t(m_size.height - 1 - y) * size_t(m_size.width) + size_t(x)];
}

// ---- off-screen layer

KqImagePaintEngine::KqImagePaintEngine(int width, int height)
{
    resize(width, height);
    begin();
    if (m_graphics)
        m_graphics->Clear(Gdiplus::Color(0));
}

KqImagePaintEngine::~KqImagePaintEngine()
{
    delete m_graphics;
    m_graphics = nullptr;
    delete m_bitmap;
}

bool KqImagePaintEngine::resize(int width, int height)
{
    if (width <= 0 || height <= 0)
        return false;
    Gdiplus::Bitmap* bitmap = new Gdiplus::Bitmap(width, height, PixelFormat32bppARGB);
    if (bitmap->GetLastStatus() != Gdiplus::Ok) {
        delete bitmap;
        return false;
    }
    delete m_graphics;
    m_graphics = nullptr;
    delete m_bitmap;
    m_bitmap = bitmap;
    m_size.width = width;
    m_size.height = height;
    return true;
}

void KqImagePaintEngine::begin()
{
    m_stateStack.clear();
    if (!m_bitmap)
        return;
    delete m_graphics;
    m_graphics = new Gdiplus::Graphics(m_bitmap);
    KqRenderHints::instance()->apply(m_graphics);
}

void KqImagePaintEngine::end()
{
    delete m_graphics;
    m_graphics = nullptr;
}

uint32_t KqImagePaintEngine::pixel(int x, int y) const
{
    if (!m_bitmap || x < 0 || y < 0 || x >= m_size.width || y >= m_size.height)
        return 0;
    if (m_graphics)
        m_graphics->Flush(Gdiplus::FlushIntentionSync);
    Gdiplus::Color color;
    m_bitmap->GetPixel(x, y, &color);
    return color.GetValue();
}

void KqImagePaintEngine::composeInto(KqPainter& painter)
{
    Gdiplus::Graphics* target = painter.engine() ? painter.engine()->graphics() : nullptr;
    if (!target || !m_bitmap)
        return;
    // Finish pending drawing into the layer before it is read.
    if (m_graphics)
        m_graphics->Flush(Gdiplus::FlushIntentionSync);
    Gdiplus::REAL a = static_cast<Gdiplus::REAL>(opacity);
    Gdiplus::ColorMatrix matrix = {};
    if (inColor) {
        for (int i = 0; i < 5; ++i)
            matrix.m[i][i] = 1;
    } else {
        const Gdiplus::REAL weights[3] = {0.3f, 0.59f, 0.11f};
        for (int in = 0; in < 3; ++in)
            for (int out = 0; out < 3; ++out)
                matrix.m[in][out] = weights[in];
        matrix.m[4][4] = 1;
    }
    matrix.m[3][3] = a;
    Gdiplus::ImageAttributes attributes;
    attributes.SetColorMatrix(&matrix);
    Gdiplus::REAL w = Gdiplus::REAL(m_size.width), h = Gdiplus::REAL(m_size.height);
    target->DrawImage(m_bitmap, Gdiplus::RectF(0, 0, w, h), 0, 0, w, h, Gdiplus::UnitPixel, &attributes);
}

// ---- painter

void KqPainter::fillRect(const KqRectF& rect, const KqColor& color)
{
    if (Gdiplus::Graphics* g = graphics()) {
        Gdiplus::SolidBrush brush(Gdiplus::Color(color.argb()));
        g->FillRectangle(&brush, Gdiplus::RectF(Gdiplus::REAL(rect.x), Gdiplus::REAL(rect.y), Gdiplus::REAL(rect.width),
                                                 Gdiplus::REAL(rect.height)));
    }
}

void KqPainter::drawRect(const KqRectF& rect, const KqColor& color)
{
    if (Gdiplus::Graphics* g = graphics()) {
        Gdiplus::Pen pen(Gdiplus::Color(color.argb()), 1);
        g->DrawRectangle(&pen, Gdiplus::RectF(Gdiplus::REAL(rect.x), Gdiplus::REAL(rect.y), Gdiplus::REAL(rect.width),
                                               Gdiplus::REAL(rect.height)));
    }
}

void KqPainter::drawLine(const KqPoint& from, const KqPoint& to, const KqColor& color)
{
    if (Gdiplus::Graphics* g = graphics()) {
        Gdiplus::Pen pen(Gdiplus::Color(color.argb()), 1);
        g->DrawLine(&pen, from.x, from.y, to.x, to.y);
    }
}

void KqPainter::drawImage(int x, int y, int width, int height, const KqImage& image)
{
    Gdiplus::Graphics* g = graphics();
    if (g && !image.isNull())
        g->DrawImage(image.bitmap(), x, y, width, height);
}

void KqPainter::drawImage(const KqRect& target, const KqImage& image, const KqRect& source)
{
    Gdiplus::Graphics* g = graphics();
    if (!g || image.isNull())
        return;
    Gdiplus::RectF to(Gdiplus::REAL(target.left), Gdiplus::REAL(target.top), Gdiplus::REAL(target.right - target.left + 1),
                      Gdiplus::REAL(target.bottom - target.top + 1));
    g->DrawImage(image.bitmap(), to, Gdiplus::REAL(source.left), Gdiplus::REAL(source.top),
                 Gdiplus::REAL(source.right - source.left + 1), Gdiplus::REAL(source.bottom - source.top + 1),
                 Gdiplus::UnitPixel, nullptr);
}

void KqPainter::drawNineGrid(const KqRect& target, const KqImage& image, const KqRect& margins)
{
    if (image.isNull())
        return;
    const int L = margins.left, T = margins.top, R = margins.right, B = margins.bottom;
    const KqSize size = image.size();
    const int W = size.width, H = size.height;
    const int cw = W - L - R, ch = H - T - B;
    const int x0 = target.left, y0 = target.top, x1 = target.right, y1 = target.bottom;
    const int Wt = x1 - x0 + 1, Ht = y1 - y0 + 1;
    auto piece = [&](int sx, int sy, int w, int h, int tx, int ty) {
        drawImage(KqRect(tx, ty, w, h), image, KqRect(sx, sy, w, h));
    };
    if (L >= 1 && T >= 1)
        piece(0, 0, L, T, x0, y0);
    if (R >= 1 && T >= 1)
        piece(W - R, 0, R, T, x1 - R + 1, y0);
    if (L >= 1 && B >= 1)
        piece(0, H - B, L, B, x0, y1 - B + 1);
    if (R >= 1 && B >= 1)
        piece(W - R, H - B, R, B, x1 - R + 1, y1 - B + 1);
    if (cw >= 1 && (T >= 1 || B >= 1)) {
        int span = Wt - L - R;
        for (int x = 0; span > 0 && x < span; x += cw) {
            int w = span - x < cw ? span - x : cw;
            if (T >= 1)
                piece(L, 0, w, T, x0 + L + x, y0);
            if (B >= 1)
                piece(L, H - B, w, B, x0 + L + x, y1 - B + 1);
        }
    }
    if (ch >= 1 && (L >= 1 || R >= 1)) {
        int span = Ht - T - B;
        for (int y = 0; span > 0 && y < span; y += ch) {
            int h = span - y < ch ? span - y : ch;
            if (L >= 1)
                piece(0, T, L, h, x0, y0 + T + y);
            if (R >= 1)
                piece(W - R, T, R, h, x1 - R + 1, y0 + T + y);
        }
    }
}

void KqPainter::drawText(const KqRectF& rect, const KqString& text, const KqFont& font)
{
    Gdiplus::Graphics* g = graphics();
    if (!g)
        return;
    KqColor color = font.color();
    if (color.alpha == 255)
        color.alpha = 254;
    Gdiplus::SolidBrush brush(Gdiplus::Color(color.argb()));
    Gdiplus::FontFamily family(kqWide(font.family()));
    Gdiplus::Font gdiFont(&family, Gdiplus::REAL(font.pixelSize()), font.style(), Gdiplus::UnitPixel);
    Gdiplus::StringFormat* format = Gdiplus::StringFormat::GenericDefault()->Clone();
    format->SetFormatFlags(Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
    g->DrawString(kqWide(text), text.length(), &gdiFont,
                  Gdiplus::RectF(Gdiplus::REAL(rect.x), Gdiplus::REAL(rect.y), Gdiplus::REAL(rect.width), Gdiplus::REAL(rect.height)),
                  format, &brush);
    delete format;
}

void KqPainter::save()
{
    if (Gdiplus::Graphics* g = graphics())
        m_engine->stateStack().push_back(g->Save());
}

void KqPainter::restore()
{
    Gdiplus::Graphics* g = graphics();
    if (!g || m_engine->stateStack().empty())
        return;
    g->Restore(m_engine->stateStack().back());
    m_engine->stateStack().pop_back();
}

void KqPainter::setTransform(const KqTransform& t)
{
    if (Gdiplus::Graphics* g = graphics()) {
        Gdiplus::Matrix matrix(Gdiplus::REAL(t.m11()), Gdiplus::REAL(t.m12()), Gdiplus::REAL(t.m21()), Gdiplus::REAL(t.m22()),
                               Gdiplus::REAL(t.dx()), Gdiplus::REAL(t.dy()));
        g->SetTransform(&matrix);
    }
}

namespace {
Gdiplus::CombineMode combineMode(int combine)
{
    if (combine == KqPainter::Intersect)
        return Gdiplus::CombineModeIntersect;
    if (combine == KqPainter::Unite)
        return Gdiplus::CombineModeUnion;
    return Gdiplus::CombineModeReplace;
}
}

void KqPainter::setClipRect(const KqRect& rect, int combine)
{
    if (Gdiplus::Graphics* g = graphics())
        g->SetClip(Gdiplus::RectF(Gdiplus::REAL(rect.left), Gdiplus::REAL(rect.top), Gdiplus::REAL(rect.right - rect.left + 1),
                                  Gdiplus::REAL(rect.bottom - rect.top + 1)),
                   combineMode(combine));
}

void KqPainter::setClipRegion(const KqRegion& region, int combine)
{
    if (Gdiplus::Graphics* g = graphics())
        g->SetClip(region.region(), combineMode(combine));
}
