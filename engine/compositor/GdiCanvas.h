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
