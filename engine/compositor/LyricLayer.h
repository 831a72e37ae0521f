// The two lyric lines: line 1 on the left above line 2 on the right, the
// active one with a coloured sweep over the part already sung. Has no lock of
// its own: the compositor's layer lock guards every call.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CLyricLayer {
public:
    void Show(bool shown) { m_shown = shown; }
    // Progress 0.95 or more counts as the whole line.
    void SetLines(const std::string& ansiLine1, const std::string& ansiLine2, double progress, bool firstLineActive);
    void SetColor(unsigned r, unsigned g, unsigned b) { m_color = RGB(BYTE(r), BYTE(g), BYTE(b)); }
    void SetSungColor(unsigned r, unsigned g, unsigned b) { m_sungColor = RGB(BYTE(r), BYTE(g), BYTE(b)); }

    // Draws over an RGB24 bottom-up frame.
    void Draw(uint8_t* pixels, int width, int height);

    // The lyric font for a frame of this width.
    static HFONT CreateFont(int frameWidth);

    static const COLORREF kOutline = RGB(255, 255, 255);
    static const COLORREF kSungOutline = RGB(238, 2, 2);

private:
    void DrawPlain(HDC dc, const std::wstring& line, POINT at);
    void DrawSwept(HDC dc, const std::wstring& line, const RECT& box, int s);
    int Line1SweepBoundary(int lineWidth) const;

    bool m_shown = false;
    std::string m_line1, m_line2;
    double m_progress = 0;
    bool m_firstLineActive = true;
    COLORREF m_color = RGB(0, 0, 255);
    COLORREF m_sungColor = RGB(255, 255, 0);
};
