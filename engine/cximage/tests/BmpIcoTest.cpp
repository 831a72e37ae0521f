#include <gtest/gtest.h>

#include "TestUtil.h"

using cxfix::Bmp;
using cxfix::BmpSpec;
using cxfix::Bytes;
using cxfix::PadRows;

namespace {

Bytes Quads(const std::vector<uint32_t>& colours)
{
    Bytes b;
    for (uint32_t c : colours) {
        b.push_back(uint8_t(c));
        b.push_back(uint8_t(c >> 8));
        b.push_back(uint8_t(c >> 16));
        b.push_back(0x5A); // reserved byte, cleared on reading
    }
    return b;
}

// A 5 x 3 picture: index (x + 2y) mod entries, rows stored bottom first.
BmpSpec Indexed(uint16_t bits)
{
    BmpSpec s;
    s.width = 5;
    s.height = 3;
    s.bits = bits;
    const int entries = 1 << bits;
    std::vector<uint32_t> colours;
    for (int i = 0; i < entries; ++i)
        colours.push_back(uint32_t(i * 0x0A0B0C));
    s.palette = Quads(colours);
    Bytes packed;
    const size_t rowBytes = (size_t(5) * bits + 7) / 8;
    for (int y = 0; y < 3; ++y) {
        Bytes row(rowBytes, 0);
        for (int x = 0; x < 5; ++x) {
            const uint32_t v = uint32_t((x + 2 * y) % entries);
            const size_t bit = size_t(x) * bits;
            row[bit / 8] |= uint8_t(v << (8 - bits - bit % 8));
        }
        packed.insert(packed.end(), row.begin(), row.end());
    }
    s.pixels = PadRows(packed, 5, bits, 3);
    return s;
}

BmpSpec Rgb24()
{
    BmpSpec s;
    s.width = 3;
    s.height = 2;
    Bytes tight;
    for (int i = 0; i < 6; ++i) {
        tight.push_back(uint8_t(10 * i));
        tight.push_back(uint8_t(10 * i + 1));
        tight.push_back(uint8_t(10 * i + 2));
    }
    s.pixels = PadRows(tight, 3, 24, 2);
    return s;
}

} // namespace

TEST(CxImageBMP, IndexedDepths)
{
    for (uint16_t bits : {1, 4, 8}) {
        CxImage image;
        ASSERT_TRUE(DecodeBytes(image, Bmp(Indexed(bits)), CXIMAGE_FORMAT_BMP)) << bits << ": " << image.LastError();
        EXPECT_EQ(image.BitDepth(), bits);
        EXPECT_EQ(image.FormatId(), uint32_t(CXIMAGE_FORMAT_BMP));
        const int entries = 1 << bits;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const int index = (x + 2 * y) % entries;
                ASSERT_EQ(image.PixelIndex(x, y), index) << bits;
                ASSERT_EQ(image.PixelColor(x, y, false), image.PaletteEntry(uint32_t(index)));
            }
        EXPECT_EQ(image.PaletteEntry(1), CxRgb(0x0A, 0x0B, 0x0C, 0));
    }
}

TEST(CxImageBMP, WithoutFileHeaderTopDownAndOs2)
{
    CxImage reference;
    ASSERT_TRUE(DecodeBytes(reference, Bmp(Indexed(8)), CXIMAGE_FORMAT_BMP));

    BmpSpec bare = Indexed(8);
    bare.fileHeader = false;
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, Bmp(bare), CXIMAGE_FORMAT_BMP)) << image.LastError();
    EXPECT_EQ(image.PixelIndex(4, 2), reference.PixelIndex(4, 2));

    // Top row first: the same picture as its bottom-first twin.
    BmpSpec topDown = Indexed(8);
    topDown.height = -3;
    const size_t stride = topDown.pixels.size() / 3;
    Bytes flipped;
    for (int y = 2; y >= 0; --y)
        flipped.insert(flipped.end(), topDown.pixels.begin() + y * stride, topDown.pixels.begin() + (y + 1) * stride);
    topDown.pixels = flipped;
    CxImage top;
    ASSERT_TRUE(DecodeBytes(top, Bmp(topDown), CXIMAGE_FORMAT_BMP));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(top.PixelIndex(x, y), reference.PixelIndex(x, y));

    // OS/2 header: 16-bit sizes and three-byte palette entries.
    BmpSpec os2 = Indexed(4);
    os2.headerSize = 12;
    Bytes triples;
    for (size_t i = 0; i < os2.palette.size(); i += 4)
        triples.insert(triples.end(), os2.palette.begin() + i, os2.palette.begin() + i + 3);
    os2.palette = triples;
    CxImage old;
    ASSERT_TRUE(DecodeBytes(old, Bmp(os2), CXIMAGE_FORMAT_BMP)) << old.LastError();
    EXPECT_EQ(old.PixelIndex(3, 1), 5);
    EXPECT_EQ(old.PaletteEntry(2), CxRgb(0x14, 0x16, 0x18, 0));
}

TEST(CxImageBMP, LargerInfoHeadersAndResolution)
{
    for (uint32_t size : {64u, 108u, 124u}) {
        BmpSpec s = Rgb24();
        s.headerSize = size;
        s.pelsPerMeter = 11811;
        CxImage image;
        ASSERT_TRUE(DecodeBytes(image, Bmp(s), CXIMAGE_FORMAT_BMP)) << size << ": " << image.LastError();
        EXPECT_EQ(image.PixelColor(2, 1, false), CxRgb(52, 51, 50));
        EXPECT_EQ(image.XDpi(), 300);
    }
}

// Pixels per metre at the ends of the 32-bit field: the resolution in dots
// per inch and the header written back stay in range.
TEST(CxImageBMP, ExtremeResolutions)
{
    struct Case {
        int32_t pelsPerMeter, dpi, storedPelsPerMeter;
    } cases[] = {{0x7FFFFFFA, 54546085, INT32_MAX}, {INT32_MAX, 54546085, INT32_MAX}, {INT32_MIN, 96, 3780},
                 {0, 96, 3780}};
    for (const Case& c : cases) {
        BmpSpec s = Rgb24();
        s.pelsPerMeter = c.pelsPerMeter;
        CxImage image;
        ASSERT_TRUE(DecodeBytes(image, Bmp(s), CXIMAGE_FORMAT_BMP)) << c.pelsPerMeter << ": " << image.LastError();
        EXPECT_EQ(image.XDpi(), c.dpi) << c.pelsPerMeter;
        EXPECT_EQ(image.YDpi(), c.dpi) << c.pelsPerMeter;
        EXPECT_EQ(image.Header().biXPelsPerMeter, c.storedPelsPerMeter) << c.pelsPerMeter;
        EXPECT_EQ(image.PixelColor(2, 1, false), CxRgb(52, 51, 50));
    }
}

TEST(CxImageBMP, TrueColourDepths)
{
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, Bmp(Rgb24()), CXIMAGE_FORMAT_BMP));
    EXPECT_EQ(image.PixelColor(0, 0, false), CxRgb(2, 1, 0));
    EXPECT_EQ(image.PixelColor(1, 1, false), CxRgb(42, 41, 40));

    struct Case {
        uint32_t compression;
        uint32_t headerSize;
        Bytes masks;
        uint16_t pixel;
        CxRgbQuad expected;
    } sixteen[] = {
        {0, 40, {}, 0x7FFF, CxRgb(248, 248, 248)},
        {0, 40, {}, 0x001F, CxRgb(0, 0, 248)},
        {3, 40, {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}, 0xF800, CxRgb(248, 0, 0)},
        {3, 40, {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}, 0x07E0, CxRgb(0, 252, 0)},
        // Masks inside a larger header (they follow its first 40 bytes).
        {3, 124, {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}, 0x07E0, CxRgb(0, 252, 0)},
    };
    for (const Case& c : sixteen) {
        BmpSpec s;
        s.width = 3;
        s.height = 2;
        s.bits = 16;
        s.compression = c.compression;
        s.headerSize = c.headerSize;
        s.masks = c.masks;
        for (int i = 0; i < 8; ++i) {
            s.pixels.push_back(uint8_t(c.pixel));
            s.pixels.push_back(uint8_t(c.pixel >> 8));
        }
        if (c.headerSize == 40 && !c.masks.empty()) {
            // With a 40-byte header the masks sit between header and pixels.
        }
        CxImage image16;
        ASSERT_TRUE(DecodeBytes(image16, Bmp(s), CXIMAGE_FORMAT_BMP)) << image16.LastError();
        EXPECT_EQ(image16.BitDepth(), 24u);
        EXPECT_EQ(image16.PixelColor(2, 1, false), c.expected) << c.pixel << " header " << c.headerSize;
    }
}

TEST(CxImageBMP, ThirtyTwoBitAlphaRule)
{
    struct Case {
        Bytes alphas;
        Bytes expected;
        bool plane;
    } cases[] = {
        {{0, 0, 0, 0}, {255, 255, 255, 255}, true}, // all zero: opaque
        {{0, 128, 255, 7}, {0, 128, 255, 7}, true},
    };
    for (const Case& c : cases) {
        BmpSpec s;
        s.width = 2;
        s.height = 2;
        s.bits = 32;
        for (int i = 0; i < 4; ++i) {
            const Bytes px = {uint8_t(i), uint8_t(i + 10), uint8_t(i + 20), c.alphas[size_t(i)]};
            s.pixels.insert(s.pixels.end(), px.begin(), px.end());
        }
        CxImage image;
        ASSERT_TRUE(DecodeBytes(image, Bmp(s), CXIMAGE_FORMAT_BMP)) << image.LastError();
        ASSERT_EQ(image.HasAlpha(), c.plane);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(image.AlphaGet(i % 2, i / 2), c.expected[size_t(i)]);
            EXPECT_EQ(image.PixelColor(i % 2, i / 2, false), CxRgb(uint8_t(i + 20), uint8_t(i + 10), uint8_t(i)));
        }
    }
    // Bit fields: no alpha plane.
    BmpSpec s;
    s.width = 1;
    s.height = 1;
    s.bits = 32;
    s.compression = 3;
    s.masks = {0, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0};
    s.pixels = {1, 2, 3, 4};
    CxImage fields;
    ASSERT_TRUE(DecodeBytes(fields, Bmp(s), CXIMAGE_FORMAT_BMP)) << fields.LastError();
    EXPECT_FALSE(fields.HasAlpha());
    EXPECT_EQ(fields.PixelColor(0, 0, false), CxRgb(4, 3, 2));
}

TEST(CxImageBMP, Rle8AndRle4)
{
    BmpSpec s;
    s.width = 6;
    s.height = 3;
    s.bits = 8;
    s.compression = 1;
    s.palette = Bytes(16 * 4, 0);
    s.colorsUsed = 16;
    s.pixels = {
        3, 7,             // row 0: 7 7 7
        0, 3, 1, 2, 3, 0, // absolute 1 2 3, padded
        0, 0,             // end of line
        0, 2, 2, 1,       // move 2 right, 1 up: row 2, column 2
        2, 9,             // 9 9
        0, 1,             // end of bitmap
    };
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, Bmp(s), CXIMAGE_FORMAT_BMP)) << image.LastError();
    const uint8_t expected[3][6] = {{7, 7, 7, 1, 2, 3}, {0, 0, 0, 0, 0, 0}, {0, 0, 9, 9, 0, 0}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(image.PixelIndex(x, y), expected[y][x]) << x << "," << y;

    BmpSpec f = s;
    f.width = 8;
    f.bits = 4;
    f.compression = 2;
    f.pixels = {
        5, 0x12,          // 1 2 1 2 1
        0, 3, 0xAB, 0xC0, // absolute A B C, two bytes (even)
        0, 1,
    };
    CxImage four;
    ASSERT_TRUE(DecodeBytes(four, Bmp(f), CXIMAGE_FORMAT_BMP)) << four.LastError();
    const uint8_t row[8] = {1, 2, 1, 2, 1, 0xA, 0xB, 0xC};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(four.PixelIndex(x, 0), row[x]) << x;
    EXPECT_EQ(four.PixelIndex(0, 1), 0);
}

TEST(CxImageBMP, RleRunsPastTheLastRowStayInside)
{
    BmpSpec s;
    s.width = 4;
    s.height = 2;
    s.bits = 8;
    s.compression = 1;
    s.palette = Bytes(4 * 4, 0);
    s.colorsUsed = 4;
    // Long runs, moves far up and to the right, rows past the top.
    s.pixels = {255, 1, 255, 2, 0, 2, 255, 255, 255, 3, 0, 0, 0, 0, 0, 0, 200, 1, 0, 1};
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, Bmp(s), CXIMAGE_FORMAT_BMP)) << image.LastError();
    EXPECT_EQ(image.PixelIndex(0, 0), 1);
    // The same with four bits.
    s.bits = 4;
    s.compression = 2;
    CxImage four;
    ASSERT_TRUE(DecodeBytes(four, Bmp(s), CXIMAGE_FORMAT_BMP)) << four.LastError();
}

TEST(CxImageBMP, ErrorTexts)
{
    struct Case {
        const char* what;
        Bytes bytes;
        const char* error;
    };
    std::vector<Case> cases;
    cases.push_back({"short file header", {'B', 'M', 1, 2}, "Not a BMP"});
    {
        Bytes b = Bmp(Rgb24());
        b.resize(30);
        cases.push_back({"short info header", b, "Error reading BMP info"});
    }
    {
        BmpSpec s = Rgb24();
        s.headerSize = 20;
        cases.push_back({"unknown header size", Bmp(s), "Error reading BMP info"});
    }
    {
        BmpSpec s = Indexed(8);
        s.compression = 4;
        cases.push_back({"8-bit JPEG", Bmp(s), "compression type not supported"});
    }
    {
        BmpSpec s = Rgb24();
        s.compression = 1;
        cases.push_back({"24-bit RLE", Bmp(s), "unknown compression"});
        s.bits = 32;
        s.compression = 2;
        cases.push_back({"32-bit RLE4", Bmp(s), "unknown compression"});
    }
    {
        BmpSpec s = Rgb24();
        s.width = 0;
        cases.push_back({"zero width", Bmp(s), "CxImage::Create : width and height must be greater than zero"});
        s.width = 100000;
        s.height = 100000;
        cases.push_back({"huge", Bmp(s), "CXIMAGE_MAX_MEMORY exceeded"});
    }
    {
        Bytes b = Bmp(Rgb24());
        b.pop_back();
        cases.push_back({"rows cut short", b, "corrupted BMP"});
        BmpSpec s = Indexed(8);
        s.pixels.clear();
        s.compression = 1;
        s.pixels = {3, 1, 0, 0};
        cases.push_back({"RLE without its end", Bmp(s), "corrupted BMP"});
    }
    for (const Case& c : cases) {
        CxImage image;
        EXPECT_FALSE(DecodeBytes(image, c.bytes, CXIMAGE_FORMAT_BMP)) << c.what;
        EXPECT_STREQ(image.LastError(), c.error) << c.what;
        EXPECT_FALSE(image.HasPixels());
    }
}

TEST(CxImageBMP, PaletteLongerThanTheDepthIsSkipped)
{
    BmpSpec s = Indexed(1);
    s.colorsUsed = 300; // more than two entries stored
    Bytes extra(298 * 4, 0x33);
    s.palette.insert(s.palette.end(), extra.begin(), extra.end());
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, Bmp(s), CXIMAGE_FORMAT_BMP)) << image.LastError();
    EXPECT_EQ(image.PaletteEntries(), 2u);
    EXPECT_EQ(image.PixelIndex(1, 0), 1);
    s.fileHeader = false; // no pixel offset: the extra entries are passed over
    CxImage bare;
    ASSERT_TRUE(DecodeBytes(bare, Bmp(s), CXIMAGE_FORMAT_BMP)) << bare.LastError();
    EXPECT_EQ(bare.PixelIndex(1, 0), 1);
}

// ICO ----------------------------------------------------------------------

namespace {

cxfix::IcoImage Icon8(int size, const std::vector<uint8_t>& indices, const std::vector<int>& maskedPixels)
{
    cxfix::IcoImage im;
    im.width = size;
    im.height = size;
    im.bits = 8;
    std::vector<uint32_t> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[size_t(i)] = uint32_t(i * 0x010203);
    im.palette = Quads(colours);
    im.xorRows = PadRows(Bytes(indices.begin(), indices.end()), size, 8, size);
    const int maskRow = ((size + 31) / 32) * 4;
    im.andRows.assign(size_t(maskRow * size), 0);
    for (int p : maskedPixels) // p counts bottom row first
        im.andRows[size_t((p / size) * maskRow + (p % size) / 8)] |= uint8_t(0x80 >> (p % size % 8));
    return im;
}

} // namespace

TEST(CxImageICO, HighestUnusedIndexBecomesTransparent)
{
    std::vector<uint8_t> indices = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, cxfix::Ico({Icon8(3, indices, {0, 4})}), CXIMAGE_FORMAT_ICO));
    EXPECT_EQ(image.BitDepth(), 8u);
    EXPECT_EQ(image.TransparentIndex(), 255);
    EXPECT_FALSE(image.HasAlpha());
    EXPECT_EQ(image.PixelIndex(0, 0), 255);
    EXPECT_EQ(image.PixelIndex(1, 1), 255);
    EXPECT_EQ(image.PixelIndex(2, 0), 3);
    EXPECT_EQ(image.FrameCount(), 1);
}

TEST(CxImageICO, AllIndicesUsedMaskedColourBecomesTransparent)
{
    std::vector<uint8_t> indices(256);
    for (int i = 0; i < 256; ++i)
        indices[size_t(i)] = uint8_t(i);
    cxfix::IcoImage im = Icon8(16, indices, {10, 20});
    // Entries 10 and 20 share one colour.
    for (int k = 0; k < 3; ++k)
        im.palette[size_t(20 * 4 + k)] = im.palette[size_t(10 * 4 + k)];
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, cxfix::Ico({im}), CXIMAGE_FORMAT_ICO));
    EXPECT_EQ(image.TransparentIndex(), 10);
    EXPECT_FALSE(image.HasAlpha());
    EXPECT_EQ(image.TransparentColor(), image.PaletteEntry(10));

    // Masked pixels of different colours and no free index: an alpha plane.
    CxImage mixed;
    ASSERT_TRUE(DecodeBytes(mixed, cxfix::Ico({Icon8(16, indices, {10, 30})}), CXIMAGE_FORMAT_ICO));
    EXPECT_EQ(mixed.TransparentIndex(), -1);
    ASSERT_TRUE(mixed.HasAlpha());
    EXPECT_EQ(mixed.AlphaGet(10, 0), 0);
    EXPECT_EQ(mixed.AlphaGet(11, 0), 255);
}

TEST(CxImageICO, TrueColourIconsKeepAlpha)
{
    cxfix::IcoImage im;
    im.width = 2;
    im.height = 2;
    im.bits = 24;
    im.xorRows = PadRows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 2, 24, 2);
    im.andRows = {0x80, 0, 0, 0, 0, 0, 0, 0};
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, cxfix::Ico({im}), CXIMAGE_FORMAT_ICO));
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.AlphaGet(0, 0), 0);
    EXPECT_EQ(image.AlphaGet(1, 0), 255);
    EXPECT_EQ(image.PixelColor(1, 1, false), CxRgb(12, 11, 10));

    im.bits = 32;
    im.xorRows = {1, 2, 3, 200, 4, 5, 6, 100, 7, 8, 9, 50, 10, 11, 12, 255};
    CxImage alpha;
    ASSERT_TRUE(DecodeBytes(alpha, cxfix::Ico({im}), CXIMAGE_FORMAT_ICO));
    EXPECT_EQ(alpha.AlphaGet(0, 0), 0); // masked
    EXPECT_EQ(alpha.AlphaGet(1, 0), 100);
    EXPECT_EQ(alpha.AlphaGet(0, 1), 50);
}

TEST(CxImageICO, SecondIconAndDirectoryRules)
{
    std::vector<uint8_t> a(4, 1), b(9, 2);
    const Bytes ico = cxfix::Ico({Icon8(2, a, {}), Icon8(3, b, {})});
    CxImage second;
    second.SelectFrame(1);
    ASSERT_TRUE(DecodeBytes(second, ico, CXIMAGE_FORMAT_ICO));
    EXPECT_EQ(second.Width(), 3u);
    EXPECT_EQ(second.FrameCount(), 2);
    EXPECT_EQ(second.PixelIndex(2, 2), 2);

    CxImage beyond;
    beyond.SelectFrame(2);
    EXPECT_FALSE(DecodeBytes(beyond, ico, CXIMAGE_FORMAT_ICO));
    EXPECT_EQ(beyond.FrameCount(), 2);

    Bytes cursor = ico;
    cursor[2] = 2;
    CxImage cur;
    EXPECT_TRUE(DecodeBytes(cur, cursor, CXIMAGE_FORMAT_ICO));
    Bytes wrongType = ico;
    wrongType[2] = 3;
    CxImage wrong;
    EXPECT_FALSE(DecodeBytes(wrong, wrongType, CXIMAGE_FORMAT_ICO));
    EXPECT_STREQ(wrong.LastError(), ""); // the ICO reader has no texts

    // An entry of 0 x 0 (a 256-pixel icon) is not decoded.
    Bytes big = ico;
    big[6] = 0;
    big[7] = 0;
    CxImage none;
    EXPECT_TRUE(DecodeBytes(none, big, CXIMAGE_FORMAT_ICO));
    EXPECT_FALSE(none.HasPixels());
}

TEST(CxImageICO, FullMaskInvertsAndMissingMaskIsOpaque)
{
    cxfix::IcoImage im = Icon8(2, {1, 2, 3, 4}, {});
    im.andRows.assign(8, 255);
    CxImage inverted;
    ASSERT_TRUE(DecodeBytes(inverted, cxfix::Ico({im}), CXIMAGE_FORMAT_ICO));
    EXPECT_EQ(inverted.TransparentIndex(), 0);
    const CxRgbQuad entry = inverted.PaletteEntry(1);
    EXPECT_EQ(CxRgb(entry.rgbRed, entry.rgbGreen, entry.rgbBlue), CxRgb(255 - 1, 255 - 2, 255 - 3));

    im.andRows.clear();
    CxImage noMask;
    ASSERT_TRUE(DecodeBytes(noMask, cxfix::Ico({im}), CXIMAGE_FORMAT_ICO));
    EXPECT_EQ(noMask.TransparentIndex(), -1);
    EXPECT_FALSE(noMask.HasAlpha());
}

TEST(CxImageICO, PaletteLongerThanTheDepth)
{
    cxfix::IcoImage im;
    im.width = 2;
    im.height = 1;
    im.bits = 1;
    std::vector<uint32_t> colours(40, 0x112233);
    colours[1] = 0xFFFFFF;
    im.palette = Quads(colours);
    im.xorRows = {0x40, 0, 0, 0};
    im.andRows = {0, 0, 0, 0};
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, cxfix::Ico({im}), CXIMAGE_FORMAT_ICO));
    EXPECT_EQ(image.PaletteEntries(), 2u);
    EXPECT_EQ(image.PixelIndex(1, 0), 1);
}
