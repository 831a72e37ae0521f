// Drawing: the backing store of a native window (a 32-bit bottom-up DIB
// section in a memory DC), an off-screen ARGB layer composed with opacity
// or in grey, and the painter facade over either; all through GDI+.
#pragma once

#include "KqColor.h"
#include "KqFont.h"
#include "KqGeometry.h"
#include "KqImage.h"
#include "KqObject.h"
#include "KqRegion.h"
#include "KqTransform.h"

#include <cstdint>
#include <vector>

namespace Gdiplus {
class Graphics;
class Bitmap;
}
struct HDC__;
struct HBITMAP__;

class KqPaintEngine {
public:
    KqPaintEngine();
    KqPaintEngine(const KqPaintEngine&) = delete;
    KqPaintEngine& operator=(const KqPaintEngine&) = delete;
    virtual ~KqPaintEngine();
    // False when the new store could not be made (the old one stays).
    virtual bool resize(int width, int height);
    virtual void begin();
    virtual void end();
    // Makes the rectangle (a null one: everything) transparent black.
    void erase(const KqRect& rect, bool flag);

    KqSize size() const { return m_size; }
    HDC__* memoryDC() const { return m_memoryDC; }
    Gdiplus::Graphics* graphics() const { return m_graphics; }
    // The store's pixels (premultiplied BGRA, bottom row first), or null.
    const uint32_t* bits() const { return m_bits; }
    // Pixel at (x, y) counted from the top, as ARGB; 0 outside.
    virtual uint32_t pixel(int x, int y) const;

    std::vector<unsigned>& stateStack() { return m_stateStack; }

protected:
    KqSize m_size;
    Gdiplus::Graphics* m_graphics = nullptr;
    std::vector<unsigned> m_stateStack;

private:
    HDC__* m_memoryDC = nullptr;
    HBITMAP__* m_dib = nullptr;
    HBITMAP__* m_previousBitmap = nullptr;
    uint32_t* m_bits = nullptr;
};

class KqPainter;

class KqImagePaintEngine : public KqPaintEngine {
public:
    KqImagePaintEngine(int width, int height);
    ~KqImagePaintEngine() override;
    bool resize(int width, int height) override;
    void begin() override;
    void end() override;
    uint32_t pixel(int x, int y) const override;
    Gdiplus::Bitmap* bitmap() const { return m_bitmap; }

    // Draws the layer at (0, 0) of the painter with opacity, in colour or grey.
    void composeInto(KqPainter& painter);

    double opacity = 1.0;
    bool inColor = true;

private:
    Gdiplus::Bitmap* m_bitmap = nullptr;
};

class KqPainter : public KqObject {
public:
    enum Combine { Replace = 0, Intersect = 2, Unite = 3 };

    explicit KqPainter(KqPaintEngine* engine) : m_engine(engine) {}
    KqPaintEngine* engine() const { return m_engine; }

    void fillRect(const KqRectF& rect, const KqColor& color);
    void drawRect(const KqRectF& rect, const KqColor& color);
    void drawLine(const KqPoint& from, const KqPoint& to, const KqColor& color);
    void drawImage(int x, int y, int width, int height, const KqImage& image);
    void drawImage(const KqRect& target, const KqImage& image, const KqRect& source);
    void drawNineGrid(const KqRect& target, const KqImage& image, const KqRect& margins);
    void drawText(const KqRectF& rect, const KqString& text, const KqFont& font);
    void save();
    // Ignored when nothing was saved.
    void restore();
    void setTransform(const KqTransform& transform);
    void setClipRect(const KqRect& rect, int combine);
    void setClipRegion(const KqRegion& region, int combine);

private:
    Gdiplus::Graphics* graphics() const { return m_engine ? m_engine->graphics() : nullptr; }
    KqPaintEngine* m_engine;
};
