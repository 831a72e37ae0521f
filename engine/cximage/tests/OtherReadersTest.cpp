#include <gtest/gtest.h>

#include <cmath>

#include "CxImageWMF.h"
#include "TestUtil.h"

using cxfix::Bytes;

namespace {

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct ErrorCase {
    const char* what;
    Bytes bytes;
    const char* error;
};

void ExpectErrors(const std::vector<ErrorCase>& cases, uint32_t formatId)
{
    for (const ErrorCase& c : cases) {
        CxImage image;
        EXPECT_FALSE(DecodeBytes(image, c.bytes, formatId)) << c.what;
        EXPECT_STREQ(image.LastError(), c.error) << c.what;
        EXPECT_FALSE(image.HasPixels()) << c.what;
    }
}

} // namespace

// TGA ----------------------------------------------------------------------

TEST(CxImageTGA, SixteenBitPixel)
{
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, Concat(cxfix::TgaHeader(2, 2, 1, 16, 0), {0xFF, 0x7F, 0x1F, 0x00}), 7));
    EXPECT_EQ(image.BitDepth(), 24u);
    EXPECT_EQ(image.PixelColor(0, 0, false), CxRgb(248, 248, 248));
    EXPECT_EQ(image.PixelColor(1, 0, false), CxRgb(0, 0, 248));
    EXPECT_EQ(image.FormatId(), uint32_t(CXIMAGE_FORMAT_TGA));
}

TEST(CxImageTGA, RunLengthAcrossRowsEqualsRaw)
{
    for (int depth : {24, 32}) {
        const int bytes = depth / 8;
        auto pixel = [bytes](uint8_t v) {
            Bytes p = {v, uint8_t(v + 1), uint8_t(v + 2)};
            if (bytes == 4)
                p.push_back(uint8_t(v + 3));
            return p;
        };
        // 3 x 3: A A A / A B C / D E F, written as a run of 4 (crossing the first
        // row's end) and a literal of 5 (crossing the second).
        Bytes raw, rle;
        const uint8_t values[9] = {10, 10, 10, 10, 40, 70, 100, 130, 160};
        for (uint8_t v : values)
            raw = Concat(raw, pixel(v));
        rle.push_back(0x80 | 3);
        rle = Concat(rle, pixel(10));
        rle.push_back(4);
        for (int i = 4; i < 9; ++i)
            rle = Concat(rle, pixel(values[i]));
        CxImage a, b;
        ASSERT_TRUE(DecodeBytes(a, Concat(cxfix::TgaHeader(2, 3, 3, depth, 0), raw), 7));
        ASSERT_TRUE(DecodeBytes(b, Concat(cxfix::TgaHeader(10, 3, 3, depth, 0), rle), 7)) << b.LastError();
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                ASSERT_EQ(a.PixelColor(x, y, true), b.PixelColor(x, y, true)) << depth << ": " << x << "," << y;
                ASSERT_EQ(a.PixelColor(x, y, false), CxRgb(uint8_t(values[y * 3 + x] + 2), uint8_t(values[y * 3 + x] + 1),
                                                           values[y * 3 + x]));
            }
        EXPECT_EQ(b.HasAlpha(), depth == 32);
        if (depth == 32) {
            EXPECT_EQ(b.AlphaGet(1, 1), 43);
        }
    }
}

// A 24-bit picture, 3 x 3, written as a bottom-up BMP and as TGA files with
// either origin, plain and run-length encoded: every one decodes to the BMP's
// pixels (common tools write the bottom-left origin, descriptor 0x00).
TEST(CxImageTGA, BothOriginsPlainAndRunLengthEqualTheBmp)
{
    const int w = 3, h = 3;
    // Colours by row from the top: red, green, then a row of three colours.
    auto colourAt = [](int x, int yFromTop) -> Bytes {
        if (yFromTop == 0) return {0, 0, 255};
        if (yFromTop == 1) return {0, 255, 0};
        return {uint8_t(40 * x), uint8_t(100 + x), uint8_t(200 - x)};
    };
    Bytes bottomUp, topDown;
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) { Bytes c = colourAt(x, y); bottomUp.insert(bottomUp.end(), c.begin(), c.end()); }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) { Bytes c = colourAt(x, y); topDown.insert(topDown.end(), c.begin(), c.end()); }
    // Run-length rows: one raw packet per row, so each row stands alone.
    auto rle = [&](const Bytes& rows) {
        Bytes out;
        for (int y = 0; y < h; ++y) {
            out.push_back(uint8_t(w - 1));
            out.insert(out.end(), rows.begin() + y * w * 3, rows.begin() + (y + 1) * w * 3);
        }
        return out;
    };
    cxfix::BmpSpec spec;
    spec.width = w;
    spec.height = h;
    spec.pixels = cxfix::PadRows(bottomUp, w, 24, h);
    CxImage bmp;
    ASSERT_TRUE(DecodeBytes(bmp, cxfix::Bmp(spec), 1));

    const struct { const char* what; Bytes file; } cases[] = {
        {"plain, bottom-left origin", Concat(cxfix::TgaHeader(2, w, h, 24, 0x00), bottomUp)},
        {"plain, top-left origin", Concat(cxfix::TgaHeader(2, w, h, 24, 0x20), topDown)},
        {"run-length, bottom-left origin", Concat(cxfix::TgaHeader(10, w, h, 24, 0x00), rle(bottomUp))},
        {"run-length, top-left origin", Concat(cxfix::TgaHeader(10, w, h, 24, 0x20), rle(topDown))},
    };
    for (const auto& c : cases) {
        CxImage tga;
        ASSERT_TRUE(DecodeBytes(tga, c.file, 7)) << c.what << ": " << tga.LastError();
        ASSERT_EQ(tga.Width(), uint32_t(w)) << c.what;
        ASSERT_EQ(tga.Height(), uint32_t(h)) << c.what;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                EXPECT_EQ(tga.PixelColor(x, y, false), bmp.PixelColor(x, y, false)) << c.what << " at " << x << "," << y;
    }
}

TEST(CxImageTGA, OrientationBits)
{
    const Bytes rows = {1, 2, 3, 4, 5, 6}; // 8-bit grey, 3 x 2, first file row first
    CxImage bottomFirst, topFirst, mirrored;
    ASSERT_TRUE(DecodeBytes(bottomFirst, Concat(cxfix::TgaHeader(3, 3, 2, 8, 0), rows), 7));
    ASSERT_TRUE(DecodeBytes(topFirst, Concat(cxfix::TgaHeader(3, 3, 2, 8, 0x20), rows), 7));
    ASSERT_TRUE(DecodeBytes(mirrored, Concat(cxfix::TgaHeader(3, 3, 2, 8, 0x10), rows), 7));
    EXPECT_EQ(bottomFirst.PixelIndex(0, 0), 1);
    EXPECT_EQ(topFirst.PixelIndex(0, 1), 1);
    EXPECT_EQ(mirrored.PixelIndex(2, 0), 1);
    EXPECT_TRUE(bottomFirst.IsGrayRamp());

    // 32 bits top first: the alpha plane follows the rows.
    const Bytes bgra = {1, 1, 1, 10, 2, 2, 2, 20};
    CxImage alpha;
    ASSERT_TRUE(DecodeBytes(alpha, Concat(cxfix::TgaHeader(2, 1, 2, 32, 0x20), bgra), 7));
    EXPECT_EQ(alpha.PixelColor(0, 1, false), CxRgb(1, 1, 1));
    EXPECT_EQ(alpha.AlphaGet(0, 1), 10);
    EXPECT_EQ(alpha.AlphaGet(0, 0), 20);
}

TEST(CxImageTGA, ColourMaps)
{
    for (int mapBits : {24, 32, 16}) {
        Bytes map;
        for (int i = 0; i < 3; ++i) {
            if (mapBits == 16) {
                const uint16_t c = uint16_t(i == 1 ? 0x7C00 : i == 2 ? 0x001F : 0x03E0);
                map.push_back(uint8_t(c));
                map.push_back(uint8_t(c >> 8));
                continue;
            }
            map.push_back(uint8_t(10 * i)); // blue
            map.push_back(uint8_t(20 * i));
            map.push_back(uint8_t(30 * i));
            if (mapBits == 32)
                map.push_back(255);
        }
        Bytes file = Concat(cxfix::TgaHeader(1, 3, 1, 8, 0, 3, mapBits), map);
        file = Concat(file, {2, 1, 0});
        CxImage image;
        ASSERT_TRUE(DecodeBytes(image, file, 7)) << mapBits;
        if (mapBits == 16) {
            EXPECT_EQ(image.PixelColor(1, 0, false), CxRgb(248, 0, 0));
            EXPECT_EQ(image.PixelColor(0, 0, false), CxRgb(0, 0, 248));
        } else {
            EXPECT_EQ(image.PixelColor(0, 0, false), CxRgb(60, 40, 20)) << mapBits;
            EXPECT_EQ(image.PixelColor(1, 0, false), CxRgb(30, 20, 10));
        }
    }
}

TEST(CxImageTGA, ErrorTexts)
{
    ExpectErrors({
                     {"short header", {0, 0, 2, 0, 0}, "Not a TGA"},
                     {"type 4", cxfix::TgaHeader(4, 2, 2, 24, 0), "Unknown TGA image type"},
                     {"zero width", cxfix::TgaHeader(2, 0, 2, 24, 0), "bad TGA header"},
                     {"depth 12", cxfix::TgaHeader(2, 2, 2, 12, 0), "bad TGA header"},
                     {"map of 300", cxfix::TgaHeader(1, 2, 2, 8, 0, 300), "bad TGA header"},
                     {"huge", cxfix::TgaHeader(2, 65535, 65535, 24, 0), "TGA Create failed"},
                     {"short rows", Concat(cxfix::TgaHeader(2, 2, 2, 24, 0), Bytes(11, 1)), "corrupted TGA"},
                     {"short run", Concat(cxfix::TgaHeader(10, 2, 2, 24, 0), {0x81, 1, 2, 3, 0x80, 1}),
                      "corrupted TGA"},
                 },
                 7);
}

// PCX ----------------------------------------------------------------------

TEST(CxImagePCX, EightBitWithPalette)
{
    cxfix::Bytes file;
    for (const auto& f : cxfix::AllFixtures())
        if (f.name == "indexed.pcx")
            file = f.bytes;
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, file, 8)) << image.LastError();
    EXPECT_EQ(image.BitDepth(), 8u);
    EXPECT_EQ(image.Width(), 4u);
    EXPECT_EQ(IndexAt(image, 3, 0), 3);
    EXPECT_EQ(IndexAt(image, 0, 1), 3);
    EXPECT_EQ(IndexAt(image, 1, 0), 1);
    EXPECT_EQ(image.PaletteEntry(2), CxRgb(2, 253, 1));
    EXPECT_EQ(image.XDpi(), 72);
}

TEST(CxImagePCX, PlaneLayouts)
{
    // 3 x 1 pictures; bytes per line 4 (one padding byte a plane).
    struct Case {
        const char* what;
        int bits, planes, bytesPerLine;
        Bytes raw;
        uint32_t depth;
        std::vector<uint32_t> rgb; // expected colours of the three pixels
    } cases[] = {
        {"rgb", 8, 3, 4, {10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0}, 24, {0x0A2846, 0x143250, 0x1E3C5A}},
        {"black and white", 1, 1, 2, {0xA0, 0}, 1, {0xFFFFFF, 0, 0xFFFFFF}},
        {"four bit planes", 1, 4, 2, {0x80, 0, 0x40, 0, 0x20, 0, 0xE0, 0}, 4, {}},
        {"packed nibbles", 4, 1, 2, {0x12, 0x30}, 4, {}},
        {"packed pairs", 2, 1, 1, {0x1B}, 4, {}},
    };
    for (const Case& c : cases) {
        CxImage image;
        ASSERT_TRUE(DecodeBytes(image, cxfix::Pcx(c.bits, c.planes, 3, 1, cxfix::PcxEncode(c.raw), c.bytesPerLine), 8))
            << c.what << ": " << image.LastError();
        EXPECT_EQ(image.BitDepth(), c.depth) << c.what;
        for (size_t x = 0; x < c.rgb.size(); ++x)
            EXPECT_EQ(RgbAt(image, int(x), 0), c.rgb[x]) << c.what << " pixel " << x;
    }
    // Four bit planes: pixel 0 = plane 0 and 3, pixel 1 = planes 1 and 3, pixel 2 = planes 2 and 3.
    CxImage planes;
    ASSERT_TRUE(DecodeBytes(planes, cxfix::Pcx(1, 4, 3, 1, cxfix::PcxEncode(cases[2].raw), 2), 8));
    EXPECT_EQ(planes.PixelIndex(0, 0), 9);
    EXPECT_EQ(planes.PixelIndex(1, 0), 10);
    EXPECT_EQ(planes.PixelIndex(2, 0), 12);
    EXPECT_EQ(planes.PaletteEntry(9), CxRgb(144, 72, 111)); // header palette
    CxImage nibbles;
    ASSERT_TRUE(DecodeBytes(nibbles, cxfix::Pcx(4, 1, 3, 1, cxfix::PcxEncode(cases[3].raw), 2), 8));
    EXPECT_EQ(nibbles.PixelIndex(0, 0), 1);
    EXPECT_EQ(nibbles.PixelIndex(2, 0), 3);
    CxImage pairs;
    ASSERT_TRUE(DecodeBytes(pairs, cxfix::Pcx(2, 1, 3, 1, cxfix::PcxEncode(cases[4].raw), 1), 8));
    EXPECT_EQ(pairs.PixelIndex(0, 0), 0);
    EXPECT_EQ(pairs.PixelIndex(1, 0), 1);
    EXPECT_EQ(pairs.PixelIndex(2, 0), 2);
    // Four planes of 8 bits: alpha from the fourth.
    CxImage alpha;
    ASSERT_TRUE(DecodeBytes(alpha, cxfix::Pcx(8, 4, 1, 1, cxfix::PcxEncode({1, 2, 3, 77}), 1), 8));
    EXPECT_EQ(alpha.AlphaGet(0, 0), 77);
    EXPECT_EQ(alpha.PixelColor(0, 0, false), CxRgb(1, 2, 3));
}

TEST(CxImagePCX, ErrorTexts)
{
    Bytes good = cxfix::Pcx(8, 1, 2, 1, cxfix::PcxEncode({1, 2}), 2);
    Bytes badManufacturer = good, badEncoding = good, fivePlanes = good, badMarker = good;
    badManufacturer[0] = 11;
    badEncoding[2] = 0;
    fivePlanes[65] = 5;
    badMarker.push_back(13);
    badMarker.resize(badMarker.size() + 768, 0);
    Bytes shortPalette = good;
    shortPalette.push_back(12);
    shortPalette.resize(shortPalette.size() + 100, 0);
    ExpectErrors({
                     {"short header", Bytes(100, 10), "Can't read PCX image"},
                     {"manufacturer", badManufacturer, "Error: Not a PCX file"},
                     {"encoding", badEncoding, "PCX file has unknown encoding scheme"},
                     {"five planes", fivePlanes, "Can't handle image with more than 4 planes"},
                     {"run past the end", cxfix::Pcx(8, 1, 2, 1, {0xC5, 1}, 2), "repeat count spans end of image"},
                     {"data cut short", cxfix::Pcx(8, 1, 2, 1, {1}, 2), "corrupted PCX"},
                     {"palette marker", badMarker, "bad color map signature"},
                     {"palette cut short", shortPalette, "corrupted PCX"},
                     {"packed planes", cxfix::Pcx(2, 2, 2, 1, {1, 1}, 1),
                      "PCX_UnpackPixels: Can't handle packed pixels with more than 1 plane"},
                     {"byte planes", cxfix::Pcx(8, 2, 2, 1, {1, 1, 1, 1}, 2),
                      "PCX_PlanesToPixels: more than 4 planes or more than 1 bit per pixel"},
                 },
                 8);
}

// WBMP and SKA -------------------------------------------------------------

TEST(CxImageWBMP, RowsAndTexts)
{
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, cxfix::Wbmp(10, 2, {0xF0, 0x40, 0x0F, 0xC0}), 9));
    EXPECT_EQ(image.BitDepth(), 1u);
    EXPECT_EQ(RgbAt(image, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(RgbAt(image, 4, 0), 0u);
    EXPECT_EQ(RgbAt(image, 9, 0), 0xFFFFFFu);
    EXPECT_EQ(RgbAt(image, 4, 1), 0xFFFFFFu);
    EXPECT_EQ(RgbAt(image, 8, 1), 0xFFFFFFu);
    EXPECT_EQ(RgbAt(image, 0, 1), 0u);
    // Multi-byte sizes.
    CxImage wide;
    ASSERT_TRUE(DecodeBytes(wide, cxfix::Wbmp(200, 1, Bytes(25, 0xFF)), 9));
    EXPECT_EQ(wide.Width(), 200u);

    ExpectErrors({
                     {"no sizes", {0, 0, 5}, "Not a WBMP"},
                     {"type 1", {1, 0, 2, 2, 0, 0}, "Unsupported WBMP type"},
                     {"zero width", {0, 0, 0, 2, 0, 0}, "Corrupted WBMP"},
                     {"rows cut short", cxfix::Wbmp(10, 2, {0xF0, 0x40, 0x0F}), "Corrupted WBMP"},
                     {"huge", cxfix::Wbmp(100000, 100000, {}), "WBMP Create failed"},
                 },
                 9);
}

TEST(CxImageSKA, PaletteAndRows)
{
    const Bytes palette = cxfix::ColourTable({0xFF0000, 0x00FF00, 0x0000FF}, 3);
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, cxfix::Ska(3, 2, palette, {0, 1, 2, 2, 1, 0}), 18));
    EXPECT_EQ(image.FormatId(), uint32_t(CXIMAGE_FORMAT_SKA));
    EXPECT_EQ(RgbAt(image, 0, 0), 0xFF0000u); // first row in the file is the top row
    EXPECT_EQ(RgbAt(image, 2, 0), 0x0000FFu);
    EXPECT_EQ(RgbAt(image, 0, 1), 0x0000FFu);

    Bytes badDepth = cxfix::Ska(3, 2, palette, {0, 1, 2, 2, 1, 0});
    badDepth[4] = 4;
    Bytes highBit = badDepth;
    highBit[4] = 3;
    highBit[1] = 0x80;
    for (const Bytes& b : {badDepth, highBit, cxfix::Ska(3, 2, palette, {0, 1, 2})}) {
        CxImage bad;
        bad.Create(0, 0, 8, 0);
        EXPECT_FALSE(DecodeBytes(bad, b, 18));
        // No text of its own: the one before stays.
        EXPECT_STREQ(bad.LastError(), "CxImage::Create : width and height must be greater than zero");
    }
}

// PSD ----------------------------------------------------------------------

namespace {

cxfix::PsdSpec PsdOf(int mode, std::vector<Bytes> planes, bool packBits = false)
{
    cxfix::PsdSpec s;
    s.mode = mode;
    s.rows = 1;
    s.columns = int(planes[0].size());
    s.channels = int(planes.size());
    s.planes = planes;
    s.packBits = packBits;
    return s;
}

} // namespace

TEST(CxImagePSD, ColourModes)
{
    struct Case {
        const char* what;
        cxfix::PsdSpec spec;
        uint32_t rgb;       // of pixel 0
        int alpha;          // of pixel 0, -1: no plane
    };
    cxfix::PsdSpec indexed = PsdOf(2, {{2}});
    indexed.modeData = Bytes(768, 0);
    indexed.modeData[2] = 0x11;
    indexed.modeData[256 + 2] = 0x22;
    indexed.modeData[512 + 2] = 0x33;
    cxfix::PsdSpec sixteen = PsdOf(3, {{0x12, 0x99}, {0x34, 0x99}, {0x56, 0x99}});
    sixteen.columns = 1;
    sixteen.depth = 16;
    Case cases[] = {
        {"rgb", PsdOf(3, {{10}, {20}, {30}}), 0x0A141E, -1},
        {"rgb packed", PsdOf(3, {{10, 10}, {20, 20}, {30, 30}}, true), 0x0A141E, -1},
        {"rgba", PsdOf(3, {{10}, {20}, {30}, {40}}, true), 0x0A141E, 40},
        {"grey", PsdOf(1, {{77}}), 0x4D4D4D, -1},
        {"grey and alpha", PsdOf(1, {{77}, {9}}), 0x4D4D4D, 9},
        {"duotone", PsdOf(8, {{200}}), 0xC8C8C8, -1},
        {"indexed", indexed, 0x112233, -1},
        {"cmyk", PsdOf(4, {{255}, {0}, {255}, {255}}), 0xFD00FD, -1},
        {"cmyk and alpha", PsdOf(4, {{255}, {255}, {255}, {255}, {5}}), 0xFDFDFD, 5},
        {"multichannel", PsdOf(7, {{0}, {255}}), 0x00FEFF, -1},
        {"lab black", PsdOf(9, {{0}, {128}, {128}}), 0x000000, -1},
        {"16-bit samples", sixteen, 0x123456, -1},
    };
    for (const Case& c : cases) {
        CxImage image;
        ASSERT_TRUE(DecodeBytes(image, cxfix::Psd(c.spec), 20)) << c.what << ": " << image.LastError();
        ASSERT_TRUE(image.HasPixels()) << c.what;
        EXPECT_EQ(image.FormatId(), uint32_t(CXIMAGE_FORMAT_PSD));
        EXPECT_EQ(RgbAt(image, 0, 0), c.rgb) << c.what;
        EXPECT_EQ(image.HasAlpha(), c.alpha >= 0) << c.what;
        if (c.alpha >= 0) {
            EXPECT_EQ(AlphaAt(image, 0, 0), c.alpha) << c.what;
        }
        EXPECT_EQ(image.XDpi(), 96);
    }
    // Lab white: L 100, a and b neutral.
    CxImage white;
    ASSERT_TRUE(DecodeBytes(white, cxfix::Psd(PsdOf(9, {{255}, {128}, {128}})), 20));
    const CxRgbQuad w = white.PixelColor(0, 0, false);
    EXPECT_GE(w.rgbRed, 250);
    EXPECT_NEAR(w.rgbRed, w.rgbGreen, 2);
    EXPECT_NEAR(w.rgbBlue, w.rgbGreen, 2);
}

TEST(CxImagePSD, RowsTopFirstAndResolution)
{
    cxfix::Bytes file;
    for (const auto& f : cxfix::AllFixtures())
        if (f.name == "rgb.psd")
            file = f.bytes;
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, file, 20)) << image.LastError();
    EXPECT_EQ(image.Width(), 3u);
    EXPECT_EQ(image.Height(), 2u);
    EXPECT_EQ(RgbAt(image, 0, 0), 0x0A01C8u);
    EXPECT_EQ(RgbAt(image, 2, 1), 0x3C0264u);
    EXPECT_EQ(image.XDpi(), 72);
    EXPECT_EQ(image.YDpi(), 72);
}

TEST(CxImagePSD, ResourceWalk)
{
    cxfix::PsdSpec s = PsdOf(3, {{1}, {2}, {3}});
    // Stray bytes before a block are passed over four at a time; odd sizes padded.
    s.resources = Concat(Bytes{'x', 'x', 'x', 'x'}, cxfix::PsdResource(4000, {1, 2, 3}));
    s.resources = Concat(s.resources, cxfix::PsdResource(1034, {0, 1}));
    s.resources = Concat(s.resources, cxfix::PsdResource(1036, Bytes(30, 0)));
    s.resources = Concat(s.resources, cxfix::PsdResource(1033, Bytes(28, 0)));
    CxImage image;
    EXPECT_TRUE(DecodeBytes(image, cxfix::Psd(s), 20)) << image.LastError();

    // Indexed needs its colour table, and no colour count of 0.
    cxfix::PsdSpec noTable = PsdOf(2, {{1}});
    cxfix::PsdSpec zeroCount = PsdOf(2, {{1}});
    zeroCount.modeData = Bytes(768, 0);
    zeroCount.resources = cxfix::PsdResource(1046, {0, 0});
    cxfix::PsdSpec someCount = zeroCount;
    someCount.resources = cxfix::PsdResource(1046, {0, 5});
    CxImage ok;
    EXPECT_TRUE(DecodeBytes(ok, cxfix::Psd(someCount), 20)) << ok.LastError();

    cxfix::PsdSpec shortThumb = PsdOf(3, {{1}, {2}, {3}});
    shortThumb.resources = cxfix::PsdResource(1036, Bytes(10, 0));
    cxfix::PsdSpec badLength = PsdOf(3, {{1}, {2}, {3}});
    badLength.resources = Bytes{'a', 'b'}; // walk cannot end exactly at the length
    cxfix::PsdSpec bitmap = PsdOf(0, {{1}});
    bitmap.depth = 1;
    cxfix::PsdSpec cmykShort = PsdOf(4, {{1}, {2}, {3}});
    Bytes rle = cxfix::Psd(PsdOf(3, {{1, 1}, {2, 2}, {3, 3}}, true));
    Bytes compression2 = cxfix::Psd(PsdOf(3, {{1}, {2}, {3}}));
    compression2[compression2.size() - 4] = 2;
    // PackBits whose run passes the channel's end: the first row's run claims 4 bytes of 2.
    Bytes overrun = rle;
    const size_t data = overrun.size() - 6; // three rows of (-1, value)
    overrun[data] = uint8_t(257 - 4);
    ExpectErrors({
                     {"no colour table", cxfix::Psd(noTable), "error loading PSD file"},
                     {"colour count 0", cxfix::Psd(zeroCount), "error loading PSD file"},
                     {"short thumbnail", cxfix::Psd(shortThumb), "error loading PSD file"},
                     {"resource length", cxfix::Psd(badLength), "error loading PSD file"},
                     {"bitmap mode", cxfix::Psd(bitmap), "error loading PSD file"},
                     {"cmyk of three", cxfix::Psd(cmykShort), "error loading PSD file"},
                     {"compression 2", compression2, "error loading PSD file"},
                     {"packbits overrun", overrun, "error loading PSD file"},
                     {"signature", Bytes{'8', 'B', 'P', 'X', 0, 1}, "error loading PSD file"},
                 },
                 20);

    // Bitmap mode with 8-bit samples reads but yields no pixels.
    cxfix::PsdSpec bitmap8 = PsdOf(0, {{1}});
    CxImage empty;
    EXPECT_TRUE(DecodeBytes(empty, cxfix::Psd(bitmap8), 20));
    EXPECT_FALSE(empty.HasPixels());
}

// WMF headers (the rendering itself is tested under Windows) ----------------

TEST(CxImageWMF, HeaderTexts)
{
    Bytes badSum = cxfix::PlaceableWmf(100, 50, 96, 0);
    badSum[20] ^= 1;
    Bytes emptyPlaceable = cxfix::PlaceableWmf(0, 50, 96, 0);
    Bytes badInch = cxfix::PlaceableWmf(100, 50, 3000, 0);
    ExpectErrors({
                     {"nothing", Bytes(200, 0), "corrupted WMF"},
                     {"checksum", badSum, "corrupted WMF"},
                     {"units per inch", badInch, "corrupted WMF"},
                     {"empty placeable", emptyPlaceable, "empty WMF"},
                     {"empty enhanced", cxfix::Emf(10, 10, 10, 40), "empty WMF"},
                 },
                 10);
}

// Record chains that GDI must never be handed: a record of length 0 (played
// forever) and an object index outside the metafile's table.
TEST(CxImageWMF, BrokenRecordChainsAreRefused)
{
    Bytes zeroHeader = cxfix::Emf(0, 0, 30, 20);
    zeroHeader[4] = zeroHeader[5] = zeroHeader[6] = zeroHeader[7] = 0;
    Bytes zeroEof = cxfix::Emf(0, 0, 30, 20);
    zeroEof[108 + 4] = 0;
    Bytes longEof = cxfix::Emf(0, 0, 30, 20);
    longEof[108 + 4] = 24;
    Bytes farObject = cxfix::PlaceableWmf(100, 50, 96, 0);
    Bytes zeroRecord = farObject;
    bool patched = false;
    for (size_t at = 22 + 18; at + 8 <= farObject.size();) {
        const size_t words = farObject[at] | (farObject[at + 1] << 8);
        if (farObject[at + 4] == 0x2D && farObject[at + 5] == 0x01) { // SelectObject
            farObject[at + 7] = 0x7D;
            zeroRecord[at] = 0;
            patched = true;
            break;
        }
        ASSERT_GE(words, 3u);
        at += words * 2;
    }
    ASSERT_TRUE(patched);
    ExpectErrors({
                     {"header of length 0", zeroHeader, "corrupted WMF"},
                     {"end record of length 0", zeroEof, "corrupted WMF"},
                     {"end record past the bytes", longEof, "corrupted WMF"},
                     {"object outside the table", farObject, "corrupted WMF"},
                     {"record of length 0", zeroRecord, "corrupted WMF"},
                 },
                 10);
}

TEST(CxImageWMF, SizeLimit)
{
    struct Case {
        int64_t w, h, limitedW, limitedH;
    } cases[] = {{8000, 2000, 4000, 1000}, {2000, 8000, 1000, 4000}, {4000, 4000, 4000, 4000},
                 {4001, 1, 4000, 1},       {3000, 100, 3000, 100},   {100000, 3, 4000, 1}};
    for (const Case& c : cases) {
        int64_t w = c.w, h = c.h;
        CxImageWMF::LimitSize(w, h);
        EXPECT_EQ(w, c.limitedW);
        EXPECT_EQ(h, c.limitedH);
    }
}
