// Drawing GDI text onto an RGB24 frame: the frame goes into a bitmap
// compatible with the display, GDI draws on it, and it comes back.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// Font sizes step with the frame width in whole multiples of 480 pixels.
inline double FontScale(int frameWidth) { return double(frameWidth / 480); }

// Copies a face name into the LOGFONT's 32-character field, cut short to fit.
void SetFaceName(LOGFONTW& font, const std::wstring& face);

// ANSI (the process code page) to UTF-16; false when the bytes do not convert.
bool AnsiToWide(const std::string& ansi, std::wstring& out);

// Runs draw on a memory DC holding the frame (top-down coordinates, font from
// createFont selected, transparent background) and copies the result back.
// Does nothing and answers false without a desktop window, or for a frame
// whose rows are not DIB rows (width x 3 not a multiple of 4): GDI would read
// and write past its end.
bool DrawThroughBitmap(uint8_t* pixels, int width, int height, const std::function<HFONT(HDC)>& createFont,
                       const std::function<void(HDC)>& draw);

// The same drawing for text that covers a few rows of every frame: only those
// rows go through the bitmap, and the memory DC, the bitmap and the font are
// kept between frames (making them each frame costs more than the text).
// The bytes are those of DrawThroughBitmap as long as nothing is drawn
// outside the rows given. Used by one thread at a time.
class CTextStrip {
public:
    CTextStrip() = default;
    ~CTextStrip();
    CTextStrip(const CTextStrip&) = delete;
    CTextStrip& operator=(const CTextStrip&) = delete;

    // The next Begin makes the font again.
    void InvalidateFont() { m_fontStale = true; }
    // The memory DC with the font selected (made by createFont when stale), or
    // null without a desktop window. Good for measuring until DrawRows.
    HDC Begin(const std::function<HFONT(HDC)>& createFont);
    // Copies rows [top, bottom) of the frame (counted from its top) into the
    // bitmap, runs draw with the row of the strip's top (draw at y - top), and
    // copies them back. False when the rows or the frame cannot be drawn.
    bool DrawRows(uint8_t* pixels, int width, int height, int top, int bottom,
                  const std::function<void(HDC, int top)>& draw);

private:
    HDC m_dc = nullptr;
    HGDIOBJ m_defaultBitmap = nullptr;
    HGDIOBJ m_defaultFont = nullptr;
    HFONT m_font = nullptr;
    bool m_fontStale = true;
    HBITMAP m_bitmap = nullptr;
    int m_bitmapWidth = 0, m_bitmapHeight = 0;
};
