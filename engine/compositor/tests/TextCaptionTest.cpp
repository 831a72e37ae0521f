// The text caption over whole frames: scrolling, placement, band, renderer
// switches, and its seam in the compositor.
#include "DecorationLayer.h"
#include "TextCaption.h"
#include "TextRenderers.h"
#include "TextTestFrames.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const COLORREF kGround = RGB(150, 120, 90);

class Caption : public ::testing::Test {
protected:
    Caption() : caption([this] { return now; }) {}

    // What the current renderer measures for this caption at a frame width.
    SIZE TextCell(int type, const std::wstring& text, int frameWidth)
    {
        std::unique_ptr<CTextLayer> renderer = CreateTextLayer(type);
        renderer->SetText(text);
        return RendererSize(*renderer, font, frameWidth);
    }
    Frame Draw(int width, int height, COLORREF fill = kGround)
    {
        Frame frame(width, height, fill);
        caption.Draw(frame.Data(), width, height);
        return frame;
    }
    void Start(const std::string& text, int type)
    {
        caption.SetFont(font.size, font.style, "Microsoft YaHei", false, false);
        caption.SetStyle(type);
        caption.SetText(text);
        caption.Show(true);
    }

    uint32_t now = 1000;
    TextFont font = [] {
        TextFont f;
        f.face = L"Microsoft YaHei";
        return f;
    }();
    CTextCaption caption;
};

TEST_F(Caption, ScrollSteps)
{
    const struct {
        unsigned mode;
        float speed;
        std::vector<int> positions;  // after each frame
    } cases[] = {
        {2, 0.5f, {0, -1, -1, -2, -2, -3}},
        {2, 2.5f, {-2, -5, -7, -10, -12, -15}},
        {1, 2.5f, {2, 5, 7, 10, 12, 15}},
        {1, 0.25f, {0, 0, 0, 1, 1, 1, 1, 2}},
        {0, 3.0f, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " speed " << c.speed);
        CTextCaption fresh([this] { return now; });
        fresh.SetText("Scroll");
        fresh.Show(true);
        fresh.SetScrollMode(c.mode);
        fresh.SetSpeed(c.speed);
        for (int expected : c.positions) {
            Frame frame(640, 480);
            fresh.Draw(frame.Data(), 640, 480);
            EXPECT_EQ(fresh.ScrollX(), expected);
        }
    }
}

// The glyphs themselves move with the position: compare the ink's right edge.
TEST_F(Caption, DrawnTextFollowsTheScroll)
{
    Start("Moving caption", 0);
    caption.SetScrollMode(2);
    caption.SetSpeed(2.5f);
    const Frame first = Draw(640, 480);
    const int firstX = caption.ScrollX();
    const LONG firstRight = Bounds(Changed(first, Frame(640, 480, kGround))).right;
    for (int i = 0; i < 4; ++i)
        Draw(640, 480);
    const Frame later = Draw(640, 480);
    const LONG laterRight = Bounds(Changed(later, Frame(640, 480, kGround))).right;
    EXPECT_EQ(firstX, -2);
    EXPECT_EQ(caption.ScrollX(), -15);  // six frames of 2.5 px
    EXPECT_EQ(laterRight - firstRight, caption.ScrollX() - firstX);
}

TEST_F(Caption, LeftwardCaptionReentersAtTheRightEdge)
{
    Start("Bye", 0);
    const int cx = TextCell(0, L"Bye", 640).cx;
    ASSERT_GT(cx, 0);
    caption.SetScrollMode(2);
    caption.SetSpeed(40.0f);
    int previous = 0, frames = 0;
    while (frames < 100) {
        Draw(640, 480);
        ++frames;
        const int x = caption.ScrollX();
        if (previous - 40 < -cx) {
            EXPECT_EQ(x, 640);
            break;
        }
        EXPECT_EQ(x, previous - 40);
        previous = x;
    }
    EXPECT_LT(frames, 100);
    // Not visible at the edge itself, then coming in from the right.
    const Frame next = Draw(640, 480);
    EXPECT_EQ(caption.ScrollX(), 600);
    const PixelSet ink = Changed(next, Frame(640, 480, kGround));
    ASSERT_FALSE(ink.empty());
    EXPECT_GE(Bounds(ink).left, 600);
}

TEST_F(Caption, RightwardCaptionReentersAtTheLeftEdge)
{
    Start("Hi there", 0);
    const int cx = TextCell(0, L"Hi there", 640).cx;
    caption.SetScrollMode(1);
    caption.SetSpeed(150.0f);
    for (int expected : {150, 300, 450, 600}) {
        Draw(640, 480);
        EXPECT_EQ(caption.ScrollX(), expected);
    }
    Draw(640, 480);
    EXPECT_EQ(caption.ScrollX(), -cx);  // 750 passed the right edge
    Draw(640, 480);
    EXPECT_EQ(caption.ScrollX(), -cx + 150);
}

TEST_F(Caption, VerticalPlacement)
{
    const struct {
        int width, height;
        unsigned bottom;
        int expectedBottom;  // what the caption keeps
    } cases[] = {
        {480, 360, 0, 0}, {640, 480, 100, 100}, {480, 360, 360, 360}, {480, 360, 361, 0}, {640, 480, 5000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " bottom " << c.bottom);
        CTextCaption fresh([this] { return now; });
        fresh.SetFont(25, 0, "Microsoft YaHei", false, false);
        fresh.SetStyle(0);
        fresh.SetText("Ag");
        fresh.Show(true);
        fresh.SetBottom(c.bottom);  // above 360: ignored, the default 0 stays
        Frame frame(c.width, c.height, kGround);
        fresh.Draw(frame.Data(), c.width, c.height);
        const int cy = TextCell(0, L"Ag", c.width).cy;
        const int y = std::max(0, c.height - c.expectedBottom - cy);
        const RECT ink = Bounds(Changed(frame, Frame(c.width, c.height, kGround)));
        ASSERT_LT(ink.top, ink.bottom);
        EXPECT_GE(ink.top, y);
        EXPECT_LE(ink.bottom, y + cy);
        EXPECT_LT(ink.top, y + cy / 2);  // the glyphs start in the upper half of the line
    }
}

// The band: plain renderer only, the text's height, full width, mixed
// 195:60 into the frame exactly; rows outside it untouched.
TEST_F(Caption, BandRowsAndValues)
{
    const struct {
        int type, width, height;
        unsigned bottom;
        int r, g, b;
        bool band;
    } cases[] = {
        {0, 640, 480, 50, 200, 40, 0, true},
        {0, 480, 360, 360, 10, 250, 128, true},  // would pass the top: ends at the top row
        {0, 480, 360, 0, -1, 0, 255, true},      // only green and blue decide; red -1 is 255
        {0, 640, 480, 0, 200, -1, 0, false},
        {0, 640, 480, 0, 200, 0, -1, false},
        {1, 640, 480, 50, 200, 40, 0, false},
        {4, 640, 480, 50, 200, 40, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " bottom " << c.bottom << " colour " << c.r << ","
                                        << c.g << "," << c.b);
        CTextCaption fresh([this] { return now; });
        fresh.SetFont(25, 0, "Microsoft YaHei", false, false);
        fresh.SetStyle(c.type);
        fresh.SetText("Band");
        fresh.SetColor(255, 255, 255);
        fresh.SetBackColor(c.r, c.g, c.b);
        fresh.SetBottom(c.bottom);
        fresh.Show(true);
        Frame frame(c.width, c.height, kGround);
        fresh.Draw(frame.Data(), c.width, c.height);

        const int bandHeight = TextSize(CPlainTextLayer::MakeFont(FontScale(c.width), font), L"Band").cy;
        const int firstUp = std::min(int(c.bottom), c.height - bandHeight);  // counted from the bottom
        const COLORREF ground = kGround;
        const auto mix = [](int band, int frame) { return (195 * band + 60 * frame) / 255; };
        const COLORREF mixed = RGB(mix(BYTE(c.r), GetRValue(ground)), mix(BYTE(c.g), GetGValue(ground)),
                                   mix(BYTE(c.b), GetBValue(ground)));
        // The last column carries no glyphs.
        for (int y = 0; y < c.height; ++y) {
            const int up = c.height - 1 - y;
            const bool inBand = c.band && up >= firstUp && up < firstUp + bandHeight;
            ASSERT_EQ(frame.At(c.width - 1, y), inBand ? mixed : ground) << "row " << y;
        }
        // Outside the band rows nothing changed at all.
        const Frame plain(c.width, c.height, kGround);
        const PixelSet changed = Changed(frame, plain);
        ASSERT_FALSE(changed.empty());
        if (c.band) {
            const RECT box = Bounds(changed);
            EXPECT_EQ(box.top, c.height - firstUp - bandHeight);
            EXPECT_EQ(box.bottom, c.height - firstUp);
            EXPECT_EQ(box.left, 0);
            EXPECT_EQ(box.right, c.width);
        }
    }
}

// The kept strip, font and band give the bytes of drawing the whole frame
// with everything made afresh: every renderer, both font scales, a scroll
// across the frame and its re-entry, and changes of text, font, colour and
// renderer while it runs. The ground is noisy so that smoothed glyph edges
// depend on what lies under them.
TEST_F(Caption, KeptStripDrawsTheSameBytesAsTheWholeFrame)
{
    const struct { int type, width, height; unsigned bottom; bool band; } cases[] = {
        {0, 640, 480, 20, true}, {0, 960, 720, 0, true}, {1, 640, 480, 40, false}, {2, 640, 480, 0, false},
        {3, 480, 360, 360, false}, {4, 640, 480, 10, false}, {0, 480, 360, 350, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " " << c.width << "x" << c.height << " bottom "
                                        << c.bottom);
        CTextCaption kept([this] { return now; }), reference([this] { return now; });
        reference.SetWholeFrameDrawing(true);
        for (CTextCaption* caption : {&kept, &reference}) {
            caption->SetFont(25, 2, "Microsoft YaHei", false, true);
            caption->SetStyle(c.type);
            caption->SetText("Scrolling caption Wg|");
            if (c.band)
                caption->SetBackColor(0, 0, 128);
            caption->SetScrollMode(2);
            caption->SetSpeed(37.5f);
            caption->SetBottom(c.bottom);
            caption->Show(true);
        }
        Frame ground(c.width, c.height);
        for (size_t i = 0; i < ground.pixels.size(); ++i)
            ground.pixels[i] = uint8_t(i * 7 + i / 1931);
        int drawn = 0;
        for (int step = 0; step < 60; ++step) {
            now += 400;  // the colour cycles move on
            if (step == 20)
                for (CTextCaption* caption : {&kept, &reference})
                    caption->SetText("\xd6\xd0\xce\xc4 other");
            if (step == 30)
                for (CTextCaption* caption : {&kept, &reference})
                    caption->SetFont(18, 1, "SimSun", true, false);
            if (step == 40)
                for (CTextCaption* caption : {&kept, &reference}) {
                    caption->SetColor(250, 200, 0);
                    caption->SetBackColor(0, 128, 0);
                }
            if (step == 50)
                for (CTextCaption* caption : {&kept, &reference})
                    caption->SetStyle(c.type == 0 ? 4 : 0);
            Frame a = ground, b = ground;
            kept.Draw(a.Data(), c.width, c.height);
            reference.Draw(b.Data(), c.width, c.height);
            ASSERT_EQ(kept.ScrollX(), reference.ScrollX()) << "step " << step;
            ASSERT_TRUE(a.pixels == b.pixels) << "step " << step << ", " << Changed(a, b).size() << " pixels differ";
            drawn += a.pixels == ground.pixels ? 0 : 1;
        }
        EXPECT_GT(drawn, 40) << "frames with the caption on them";
    }
}

TEST_F(Caption, SwitchingRendererKeepsTextAndColour)
{
    caption.SetText("Keep me");
    caption.SetColor(10, 20, 30);
    for (int type : {0, 2, 3, 4, 1, 9}) {
        caption.SetStyle(type);
        EXPECT_EQ(caption.RendererType(), TextLayerType(type));
        EXPECT_EQ(caption.RendererText(), L"Keep me");
        EXPECT_EQ(caption.RendererColor(), RGB(10, 20, 30));
    }
    // The colour reaches the plain renderer's pixels.
    caption.SetFont(25, 2, "Microsoft YaHei", false, false);
    caption.SetStyle(0);
    caption.Show(true);
    const Frame frame = Draw(640, 480, RGB(255, 255, 255));
    EXPECT_EQ(MostFrequent(frame, RECT{0, 0, 640, 480}, RGB(255, 255, 255)), RGB(10, 20, 30));
}

TEST_F(Caption, HiddenOrEmptyDrawsNothing)
{
    caption.SetText("Quiet");
    EXPECT_TRUE(Changed(Draw(640, 480), Frame(640, 480, kGround)).empty());  // not shown
    caption.Show(true);
    EXPECT_FALSE(Changed(Draw(640, 480), Frame(640, 480, kGround)).empty());
    caption.SetText("");
    caption.SetBackColor(1, 2, 3);
    caption.SetStyle(0);
    EXPECT_TRUE(Changed(Draw(640, 480), Frame(640, 480, kGround)).empty());
    // Rows that are not whole DIB rows are left alone rather than overrun.
    caption.SetText("Odd");
    std::vector<uint8_t> odd(size_t(321) * 240 * 3 + 16, 7);
    caption.Draw(odd.data(), 321, 240);
    EXPECT_EQ(std::count(odd.begin(), odd.end(), 7), ptrdiff_t(odd.size()));
}

TEST_F(Caption, UsageRunsWhileTextIsSet)
{
    caption.SetText("counting");
    now += 3500;
    EXPECT_EQ(caption.Usage(), 3);
    caption.SetText("");
    now += 10000;
    EXPECT_EQ(caption.Usage(), 0);
}

// Through the compositor: Compose draws the caption and the lyric lines.
TEST(CompositorText, ComposeDrawsCaptionAndLyrics)
{
    CompositorParts parts;
    parts.markLoader = [](MarkBitmap&) { return false; };
    CDecorationLayer layer(std::move(parts));
    const Frame plain(640, 480, kGround);
    Frame frame = plain;
    layer.Compose(frame.Data(), 640, 480);
    EXPECT_TRUE(Changed(frame, plain).empty());

    layer.SetText("TqNelu caption");
    layer.SetTextStyle(0);
    layer.SetTextBackColor(0, 0, 0);
    layer.ShowText(true);
    layer.Compose(frame.Data(), 640, 480);
    const RECT caption = Bounds(Changed(frame, plain));
    EXPECT_EQ(caption.bottom, 480);  // the band sits on the bottom edge
    EXPECT_EQ(caption.right, 640);
    EXPECT_GT(caption.top, 400);

    frame = plain;
    layer.ShowText(false);
    layer.SetLyrics("First line", "Second line", 0.5, true);
    layer.ShowLyrics(true);
    layer.Compose(frame.Data(), 640, 480);
    EXPECT_FALSE(WithColor(frame, RGB(255, 255, 0)).empty());  // sung part
    EXPECT_FALSE(WithColor(frame, RGB(0, 0, 255)).empty());    // the rest
}

} // namespace
