// The caption's renderers drawn with real GDI: fonts, cells, colour phases,
// tiles and Chinese glyphs.
#include "TextRenderers.h"
#include "TextTestFrames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const int kW = 640, kH = 480;
const std::wstring kYaHei = L"\u5fae\u8f6f\u96c5\u9ed1";

Frame DrawRenderer(CTextLayer& renderer, const TextFont& font, int x, int y, int width = kW, int height = kH)
{
    Frame frame(width, height);
    EXPECT_TRUE(DrawThroughBitmap(
        frame.Data(), width, height, [&](HDC dc) { return renderer.CreateFont(dc, FontScale(width), font); },
        [&](HDC dc) { renderer.Draw(&dc, x, y); }));
    return frame;
}

std::unique_ptr<CTextLayer> Renderer(int type, const std::wstring& text, uint32_t* now = nullptr)
{
    std::unique_ptr<CTextLayer> renderer =
        CreateTextLayer(type, now ? TextClock([now] { return *now; }) : TextClock());
    renderer->SetText(text);
    return renderer;
}

// Itanium member pointers to virtual functions hold 1 + the byte offset of the slot.
template <class Member>
int SlotOf(Member member)
{
    uintptr_t raw;
    memcpy(&raw, &member, sizeof raw);
    return int((raw - 1) / sizeof(void*));
}

TEST(TextRenderer, SlotsFollowTheDestructor)
{
    // The destructor takes slots 0 and 1 (complete and deleting).
    EXPECT_EQ(SlotOf(&CTextLayer::Draw), 2);
    EXPECT_EQ(SlotOf(&CTextLayer::HasBackground), 3);
    EXPECT_EQ(SlotOf(&CTextLayer::CreateFont), 4);
    EXPECT_EQ(SlotOf(&CTextLayer::Measure), 5);
}

TEST(TextRenderer, TypesAndBackground)
{
    const struct {
        int requested, type;
        bool background;
    } cases[] = {{0, 0, true}, {1, 1, false}, {2, 2, false}, {3, 3, false}, {4, 4, false}, {5, 1, false},
                 {-1, 1, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(TextLayerType(c.requested), c.type) << c.requested;
        EXPECT_EQ(CreateTextLayer(c.requested)->HasBackground(), c.background) << c.requested;
    }
    CTextLayer base;
    EXPECT_TRUE(base.HasBackground());
}

TEST(TextRenderer, SplitsTextIntoUnits)
{
    CTextLayer layer;
    layer.SetText(L"a \u4e2d\U0001F600");
    EXPECT_EQ(layer.text, L"a \u4e2d\U0001F600");
    ASSERT_EQ(layer.chars.size(), 5u);  // the emoji is two UTF-16 units
    EXPECT_EQ(layer.chars[2], L"\u4e2d");
    layer.SetText(L"");
    EXPECT_TRUE(layer.chars.empty());
}

TEST(TextRenderer, FontFields)
{
    TextFont font;
    font.size = 20;
    font.face = L"Arial";
    const struct {
        int type, style;
        bool strike, underline;
        int width;  // frame width: scale = width / 480 in whole steps
        LONG height, weight;
        BYTE italic, out, clip, quality;
        std::wstring face;
    } cases[] = {
        {0, 0, false, false, 640, 30, 400, 0, 4, 2, 4, L"Arial"},
        {0, 3, true, true, 960, 60, 700, 1, 4, 2, 4, L"Arial"},
        {1, 0, false, false, 640, 30, 200, 0, 0, 0, 0, L"Arial"},
        {1, 2, false, true, 640, 30, 700, 0, 0, 0, 0, L"Arial"},
        {2, 1, false, false, 640, 30, 400, 1, 0, 0, 0, L"Arial"},
        {3, 2, true, false, 640, 30, 700, 0, 0, 0, 0, L"Arial"},
        {4, 3, true, true, 640, 33, 500, 0, 7, 64, 4, kYaHei},
        {4, 0, false, false, 1000, 66, 500, 0, 7, 64, 4, kYaHei},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " style " << c.style << " width " << c.width);
        font.style = c.style;
        font.strikeOut = c.strike;
        font.underline = c.underline;
        const LOGFONTW log = FontFields(CreateTextLayer(c.type)->CreateFont(nullptr, FontScale(c.width), font));
        EXPECT_EQ(log.lfHeight, c.height);
        EXPECT_EQ(log.lfWeight, c.weight);
        EXPECT_EQ(log.lfItalic, c.italic);
        EXPECT_EQ(log.lfStrikeOut, c.type == 4 ? 0 : BYTE(c.strike));
        EXPECT_EQ(log.lfUnderline, c.type == 4 ? 0 : BYTE(c.underline));
        EXPECT_EQ(log.lfCharSet, 134);
        EXPECT_EQ(log.lfOutPrecision, c.out);
        EXPECT_EQ(log.lfClipPrecision, c.clip);
        EXPECT_EQ(log.lfQuality, c.quality);
        EXPECT_EQ(log.lfPitchAndFamily, 50);
        EXPECT_EQ(std::wstring(log.lfFaceName), c.face);
    }
    // The base renderer's font is GDI's default description.
    const LOGFONTW base = FontFields(CTextLayer().CreateFont(nullptr, 1, font));
    EXPECT_EQ(base.lfHeight, 0);
    EXPECT_EQ(base.lfFaceName[0], L'\0');
}

// A face name longer than the LOGFONT field is cut to 31 characters instead
// of running past it.
TEST(TextRenderer, LongFaceNamesAreCut)
{
    for (size_t length : {31u, 32u, 40u, 300u}) {
        std::wstring face;
        for (size_t i = 0; i < length; ++i)
            face += wchar_t(L'a' + i % 26);
        TextFont font;
        font.face = face;
        for (int type : {0, 1, 2, 3}) {
            const LOGFONTW log = FontFields(CreateTextLayer(type)->CreateFont(nullptr, 1, font));
            EXPECT_EQ(std::wstring(log.lfFaceName), face.substr(0, 31)) << "length " << length << " type " << type;
        }
        LOGFONTW log;
        memset(&log, 0x55, sizeof log);
        SetFaceName(log, face);
        EXPECT_EQ(std::wstring(log.lfFaceName), face.substr(0, 31));
    }
}

TEST(TextRenderer, MeasuresCellsAndPlainText)
{
    TextFont font;
    font.face = L"Microsoft YaHei";
    const std::wstring text = L"i W\u4e2d";
    for (int type : {1, 2, 3, 4}) {
        std::unique_ptr<CTextLayer> renderer = Renderer(type, text);
        SIZE expected = {0, 0};
        WithFont(renderer->CreateFont(nullptr, 1, font), [&](HDC dc) {
            for (wchar_t unit : text) {
                SIZE size;
                GetTextExtentPoint32W(dc, &unit, 1, &size);
                expected.cx += size.cx < 20 ? 20 : size.cx + 4;
                expected.cy = size.cy;
            }
        });
        const SIZE measured = RendererSize(*renderer, font, kW);
        EXPECT_EQ(measured.cx, expected.cx) << type;
        EXPECT_EQ(measured.cy, expected.cy) << type;
        EXPECT_GT(measured.cx, 20 * 4) << type;  // "i" and " " take 20 each, the others more
        renderer->SetText(L"");
        EXPECT_EQ(RendererSize(*renderer, font, kW).cx, 0) << type;
        EXPECT_EQ(RendererSize(*renderer, font, kW).cy, 0) << type;
    }
    std::unique_ptr<CTextLayer> plain = Renderer(0, text);
    const SIZE whole = TextSize(CPlainTextLayer::MakeFont(1, font), text);
    EXPECT_EQ(RendererSize(*plain, font, kW).cx, whole.cx);
    EXPECT_EQ(RendererSize(*plain, font, kW).cy, whole.cy);
}

TEST(TextRenderer, PlainDrawsInItsColour)
{
    TextFont font;
    font.face = L"Microsoft YaHei";
    font.style = 2;
    std::unique_ptr<CTextLayer> renderer = Renderer(0, L"HELLO");
    renderer->color = RGB(250, 30, 90);
    const Frame frame = DrawRenderer(*renderer, font, 100, 200);
    const SIZE size = RendererSize(*renderer, font, kW);
    const PixelSet ink = Changed(frame, Frame(kW, kH));
    ASSERT_FALSE(ink.empty());
    const RECT box = Bounds(ink);
    EXPECT_GE(box.left, 100);
    EXPECT_LE(box.right, 100 + size.cx + 2);
    EXPECT_GE(box.top, 200);
    EXPECT_LE(box.bottom, 200 + size.cy);
    EXPECT_EQ(MostFrequent(frame, box, RGB(0, 0, 0)), RGB(250, 30, 90));

    renderer->SetText(L"");
    EXPECT_TRUE(Changed(DrawRenderer(*renderer, font, 100, 200), Frame(kW, kH)).empty());
    CTextLayer base;
    base.SetText(L"HELLO");
    EXPECT_TRUE(Changed(DrawRenderer(base, font, 100, 200), Frame(kW, kH)).empty());
}

// Each character's cell shows face colour k and shadow colour k + shadowBase
// of its table, k moving with the seconds since the type first drew.
TEST(TextRenderer, ColourPhasesPerCharacter)
{
    const struct {
        int type;
        const COLORREF* table;
        int shadowBase;
        int phases;
        std::function<size_t(size_t i, size_t phase)> entry;
    } cases[] = {
        {1, CColorCycleTextLayer::kFirstTable, 30, 3, [](size_t i, size_t p) { return p * 10 + i % 10; }},
        {3, CColorCycleTextLayer::kSecondTable, 30, 3, [](size_t i, size_t p) { return p * 10 + i % 10; }},
        {2, CTwoPhaseTextLayer::kTable, 8, 2, [](size_t i, size_t p) { return i % 4 + p * 4; }},
    };
    TextFont font;
    font.face = L"Microsoft YaHei";
    font.style = 2;
    const std::wstring text(12, L'M');
    const int x0 = 7, y0 = 150;
    for (const auto& c : cases) {
        uint32_t now = 5000000 + 777 * c.type;
        const uint32_t start = PhaseClockStart(c.type, now);
        std::unique_ptr<CTextLayer> renderer = Renderer(c.type, text, &now);
        // The cells, as the renderer lays them out.
        std::vector<RECT> cells;
        WithFont(renderer->CreateFont(nullptr, 1, font), [&](HDC dc) {
            int x = x0;
            for (wchar_t unit : text) {
                SIZE size;
                GetTextExtentPoint32W(dc, &unit, 1, &size);
                const int width = size.cx < 20 ? 20 : size.cx + 4;
                cells.push_back(RECT{x, y0, x + width, y0 + size.cy});
                x += width;
            }
        });
        // Two more seconds than phases: the cycle comes back to its start.
        for (int second = 0; second < c.phases + 1; ++second) {
            now = start + uint32_t(second) * 1000 + 999;
            const Frame frame = DrawRenderer(*renderer, font, x0, y0);
            const size_t phase = size_t(second % c.phases);
            for (size_t i = 0; i < text.size(); ++i) {
                SCOPED_TRACE(testing::Message() << "type " << c.type << " second " << second << " char " << i);
                const size_t k = c.entry(i, phase);
                EXPECT_EQ(MostFrequent(frame, cells[i], RGB(0, 0, 0)), c.table[k]);
                RECT shadowEdge = cells[i];
                shadowEdge.right += 1;
                EXPECT_FALSE(WithColor(frame, c.table[k + c.shadowBase], shadowEdge).empty());
            }
            // Nothing outside the cells.
            RECT all = cells.front();
            all.right = cells.back().right + 1;
            EXPECT_EQ(Changed(frame, Frame(kW, kH)).size(), Changed(frame, Frame(kW, kH), all).size());
        }
    }
}

TEST(TextRenderer, TilesEveryThirtyPixelsWithoutGlyphs)
{
    TextFont font;
    const std::wstring text = L"AB  \u4e2dEFG";  // spaces get tiles too
    std::unique_ptr<CTextLayer> renderer = Renderer(4, text);
    renderer->color = RGB(255, 255, 255);
    const int x0 = 11, y0 = 200;
    const Frame frame = DrawRenderer(*renderer, font, x0, y0);

    std::set<COLORREF> allowed = {RGB(0, 0, 0)};
    for (COLORREF color : CTileTextLayer::kTable)
        allowed.insert(color);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_TRUE(allowed.count(frame.At(x, y))) << "glyph or stray pixel at " << x << "," << y;

    for (size_t i = 0; i < text.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "char " << i);
        const size_t j = i % 5;
        const int left = x0 + 30 * int(i);
        EXPECT_EQ(frame.At(left + 15, y0 + 15), CTileTextLayer::kTable[j]);
        const RECT cell = {left, y0, left + 31, y0 + 31};
        EXPECT_FALSE(WithColor(frame, CTileTextLayer::kTable[j + 5], cell).empty());
    }
    const RECT drawn = Bounds(Changed(frame, Frame(kW, kH)));
    EXPECT_EQ(drawn.left, x0);
    EXPECT_EQ(drawn.top, y0);
    EXPECT_EQ(drawn.right, x0 + 30 * int(text.size() - 1) + 32);
    EXPECT_LE(drawn.bottom, y0 + 31);
}

// Chinese text draws real glyphs: every character leaves ink, no two look
// alike, and none looks like the box drawn for a character the font lacks.
TEST(TextRenderer, ChineseDrawsGlyphsNotBoxes)
{
    const std::wstring chinese = L"\u4e2d\u6587\u5b57\u5e55\u4f60\u597d";  // 中文字幕你好
    const wchar_t missing = 0xFFFF;
    for (const std::wstring& face : {std::wstring(L"Latha"), kYaHei, std::wstring(L"SimSun")}) {
        for (int type : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " face " << face.size());
            TextFont font;
            font.face = face;
            const auto glyph = [&](wchar_t unit) {
                std::unique_ptr<CTextLayer> renderer = Renderer(type, std::wstring(1, unit));
                const Frame frame = DrawRenderer(*renderer, font, 0, 0, 480, 360);
                return Changed(frame, Frame(480, 360));
            };
            const PixelSet box = glyph(missing);
            std::vector<PixelSet> glyphs;
            for (wchar_t unit : chinese) {
                glyphs.push_back(glyph(unit));
                EXPECT_GT(glyphs.back().size(), 30u) << std::hex << int(unit);
                EXPECT_NE(glyphs.back(), box) << std::hex << int(unit);
            }
            for (size_t a = 0; a < glyphs.size(); ++a)
                for (size_t b = a + 1; b < glyphs.size(); ++b)
                    EXPECT_NE(glyphs[a], glyphs[b]) << a << " " << b;
        }
    }
}

} // namespace
