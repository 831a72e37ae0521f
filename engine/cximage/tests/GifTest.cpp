#include <gtest/gtest.h>

#include "CxImageGIF.h"
#include "TestUtil.h"

#include <cstring>

using cxfix::Bytes;
using cxfix::ColourTable;
using cxfix::Gif;
using cxfix::GifFrame;

namespace {

const Bytes kPalette4 = ColourTable({0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00}, 4);

GifFrame Frame(int left, int top, int width, int height, uint8_t seed)
{
    GifFrame f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    for (int i = 0; i < width * height; ++i)
        f.indices.push_back(uint8_t((i * 7 + seed) % 4));
    return f;
}

GifFrame Solid(int left, int top, int width, int height, uint8_t index)
{
    GifFrame f = Frame(left, top, width, height, 0);
    f.indices.assign(size_t(width * height), index);
    return f;
}

bool LoadFrame(CxImage& image, const Bytes& gif, int frame)
{
    image.SelectFrame(frame);
    return DecodeBytes(image, gif, CXIMAGE_FORMAT_GIF) && image.HasPixels();
}

void ExpectIndices(const CxImage& image, const GifFrame& f)
{
    ASSERT_EQ(int(image.Width()), f.width);
    ASSERT_EQ(int(image.Height()), f.height);
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            ASSERT_EQ(IndexAt(image, x, y), f.indices[size_t(y * f.width + x)]) << x << "," << y;
}

} // namespace

TEST(CxImageGIF, SingleFrameDepthsFromTableSize)
{
    struct Case {
        int entries;
        uint32_t bits;
    } cases[] = {{2, 1}, {4, 4}, {16, 4}, {32, 8}, {256, 8}};
    for (const Case& c : cases) {
        std::vector<uint32_t> colours;
        for (int i = 0; i < c.entries; ++i)
            colours.push_back(uint32_t(i * 0x010305));
        GifFrame f = Frame(0, 0, 13, 7, 1);
        for (size_t i = 0; i < f.indices.size(); ++i)
            f.indices[i] = uint8_t((i * 11) % size_t(c.entries));
        f.withControl = false;
        const Bytes gif = Gif(13, 7, ColourTable(colours, c.entries), {f});
        CxImage image;
        ASSERT_TRUE(LoadFrame(image, gif, 0)) << c.entries;
        EXPECT_EQ(image.BitDepth(), c.bits);
        EXPECT_EQ(image.FrameCount(), 1);
        EXPECT_EQ(image.FormatId(), uint32_t(CXIMAGE_FORMAT_GIF));
        EXPECT_FALSE(image.HasTransparency());
        ExpectIndices(image, f);
        EXPECT_EQ(RgbAt(image, 3, 2), colours[f.indices[2 * 13 + 3]]);
    }
}

TEST(CxImageGIF, InterlacedRowsLandInPlace)
{
    // The encoder writes the rows in pass order (for 10 rows: 0, 8, 4, 2, 6, 1, 3, 5, 7, 9).
    for (int height : {1, 2, 3, 4, 5, 8, 9, 10, 17, 33}) {
        GifFrame f = Frame(0, 0, 5, height, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 5; ++x)
                f.indices[size_t(y * 5 + x)] = uint8_t(y % 4);
        f.interlaced = true;
        const Bytes gif = Gif(5, height, kPalette4, {f});
        CxImage image;
        ASSERT_TRUE(LoadFrame(image, gif, 0)) << height;
        ExpectIndices(image, f);
    }
}

TEST(CxImageGIF, InterlacedTallFrameWith256Colours)
{
    GifFrame f = Frame(0, 0, 3, 10, 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 3; ++x)
            f.indices[size_t(y * 3 + x)] = uint8_t(y * 20 + x);
    f.interlaced = true;
    std::vector<uint32_t> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[size_t(i)] = uint32_t(i);
    CxImage image;
    ASSERT_TRUE(LoadFrame(image, Gif(3, 10, ColourTable(colours, 256), {f}), 0));
    ExpectIndices(image, f);
}

TEST(CxImageGIF, LargeFrameFillsTheCodeTable)
{
    // Enough varied pixels to reach 12-bit codes and a table reset.
    GifFrame f = Frame(0, 0, 200, 150, 0);
    uint32_t state = 12345;
    for (auto& v : f.indices) {
        state = state * 1103515245u + 12345u;
        v = uint8_t((state >> 16) & 0xFF);
    }
    std::vector<uint32_t> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[size_t(i)] = uint32_t(i * 0x010101);
    CxImage image;
    ASSERT_TRUE(LoadFrame(image, Gif(200, 150, ColourTable(colours, 256), {f}), 0));
    ExpectIndices(image, f);
}

TEST(CxImageGIF, DelaysAndTransparencyPerFrame)
{
    std::vector<GifFrame> frames;
    for (int i = 0; i < 3; ++i) {
        GifFrame f = Frame(0, 0, 4, 4, uint8_t(i));
        f.delay = 10 * (i + 1);
        f.transparent = i == 0 ? 2 : -1;
        frames.push_back(f);
    }
    const Bytes gif = Gif(4, 4, kPalette4, frames);
    for (int n = 0; n < 3; ++n) {
        CxImage image;
        ASSERT_TRUE(LoadFrame(image, gif, n));
        EXPECT_EQ(image.FrameDelay(), uint32_t(10 * (n + 1))) << n;
        EXPECT_EQ(image.FrameCount(), 3);
        // The transparency of frame 0 is kept for every frame.
        EXPECT_EQ(image.TransparentIndex(), 2) << n;
        EXPECT_EQ(image.TransparentColor(), CxRgb(255, 0, 0));
    }
}

TEST(CxImageGIF, TransparentPixelsKeepTheCanvas)
{
    GifFrame base = Frame(0, 0, 4, 4, 0);
    base.transparent = 3;
    GifFrame over = Solid(1, 1, 2, 2, 1);
    over.indices = {1, 3, 3, 2};
    over.transparent = 3;
    CxImage image;
    ASSERT_TRUE(LoadFrame(image, Gif(4, 4, kPalette4, {base, over}), 1));
    EXPECT_EQ(IndexAt(image, 1, 1), 1);
    EXPECT_EQ(IndexAt(image, 2, 1), base.indices[1 * 4 + 2]); // frame 1 transparent: frame 0 shows
    EXPECT_EQ(IndexAt(image, 2, 2), 2);
    EXPECT_EQ(IndexAt(image, 0, 0), base.indices[0]);
}

TEST(CxImageGIF, DisposalMethods)
{
    // Frame 0 covers the screen; frame 1 draws a block with the disposal under
    // test; frame 2 draws one pixel elsewhere.
    GifFrame base = Solid(0, 0, 4, 4, 1);
    base.transparent = 0;
    GifFrame middle = Solid(0, 0, 2, 2, 2);
    GifFrame last = Solid(3, 3, 1, 1, 3);
    struct Case {
        int disposal;
        uint8_t topLeft;  // where frame 1 drew
        uint8_t farSide;  // where only frame 0 drew
    } cases[] = {
        {0, 2, 1}, // left in place
        {1, 2, 1},
        {2, 0, 0}, // whole screen back to frame 0's transparent index
        {3, 1, 1}, // back to the picture before frame 1
    };
    for (const Case& c : cases) {
        middle.disposal = c.disposal;
        CxImage image;
        ASSERT_TRUE(LoadFrame(image, Gif(4, 4, kPalette4, {base, middle, last}), 2)) << c.disposal;
        EXPECT_EQ(IndexAt(image, 0, 0), c.topLeft) << "disposal " << c.disposal;
        EXPECT_EQ(IndexAt(image, 3, 0), c.farSide) << "disposal " << c.disposal;
        EXPECT_EQ(IndexAt(image, 3, 3), 3);
    }
}

TEST(CxImageGIF, FourEntryTableWithTransparencyPadsWhite)
{
    GifFrame f = Frame(0, 0, 3, 3, 0);
    f.transparent = 1;
    CxImage image;
    ASSERT_TRUE(LoadFrame(image, Gif(3, 3, kPalette4, {f}), 0));
    EXPECT_EQ(image.BitDepth(), 4u);
    for (uint32_t i = 4; i < 16; ++i)
        EXPECT_EQ(image.PaletteEntry(i), CxRgb(255, 255, 255)) << i;
    EXPECT_EQ(image.PaletteEntry(2), CxRgb(255, 0, 0));
}

TEST(CxImageGIF, TrueColourMosaic)
{
    // No global table and a first tile smaller than the screen both ways.
    std::vector<GifFrame> tiles;
    const uint32_t colours[4] = {0x102030, 0x405060, 0x708090, 0xA0B0C0};
    for (int i = 0; i < 4; ++i) {
        GifFrame t = Solid((i % 2) * 2, (i / 2) * 2, 2, 2, 0);
        t.localTable = ColourTable({colours[i], 0xFFFFFF}, 2);
        t.indices = {0, 0, 0, 1};
        tiles.push_back(t);
    }
    tiles[3].transparent = 1;
    CxImage image;
    ASSERT_TRUE(LoadFrame(image, Gif(4, 4, {}, tiles), 0));
    EXPECT_EQ(image.BitDepth(), 24u);
    EXPECT_EQ(image.Width(), 4u);
    for (int i = 0; i < 4; ++i) {
        const int x = (i % 2) * 2, y = (i / 2) * 2;
        EXPECT_EQ(RgbAt(image, x, y), colours[i]) << i;
        EXPECT_EQ(RgbAt(image, x + 1, y + 1), 0xFFFFFFu) << i; // transparent or not, copied
    }
    EXPECT_TRUE(image.HasTransparency());
    EXPECT_EQ(image.TransparentColor(), CxRgb(255, 255, 255));
}

TEST(CxImageGIF, ZeroScreenTakesFirstFrameSize)
{
    GifFrame f = Frame(0, 0, 6, 3, 2);
    CxImage image;
    ASSERT_TRUE(LoadFrame(image, Gif(0, 0, kPalette4, {f}), 0));
    ExpectIndices(image, f);
}

TEST(CxImageGIF, FrameSelectionOutOfRange)
{
    const Bytes three = Gif(4, 4, kPalette4, {Frame(0, 0, 4, 4, 0), Frame(0, 0, 4, 4, 1), Frame(0, 0, 4, 4, 2)});
    for (int n : {5, 3, -1}) {
        CxImage image;
        image.SelectFrame(n);
        EXPECT_FALSE(DecodeBytes(image, three, CXIMAGE_FORMAT_GIF)) << n;
        EXPECT_EQ(image.FrameCount(), 3); // handed over on failure
        EXPECT_STREQ(image.LastError(), "");
    }
    // The only frame is larger than the screen: nothing fits.
    CxImage image;
    EXPECT_FALSE(DecodeBytes(image, Gif(4, 4, kPalette4, {Frame(0, 0, 5, 4, 0)}), CXIMAGE_FORMAT_GIF));
    EXPECT_EQ(image.FrameCount(), 0);
    // Frames that do not fit are passed over and not counted.
    const Bytes mixed = Gif(4, 4, kPalette4, {Frame(1, 1, 4, 4, 0), Frame(0, 0, 4, 4, 1)});
    CxImage second;
    ASSERT_TRUE(LoadFrame(second, mixed, 0));
    EXPECT_EQ(second.FrameCount(), 1);
    ExpectIndices(second, Frame(0, 0, 4, 4, 1));
}

TEST(CxImageGIF, DamagedLzwResynchronises)
{
    // Frame 0: clear, then 0, 1, then a code far beyond the table, then the end.
    GifFrame broken = Solid(0, 0, 4, 2, 0);
    broken.rawData = cxfix::GifCodes(2, {{4, 3}, {0, 3}, {1, 3}, {7, 3}, {5, 3}});
    GifFrame good = Frame(0, 0, 4, 2, 3);
    const Bytes gif = Gif(4, 2, kPalette4, {broken, good});
    CxImage first;
    ASSERT_TRUE(LoadFrame(first, gif, 0));
    EXPECT_EQ(first.FrameCount(), 2);
    EXPECT_EQ(IndexAt(first, 0, 0), 0);
    EXPECT_EQ(IndexAt(first, 1, 0), 1);
    CxImage second;
    ASSERT_TRUE(LoadFrame(second, gif, 1));
    ExpectIndices(second, good);
}

TEST(CxImageGIF, DataWithoutEndCodeKeepsTheNextFrame)
{
    // Some writers end the data with the terminator only.
    GifFrame a = Solid(0, 0, 3, 1, 2);
    a.rawData = cxfix::GifCodes(2, {{4, 3}, {2, 3}, {2, 3}, {2, 3}});
    GifFrame b = Frame(0, 0, 3, 1, 1);
    b.withControl = false; // the separator follows the terminator directly
    const Bytes gif = Gif(3, 1, kPalette4, {a, b});
    CxImage image;
    ASSERT_TRUE(LoadFrame(image, gif, 1));
    EXPECT_EQ(image.FrameCount(), 2);
    ExpectIndices(image, b);
}

TEST(CxImageGIF, ExtensionsAreWalkedOver)
{
    GifFrame f = Frame(0, 0, 4, 4, 1);
    Bytes gif = Gif(4, 4, kPalette4, {f}, true);
    // A comment before the trailer.
    const Bytes comment = {0x21, 0xFE, 3, 'a', 'b', 'c', 0};
    gif.insert(gif.end() - 1, comment.begin(), comment.end());
    CxImage image;
    ASSERT_TRUE(LoadFrame(image, gif, 0));
    ExpectIndices(image, f);
}

TEST(CxImageGIF, NotAGif)
{
    CxImage image;
    EXPECT_FALSE(DecodeBytes(image, {'G', 'I', 'F', '7', '8', '9', 'a', 0, 0, 0, 0, 0, 0}, CXIMAGE_FORMAT_GIF));
    EXPECT_FALSE(DecodeBytes(image, {'G', 'I', 'F', '8'}, CXIMAGE_FORMAT_GIF));
    EXPECT_STREQ(image.LastError(), "");
}

namespace {

// Everything a frame's reader of the picture sees.
void ExpectSamePicture(const CxImage& want, const CxImage& got, const std::string& what)
{
    ASSERT_EQ(want.HasPixels(), got.HasPixels()) << what;
    if (!want.HasPixels())
        return;
    ASSERT_EQ(want.Width(), got.Width()) << what;
    ASSERT_EQ(want.Height(), got.Height()) << what;
    ASSERT_EQ(want.BitDepth(), got.BitDepth()) << what;
    const size_t blockBytes = sizeof(CxBitmapInfoHeader) + want.PaletteSize() + want.Header().biSizeImage;
    ASSERT_EQ(0, std::memcmp(want.PixelBlock(), got.PixelBlock(), blockBytes)) << what << ": pixels or palette";
    EXPECT_EQ(want.TransparentIndex(), got.TransparentIndex()) << what;
    EXPECT_EQ(want.TransparentColor(), got.TransparentColor()) << what;
    EXPECT_EQ(want.FrameDelay(), got.FrameDelay()) << what;
    EXPECT_EQ(want.FrameCount(), got.FrameCount()) << what;
    ASSERT_EQ(want.AlphaPlane() != nullptr, got.AlphaPlane() != nullptr) << what;
    if (want.AlphaPlane()) {
        EXPECT_EQ(0, std::memcmp(want.AlphaPlane(), got.AlphaPlane(), size_t(want.Width()) * want.Height())) << what;
    }
}

} // namespace

TEST(CxImageGIF, FrameByFrameReadingComposesWhatEachFreshLoadDoes)
{
    // Every frame read on from the one before must be the picture a fresh
    // load of that frame gives: disposals, transparency, local tables,
    // interlacing, damaged data, mosaics and the fuzzers' findings.
    std::vector<std::pair<std::string, Bytes>> gifs;
    for (const cxfix::NamedFixture& f : cxfix::AllFixtures())
        if (f.formatId == CXIMAGE_FORMAT_GIF)
            gifs.emplace_back(f.name, f.bytes);
    for (const cxfix::NamedFixture& f : cxfix::FuzzFindings())
        if (f.bytes.size() >= 4 && std::memcmp(f.bytes.data(), "GIF8", 4) == 0)
            gifs.emplace_back("finding " + f.name, f.bytes);
    for (int disposal = 0; disposal < 4; ++disposal) {
        GifFrame base = Solid(0, 0, 6, 5, 1);
        base.transparent = 0;
        base.delay = 7;
        GifFrame block = Frame(1, 1, 3, 2, 2);
        block.disposal = disposal;
        block.transparent = 3;
        GifFrame local = Frame(2, 0, 4, 5, 1);
        local.localTable = ColourTable({0x112233, 0x445566, 0x778899, 0xAABBCC, 0xDDEEFF}, 8);
        local.disposal = (disposal + 1) % 4;
        local.interlaced = true;
        local.delay = 30;
        GifFrame last = Solid(5, 4, 1, 1, 3);
        last.disposal = (disposal + 2) % 4;
        gifs.emplace_back("disposal " + std::to_string(disposal),
                          Gif(6, 5, kPalette4, {base, block, local, last, Frame(0, 0, 6, 5, 3)}, true));
    }
    std::vector<GifFrame> tiles;
    for (int i = 0; i < 4; ++i) {
        GifFrame t = Solid((i % 2) * 2, (i / 2) * 2, 2, 2, 0);
        t.localTable = ColourTable({0x102030u * uint32_t(i + 1), 0xFFFFFF}, 2);
        t.indices = {0, 0, 0, 1};
        t.transparent = i == 3 ? 1 : -1;
        tiles.push_back(t);
    }
    gifs.emplace_back("mosaic", Gif(4, 4, {}, tiles));
    GifFrame broken = Solid(0, 0, 4, 2, 0);
    broken.rawData = cxfix::GifCodes(2, {{4, 3}, {0, 3}, {1, 3}, {7, 3}, {5, 3}});
    gifs.emplace_back("damaged", Gif(4, 2, kPalette4, {broken, Frame(0, 0, 4, 2, 3), Frame(1, 0, 2, 2, 1)}));
    Bytes cut = Gif(4, 4, kPalette4, {Frame(0, 0, 4, 4, 0), Frame(0, 0, 4, 4, 1), Frame(0, 0, 4, 4, 2)});
    cut.resize(cut.size() - 12);
    gifs.emplace_back("cut short", cut);

    int multiFrame = 0;
    for (const auto& gif : gifs) {
        CxImage first;
        first.SelectFrame(0);
        const bool loads = DecodeBytes(first, gif.second, CXIMAGE_FORMAT_GIF);
        CxMemFile file(gif.second);
        CxImageGIF reader;
        ASSERT_EQ(loads, reader.OpenFrames(&file)) << gif.first;
        if (!loads)
            continue;
        const int frames = first.FrameCount();
        multiFrame += frames > 1;
        // Twice: the second time after going back to the start.
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 1)
                ASSERT_TRUE(reader.Rewind(&file)) << gif.first;
            for (int k = 0; k < frames; ++k) {
                reader.NextFrame(&file);
                CxImage fresh;
                fresh.SelectFrame(k);
                DecodeBytes(fresh, gif.second, CXIMAGE_FORMAT_GIF);
                ExpectSamePicture(fresh, reader, gif.first + ", frame " + std::to_string(k) + ", pass " +
                                                     std::to_string(pass));
            }
            EXPECT_FALSE(reader.NextFrame(&file)) << gif.first << ": past the last frame";
        }
    }
    EXPECT_GE(multiFrame, 6);
}

TEST(CxImageGIF, FrameByFrameReadingHoldsTwoScreensAtMost)
{
    // 200 frames of one pixel each on a 64 x 64 screen.
    std::vector<GifFrame> frames;
    for (int k = 0; k < 200; ++k)
        frames.push_back(Solid(k % 64, k / 64, 1, 1, uint8_t(1 + k % 3)));
    const Bytes gif = Gif(64, 64, kPalette4, frames);
    CxMemFile file(gif);
    CxImageGIF reader;
    ASSERT_TRUE(reader.OpenFrames(&file));
    EXPECT_EQ(reader.FrameCount(), 200);
    const size_t screen = 64 * 64;  // a byte a pixel at most for a 4-colour table
    for (int k = 0; k < 200; ++k) {
        ASSERT_TRUE(reader.NextFrame(&file)) << k;
        EXPECT_EQ(IndexAt(reader, k % 64, k / 64), 1 + k % 3) << k;
        ASSERT_LE(reader.HeldBytes(), 16384 + 16384 + 2 * (screen + 1024)) << k;
    }
}
