#include "KqApplication.h"
#include "KqFont.h"
#include "KqImage.h"
#include "KqPainter.h"
#include "KqRegion.h"
#include "KqResourceLib.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// GDI+ runs for the whole test program.
KqApplication* g_app;
struct AppEnvironment : testing::Environment {
    void SetUp() override { g_app = new KqApplication; }
    void TearDown() override { delete g_app; }
};
testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new AppEnvironment);

void put16(std::string& s, int v) { s += char(v & 0xFF); s += char((v >> 8) & 0xFF); }
void put32(std::string& s, int v) { put16(s, v & 0xFFFF); put16(s, (v >> 16) & 0xFFFF); }

// An opaque 32-bit BMP whose pixel (x, y) holds red 4x, green 4y, blue 0x55,
// so every drawn pixel tells which source pixel it came from.
KqByteArray coordinateBmp(int w, int h)
{
    std::string s = "BM";
    put32(s, 54 + w * h * 4);
    put32(s, 0);
    put32(s, 54);
    put32(s, 40);
    put32(s, w);
    put32(s, h);
    put16(s, 1);
    put16(s, 32);
    put32(s, 0);
    put32(s, w * h * 4);
    put32(s, 2835);
    put32(s, 2835);
    put32(s, 0);
    put32(s, 0);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            s += char(0x55);
            s += char(y * 4);
            s += char(x * 4);
            s += char(0);
        }
    }
    return KqByteArray(s.data(), int(s.size()));
}

// A 1x1 animated GIF of the given frames, each with a delay in hundredths.
KqByteArray gif(const std::vector<int>& delays)
{
    std::string s = "GIF89a";
    put16(s, 1);
    put16(s, 1);
    s += char(0x80); // global table of 2 colours
    s += char(0);
    s += char(0);
    s += std::string("\xff\x00\x00\x00\x00\xff", 6);
    s += std::string("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (int delay : delays) {
        s += std::string("\x21\xf9\x04\x00", 4);
        put16(s, delay);
        s += std::string("\x00\x00", 2);
        s += char(0x2c);
        put16(s, 0);
        put16(s, 0);
        put16(s, 1);
        put16(s, 1);
        s += char(0);
        s += std::string("\x02\x02\x44\x01\x00", 5); // clear, index 0, end
    }
    s += char(0x3b);
    return KqByteArray(s.data(), int(s.size()));
}

void registerFile(const char* name, const KqByteArray& bytes)
{
    const char* const names[] = {name};
    const int32_t sizes[] = {bytes.size()};
    kqRegisterResourceData(1, names, reinterpret_cast<const unsigned char*>(bytes.data()), sizes);
}

TEST(KqImageTest, CacheSharesOneDecodeForBothSpellings)
{
    int before = KqImageCache::instance()->count();
    KqImage a = KqImage::fromUrl(KqString(u"kqgui:shadow.png"));
    KqImage b = KqImage::fromUrl(KqString(u"dll:///theme/gui/shadow.png"));
    ASSERT_FALSE(a.isNull());
    EXPECT_TRUE(a.sharesDataWith(b));
    EXPECT_EQ(before + 1, KqImageCache::instance()->count());
    EXPECT_EQ(3, a.refCount()); // two handles and the cache
    EXPECT_EQ(60, a.size().width);
    EXPECT_EQ(1, a.frameCount());
    EXPECT_EQ(0, a.frameDelay());
    a.setActiveFrame(3);
    EXPECT_EQ(0, a.activeFrame());

    KqImage missing = KqImage::fromUrl(KqString(u"kqgui:nothing.png"));
    EXPECT_TRUE(missing.isNull());
    EXPECT_EQ(0, missing.size().width);

    registerFile("test/bad.png", KqByteArray("\x89PNG but not really"));
    KqImage bad = KqImage::fromUrl(KqString(u"dll:///test/bad.png"));
    EXPECT_TRUE(bad.isNull());
    EXPECT_EQ(0, bad.frameCount());
    EXPECT_TRUE(bad.sharesDataWith(KqImage::fromUrl(KqString(u"dll:///test/bad.png")))); // cached, not decoded again
}

TEST(KqImageTest, GifFramesWrapAndDelaysAreMilliseconds)
{
    registerFile("test/anim.gif", gif({10, 20, 30}));
    KqImage image = KqImage::fromUrl(KqString(u"dll:///test/anim.gif"));
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(3, image.frameCount());
    struct Row {
        int select, active, delay;
    } rows[] = {{0, 0, 100}, {1, 1, 200}, {2, 2, 300}, {4, 1, 200}, {3, 0, 100}, {-1, 0, 100}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.select);
        image.setActiveFrame(row.select);
        EXPECT_EQ(row.active, image.activeFrame());
        EXPECT_EQ(row.delay, image.frameDelay());
    }
}

TEST(KqRegionTest, RoundedRegionBounds)
{
    KqRegion region(KqRect::fromEdges(0, 0, 99, 49), 6, 6);
    EXPECT_EQ(KqRect::fromEdges(0, 0, 100, 50), region.bounds());
    struct Row {
        int x, y;
        bool inside;
    } rows[] = {{50, 25, true}, {99, 25, true}, {100, 25, false}, {50, 49, true}, {50, 50, false}, {0, 25, true}, {-1, 25, false}, {0, 0, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.x * 1000 + row.y);
        EXPECT_EQ(row.inside, region.contains(row.x, row.y));
    }
    KqRegion* copy = region.clone();
    EXPECT_TRUE(copy->contains(99, 25));
    EXPECT_FALSE(copy->contains(100, 25));
    delete copy;
}

TEST(KqFontTest, DefaultsAndMeasurement)
{
    KqFont font;
    EXPECT_TRUE(font.family() == KqString(u"SimSun"));
    EXPECT_EQ(14.0, font.pixelSize());
    EXPECT_EQ(KqColor(0, 0, 0, 255), font.color());
    KqFont::setDefaultPixelSize(12);
    KqFont later;
    EXPECT_EQ(12.0, later.pixelSize());
    EXPECT_EQ(14.0, font.pixelSize());
    EXPECT_EQ(12.0, KqFont::fromFamily(KqString(u"Arial")).pixelSize());
    KqFont::setDefaultPixelSize(14);

    KqRectF word = font.measureText(KqString(u"hello"), 1000);
    KqRectF spaced = font.measureText(KqString(u"hello   "), 1000);
    EXPECT_GT(word.width, 10);
    EXPECT_GT(word.height, 5);
    EXPECT_EQ(word.width, double(int(word.width))); // whole numbers
    EXPECT_GT(spaced.width, word.width + 3);         // trailing spaces count
    KqRectF box = font.boundingRect(KqString(u"hello   "));
    EXPECT_GT(box.width, font.boundingRect(KqString(u"hello")).width);
}

uint32_t channel(uint32_t argb, int shift) { return (argb >> shift) & 0xFF; }

TEST(KqPainterTest, NineGridTilesExactly)
{
    KqImage image = KqImage::fromBytes(coordinateBmp(60, 60));
    ASSERT_FALSE(image.isNull());
    KqPaintEngine engine;
    ASSERT_TRUE(engine.resize(100, 50));
    engine.begin();
    KqPainter painter(&engine);
    painter.drawNineGrid(KqRect(0, 0, 100, 50), image, KqRect::fromEdges(12, 12, 12, 12));
    engine.end();
    int wrong = 0;
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 100; ++x) {
            bool middleX = x >= 12 && x < 88, middleY = y >= 12 && y < 38;
            uint32_t got = engine.pixel(x, y);
            if (middleX && middleY) {
                wrong += got != 0; // the middle stays untouched
                continue;
            }
            int sx = x < 12 ? x : x >= 88 ? x - 40 : 12 + (x - 12) % 36;
            int sy = y < 12 ? y : y >= 38 ? y + 10 : y;
            uint32_t expected = 0xFF000000u | uint32_t(sx * 4) << 16 | uint32_t(sy * 4) << 8 | 0x55;
            if (got != expected && wrong++ < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " got " << std::hex << got << " expected " << expected;
        }
    }
    EXPECT_EQ(0, wrong);
}

TEST(KqPainterTest, EraseAndClip)
{
    KqPaintEngine engine;
    ASSERT_TRUE(engine.resize(100, 100));
    EXPECT_FALSE(engine.resize(0, 0)); // keeps the store
    EXPECT_EQ(100, engine.size().width);
    engine.begin();
    KqPainter painter(&engine);
    const uint32_t red = 0xFFFF0000;
    painter.fillRect(KqRectF(0, 0, 100, 100), KqColor(255, 0, 0));
    engine.erase(KqRect(10, 10, 20, 20), false);
    EXPECT_EQ(red, engine.pixel(15, 15));
    engine.erase(KqRect(10, 10, 20, 20), true);
    EXPECT_EQ(0u, engine.pixel(10, 10));
    EXPECT_EQ(0u, engine.pixel(29, 29));
    EXPECT_EQ(red, engine.pixel(30, 29));
    EXPECT_EQ(red, engine.pixel(9, 10));
    engine.erase(KqRect(), true); // null: everything
    EXPECT_EQ(0u, engine.pixel(50, 50));

    struct Row {
        int combine;
        int firstIn, lastIn; // along the diagonal
    } rows[] = {{KqPainter::Intersect, 25, 49}, {KqPainter::Replace, 25, 74}, {1, 25, 74}, {KqPainter::Unite, 0, 74}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.combine);
        engine.erase(KqRect(), true);
        painter.save();
        painter.setClipRect(KqRect(0, 0, 50, 50), KqPainter::Replace);
        painter.setClipRect(KqRect(25, 25, 50, 50), row.combine);
        painter.fillRect(KqRectF(0, 0, 100, 100), KqColor(0, 0, 255));
        painter.restore();
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(i >= row.firstIn && i <= row.lastIn, engine.pixel(i, i) != 0) << i;
    }
    painter.restore(); // nothing saved: ignored
    painter.fillRect(KqRectF(90, 90, 10, 10), KqColor(0, 255, 0));
    EXPECT_EQ(0xFF00FF00u, engine.pixel(95, 95)); // no clip left over
    engine.end();
}

TEST(KqPainterTest, LayerComposedWithOpacityAndInGrey)
{
    struct Row {
        bool inColor;
        int red, green, blue;
    } rows[] = {{true, 200, 100, 50}, {false, 124, 124, 124}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.inColor);
        KqImagePaintEngine layer(10, 10);
        KqPainter layerPainter(&layer);
        layerPainter.fillRect(KqRectF(0, 0, 10, 10), KqColor(200, 100, 50));
        layer.opacity = 0.5;
        layer.inColor = row.inColor;
        KqImagePaintEngine target(10, 10);
        KqPainter painter(&target);
        layer.composeInto(painter);
        uint32_t got = target.pixel(5, 5);
        EXPECT_NEAR(128, int(channel(got, 24)), 1);
        EXPECT_NEAR(row.red, int(channel(got, 16)), 1);
        EXPECT_NEAR(row.green, int(channel(got, 8)), 1);
        EXPECT_NEAR(row.blue, int(channel(got, 0)), 1);
    }
}

TEST(KqPainterTest, TextAlphaNeverFullyOpaque)
{
    struct Row {
        uint8_t alpha;
        uint32_t maxAlpha;
    } rows[] = {{255, 254}, {128, 128}};
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.alpha));
        KqImagePaintEngine layer(80, 30);
        KqPainter painter(&layer);
        KqFont font;
        font.setPixelSize(20);
        font.setColor(KqColor(0, 0, 0, row.alpha));
        painter.drawText(KqRectF(0, 0, 80, 30), KqString(u"HIM"), font);
        uint32_t maxAlpha = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 80; ++x)
                maxAlpha = std::max(maxAlpha, channel(layer.pixel(x, y), 24));
        EXPECT_EQ(row.maxAlpha, maxAlpha);
    }
}

} // namespace

#include "KqBasicItems.h"

namespace {

TEST(KqBasicItemsTest, MarginsPixmapNaturalSizeAndNineGridWithInsetCentre)
{
    KqGraphicsMarginsPixmapItem shadow;
    shadow.setPixmapUrl(KqString(u"kqgui:shadow.png"));
    EXPECT_EQ(60, shadow.width());
    shadow.setMargins(KqMargins{12, 12, 12, 12});
    KqImagePaintEngine natural(60, 60);
    KqPainter naturalPainter(&natural);
    shadow.paint(&naturalPainter);
    // At its natural size every pixel lands where it was: the store holds
    // the picture's own pixels, premultiplied, in the corner, edge and middle
    // zones alike.
    const KqImage image = KqImage::fromUrl(KqString(u"kqgui:shadow.png"));
    Gdiplus::Bitmap* source = image.bitmap();
    ASSERT_NE(nullptr, source);
    int translucent = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 60; ++x) {
            Gdiplus::Color c;
            ASSERT_EQ(Gdiplus::Ok, source->GetPixel(x, y, &c));
            const uint32_t got = natural.pixel(x, y);
            ASSERT_NEAR(int(c.GetA()), int(channel(got, 24)), 1) << x << "," << y;
            ASSERT_NEAR(int(c.GetR()) * c.GetA() / 255, int(channel(got, 16)), 1) << x << "," << y;
            ASSERT_NEAR(int(c.GetB()) * c.GetA() / 255, int(channel(got, 0)), 1) << x << "," << y;
            translucent += c.GetA() > 0 && c.GetA() < 255;
        }
    }
    EXPECT_GT(translucent, 100);          // a soft shadow, not a hard frame
    EXPECT_EQ(0u, natural.pixel(30, 30)); // clear middle

    KqGraphicsMarginsPixmapItem grid;
    grid.setPixmap(KqImage::fromBytes(coordinateBmp(60, 60)));
    grid.setMargins(KqMargins{12, 12, 12, 12});
    grid.resize(100, 50);
    KqImagePaintEngine large(100, 50);
    KqPainter largePainter(&large);
    grid.paint(&largePainter);
    EXPECT_EQ(0xFF000055u | (uint32_t(99 - 40) * 4) << 16 | (uint32_t(49 + 10) * 4) << 8, large.pixel(99, 49)); // corner
    // The stretched centre's outermost ring blends with what lies outside the
    // source under bilinear filtering; its inside is fully drawn.
    for (int y = 13; y < 37; y += 4) {
        for (int x = 13; x < 87; x += 4) {
            uint32_t p = large.pixel(x, y);
            ASSERT_EQ(0xFFu, channel(p, 24)) << x << "," << y;
            ASSERT_EQ(0x55u, channel(p, 0));
            // The stretched centre never reaches the border column or row.
            ASSERT_LT(channel(p, 16), 47u * 4) << x;
            ASSERT_LT(channel(p, 8), 47u * 4) << y;
        }
    }
    EXPECT_EQ(46u * 4, channel(large.pixel(86, 36), 16)); // right-most centre column: one pixel in
    grid.setDrawCenter(false);
    KqImagePaintEngine noCentre(100, 50);
    KqPainter noCentrePainter(&noCentre);
    grid.paint(&noCentrePainter);
    EXPECT_EQ(0u, noCentre.pixel(50, 25));
}

TEST(KqBasicItemsTest, RectPixmapAndText)
{
    KqGraphicsRectItem rect;
    rect.setRect(KqRectF(0, 0, 10.4, 5.6));
    KqImagePaintEngine target(20, 20);
    KqPainter painter(&target);
    rect.paint(&painter);
    EXPECT_EQ(0xFFFFFFFFu, target.pixel(9, 5));
    EXPECT_EQ(0u, target.pixel(10, 5));
    EXPECT_EQ(0u, target.pixel(9, 6));
    rect.setColor(KqColor(1, 2, 3, 255));
    rect.paint(&painter);
    EXPECT_EQ(0xFF010203u, target.pixel(0, 0));

    KqGraphicsPixmapItem picture;
    picture.setPixmap(KqImage::fromUrl(KqString(u"kqgui:btn_4word_normal.png")));
    EXPECT_EQ(KqRectF(0, 0, 60, 20), picture.rect());
    KqImagePaintEngine canvas(60, 20);
    KqPainter canvasPainter(&canvas);
    picture.paint(&canvasPainter);
    EXPECT_EQ(0xFFu, channel(canvas.pixel(30, 10), 24));
    EXPECT_NE(canvas.pixel(0, 0), canvas.pixel(30, 10)); // the darker edge

    KqGraphicsSimpleTextItem label;
    label.setText(KqString(u"Install"));
    double width = label.width();
    EXPECT_GT(width, 10);
    label.setPixelSize(28);
    EXPECT_GT(label.width(), width);
}

} // namespace
