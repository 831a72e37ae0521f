#include "TextRenderers.h"
#include "GdiCanvas.h"

namespace {

const wchar_t kYaHei[] = L"\u5fae\u8f6f\u96c5\u9ed1";  // the product's Chinese UI face

LOGFONTW LogFont(int height, int weight, bool italic, bool strikeOut, bool underline, BYTE outPrecision,
                 BYTE clipPrecision, BYTE quality, const std::wstring& face)
{
    LOGFONTW font = {};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfItalic = italic;
    font.lfStrikeOut = strikeOut;
    font.lfUnderline = underline;
    font.lfCharSet = GB2312_CHARSET;
    font.lfOutPrecision = outPrecision;
    font.lfClipPrecision = clipPrecision;
    font.lfQuality = quality;
    font.lfPitchAndFamily = 50;
    SetFaceName(font, face);
    return font;
}

bool IsBold(const TextFont& font) { return font.style == 2 || font.style == 3; }
bool IsItalic(const TextFont& font) { return font.style == 1 || font.style == 3; }
int CaptionHeight(const TextFont& font, double scale) { return int(font.size * 1.5 * scale); }

// The font of the two-phase and second colour-cycle renderers.
HFONT CellFont(double scale, const TextFont& font, int regularWeight)
{
    const LOGFONTW log = LogFont(CaptionHeight(font, scale), IsBold(font) ? FW_BOLD : regularWeight, IsItalic(font),
                                 font.strikeOut, font.underline, 0, 0, 0, font.face);
    return CreateFontIndirectW(&log);
}

uint32_t PhaseSeconds(int type, uint32_t now) { return (now - PhaseClockStart(type, now)) / 1000; }

} // namespace

// ---- Plain ----

HFONT CPlainTextLayer::MakeFont(double scale, const TextFont& font)
{
    const LOGFONTW log = LogFont(CaptionHeight(font, scale), IsBold(font) ? FW_BOLD : FW_NORMAL, IsItalic(font),
                                 font.strikeOut, font.underline, OUT_TT_PRECIS, CLIP_STROKE_PRECIS,
                                 ANTIALIASED_QUALITY, font.face);
    return CreateFontIndirectW(&log);
}

HFONT CPlainTextLayer::CreateFont(HDC, double scale, const TextFont& font) { return MakeFont(scale, font); }

void CPlainTextLayer::Draw(HDC* dc, int x, int y)
{
    if (text.empty())
        return;
    SetTextColor(*dc, color);
    TextOutW(*dc, x, y, text.data(), int(text.size()));
}

void CPlainTextLayer::Measure(HDC* dc, const std::wstring*, SIZE* out)
{
    *out = SIZE{0, 0};
    GetTextExtentPoint32W(*dc, text.data(), int(text.size()), out);
}

// ---- Per-character cells ----

SIZE CCellTextLayer::CellOf(HDC dc, const std::wstring& unit, int* cellWidth)
{
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, unit.data(), int(unit.size()), &size);
    *cellWidth = size.cx < 20 ? 20 : size.cx + 4;
    return size;
}

void CCellTextLayer::Measure(HDC* dc, const std::wstring*, SIZE* out)
{
    *out = SIZE{0, 0};
    for (const std::wstring& unit : chars) {
        int width = 0;
        out->cy = CellOf(*dc, unit, &width).cy;
        out->cx += width;
    }
}

void CCellTextLayer::DrawCells(HDC dc, int x, int y,
                               const std::function<void(size_t i, COLORREF*, COLORREF*)>& colors)
{
    // A "&" is a character of the caption, not a mnemonic prefix.
    const UINT format = DT_CENTER | DT_NOPREFIX;
    for (size_t i = 0; i < chars.size(); ++i) {
        int width = 0;
        const SIZE size = CellOf(dc, chars[i], &width);
        COLORREF face = 0, shadow = 0;
        colors(i, &face, &shadow);
        RECT shadowCell = {x + 1, y, x + 1 + width, y + size.cy};
        SetTextColor(dc, shadow);
        DrawTextW(dc, chars[i].data(), int(chars[i].size()), &shadowCell, format);
        RECT faceCell = {x, y, x + width, y + size.cy};
        SetTextColor(dc, face);
        DrawTextW(dc, chars[i].data(), int(chars[i].size()), &faceCell, format);
        x += width;
    }
}

// ---- Colour cycles (types 1 and 3) ----

CColorCycleTextLayer::CColorCycleTextLayer(int type, TextClock clock)
    : CCellTextLayer(std::move(clock)), m_type(type == 3 ? 3 : 1)
{
}

HFONT CColorCycleTextLayer::CreateFont(HDC, double scale, const TextFont& font)
{
    return CellFont(scale, font, m_type == 1 ? 200 : FW_NORMAL);
}

void CColorCycleTextLayer::Draw(HDC* dc, int x, int y)
{
    if (chars.empty())
        return;
    const COLORREF* table = m_type == 1 ? kFirstTable : kSecondTable;
    const size_t phase = PhaseSeconds(m_type, Now()) % 3;
    DrawCells(*dc, x, y, [&](size_t i, COLORREF* face, COLORREF* shadow) {
        const size_t k = phase * 10 + i % 10;
        *face = table[k];
        *shadow = table[k + 30];
    });
}

// ---- Two phases (type 2) ----

HFONT CTwoPhaseTextLayer::CreateFont(HDC, double scale, const TextFont& font)
{
    return CellFont(scale, font, FW_NORMAL);
}

void CTwoPhaseTextLayer::Draw(HDC* dc, int x, int y)
{
    if (chars.empty())
        return;
    const size_t phase = PhaseSeconds(2, Now()) % 2;
    DrawCells(*dc, x, y, [&](size_t i, COLORREF* face, COLORREF* shadow) {
        const size_t k = i % 4 + phase * 4;
        *face = kTable[k];
        *shadow = kTable[k + 8];
    });
}

// ---- Tiles (type 4) ----

const POINT CTileTextLayer::kShapes[5][4] = {
    {{7, 0}, {30, 7}, {23, 30}, {0, 23}},
    {{20, 0}, {30, 19}, {11, 30}, {0, 7}},
    {{12, 0}, {30, 12}, {18, 30}, {0, 18}},
    {{22, 0}, {30, 22}, {7, 30}, {0, 7}},
    {{7, 0}, {30, 5}, {22, 30}, {0, 22}},
};

HFONT CTileTextLayer::CreateFont(HDC, double scale, const TextFont&)
{
    const LOGFONTW log = LogFont(int(scale * 33), FW_MEDIUM, false, false, false, OUT_TT_ONLY_PRECIS, CLIP_DFA_DISABLE,
                                 ANTIALIASED_QUALITY, kYaHei);
    return CreateFontIndirectW(&log);
}

void CTileTextLayer::Draw(HDC* dc, int x, int y)
{
    const auto polygon = [&](size_t shape, COLORREF color, int left) {
        POINT points[4];
        for (int p = 0; p < 4; ++p)
            points[p] = POINT{kShapes[shape][p].x + left, kShapes[shape][p].y + y};
        const HPEN pen = CreatePen(PS_SOLID, 1, color);
        const HBRUSH brush = CreateSolidBrush(color);
        const HGDIOBJ oldPen = SelectObject(*dc, pen);
        const HGDIOBJ oldBrush = SelectObject(*dc, brush);
        Polygon(*dc, points, 4);
        SelectObject(*dc, oldPen);
        SelectObject(*dc, oldBrush);
        DeleteObject(pen);
        DeleteObject(brush);
    };
    for (size_t i = 0; i < chars.size(); ++i) {
        const size_t j = i % 5;
        polygon(j, kTable[j + 5], x + 1);
        polygon(j, kTable[j], x);
        x += kTileStep;
    }
}

// ---- Colour tables ----

const COLORREF CColorCycleTextLayer::kFirstTable[60] = {
    RGB(100, 158, 0), RGB(254, 184, 9), RGB(226, 0, 60), RGB(11, 183, 209), RGB(241, 99, 136),
    RGB(0, 170, 156), RGB(252, 41, 39), RGB(0, 132, 234), RGB(254, 167, 0), RGB(74, 155, 41),
    RGB(252, 119, 187), RGB(226, 0, 60), RGB(253, 139, 45), RGB(100, 158, 0), RGB(254, 167, 0),
    RGB(74, 155, 41), RGB(0, 170, 156), RGB(254, 121, 48), RGB(226, 0, 60), RGB(206, 0, 179),
    RGB(253, 71, 117), RGB(87, 169, 46), RGB(252, 74, 104), RGB(254, 167, 0), RGB(252, 119, 187),
    RGB(254, 87, 0), RGB(241, 40, 254), RGB(100, 158, 0), RGB(0, 170, 156), RGB(226, 0, 60),
    RGB(164, 186, 65), RGB(255, 205, 78), RGB(255, 95, 113), RGB(83, 204, 157), RGB(255, 144, 128),
    RGB(92, 196, 139), RGB(255, 119, 106), RGB(91, 173, 162), RGB(255, 191, 74), RGB(163, 185, 106),
    RGB(255, 159, 149), RGB(255, 96, 114), RGB(255, 173, 92), RGB(194, 190, 96), RGB(255, 192, 74),
    RGB(166, 187, 106), RGB(92, 196, 139), RGB(255, 158, 93), RGB(255, 93, 112), RGB(255, 92, 146),
    RGB(255, 125, 122), RGB(182, 197, 110), RGB(255, 127, 115), RGB(255, 193, 74), RGB(255, 158, 148),
    RGB(255, 146, 95), RGB(255, 102, 175), RGB(191, 189, 95), RGB(90, 195, 139), RGB(255, 92, 112),
};
const COLORREF CColorCycleTextLayer::kSecondTable[60] = {
    RGB(19, 9, 143), RGB(152, 0, 101), RGB(212, 49, 48), RGB(50, 152, 0), RGB(50, 0, 203),
    RGB(50, 0, 101), RGB(253, 33, 32), RGB(253, 33, 32), RGB(203, 101, 50), RGB(247, 129, 42),
    RGB(19, 83, 232), RGB(253, 17, 17), RGB(251, 143, 4), RGB(49, 105, 233), RGB(3, 173, 0),
    RGB(254, 0, 50), RGB(63, 159, 16), RGB(254, 0, 0), RGB(19, 83, 232), RGB(252, 76, 119),
    RGB(251, 2, 4), RGB(5, 6, 129), RGB(255, 105, 14), RGB(98, 169, 86), RGB(255, 105, 14),
    RGB(98, 169, 86), RGB(254, 0, 0), RGB(151, 48, 87), RGB(181, 15, 46), RGB(229, 144, 34),
    RGB(83, 72, 127), RGB(216, 64, 109), RGB(255, 102, 86), RGB(113, 181, 64), RGB(113, 64, 152),
    RGB(112, 63, 108), RGB(255, 89, 78), RGB(255, 89, 78), RGB(255, 141, 86), RGB(255, 155, 69),
    RGB(83, 128, 166), RGB(255, 77, 72), RGB(255, 168, 48), RGB(112, 145, 165), RGB(66, 197, 64),
    RGB(255, 63, 86), RGB(125, 186, 71), RGB(255, 63, 64), RGB(80, 127, 165), RGB(255, 109, 112),
    RGB(255, 66, 67), RGB(69, 69, 121), RGB(255, 145, 71), RGB(143, 190, 94), RGB(255, 145, 70),
    RGB(142, 190, 93), RGB(255, 63, 64), RGB(212, 100, 102), RGB(242, 75, 84), RGB(255, 168, 64),
};
const COLORREF CTwoPhaseTextLayer::kTable[16] = {
    RGB(7, 81, 207), RGB(7, 81, 207), RGB(38, 170, 242), RGB(38, 170, 242), RGB(38, 170, 242),
    RGB(38, 170, 242), RGB(7, 81, 207), RGB(7, 81, 207), RGB(22, 96, 175), RGB(22, 96, 175),
    RGB(47, 179, 216), RGB(47, 179, 216), RGB(47, 179, 216), RGB(47, 179, 216), RGB(22, 96, 175),
    RGB(22, 96, 175),
};
const COLORREF CTileTextLayer::kTable[10] = {
    RGB(0, 174, 253), RGB(0, 151, 0), RGB(254, 51, 51), RGB(251, 144, 0), RGB(227, 0, 254),
    RGB(66, 188, 242), RGB(56, 174, 57), RGB(255, 33, 33), RGB(251, 154, 21), RGB(222, 45, 244),
};
