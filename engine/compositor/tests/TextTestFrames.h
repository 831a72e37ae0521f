// RGB24 bottom-up frames and GDI measuring for the text layer's tests.
#pragma once

#include "GdiCanvas.h"
#include "TextLayer.h"

#include <windows.h>

#include <cstdint>
#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <vector>

struct Frame {
    Frame(int w, int h, COLORREF fill = RGB(0, 0, 0)) : width(w), height(h), pixels(size_t(w) * h * 3)
    {
        for (size_t i = 0; i < pixels.size(); i += 3) {
            pixels[i] = GetBValue(fill);
            pixels[i + 1] = GetGValue(fill);
            pixels[i + 2] = GetRValue(fill);
        }
    }
    uint8_t* Data() { return pixels.data(); }
    // y counts from the top, as GDI draws.
    const uint8_t* Pixel(int x, int y) const { return &pixels[(size_t(height - 1 - y) * width + x) * 3]; }
    COLORREF At(int x, int y) const
    {
        const uint8_t* p = Pixel(x, y);
        return RGB(p[2], p[1], p[0]);
    }

    int width, height;
    std::vector<uint8_t> pixels;
};

using PixelSet = std::set<std::pair<int, int>>;  // (x, y from the top)

// Pixels of a region (clipped to the frame) that differ from the background.
inline PixelSet Changed(const Frame& frame, const Frame& background, RECT region = RECT{0, 0, 1 << 20, 1 << 20})
{
    PixelSet out;
    for (int y = std::max(0, int(region.top)); y < std::min(frame.height, int(region.bottom)); ++y)
        for (int x = std::max(0, int(region.left)); x < std::min(frame.width, int(region.right)); ++x)
            if (frame.At(x, y) != background.At(x, y))
                out.insert({x, y});
    return out;
}

inline PixelSet WithColor(const Frame& frame, COLORREF color, RECT region = RECT{0, 0, 1 << 20, 1 << 20})
{
    PixelSet out;
    for (int y = std::max(0, int(region.top)); y < std::min(frame.height, int(region.bottom)); ++y)
        for (int x = std::max(0, int(region.left)); x < std::min(frame.width, int(region.right)); ++x)
            if (frame.At(x, y) == color)
                out.insert({x, y});
    return out;
}

// Bounding box of a pixel set (empty set: all zero).
inline RECT Bounds(const PixelSet& set)
{
    if (set.empty())
        return RECT{0, 0, 0, 0};
    RECT box = {1 << 20, 1 << 20, -1, -1};
    for (const auto& p : set) {
        box.left = std::min<LONG>(box.left, p.first);
        box.right = std::max<LONG>(box.right, p.first + 1);
        box.top = std::min<LONG>(box.top, p.second);
        box.bottom = std::max<LONG>(box.bottom, p.second + 1);
    }
    return box;
}

// The most frequent colour of a region other than the background colour.
inline COLORREF MostFrequent(const Frame& frame, RECT region, COLORREF background)
{
    std::map<COLORREF, int> counts;
    for (int y = std::max(0, int(region.top)); y < std::min(frame.height, int(region.bottom)); ++y)
        for (int x = std::max(0, int(region.left)); x < std::min(frame.width, int(region.right)); ++x)
            if (frame.At(x, y) != background)
                ++counts[frame.At(x, y)];
    COLORREF best = background;
    int most = 0;
    for (const auto& entry : counts)
        if (entry.second > most) {
            most = entry.second;
            best = entry.first;
        }
    return best;
}

// Runs f on a memory DC with the font selected (the font is deleted after).
template <class F>
void WithFont(HFONT font, F f)
{
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HGDIOBJ old = SelectObject(dc, font);
    f(dc);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

inline SIZE TextSize(HFONT font, const std::wstring& text)
{
    SIZE size = {0, 0};
    WithFont(font, [&](HDC dc) { GetTextExtentPoint32W(dc, text.data(), int(text.size()), &size); });
    return size;
}

// What a renderer measures for its text in its own font at a frame width.
inline SIZE RendererSize(CTextLayer& renderer, const TextFont& font, int frameWidth)
{
    SIZE size = {0, 0};
    WithFont(renderer.CreateFont(nullptr, FontScale(frameWidth), font),
             [&](HDC dc) { renderer.Measure(&dc, &renderer.text, &size); });
    return size;
}

inline LOGFONTW FontFields(HFONT font)
{
    LOGFONTW log = {};
    GetObjectW(font, sizeof log, &log);
    DeleteObject(font);
    return log;
}
