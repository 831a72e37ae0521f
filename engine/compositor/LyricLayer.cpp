#include "LyricLayer.h"
#include "GdiCanvas.h"

namespace {
const POINT kOutlineOffsets[6] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}, {1, 1}, {-1, -1}};
const int kMargin = 6;  // from the frame's left and right edges
const int kLift = 4;    // from the frame's bottom edge
const UINT kLeft = DT_LEFT | DT_NOPREFIX;
const UINT kRight = DT_RIGHT | DT_NOPREFIX;
}

HFONT CLyricLayer::CreateFont(int frameWidth)
{
    LOGFONTW font = {};
    font.lfHeight = int(FontScale(frameWidth) * 30.6);
    font.lfWeight = FW_BOLD;
    font.lfCharSet = GB2312_CHARSET;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = 50;
    SetFaceName(font, L"\u5fae\u8f6f\u96c5\u9ed1");
    return CreateFontIndirectW(&font);
}

void CLyricLayer::SetLines(const std::string& ansiLine1, const std::string& ansiLine2, double progress,
                           bool firstLineActive)
{
    m_line1 = ansiLine1;
    m_line2 = ansiLine2;
    m_progress = progress >= 0.95 ? 1.0 : progress;
    m_firstLineActive = firstLineActive;
}

void CLyricLayer::Draw(uint8_t* pixels, int width, int height)
{
    std::wstring line1, line2;
    if (!m_shown || !AnsiToWide(m_line1, line1) || !AnsiToWide(m_line2, line2) || line1.empty())
        return;
    DrawThroughBitmap(pixels, width, height, [&](HDC) { return CreateFont(width); }, [&](HDC dc) {
        SIZE size1 = {0, 0}, size2 = {0, 0};
        GetTextExtentPoint32W(dc, line1.data(), int(line1.size()), &size1);
        GetTextExtentPoint32W(dc, line2.data(), int(line2.size()), &size2);
        const RECT box1 = {kMargin, height - 2 * size1.cy - kLift, kMargin + size1.cx, height - size1.cy - kLift};
        const RECT box2 = {width - size2.cx - kMargin, height - size2.cy - kLift, width - kMargin, height - kLift};
        if (m_firstLineActive) {
            DrawSwept(dc, line1, box1, Line1SweepBoundary(size1.cx));
            DrawPlain(dc, line2, POINT{box2.left, box2.top});
        } else {
            DrawPlain(dc, line1, POINT{box1.left, box1.top});
            DrawSwept(dc, line2, box2, box2.left + int((box2.right - box2.left) * m_progress));
        }
    });
}

void CLyricLayer::DrawPlain(HDC dc, const std::wstring& line, POINT at)
{
    SetTextColor(dc, kOutline);
    for (const POINT& offset : kOutlineOffsets)
        TextOutW(dc, at.x + offset.x, at.y + offset.y, line.data(), int(line.size()));
    SetTextColor(dc, m_color);
    TextOutW(dc, at.x, at.y, line.data(), int(line.size()));
}

// Line 1's boundary: (width + 10) x progress from the bitmap's left edge, so
// the sweep passes the line's 6-pixel margin before the first glyph and ends
// a few pixels past the last. Line 2 does not use the matching formula
// (width x progress + frame width - line width), which leaves its first 6
// pixels sung at progress 0; it sweeps from its own left edge instead.
int CLyricLayer::Line1SweepBoundary(int lineWidth) const
{
    return int((lineWidth + 10) * m_progress);
}

// The sung part runs from the line's left edge to s, the rest from s + 1 to
// its right edge.
void CLyricLayer::DrawSwept(HDC dc, const std::wstring& line, const RECT& box, int s)
{
    const int count = int(line.size());
    const auto part = [&](COLORREF color, int left, int right, int dy, UINT format) {
        RECT clip = {left, box.top + dy, right, box.bottom + dy};
        SetTextColor(dc, color);
        DrawTextW(dc, line.data(), count, &clip, format);
    };
    const bool sung = s > box.left, unsung = s + 1 < box.right;
    for (const POINT& offset : kOutlineOffsets) {
        if (sung)
            part(kSungOutline, box.left + offset.x, s, offset.y, kLeft);
        if (unsung)
            part(kOutline, s + 1 + offset.x, box.right + offset.x, offset.y, kRight);
    }
    if (sung)
        part(m_sungColor, box.left, s, 0, kLeft);
    if (unsung)
        part(m_color, s + 1, box.right, 0, kRight);
}
