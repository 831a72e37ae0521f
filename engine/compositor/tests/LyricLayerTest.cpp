// The lyric lines: placement, the sung sweep, hiding, and the compositor's
// lock around their settings.
#include "DecorationLayer.h"
#include "LyricLayer.h"
#include "TextTestFrames.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

const int kW = 640, kH = 480;
const COLORREF kBlue = RGB(0, 0, 255), kYellow = RGB(255, 255, 0), kRed = RGB(238, 2, 2);

struct Lines {
    RECT line1, line2;
};

// Where the two lines go on a frame: line 1 left, line 2 right below it.
Lines Place(const std::wstring& line1, const std::wstring& line2, int width = kW, int height = kH)
{
    const SIZE size1 = TextSize(CLyricLayer::CreateFont(width), line1);
    const SIZE size2 = TextSize(CLyricLayer::CreateFont(width), line2);
    return Lines{RECT{6, height - 2 * size1.cy - 4, 6 + size1.cx, height - size1.cy - 4},
                 RECT{width - size2.cx - 6, height - size2.cy - 4, width - 6, height - 4}};
}

Frame Draw(CLyricLayer& lyrics, int width = kW, int height = kH)
{
    Frame frame(width, height);
    lyrics.Draw(frame.Data(), width, height);
    return frame;
}

TEST(Lyrics, FontFields)
{
    for (int width : {480, 640, 960}) {
        const LOGFONTW log = FontFields(CLyricLayer::CreateFont(width));
        EXPECT_EQ(log.lfHeight, int(FontScale(width) * 30.6));
        EXPECT_EQ(log.lfWeight, 700);
        EXPECT_EQ(log.lfCharSet, 134);
        EXPECT_EQ(log.lfOutPrecision, 0);
        EXPECT_EQ(log.lfClipPrecision, 0);
        EXPECT_EQ(log.lfQuality, 4);
        EXPECT_EQ(log.lfPitchAndFamily, 50);
        EXPECT_EQ(std::wstring(log.lfFaceName), L"\u5fae\u8f6f\u96c5\u9ed1");
    }
}

// The active line's sung part (yellow, red outline) runs from its left edge
// to s, the rest (blue) from s + 1: s = trunc((width + 10) x progress) for
// line 1, left + trunc(width x progress) for line 2 (nothing sung at 0).
TEST(Lyrics, SweepPerProgress)
{
    const std::string text1 = "WHAT A WONDERFUL", text2 = "WORLD WE KNEW";
    const Lines lines = Place(L"WHAT A WONDERFUL", L"WORLD WE KNEW");
    const struct {
        bool firstActive;
        double progress;
        double sweep;  // what the layer keeps
    } cases[] = {
        {true, 0.0, 0.0},  {true, 0.5, 0.5},   {true, 0.94, 0.94}, {true, 0.95, 1.0},
        {true, 0.96, 1.0}, {false, 0.0, 0.0},  {false, 0.5, 0.5},  {false, 0.3, 0.3},
        {false, 0.96, 1.0}, {false, 1.0, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.firstActive ? "line 1" : "line 2") << " progress " << c.progress);
        CLyricLayer lyrics;
        lyrics.Show(true);
        lyrics.SetLines(text1, text2, c.progress, c.firstActive);
        const Frame frame = Draw(lyrics);
        const RECT active = c.firstActive ? lines.line1 : lines.line2;
        const RECT other = c.firstActive ? lines.line2 : lines.line1;
        const int width = active.right - active.left;
        const int s = c.firstActive ? int((width + 10) * c.sweep) : active.left + int(width * c.sweep);

        const PixelSet sung = WithColor(frame, kYellow), red = WithColor(frame, kRed);
        const PixelSet rest = WithColor(frame, kBlue, active);
        if (c.sweep == 0) {
            EXPECT_TRUE(sung.empty());
            EXPECT_TRUE(red.empty());
        } else {
            ASSERT_FALSE(sung.empty());
            EXPECT_FALSE(red.empty());
            EXPECT_LT(Bounds(sung).right, s + 1);
            EXPECT_LT(Bounds(red).right, s + 1);
            EXPECT_GE(Bounds(sung).top, active.top);
            EXPECT_LE(Bounds(sung).bottom, active.bottom);
        }
        if (c.sweep == 1)
            EXPECT_TRUE(rest.empty());
        else {
            ASSERT_FALSE(rest.empty());
            EXPECT_GE(Bounds(rest).left, s + 1);
        }
        // The other line is plain: blue with no sung colours.
        EXPECT_FALSE(WithColor(frame, kBlue, other).empty());
        EXPECT_TRUE(WithColor(frame, kYellow, other).empty());
    }
}

// The sweep draws the glyphs where the plain line draws them, "&" included.
TEST(Lyrics, SweptAndPlainLinesCoincide)
{
    CLyricLayer lyrics;
    lyrics.Show(true);
    lyrics.SetColor(0, 0, 255);
    lyrics.SetSungColor(255, 255, 0);
    lyrics.SetLines("R&B MIX", "second", 1.0, true);
    const PixelSet swept = WithColor(Draw(lyrics), kYellow);
    lyrics.SetLines("R&B MIX", "second", 1.0, false);
    const Lines lines = Place(L"R&B MIX", L"second");
    const PixelSet plain = WithColor(Draw(lyrics), kBlue, lines.line1);
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(swept, plain);
}

TEST(Lyrics, ColoursAreTakenToEightBits)
{
    CLyricLayer lyrics;
    lyrics.Show(true);
    lyrics.SetColor(0x110, 0x220, 0x330);   // (16, 32, 48)
    lyrics.SetSungColor(0x1F0, 0x2E0, 0x3D0);  // (240, 224, 208)
    lyrics.SetLines("HALF AND HALF", "", 0.5, true);
    const Frame frame = Draw(lyrics);
    EXPECT_FALSE(WithColor(frame, RGB(16, 32, 48)).empty());
    EXPECT_FALSE(WithColor(frame, RGB(240, 224, 208)).empty());
}

TEST(Lyrics, HiddenOrWithoutFirstLineDrawsNothing)
{
    const Frame empty(kW, kH);
    CLyricLayer lyrics;
    lyrics.SetLines("first", "second", 0.5, true);
    EXPECT_TRUE(Changed(Draw(lyrics), empty).empty());  // not shown
    lyrics.Show(true);
    EXPECT_FALSE(Changed(Draw(lyrics), empty).empty());
    lyrics.SetLines("", "second", 0.5, false);
    EXPECT_TRUE(Changed(Draw(lyrics), empty).empty());
    // Line 1 alone is drawn where it belongs.
    lyrics.SetLines("first", "", 0.0, true);
    const Frame frame = Draw(lyrics);
    const Lines lines = Place(L"first", L"");
    RECT around = lines.line1;
    InflateRect(&around, 1, 1);
    const PixelSet ink = Changed(frame, empty);
    ASSERT_FALSE(ink.empty());
    EXPECT_EQ(ink.size(), Changed(frame, empty, around).size());
}

// The host's thread sets the lyrics while frames are composed: every frame
// shows one whole setting, never lines of one and progress of another.
TEST(CompositorLyrics, SettersAreAtomicAgainstCompose)
{
    CompositorParts parts;
    parts.markLoader = [](MarkBitmap&) { return false; };
    CDecorationLayer layer(std::move(parts));
    layer.ShowLyrics(true);
    const int width = 480, height = 360;
    const auto render = [&] {
        Frame frame(width, height);
        layer.Compose(frame.Data(), width, height);
        return frame.pixels;
    };
    layer.SetLyrics("ONE TWO THREE FOUR", "a", 0.0, true);
    const std::vector<uint8_t> a = render();
    layer.SetLyrics("b", "FIVE SIX SEVEN EIGHT NINE", 1.0, false);
    const std::vector<uint8_t> b = render();
    ASSERT_NE(a, b);

    std::atomic<bool> stop(false);
    std::thread host([&] {
        for (unsigned i = 0; !stop; ++i) {
            if (i % 2)
                layer.SetLyrics("ONE TWO THREE FOUR", "a", 0.0, true);
            else
                layer.SetLyrics("b", "FIVE SIX SEVEN EIGHT NINE", 1.0, false);
        }
    });
    int torn = 0;
    for (int frame = 0; frame < 150; ++frame) {
        const std::vector<uint8_t> pixels = render();
        torn += pixels != a && pixels != b;
    }
    stop = true;
    host.join();
    EXPECT_EQ(torn, 0);
}

} // namespace
