#include "FileSniffer.h"
#include "GifFrames.h"
#include "GifMovie.h"
#include "LayerTestFiles.h"
#include "PictureLayer.h"
#include "StickerPicture.h"
#include "CxImage.h"
#include "Fixtures.h"
#include "MemFile.h"
#include "OtherPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

// The picture a fixture must decode to, as the sticker keeps it (BGRA).
StickerPicture ExpectedPicture(const std::string& name, int width, int height)
{
    const std::vector<uint8_t> rgba = ReadBytes(FixturePath(name + ".rgba"));
    StickerPicture picture;
    picture.width = width;
    picture.height = height;
    picture.bgra.resize(rgba.size());
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        picture.bgra[i] = rgba[i + 2];
        picture.bgra[i + 1] = rgba[i + 1];
        picture.bgra[i + 2] = rgba[i];
        picture.bgra[i + 3] = rgba[i + 3];
    }
    return picture;
}

// The sticker mix, pixel by pixel, written out plainly.
std::vector<uint8_t> ExpectedBlend(std::vector<uint8_t> frame, int width, int height, const StickerPicture& p, int x,
                                   int y)
{
    for (int r = 0; r < p.height; ++r) {
        for (int c = 0; c < p.width; ++c) {
            const int fx = x + c, fy = height - y - 1 - r;
            if (fx < 0 || fx >= width || fy < 0 || fy >= height)
                continue;
            const uint8_t* s = &p.bgra[(size_t(r) * p.width + c) * 4];
            uint8_t* d = &frame[(size_t(fy) * width + fx) * 3];
            for (int k = 0; k < 3; ++k)
                d[k] = uint8_t(std::min(255, int(s[3] / 255.0 * s[k] + (255 - s[3]) / 255.0 * d[k])));
        }
    }
    return frame;
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    int worst = a.size() == b.size() ? 0 : 999;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// A GIF of three solid frames (red, green, blue) with the given delays.
std::vector<uint8_t> ThreeFrameGif(int width, int height, const std::vector<int>& delays)
{
    const cxfix::Bytes table = cxfix::ColourTable({0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, 4);
    std::vector<cxfix::GifFrame> frames;
    for (int i = 0; i < 3; ++i) {
        cxfix::GifFrame frame;
        frame.width = width;
        frame.height = height;
        frame.indices.assign(size_t(width) * height, uint8_t(i));
        frame.delay = delays[size_t(i)];
        frames.push_back(frame);
    }
    return cxfix::Gif(width, height, table, frames, true);
}

// ---- Sniffing ----

TEST(LayerSniffing, BytesDecideTheKindAndOnlyBytesReadCount)
{
    const struct {
        std::vector<uint8_t> bytes;
        int kind;
    } cases[] = {
        {{0xFF, 0xD8, 0xFF, 0xE0}, FileKindJpeg},
        {{0x89, 'P', 'N', 'G', 13, 10}, FileKindPng},
        {{'G', 'I', 'F', '8', '9', 'a'}, FileKindGif},
        {{'G', 'I', 'F', '8', '7', 'a'}, FileKindGif},
        {{'G', 'I', 'F', '8', '8', 'a'}, FileKindUnknown},
        {{'G', 'I', 'F', '8'}, FileKindUnknown},   // shorter than the signature
        {{0xFF}, FileKindUnknown},
        {{}, FileKindUnknown},
        {{'t', 'q', 'f', 'l', 'a', 's', 'h'}, FileKindUnknown},
    };
    for (const auto& c : cases) {
        // The bytes after the read ones hold a signature: they must not count.
        std::vector<uint8_t> buffer = c.bytes;
        const uint8_t stale[] = {'G', 'I', 'F', '8', '9', 'a'};
        buffer.insert(buffer.end(), stale, stale + 6);
        EXPECT_EQ(c.kind, SniffBytes(buffer.data(), c.bytes.size())) << c.bytes.size() << " bytes";
    }
}

TEST(LayerSniffing, FlashIsKnownByItsNameInTwoSpellingsOnly)
{
    const struct {
        const char* name;
        bool flash;
    } cases[] = {{"a.swf", true}, {"C:\\fx\\A.SWF", true}, {"a.Swf", false}, {"a.sWF", false}, {"swf", false},
                 {"a.swf.png", false}, {".swf", true}};
    for (const auto& c : cases)
        EXPECT_EQ(c.flash, HasFlashExtension(c.name)) << c.name;
}

TEST(LayerSniffing, ContentNotNameDecidesWhatALayerIs)
{
    const std::string pngAsGif = WriteTempFile("png-named.gif", ReadBytes(FixturePath("alpha.png")));
    const std::string gifAsPng = WriteTempFile("gif-named.png", ThreeFrameGif(8, 6, {10, 10, 10}));
    const std::string fiveBytes = WriteTempFile("five.png", {0x89, 'P', 'N', 'G', 13});
    const std::string swfUpper = WriteTempText("movie.SWF", "not a real movie");
    const std::string swfMixed = WriteTempText("movie.Swf", "not a real movie");
    const struct {
        std::string path;
        bool positioned;
        int mode;
        bool draws;
    } cases[] = {
        {pngAsGif, true, CPictureLayer::StillPicture, true},
        {gifAsPng, false, CPictureLayer::FullFrameGif, true},
        {gifAsPng, true, CPictureLayer::GifSticker, true},
        {fiveBytes, true, CPictureLayer::StillPicture, false},
        {TempFolder() + "\\missing.png", true, CPictureLayer::StillPicture, false},
        {swfUpper, false, CPictureLayer::FullFrameFlash, false},
        {swfMixed, false, CPictureLayer::StillPicture, false},
    };
    for (const auto& c : cases) {
        CPictureLayer layer;
        layer.Load(c.path, nullptr, 8, 6, c.positioned);
        EXPECT_EQ(c.mode, layer.mode) << c.path;
        const std::vector<uint8_t> before = PatternFrame(8, 6);
        std::vector<uint8_t> frame = before;
        layer.Draw(frame.data(), 8, 6);
        EXPECT_EQ(c.draws, frame != before) << c.path;
    }
}

// ---- Stills ----

TEST(StillPicture, LargePicturesAreFittedIntoTheStickerBox)
{
    const struct {
        int width, height, fitWidth, fitHeight;
    } sizes[] = {{200, 100, 100, 50}, {100, 150, 50, 75}, {90, 60, 90, 60}, {100, 75, 100, 75}, {101, 75, 100, 74},
                 {1000, 3, 100, 1}, {3, 1000, 1, 75}, {400, 300, 100, 75}};
    for (const auto& s : sizes) {
        int w = 0, h = 0;
        StickerFitSize(s.width, s.height, w, h);
        EXPECT_EQ(s.fitWidth, w) << s.width << "x" << s.height;
        EXPECT_EQ(s.fitHeight, h) << s.width << "x" << s.height;
    }
    const struct {
        const char* file;
        int width, height;
    } files[] = {{"wide.png", 100, 50}, {"tall.png", 50, 75}, {"alpha.png", 90, 60}};
    for (const auto& f : files) {
        CPictureLayer layer;
        layer.Load(FixturePath(f.file), nullptr, 480, 360, true);
        EXPECT_EQ(f.width, layer.image.width) << f.file;
        EXPECT_EQ(f.height, layer.image.height) << f.file;
    }
}

TEST(StillPicture, FittingTakesTheNearestSourcePixel)
{
    // 200 x 100 of four quadrant colours: each quadrant keeps its colour.
    StickerPicture big;
    big.width = 200;
    big.height = 100;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            big.bgra.insert(big.bgra.end(), {uint8_t(x < 100 ? 10 : 20), uint8_t(y < 50 ? 30 : 40), 0, 255});
    const StickerPicture fitted = FitSticker(big);
    ASSERT_EQ(100, fitted.width);
    ASSERT_EQ(50, fitted.height);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) {
            const uint8_t* p = &fitted.bgra[(size_t(y) * 100 + x) * 4];
            ASSERT_EQ(x < 50 ? 10 : 20, p[0]) << x << "," << y;
            ASSERT_EQ(y < 25 ? 30 : 40, p[1]) << x << "," << y;
        }
}

TEST(StillPicture, PngStickersBlendExactly)
{
    const struct {
        const char* name;
        int width, height, x, y;
    } cases[] = {{"alpha", 90, 60, 10, 12}, {"palette", 40, 30, 0, 0}, {"grey", 50, 40, 70, 5}};
    for (const auto& c : cases) {
        CPictureLayer layer;
        layer.x = c.x;
        layer.y = c.y;
        layer.Load(FixturePath(std::string(c.name) + ".png"), nullptr, 160, 120, true);
        ASSERT_EQ(CPictureLayer::StillPicture, layer.mode) << c.name;
        const StickerPicture expected = ExpectedPicture(c.name, c.width, c.height);
        ASSERT_EQ(expected.bgra, layer.image.bgra) << c.name << ": decoded pixels";
        std::vector<uint8_t> frame = PatternFrame(160, 120);
        const std::vector<uint8_t> want = ExpectedBlend(frame, 160, 120, expected, c.x, c.y);
        layer.Draw(frame.data(), 160, 120);
        EXPECT_EQ(want, frame) << c.name;
    }
}

TEST(StillPicture, JpegStickersBlendClosely)
{
    CPictureLayer layer;
    layer.x = 20;
    layer.y = 30;
    layer.Load(FixturePath("photo.jpg"), nullptr, 160, 120, true);
    ASSERT_EQ(80, layer.image.width);
    ASSERT_EQ(60, layer.image.height);
    const StickerPicture expected = ExpectedPicture("photo", 80, 60);
    std::vector<uint8_t> frame = PatternFrame(160, 120);
    const std::vector<uint8_t> want = ExpectedBlend(frame, 160, 120, expected, 20, 30);
    layer.Draw(frame.data(), 160, 120);
    EXPECT_LE(MaxDifference(want, frame), 12);
    EXPECT_GT(MaxDifference(PatternFrame(160, 120), frame), 50) << "the picture is drawn";
}

TEST(StillPicture, StickersOverTheEdgesStayInsideTheFrame)
{
    const int W = 64, H = 48, guard = 4096;
    StickerPicture sticker;
    sticker.width = 30;
    sticker.height = 20;
    for (int i = 0; i < 30 * 20; ++i)
        sticker.bgra.insert(sticker.bgra.end(), {uint8_t(i), 200, uint8_t(255 - i), uint8_t(i % 2 ? 255 : 128)});
    const struct {
        int x, y;
    } places[] = {{-10, 10}, {50, 10}, {20, -8}, {20, 40}, {-20, -15}, {55, 40}, {64, 0}, {0, 48}, {-30, 0},
                  {0, -20}, {-5000, 9000}, {40000, -40000}};
    for (const auto& p : places) {
        std::vector<uint8_t> buffer(size_t(guard) * 2 + W * H * 3, 0xA5);
        uint8_t* frame = buffer.data() + guard;
        const std::vector<uint8_t> pattern = PatternFrame(W, H);
        memcpy(frame, pattern.data(), pattern.size());
        BlendSticker(frame, W, H, sticker, p.x, p.y);
        for (int i = 0; i < guard; ++i) {
            ASSERT_EQ(0xA5, buffer[size_t(i)]) << "before the frame, sticker at " << p.x << "," << p.y;
            ASSERT_EQ(0xA5, buffer[buffer.size() - 1 - size_t(i)]) << "after the frame, sticker at " << p.x << "," << p.y;
        }
        const std::vector<uint8_t> inside(frame, frame + W * H * 3);
        EXPECT_EQ(ExpectedBlend(pattern, W, H, sticker, p.x, p.y), inside) << p.x << "," << p.y;
    }
}

// ---- GIF stickers ----

class FakeMs {
public:
    uint32_t now = 0;
    CGifMovie::Clock Clock() { return [this] { return now; }; }
};

TEST(GifSticker, FramesFollowTheirDelaysOnTheClockAndLoop)
{
    const std::string path = WriteTempFile("delays.gif", ThreeFrameGif(8, 6, {10, 20, 10}));
    FakeMs clock;
    CGifMovie movie(clock.Clock());
    ASSERT_TRUE(movie.Load(path));
    ASSERT_EQ(3, movie.FrameCount());
    EXPECT_EQ((std::vector<int>{10, 20, 10}), movie.Delays());
    movie.Start();
    const struct {
        uint32_t ms;
        int frame;
    } steps[] = {{0, 0}, {99, 0}, {100, 1}, {250, 1}, {299, 1}, {300, 2}, {399, 2}, {400, 0}, {499, 0}, {500, 1},
                 {4399, 2}, {4400, 0}};
    const uint8_t colours[3][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};  // blue, green, red bytes
    for (const auto& s : steps) {
        clock.now = s.ms;
        movie.Advance();
        EXPECT_EQ(s.frame, movie.CurrentIndex()) << s.ms << " ms";
        const StickerPicture* shown = movie.CurrentFrame();
        ASSERT_TRUE(shown);
        EXPECT_EQ(0, memcmp(shown->bgra.data(), colours[s.frame], 3)) << s.ms << " ms";
    }
}

TEST(GifSticker, MissingAndZeroDelaysCountAsTen)
{
    const std::string path = WriteTempFile("nodelay.gif", ThreeFrameGif(4, 4, {0, 0, 30}));
    CGifMovie movie;
    ASSERT_TRUE(movie.Load(path));
    EXPECT_EQ((std::vector<int>{10, 10, 30}), movie.Delays());
}

TEST(GifSticker, LargeFramesAreFittedOnceAtLoad)
{
    const std::string path = WriteTempFile("largegif.gif", ThreeFrameGif(300, 150, {10, 10, 10}));
    CGifMovie movie;
    ASSERT_TRUE(movie.Load(path));
    for (int i = 0; i < 3; ++i) {
        const StickerPicture* frame = movie.CurrentFrame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(100, frame->width);
        EXPECT_EQ(50, frame->height);
    }
}

TEST(GifSticker, FramesAreKeptUpToTheBudget)
{
    // Sticker frames of 100 x 75 (30,000 bytes) and of 4 x 4 (counted at
    // 8 KB each), each frame over the whole screen.
    const struct {
        int screenWidth, screenHeight;
        size_t budget;
        int kept;
    } cases[] = {{100, 75, 10 * 30000, 10}, {100, 75, 10 * 30000 - 1, 9}, {4, 4, 5 * 8192, 5},
                 {100, 75, 1, 1}, {100, 75, CGifMovie::kMaxHeldBytes, 40}};
    for (const auto& c : cases) {
        const cxfix::Bytes table = cxfix::ColourTable({0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, 4);
        std::vector<cxfix::GifFrame> frames(40);
        for (size_t k = 0; k < frames.size(); ++k) {
            frames[k].width = c.screenWidth;
            frames[k].height = c.screenHeight;
            frames[k].indices.assign(size_t(c.screenWidth) * c.screenHeight, uint8_t(k % 4));
            frames[k].delay = 1;
        }
        const std::string path =
            WriteTempFile("budget.gif", cxfix::Gif(c.screenWidth, c.screenHeight, table, frames, true));
        FakeMs clock;
        CGifMovie movie(clock.Clock(), c.budget);
        ASSERT_TRUE(movie.Load(path)) << c.budget;
        EXPECT_EQ(c.kept, movie.FrameCount()) << c.budget;
        EXPECT_EQ(size_t(c.kept), movie.Delays().size()) << c.budget;
        // The animation loops over the frames kept: 10 ms each.
        movie.Start();
        clock.now = uint32_t(10 * c.kept);
        movie.Advance();
        EXPECT_EQ(0, movie.CurrentIndex()) << c.budget;
        clock.now += uint32_t(10 * (c.kept - 1));
        movie.Advance();
        EXPECT_EQ(c.kept - 1, movie.CurrentIndex()) << c.budget;
        DeleteFileA(path.c_str());
    }
}

TEST(GifSticker, ChangesUnderTheMessageLoop)
{
    // Frames of 100 ms, looked at about every 20 ms.
    constexpr DWORD kFrameMs = 100;
    const std::string path = WriteTempFile("loop.gif", ThreeFrameGif(8, 6, {10, 10, 10}));
    CPictureLayer layer;
    layer.x = 3;
    layer.y = 4;
    layer.Load(path, nullptr, 32, 24, true);
    ASSERT_EQ(CPictureLayer::GifSticker, layer.mode);
    ASSERT_TRUE(layer.movie);
    struct Change {
        int index;
        DWORD sinceLastLook;  // ms between the look that saw it and the one before
    };
    std::vector<Change> seen;
    const DWORD start = GetTickCount();
    DWORD lastLook = start;
    while (seen.size() < 5 && GetTickCount() - start < 10000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        Pump();
        const DWORD now = GetTickCount();
        const int index = layer.movie->CurrentIndex();
        if (seen.empty() || seen.back().index != index)
            seen.push_back({index, now - lastLook});
        lastLook = now;
    }
    ASSERT_GE(seen.size(), 5u) << "the sticker did not move on";
    // The shown frame follows the clock: a frame is passed over only when
    // this loop looked away for about a frame (a timer may come a little late).
    for (size_t i = 1; i < seen.size(); ++i)
        if (seen[i].sinceLastLook < kFrameMs / 2)
            EXPECT_EQ((seen[i - 1].index + 1) % 3, seen[i].index) << "change " << i;
    // Drawn at (3, 4) from the top: the frame shown is the one blended.
    std::vector<uint8_t> frame(32 * 24 * 3, 0);
    layer.Draw(frame.data(), 32, 24);
    const uint8_t* pixel = &frame[(size_t(24 - 4 - 1) * 32 + 3) * 3];
    EXPECT_EQ(255, std::max({pixel[0], pixel[1], pixel[2]}));
    EXPECT_EQ(0, frame[0]);
}

// ---- Full-frame GIFs ----

class FakeCounter {
public:
    int64_t ms = 0;
    PerfClock Clock()
    {
        PerfClock clock;
        clock.frequency = 1000;
        clock.ticks = [this] { return ms; };
        return clock;
    }
};

// A 8 x 6 two-frame GIF over a 4-colour table; index 3 is (10, 20, 30).
std::vector<uint8_t> KeyedGif(int transparent)
{
    const cxfix::Bytes table = cxfix::ColourTable({0xC81E0A, 0x00FF00, 0x102030, 0x0A141E}, 4);
    cxfix::GifFrame frame;
    frame.width = 8;
    frame.height = 6;
    for (int i = 0; i < 48; ++i)
        frame.indices.push_back(uint8_t(i % 4));
    frame.transparent = transparent;
    frame.delay = 10;
    return cxfix::Gif(8, 6, table, {frame});
}

TEST(FullFrameGif, BothTransparencyRulesGiveExactBytes)
{
    // Index i of the GIF's row-major (top-down) pixels, as blue, green, red.
    const uint8_t colours[4][3] = {{0x0A, 0x1E, 0xC8}, {0x00, 0xFF, 0x00}, {0x30, 0x20, 0x10}, {0x1E, 0x14, 0x0A}};
    for (const bool keyed : {true, false}) {
        CGifFrames frames;
        ASSERT_TRUE(frames.LoadBytes(KeyedGif(keyed ? 3 : -1), 8, 6));
        ASSERT_EQ(1, frames.FrameCount());
        const GifFrame gif = *frames.FrameToShow();
        EXPECT_EQ(keyed, gif.hasTransparency);
        const std::vector<uint8_t> camera = PatternFrame(8, 6);
        std::vector<uint8_t> frame = camera;
        frames.Draw(frame.data(), 8, 6);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 8; ++x) {
                const int index = (y * 8 + x) % 4;
                const size_t at = (size_t(5 - y) * 8 + x) * 3;  // the frame is bottom-up
                const uint8_t* g = colours[index];
                const bool key = g[0] == gif.transparentBlue && g[1] == gif.transparentGreen && g[2] == gif.transparentRed;
                for (int c = 0; c < 3; ++c) {
                    int want;
                    if (key)
                        want = camera[at + c];
                    else if (keyed)
                        want = g[c];
                    else
                        want = std::min(255, 2 * ((135 * g[c] + 120 * camera[at + c]) / 255));
                    ASSERT_EQ(want, frame[at + c]) << (keyed ? "keyed" : "mixed") << " pixel " << x << "," << y;
                }
            }
        }
        if (keyed) {
            EXPECT_EQ(0x0A, gif.transparentRed);
            EXPECT_EQ(0x14, gif.transparentGreen);
            EXPECT_EQ(0x1E, gif.transparentBlue);
        }
    }
}

TEST(FullFrameGif, ScaledFramesKeepTheirTransparentColourExact)
{
    // 8 x 6 scaled to 32 x 24: every pixel is one of the GIF's colours, and
    // the keyed ones leave the camera's bytes.
    CGifFrames frames;
    ASSERT_TRUE(frames.LoadBytes(KeyedGif(3), 32, 24));
    const std::vector<uint8_t> camera = PatternFrame(32, 24);
    std::vector<uint8_t> frame = camera;
    frames.Draw(frame.data(), 32, 24);
    const uint8_t colours[3][3] = {{0x0A, 0x1E, 0xC8}, {0x00, 0xFF, 0x00}, {0x30, 0x20, 0x10}};
    int kept = 0;
    for (size_t at = 0; at < frame.size(); at += 3) {
        if (memcmp(&frame[at], &camera[at], 3) == 0) {
            ++kept;
            continue;
        }
        bool known = false;
        for (const auto& c : colours)
            known = known || memcmp(&frame[at], c, 3) == 0;
        ASSERT_TRUE(known) << "pixel " << at / 3;
    }
    EXPECT_EQ(32 * 24 / 4, kept) << "a quarter of the GIF is transparent";
}

TEST(FullFrameGif, FramesOfAnotherSizeAreNotDrawn)
{
    const std::string path = WriteTempFile("full.gif", ThreeFrameGif(48, 36, {10, 10, 10}));
    CPictureLayer layer;
    layer.Load(path, nullptr, 480, 360, false);
    ASSERT_EQ(CPictureLayer::FullFrameGif, layer.mode);
    ASSERT_EQ(3, layer.gifFrames.FrameCount());
    std::vector<uint8_t> big = PatternFrame(640, 480);
    const std::vector<uint8_t> before = big;
    layer.Draw(big.data(), 640, 480);
    EXPECT_EQ(before, big);
    std::vector<uint8_t> right(480 * 360 * 3, 7);
    layer.Draw(right.data(), 480, 360);
    EXPECT_EQ(255, right[2]) << "red, scaled up to the frame";
}

TEST(FullFrameGif, FramesSwitchByTheirDelaysAtCameraFrames)
{
    const std::vector<uint8_t> file = ThreeFrameGif(8, 6, {10, 20, 10});
    FakeCounter clock;
    CGifFrames frames(clock.Clock());
    ASSERT_TRUE(frames.LoadBytes(file, 8, 6));
    ASSERT_EQ(3, frames.FrameCount());
    std::vector<int> shown;
    for (clock.ms = 0; clock.ms <= 400; clock.ms += 10) {
        ASSERT_TRUE(frames.FrameToShow());
        shown.push_back(frames.ShownIndex());
    }
    // t = 0 shows frame 0; frame 1 from 10 to 200 ms, frame 2 from 210 to 300, then frame 0 up to 400.
    std::vector<int> want;
    want.push_back(0);
    want.insert(want.end(), 20, 1);
    want.insert(want.end(), 10, 2);
    want.insert(want.end(), 10, 0);
    EXPECT_EQ(want, shown);
}

TEST(FullFrameGif, ShortDelaysStillShowEveryFrameOnce)
{
    const std::vector<uint8_t> file = ThreeFrameGif(8, 6, {1, 2, 1});
    FakeCounter clock;
    CGifFrames frames(clock.Clock());
    ASSERT_TRUE(frames.LoadBytes(file, 8, 6));
    std::vector<int> shown;
    for (int i = 0; i < 9; ++i, clock.ms += 33) {
        ASSERT_TRUE(frames.FrameToShow());
        shown.push_back(frames.ShownIndex());
    }
    EXPECT_EQ((std::vector<int>{0, 1, 2, 0, 1, 2, 0, 1, 2}), shown);
}

TEST(FullFrameGif, AFileThatIsNoGifDrawsNothing)
{
    const std::vector<uint8_t> broken = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0};
    CGifFrames frames;
    EXPECT_FALSE(frames.LoadBytes(broken, 8, 6));
    std::vector<uint8_t> frame = PatternFrame(8, 6);
    const std::vector<uint8_t> before = frame;
    frames.Draw(frame.data(), 8, 6);
    EXPECT_EQ(before, frame);
}


// ---- Full-frame GIFs decoded as they are shown ----

// Frame k of a GIF as a fresh load of the library gives it, scaled to
// width x height by the nearest source pixel (bottom rows first).
GifFrame ReferenceFrame(const std::vector<uint8_t>& gif, int k, int width, int height)
{
    CxImage image;
    image.SelectFrame(k);
    CxMemFile file(gif);
    image.DecodeStream(&file, CXIMAGE_FORMAT_GIF);
    GifFrame out;
    if (!image.HasPixels())
        return out;
    out.hasTransparency = image.HasTransparency();
    const CxRgbQuad key = image.TransparentColor();
    out.transparentRed = key.rgbRed;
    out.transparentGreen = key.rgbGreen;
    out.transparentBlue = key.rgbBlue;
    out.delay = int32_t(image.FrameDelay());
    out.width = width;
    out.height = height;
    const int sw = int(image.Width()), sh = int(image.Height());
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) {
            const CxRgbQuad c = image.PixelColor((2 * column + 1) * sw / (2 * width), (2 * row + 1) * sh / (2 * height));
            out.pixels.insert(out.pixels.end(), {c.rgbBlue, c.rgbGreen, c.rgbRed});
        }
    return out;
}

std::vector<uint8_t> MixedGif()
{
    const cxfix::Bytes table = cxfix::ColourTable({0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00}, 4);
    std::vector<cxfix::GifFrame> frames;
    for (int k = 0; k < 6; ++k) {
        cxfix::GifFrame f;
        f.left = k % 3;
        f.top = k % 2;
        f.width = 10 - 2 * (k % 3);
        f.height = 7 - (k % 2) * 2;
        for (int i = 0; i < f.width * f.height; ++i)
            f.indices.push_back(uint8_t((i * 5 + k) % 4));
        f.disposal = k % 4;
        f.transparent = k == 0 ? 0 : (k % 2 ? 3 : -1);
        f.delay = 5 * k;
        f.interlaced = k == 4;
        if (k == 2)
            f.localTable = cxfix::ColourTable({0x203040, 0x506070, 0x8090A0, 0xB0C0D0, 0xE0F000}, 8);
        frames.push_back(f);
    }
    return cxfix::Gif(12, 8, table, frames, true);
}

std::vector<uint8_t> MosaicGif()
{
    std::vector<cxfix::GifFrame> tiles;
    for (int i = 0; i < 4; ++i) {
        cxfix::GifFrame t;
        t.left = (i % 2) * 3;
        t.top = (i / 2) * 2;
        t.width = 3;
        t.height = 2;
        t.localTable = cxfix::ColourTable({0x102030u * uint32_t(i + 1), 0xFFFFFF}, 2);
        t.indices = {0, 1, 0, 1, 0, 0};
        t.delay = 10 + i;
        tiles.push_back(t);
    }
    return cxfix::Gif(6, 4, {}, tiles);
}

TEST(FullFrameGif, ShownFramesAreTheLibrarysFramesByteForByte)
{
    const struct {
        const char* name;
        std::vector<uint8_t> gif;
    } gifs[] = {{"three", ThreeFrameGif(8, 6, {10, 20, 10})}, {"keyed", KeyedGif(3)}, {"mixed", MixedGif()},
                {"mosaic", MosaicGif()}};
    const struct {
        int width, height;
    } sizes[] = {{12, 8}, {40, 30}, {5, 3}};
    for (const auto& g : gifs) {
        CxImage probe;
        CxMemFile file(g.gif);
        ASSERT_TRUE(probe.DecodeStream(&file, CXIMAGE_FORMAT_GIF)) << g.name;
        const int count = probe.FrameCount();
        for (const auto& size : sizes) {
            std::vector<GifFrame> want;
            for (int k = 0; k < count; ++k)
                want.push_back(ReferenceFrame(g.gif, k, size.width, size.height));
            // Every frame kept, and only the frame shown kept.
            for (const size_t cache : {CGifFrames::kMaxCachedBytes, size_t(0)}) {
                const std::string what = std::string(g.name) + " at " + std::to_string(size.width) + "x" +
                                         std::to_string(size.height) + (cache ? ", cached" : ", streamed");
                FakeCounter clock;
                CGifFrames frames(clock.Clock(), cache);
                ASSERT_TRUE(frames.LoadBytes(g.gif, size.width, size.height)) << what;
                ASSERT_EQ(count, frames.FrameCount()) << what;
                uint64_t readInFirstLoop = 0;
                for (int i = 0; i < 3 * count; ++i, clock.ms += 100000) {
                    if (i == count)
                        readInFirstLoop = frames.BytesRead();
                    const GifFrame* shown = frames.FrameToShow();
                    ASSERT_TRUE(shown) << what;
                    const int k = i % count;
                    ASSERT_EQ(k, frames.ShownIndex()) << what;
                    const GifFrame& w = want[size_t(k)];
                    ASSERT_EQ(w.pixels, shown->pixels) << what << ", frame " << k;
                    EXPECT_EQ(w.delay, shown->delay) << what << ", frame " << k;
                    EXPECT_EQ(w.hasTransparency, shown->hasTransparency) << what << ", frame " << k;
                    EXPECT_EQ(w.transparentRed, shown->transparentRed) << what << ", frame " << k;
                    EXPECT_EQ(w.transparentGreen, shown->transparentGreen) << what << ", frame " << k;
                    EXPECT_EQ(w.transparentBlue, shown->transparentBlue) << what << ", frame " << k;
                }
                // Frames kept are not decoded again, and the file is let go.
                if (cache) {
                    EXPECT_EQ(readInFirstLoop, frames.BytesRead()) << what;
                    EXPECT_LT(frames.HeldBytes(), size_t(count + 1) * (sizeof(GifFrame) + size.width * size.height * 3))
                        << what;
                } else if (count > 1) {
                    EXPECT_GT(frames.BytesRead(), readInFirstLoop) << what;
                }
            }
        }
    }
}

// n frames of one white pixel each, at (k % width, k / width) from the top
// of a width x height screen; frame k shows pixels 0 .. k. Index 0 (black)
// is transparent.
std::vector<uint8_t> GrowingGif(int n, int width, int height)
{
    const cxfix::Bytes table = cxfix::ColourTable({0x000000, 0xFFFFFF}, 2);
    std::vector<cxfix::GifFrame> frames;
    for (int k = 0; k < n; ++k) {
        cxfix::GifFrame f;
        f.left = k % width;
        f.top = k / width;
        f.width = 1;
        f.height = 1;
        f.indices = {1};
        f.transparent = 0;
        f.disposal = 1;
        f.delay = 1;
        frames.push_back(f);
    }
    return cxfix::Gif(width, height, table, frames, true);
}

TEST(FullFrameGif, ALongAnimationIsDecodedAsItIsShown)
{
    const int n = 6000, screenWidth = 80, screenHeight = 75;
    const std::vector<uint8_t> gif = GrowingGif(n, screenWidth, screenHeight);
    ASSERT_LT(gif.size(), 200000u);
    const struct {
        int width, height;
        int shows;  // camera frames looked at, one switch each
    } cases[] = {{80, 75, 2 * n + 5}, {480, 360, 40}};
    for (const auto& c : cases) {
        const std::string what = std::to_string(c.width) + "x" + std::to_string(c.height);
        FakeCounter clock;
        CGifFrames frames(clock.Clock());
        ASSERT_TRUE(frames.LoadBytes(gif, c.width, c.height)) << what;
        ASSERT_EQ(n, frames.FrameCount()) << what;
        // One pass over the file: the reader refills its 16 KB buffer at
        // every frame. Counting the frames and decoding the first is one pass
        // and a little.
        const uint64_t pass = gif.size() + uint64_t(n) * 16384;
        EXPECT_LE(frames.BytesRead(), 2 * pass) << what;
        const size_t frameBytes = size_t(c.width) * c.height * 3;
        const size_t bound = gif.size() + 2 * frameBytes + (1 << 20);
        EXPECT_LE(frames.HeldBytes(), bound) << what;

        const std::vector<uint8_t> camera(frameBytes, 0x40);
        for (int i = 0; i < c.shows; ++i, clock.ms += 40) {
            std::vector<uint8_t> frame = camera;
            frames.Draw(frame.data(), c.width, c.height);
            const int k = i % n;
            ASSERT_EQ(k, frames.ShownIndex()) << what << ", look " << i;
            // Frame k: the first k + 1 screen pixels white, the rest the camera.
            for (int row = 0; row < c.height; ++row) {
                const int sourceTop = screenHeight - 1 - (2 * row + 1) * screenHeight / (2 * c.height);
                for (int column = 0; column < c.width; ++column) {
                    const int sourceColumn = (2 * column + 1) * screenWidth / (2 * c.width);
                    const int want = sourceTop * screenWidth + sourceColumn <= k ? 255 : 0x40;
                    ASSERT_EQ(want, frame[(size_t(row) * c.width + column) * 3])
                        << what << ", frame " << k << ", pixel " << column << "," << row;
                }
            }
            ASSERT_LE(frames.HeldBytes(), bound) << what << ", frame " << k;
        }
        // Linear in the frames shown: the count at load, then a decoding
        // pass per loop.
        const uint64_t loops = uint64_t(c.shows) / n + 1;
        EXPECT_LE(frames.BytesRead(), (loops + 1) * pass) << what;
    }
}

TEST(FullFrameGif, TheFileCannotMakeTheLayerHoldMore)
{
    // A one-pixel frame on a screen of 65535 x 65535.
    const cxfix::Bytes table = cxfix::ColourTable({0x000000, 0xFFFFFF}, 2);
    cxfix::GifFrame dot;
    dot.width = 1;
    dot.height = 1;
    dot.indices = {1};
    const std::vector<uint8_t> wide = cxfix::Gif(65535, 65535, table, {dot});
    std::vector<uint8_t> huge = ThreeFrameGif(8, 6, {10, 10, 10});
    huge.resize(CGifFrames::kMaxFileBytes + 1, 0);
    const struct {
        const char* name;
        const std::vector<uint8_t>& bytes;
    } cases[] = {{"huge screen", wide}, {"huge file", huge}};
    for (const auto& c : cases) {
        CGifFrames frames;
        EXPECT_FALSE(frames.LoadBytes(c.bytes, 480, 360)) << c.name;
        EXPECT_EQ(0, frames.FrameCount()) << c.name;
        EXPECT_FALSE(frames.FrameToShow()) << c.name;
        EXPECT_LE(frames.HeldBytes(), size_t(1) << 20) << c.name;
    }
    // From a file too: the big one is not read in.
    const std::string path = WriteTempFile("huge.gif", huge);
    CPictureLayer layer;
    layer.Load(path, nullptr, 480, 360, false);
    EXPECT_EQ(CPictureLayer::FullFrameGif, layer.mode);
    EXPECT_EQ(0, layer.gifFrames.FrameCount());
    EXPECT_LE(layer.gifFrames.HeldBytes(), size_t(1) << 20);
    DeleteFileA(path.c_str());
}

// ---- Other pictures named as GIFs ----

TEST(LayerSniffing, OtherPicturesNamedAsGifsAreDrawnOverTheWholeFrame)
{
    const struct {
        std::string name;
        std::vector<uint8_t> bytes;
        bool positioned;
        bool draws;
    } cases[] = {
        {"picture-bmp.gif", Bmp43(), false, true},
        {"picture-tga.gif", Tga43(), false, true},
        {"picture-psd.gif", Psd43(), false, true},
        {"picture-bmp.GIF", Bmp43(), false, true},
        {"picture-psd.Gif", Psd43(), false, true},
        {"picture-bmp-sticker.gif", Bmp43(), true, false},  // stickers are told by content only
        {"picture.bmp", Bmp43(), false, false},
        {"noise.gif", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}, false, false},
    };
    const int W = 8, H = 6;
    for (const auto& c : cases) {
        const std::string path = WriteTempFile(c.name, c.bytes);
        CPictureLayer layer;
        layer.Load(path, nullptr, W, H, c.positioned);
        DeleteFileA(path.c_str());
        const std::vector<uint8_t> camera = PatternFrame(W, H);
        std::vector<uint8_t> frame = camera;
        layer.Draw(frame.data(), W, H);
        if (!c.draws) {
            EXPECT_EQ(camera, frame) << c.name;
            continue;
        }
        EXPECT_EQ(CPictureLayer::FullFrameGif, layer.mode) << c.name;
        EXPECT_EQ(1, layer.gifFrames.FrameCount()) << c.name;
        EXPECT_EQ(Mixed43(camera), frame) << c.name;
    }
}

} // namespace
