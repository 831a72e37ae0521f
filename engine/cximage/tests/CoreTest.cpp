#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "TestUtil.h"

using cxfix::Bytes;

TEST(CxImageCreate, LimitsAndTexts)
{
    struct Case {
        uint32_t width, height, bits;
        const char* error; // null: succeeds
    } cases[] = {
        {0, 10, 24, "CxImage::Create : width and height must be greater than zero"},
        {10, 0, 8, "CxImage::Create : width and height must be greater than zero"},
        {10000, 10000, 24, "CXIMAGE_MAX_MEMORY exceeded"},
        {65536, 32769, 1, "CXIMAGE_MAX_MEMORY exceeded"},
        {0x80000000u, 1, 1, "CXIMAGE_MAX_MEMORY exceeded"},
        // 128 MB of bits, but rows padded to 4 bytes make 4 GB: once a 52-byte block.
        {1, 0x40000000u, 1, "CXIMAGE_MAX_MEMORY exceeded"},
        {1, 0x100000u, 1, nullptr},  // the same padding, 4 MB
        {16, 16, 24, nullptr},
    };
    for (const Case& c : cases) {
        CxImage image;
        uint8_t* block = image.Create(c.width, c.height, c.bits, 0);
        if (c.error) {
            EXPECT_EQ(block, nullptr) << c.width << "x" << c.height;
            EXPECT_STREQ(image.LastError(), c.error);
            EXPECT_FALSE(image.HasPixels());
        } else {
            EXPECT_NE(block, nullptr);
            EXPECT_STREQ(image.LastError(), "");
        }
    }
}

TEST(CxImageCreate, RoundsDepthAndFillsHeader)
{
    const uint32_t asked[] = {0, 1, 2, 4, 5, 8, 15, 16, 24, 32};
    const uint32_t got[] = {1, 1, 4, 4, 8, 8, 24, 24, 24, 24};
    for (size_t i = 0; i < sizeof asked / sizeof asked[0]; ++i) {
        CxImage image;
        ASSERT_NE(image.Create(13, 3, asked[i], 7), nullptr);
        EXPECT_EQ(image.BitDepth(), got[i]) << asked[i];
        const uint32_t entries = got[i] == 1 ? 2 : got[i] == 4 ? 16 : got[i] == 8 ? 256 : 0;
        EXPECT_EQ(image.Header().biClrUsed, entries);
        EXPECT_EQ(image.RowBytes(), ((13 * got[i] + 31) / 32) * 4);
        EXPECT_EQ(image.Header().biSizeImage, image.RowBytes() * 3);
        EXPECT_EQ(image.Header().biXPelsPerMeter, 3780);
        EXPECT_EQ(image.FormatId(), 7u);
        // The block starts with a copy of the header.
        EXPECT_EQ(std::memcmp(image.PixelBlock(), &image.Header(), 40), 0);
    }
}

TEST(CxImageCreate, NewRowsAreZeroed)
{
    CxImage image;
    ASSERT_NE(image.Create(64, 64, 8, 0), nullptr);
    image.Fill(0xAB);
    ASSERT_NE(image.Create(64, 64, 8, 0), nullptr);
    const uint8_t* rows = image.Rows();
    for (uint32_t i = 0; i < image.Header().biSizeImage; ++i)
        ASSERT_EQ(rows[i], 0) << i;
}

TEST(CxImagePixels, IndexPackingPerDepth)
{
    struct Case {
        uint32_t bits;
        int x, y;
        uint8_t index;
        size_t byteInRow;
        uint8_t byteValue;
        uint8_t readBack;
    } cases[] = {
        {1, 9, 0, 1, 1, 0x40, 1}, // bit 6 of the row's second byte
        {1, 0, 1, 1, 0, 0x80, 1},
        {1, 7, 0, 3, 0, 0x01, 1},
        {4, 3, 0, 0xA, 1, 0x0A, 0xA}, // odd x: low nibble
        {4, 2, 1, 0x1C, 1, 0xC0, 0xC},
        {8, 5, 1, 200, 5, 200, 200},
    };
    for (const Case& c : cases) {
        CxImage image;
        ASSERT_NE(image.Create(20, 2, c.bits, 0), nullptr);
        image.SetPixelIndex(c.x, c.y, c.index);
        EXPECT_EQ(image.Rows()[c.y * image.RowBytes() + c.byteInRow], c.byteValue) << c.bits << " bits at " << c.x;
        EXPECT_EQ(image.PixelIndex(c.x, c.y), c.readBack);
        // Neighbours stay untouched.
        EXPECT_EQ(image.PixelIndex(c.x + 1, c.y), 0);
    }
}

TEST(CxImagePixels, ColourAt24BitsAndOutside)
{
    CxImage image;
    ASSERT_NE(image.Create(3, 2, 24, 0), nullptr);
    image.SetPixelColor(2, 1, CxRgb(10, 20, 30));
    image.SetPixelRgb(0, 0, 0x332211); // red in the low byte
    EXPECT_EQ(image.PixelColor(2, 1, false), CxRgb(10, 20, 30));
    EXPECT_EQ(image.PixelColor(0, 0, false), CxRgb(0x11, 0x22, 0x33));
    const uint8_t* p = image.Rows() + image.RowBytes() + 6;
    EXPECT_EQ(p[0], 30); // blue first
    EXPECT_EQ(p[2], 10);
    // Outside without transparency: pixel (0, 0); with it: the transparent colour.
    EXPECT_EQ(image.PixelColor(-1, 5, false), CxRgb(0x11, 0x22, 0x33));
    image.SetTransparentIndex(0);
    image.SetTransparentColor(CxRgb(1, 2, 3, 99));
    EXPECT_EQ(image.TransparentColor(), CxRgb(1, 2, 3, 0));
    EXPECT_EQ(image.PixelColor(3, 0, false), CxRgb(1, 2, 3, 0));
    // Setting outside is ignored.
    image.SetPixelColor(3, 0, CxRgb(255, 255, 255));
    image.SetPixelIndex(0, 2, 1);
}

TEST(CxImagePixels, PaletteImageOutsideRules)
{
    CxImage image;
    ASSERT_NE(image.Create(4, 4, 8, 0), nullptr);
    for (int i = 0; i < 8; ++i)
        image.SetPaletteEntry(uint32_t(i), uint8_t(i * 10), uint8_t(i * 20), uint8_t(i * 30));
    image.SetPixelIndex(0, 0, 5);
    EXPECT_EQ(image.PixelColor(10, 10, false), image.PaletteEntry(5)); // colour of (0, 0)
    EXPECT_EQ(image.PixelIndex(-1, 0), 5);                              // first byte of the rows
    image.SetTransparentIndex(3);
    EXPECT_EQ(image.PixelColor(10, 10, false), image.PaletteEntry(3));
    EXPECT_EQ(image.PixelIndex(-1, 0), 3);
    EXPECT_EQ(image.TransparentColor(), image.PaletteEntry(3));
    EXPECT_EQ(image.PaletteEntry(256), CxRgb(0, 0, 0));
}

TEST(CxImagePixels, NoPixelsGivesDefaults)
{
    CxImage image;
    EXPECT_EQ(image.PixelIndex(0, 0), 0);
    EXPECT_EQ(image.PixelColor(0, 0), image.TransparentColor());
    EXPECT_EQ(image.NearestIndex(CxRgb(1, 2, 3)), 0);
    image.SetPixelIndex(0, 0, 1);
    EXPECT_FALSE(image.HasTransparency());
}

TEST(CxImagePalette, NearestIndexTiesAndCache)
{
    CxImage image;
    ASSERT_NE(image.Create(2, 2, 4, 0), nullptr);
    image.SetPaletteEntry(0, 0, 0, 0);
    image.SetPaletteEntry(1, 100, 0, 0);
    image.SetPaletteEntry(2, 200, 0, 0);
    image.SetPaletteEntry(3, 100, 100, 100);
    for (uint32_t i = 4; i < 16; ++i)
        image.SetPaletteEntry(i, 255, 255, 255);
    struct Case {
        CxRgbQuad colour;
        uint8_t index;
    } cases[] = {
        {CxRgb(50, 0, 0), 0},      // exactly between 0 and 1: the lower
        {CxRgb(150, 0, 0), 1},     // between 1 and 2
        {CxRgb(100, 0, 0), 1},     // exact
        {CxRgb(100, 90, 90), 3},
        {CxRgb(250, 250, 250), 4}, // first of equal entries
    };
    for (const Case& c : cases)
        EXPECT_EQ(image.NearestIndex(c.colour), c.index);
    // Changing the palette drops the cached answer.
    EXPECT_EQ(image.NearestIndex(CxRgb(100, 90, 90)), 3);
    image.SetPaletteEntry(5, 100, 90, 90);
    EXPECT_EQ(image.NearestIndex(CxRgb(100, 90, 90)), 5);
    // SetPixelColor on a palette image stores the nearest index.
    image.SetPixelColor(1, 1, CxRgb(190, 0, 0));
    EXPECT_EQ(image.PixelIndex(1, 1), 2);
}

TEST(CxImagePalette, TransparentIndexRange)
{
    struct Case {
        uint32_t bits;
        int32_t index, stored;
    } cases[] = {{8, 300, 0}, {8, 255, 255}, {4, 16, 0}, {4, 15, 15}, {1, 2, 0}, {8, -1, -1}, {24, 3, 0}};
    for (const Case& c : cases) {
        CxImage image;
        ASSERT_NE(image.Create(2, 2, c.bits, 0), nullptr);
        image.SetTransparentIndex(c.index);
        EXPECT_EQ(image.TransparentIndex(), c.stored) << c.bits << " bits, " << c.index;
        EXPECT_EQ(image.HasTransparency(), c.stored >= 0);
    }
}

TEST(CxImagePalette, SettersAndGrayRamp)
{
    CxImage image;
    ASSERT_NE(image.Create(2, 2, 4, 0), nullptr);
    const uint8_t red[20] = {1, 2, 3};
    image.SetPaletteArrays(20, red, nullptr, nullptr); // green from red, blue from green
    EXPECT_EQ(image.PaletteEntry(2), CxRgb(3, 3, 3));
    const uint8_t triples[] = {10, 20, 30, 40, 50, 60};
    image.SetPaletteRgb(2, triples);
    EXPECT_EQ(image.PaletteEntry(1), CxRgb(40, 50, 60));
    const CxRgbQuad quads[17] = {CxRgb(7, 8, 9, 1)};
    image.SetPaletteQuads(17, quads); // at most the palette's 16 entries
    EXPECT_EQ(image.PaletteEntry(0), CxRgb(7, 8, 9, 1));
    EXPECT_TRUE(image.IsPaletteAlpha());
    image.SetPaletteEntry(16, 1, 1, 1); // beyond: ignored
    image.SetGrayRamp();
    EXPECT_EQ(image.PaletteEntry(15), CxRgb(255, 255, 255));
    EXPECT_EQ(image.PaletteEntry(1), CxRgb(17, 17, 17));
    EXPECT_FALSE(image.IsGrayRamp()); // entry i is not (i, i, i)
    CxImage gray;
    ASSERT_NE(gray.Create(2, 2, 8, 0), nullptr);
    gray.SetGrayRamp();
    EXPECT_TRUE(gray.IsGrayRamp());
}

TEST(CxImageResolution, DpiToPelsPerMeter)
{
    struct Case {
        int32_t dpi, stored, ppm;
    } cases[] = {{96, 96, 3780}, {0, 96, 3780}, {-5, 96, 3780}, {300, 300, 11811}, {72, 72, 2835},
                   {54546084, 54546084, 2147483622}, {54546085, 54546085, INT32_MAX}, {INT32_MAX, INT32_MAX, INT32_MAX}};
    for (const Case& c : cases) {
        CxImage image;
        ASSERT_NE(image.Create(1, 1, 8, 0), nullptr);
        image.SetXDpi(c.dpi);
        image.SetYDpi(c.dpi);
        EXPECT_EQ(image.XDpi(), c.stored);
        EXPECT_EQ(image.Header().biXPelsPerMeter, c.ppm);
        EXPECT_EQ(image.Header().biYPelsPerMeter, c.ppm);
        EXPECT_EQ(reinterpret_cast<const CxBitmapInfoHeader*>(image.PixelBlock())->biXPelsPerMeter, c.ppm);
    }
}

TEST(CxImageFill, PerDepth)
{
    struct Case {
        uint32_t bits;
        uint8_t index, byte;
    } cases[] = {{8, 7, 7}, {4, 0x13, 0x33}, {1, 5, 255}, {1, 0, 0}};
    for (const Case& c : cases) {
        CxImage image;
        ASSERT_NE(image.Create(9, 3, c.bits, 0), nullptr);
        image.Fill(c.index);
        for (uint32_t i = 0; i < image.Header().biSizeImage; ++i)
            ASSERT_EQ(image.Rows()[i], c.byte);
    }
}

namespace {

// A small picture with distinct colours, an alpha plane and a palette.
void MakePicture(CxImage& image, uint32_t bits, uint32_t width = 11, uint32_t height = 5)
{
    ASSERT_NE(image.Create(width, height, bits, 0), nullptr);
    const uint32_t entries = image.PaletteEntries();
    for (uint32_t i = 0; i < entries; ++i)
        image.SetPaletteEntry(i, uint8_t(i * 37), uint8_t(255 - i), uint8_t(i * 11));
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            if (entries)
                image.SetPixelIndex(int(x), int(y), uint8_t((x * 3 + y * 5) % entries));
            else
                image.SetPixelColor(int(x), int(y), CxRgb(uint8_t(x * 20), uint8_t(y * 40), uint8_t(x + y)));
        }
}

} // namespace

TEST(CxImageTransforms, RaiseDepthKeepsColours)
{
    struct Case {
        uint32_t from, to;
        bool ok;
    } cases[] = {{1, 4, true}, {1, 8, true}, {1, 24, true}, {4, 8, true}, {4, 24, true}, {8, 24, true},
                 {8, 8, true},  {8, 4, false}, {24, 8, false}, {8, 16, false}, {1, 2, false}};
    for (const Case& c : cases) {
        CxImage image, original;
        MakePicture(image, c.from);
        MakePicture(original, c.from);
        image.SetTransparentIndex(1);
        EXPECT_EQ(image.RaiseDepth(c.to), c.ok) << c.from << " -> " << c.to;
        if (!c.ok)
            continue;
        EXPECT_EQ(image.BitDepth(), c.to);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 11; ++x)
                ASSERT_EQ(image.PixelColor(x, y, false), original.PixelColor(x, y, false)) << x << "," << y;
        if (c.to == 24 && c.from < 24) {
            EXPECT_EQ(image.TransparentColor(), original.PaletteEntry(1));
        }
    }
}

TEST(CxImageTransforms, RaiseDepthCarriesPaletteAlpha)
{
    CxImage image;
    MakePicture(image, 8, 2, 1);
    image.SetPaletteEntry(image.PixelIndex(1, 0), 1, 2, 3, 77);
    ASSERT_TRUE(image.RaiseDepth(24));
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.AlphaGet(1, 0), 77);
}

TEST(CxImageTransforms, FlipAndMirrorRoundTrips)
{
    for (uint32_t bits : {1u, 4u, 8u, 24u}) {
        CxImage image, original;
        MakePicture(image, bits);
        MakePicture(original, bits);
        ASSERT_TRUE(image.AlphaCreate());
        image.AlphaSet(2, 0, 9);
        ASSERT_TRUE(image.FlipRows(true));
        EXPECT_EQ(image.PixelColor(3, 4, false), original.PixelColor(3, 0, false));
        EXPECT_EQ(image.AlphaGet(2, 4), 9);
        ASSERT_TRUE(image.FlipRows(true));
        ASSERT_TRUE(image.MirrorRows(true));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 11; ++x)
                ASSERT_EQ(image.PixelColor(x, y, false), original.PixelColor(10 - x, y, false)) << bits;
        EXPECT_EQ(image.AlphaGet(8, 0), 9);
        ASSERT_TRUE(image.MirrorRows(false));
        EXPECT_EQ(image.AlphaGet(8, 0), 9); // alpha left alone
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 11; ++x)
                ASSERT_EQ(image.PixelColor(x, y, false), original.PixelColor(x, y, false)) << bits;
    }
}

TEST(CxImageTransforms, InvertRules)
{
    CxImage rgb;
    MakePicture(rgb, 24);
    rgb.SetTransparentColor(CxRgb(1, 2, 3));
    const CxRgbQuad before = rgb.PixelColor(4, 2, false);
    ASSERT_TRUE(rgb.Invert());
    const CxRgbQuad after = rgb.PixelColor(4, 2, false);
    EXPECT_EQ(after.rgbRed, 255 - before.rgbRed);
    EXPECT_EQ(rgb.TransparentColor(), CxRgb(254, 253, 252));

    CxImage paletted;
    MakePicture(paletted, 8);
    const uint8_t index = paletted.PixelIndex(4, 2);
    const CxRgbQuad entry = paletted.PaletteEntry(index);
    ASSERT_TRUE(paletted.Invert());
    EXPECT_EQ(paletted.PixelIndex(4, 2), index); // palette inverted, rows kept
    EXPECT_EQ(paletted.PaletteEntry(index).rgbRed, 255 - entry.rgbRed);

    CxImage gray;
    MakePicture(gray, 8);
    gray.SetGrayRamp();
    ASSERT_TRUE(gray.Invert());
    EXPECT_EQ(gray.PixelIndex(4, 2), uint8_t(255 - index)); // rows inverted
    EXPECT_TRUE(gray.IsGrayRamp());
}

TEST(CxImageTransforms, ExpandBitfields)
{
    struct Case {
        uint32_t bits, red, green, blue;
        Bytes pixel;
        CxRgbQuad expected;
    } cases[] = {
        {16, 0x7C00, 0x3E0, 0x1F, {0xFF, 0x7F}, CxRgb(248, 248, 248)},
        {16, 0x7C00, 0x3E0, 0x1F, {0x1F, 0x00}, CxRgb(0, 0, 248)},
        {16, 0xF800, 0x7E0, 0x1F, {0xE0, 0x07}, CxRgb(0, 252, 0)},
        {16, 0xF800, 0x7E0, 0x1F, {0x00, 0xF8}, CxRgb(248, 0, 0)},
        {32, 0xFF0000, 0xFF00, 0xFF, {1, 2, 3, 4}, CxRgb(3, 2, 1)},
        {32, 0xFF, 0xFF00, 0xFF0000, {1, 2, 3, 4}, CxRgb(1, 2, 3)},
        {32, 0xFF000000, 0xFF0000, 0xFF00, {1, 2, 3, 4}, CxRgb(4, 3, 2)},
    };
    for (const Case& c : cases) {
        CxImage image;
        ASSERT_NE(image.Create(3, 2, 24, 0), nullptr);
        const size_t stride = c.bits == 16 ? 8 : 12;
        Bytes source(stride * 2, 0);
        for (size_t row = 0; row < 2; ++row)
            for (size_t x = 0; x < 3; ++x)
                std::memcpy(&source[row * stride + x * c.pixel.size()], c.pixel.data(), c.pixel.size());
        image.ExpandBitfields(source.data(), c.red, c.green, c.blue, c.bits);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(image.PixelColor(x, y, false), c.expected) << c.bits << " bits, mask " << c.red;
    }
}

TEST(CxImageTransforms, ExpandBitfieldsInPlace)
{
    CxImage image;
    ASSERT_NE(image.Create(5, 3, 24, 0), nullptr);
    // 16-bit rows of ((5 + 1) / 2) * 4 bytes, written over the image's own rows.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint16_t p = uint16_t((x << 10) | (y << 5) | (x + y));
            image.Rows()[y * 12 + 2 * x] = uint8_t(p);
            image.Rows()[y * 12 + 2 * x + 1] = uint8_t(p >> 8);
        }
    image.ExpandBitfields(image.Rows(), 0x7C00, 0x3E0, 0x1F, 16);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(image.PixelColor(x, y, false), CxRgb(uint8_t(x << 3), uint8_t(y << 3), uint8_t((x + y) << 3)));
}

TEST(CxImageArrays, FromArrayDepthsAndFlip)
{
    const uint8_t bgra[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    CxImage image;
    ASSERT_TRUE(image.FromArray(bgra, 2, 2, 32, 8, true));
    EXPECT_EQ(image.BitDepth(), 24u);
    // Source row 0 is the top row.
    EXPECT_EQ(image.PixelColor(0, 1, false), CxRgb(3, 2, 1));
    EXPECT_EQ(image.AlphaGet(1, 0), 16);
    ASSERT_TRUE(image.FromArray(bgra, 4, 2, 8, 8, false));
    EXPECT_TRUE(image.IsGrayRamp());
    EXPECT_EQ(image.PixelIndex(3, 1), 12);
    EXPECT_FALSE(image.FromArray(bgra, 2, 2, 16, 4, false));
    EXPECT_FALSE(image.FromArray(nullptr, 2, 2, 8, 4, false));
}

TEST(CxImageArrays, CopyAndTakeOver)
{
    CxImage source;
    MakePicture(source, 8);
    source.AlphaCreate();
    source.AlphaSet(1, 1, 5);
    source.SetTransparentIndex(7);
    CxImage copy;
    ASSERT_TRUE(copy.CopyFrom(source, true, true));
    EXPECT_EQ(copy.PixelIndex(3, 2), source.PixelIndex(3, 2));
    EXPECT_EQ(copy.AlphaGet(1, 1), 5);
    EXPECT_EQ(copy.TransparentIndex(), 7);
    CxImage shell;
    ASSERT_TRUE(shell.CopyFrom(source, false, false));
    EXPECT_EQ(shell.PaletteEntry(9), source.PaletteEntry(9));
    EXPECT_EQ(shell.PixelIndex(3, 2), 0);
    EXPECT_FALSE(shell.HasAlpha());
    CxImage target;
    target.TakeOver(copy, true);
    EXPECT_TRUE(target.HasPixels());
    EXPECT_FALSE(copy.HasPixels());
    EXPECT_EQ(copy.Width(), 0u);
    EXPECT_EQ(target.AlphaGet(1, 1), 5);
}

TEST(CxImageAlpha, PlaneOperations)
{
    CxImage image;
    EXPECT_FALSE(image.AlphaCreate());
    ASSERT_NE(image.Create(3, 2, 24, 0), nullptr);
    EXPECT_EQ(image.AlphaGet(0, 0), 0);
    image.AlphaSet(0, 0, 3); // no plane: ignored
    ASSERT_TRUE(image.AlphaCreate());
    EXPECT_EQ(image.AlphaGet(2, 1), 255);
    image.AlphaSet(2, 1, 10);
    image.AlphaSet(3, 1, 10); // outside: ignored
    image.AlphaInvert();
    EXPECT_EQ(image.AlphaGet(2, 1), 245);
    EXPECT_EQ(image.AlphaGet(0, 0), 0);
    image.AlphaMirror();
    EXPECT_EQ(image.AlphaGet(0, 1), 245);
    image.AlphaFlip();
    EXPECT_EQ(image.AlphaGet(0, 0), 245);
    EXPECT_EQ(image.PixelColor(0, 0, true).rgbReserved, 245);
    CxImage other;
    ASSERT_NE(other.Create(3, 3, 24, 0), nullptr);
    EXPECT_FALSE(other.AlphaCopy(image)); // different size
    image.AlphaDelete();
    EXPECT_FALSE(image.HasAlpha());
}

TEST(CxImageDecode, StreamErrorsAndFormatIndex)
{
    CxImage image;
    EXPECT_FALSE(image.DecodeStream(nullptr, 0));
    EXPECT_STREQ(image.LastError(), "null file handler");

    const Bytes junk = {'j', 'u', 'n', 'k', 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0,
                        1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    CxMemFile file(junk);
    file.Seek(3, SEEK_SET);
    ASSERT_NE(image.Create(2, 2, 8, 0), nullptr);
    EXPECT_FALSE(image.DecodeStream(&file, 0));
    EXPECT_FALSE(image.HasPixels()); // a failed read leaves the image empty
    EXPECT_STREQ(image.LastError(), "Decode: Unknown or wrong format");
    EXPECT_EQ(file.Tell(), 3); // back where the read began
    EXPECT_FALSE(image.DecodeStream(&file, 3)); // not a supported id
    EXPECT_STREQ(image.LastError(), "Decode: Unknown or wrong format");

    const uint32_t supported[] = {1, 2, 5, 7, 8, 9, 10, 18, 20};
    for (uint32_t i = 0; i < 9; ++i)
        EXPECT_EQ(CxImage::FormatIndex(supported[i]), i + 1);
    for (uint32_t id : {0u, 3u, 4u, 6u, 11u, 19u, 21u})
        EXPECT_EQ(CxImage::FormatIndex(id), 0u);
}

namespace {

std::string WriteTemp(const char* name, const Bytes& bytes)
{
    const std::string path = std::string("cximage_test_") + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

} // namespace

TEST(CxImageDecode, LoadFromPathRetriesWithEveryReader)
{
    cxfix::BmpSpec s;
    s.width = 2;
    s.height = 1;
    s.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
    const std::string bmp = WriteTemp("bmp_as.gif", cxfix::Bmp(s));
    CxImage image;
    ASSERT_TRUE(image.LoadFromPath(bmp.c_str(), CXIMAGE_FORMAT_GIF));
    EXPECT_EQ(image.FormatId(), uint32_t(CXIMAGE_FORMAT_BMP));
    EXPECT_EQ(image.PixelColor(1, 0, false), CxRgb(6, 5, 4));

    Bytes junk(64, 0x77);
    const std::string unknown = WriteTemp("junk.gif", junk);
    CxImage fresh;
    EXPECT_FALSE(fresh.LoadFromPath(unknown.c_str(), CXIMAGE_FORMAT_GIF));
    EXPECT_STREQ(fresh.LastError(), ""); // the GIF reader's (empty) text is put back
    EXPECT_FALSE(fresh.LoadFromPath(unknown.c_str(), 0));
    EXPECT_STREQ(fresh.LastError(), "Decode: Unknown or wrong format");

    CxImage missing;
    missing.Create(0, 1, 8, 0); // leaves a text behind
    EXPECT_FALSE(missing.LoadFromPath("cximage_test_no_such_file.gif", CXIMAGE_FORMAT_GIF));
    EXPECT_STREQ(missing.LastError(), "CxImage::Create : width and height must be greater than zero");

    FILE* stream = std::fopen(bmp.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    CxImage fromStream;
    EXPECT_TRUE(fromStream.DecodeFile(stream, 0));
    std::fclose(stream);

    std::remove(bmp.c_str());
    std::remove(unknown.c_str());
}

TEST(CxIOFileTest, WithoutStream)
{
    CxIOFile file;
    uint8_t b;
    EXPECT_EQ(file.Read(&b, 1, 1), 0u);
    EXPECT_EQ(file.Write(&b, 1, 1), 0u);
    EXPECT_FALSE(file.Seek(0, SEEK_SET));
    EXPECT_EQ(file.Tell(), 0);
    EXPECT_EQ(file.Size(), -1);
    EXPECT_FALSE(file.Flush());
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.Error(), -1);
    EXPECT_FALSE(file.PutC(1));
    EXPECT_EQ(file.GetC(), -1);
    char line[4];
    EXPECT_EQ(file.GetS(line, 4), nullptr);
}
