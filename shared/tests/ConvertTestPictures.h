// Test pictures for the frame conversion tests: a picture of four coloured
// quadrants, its RGB24 bitmap, and reference encodings of it in the YUV and
// 16-bit layouts the converter reads.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace convert_test {

struct Rgb {
    uint8_t r, g, b;
};

// Top left red, top right green, bottom left blue, bottom right yellow. The
// split falls on a multiple of 4 columns and of 2 rows, so no chroma sample
// of the subsampled formats straddles two colours.
struct QuadPicture {
    int width, height, splitX, splitY;
    Rgb colours[4] = {{220, 40, 40}, {40, 200, 60}, {30, 60, 210}, {230, 210, 40}};

    QuadPicture(int w, int h) : width(w), height(h), splitX((w / 2) & ~3), splitY((h / 2) & ~1) {}

    // Pixel at column x, row y counted from the top of the picture.
    Rgb At(int x, int y) const { return colours[(y < splitY ? 0 : 2) + (x < splitX ? 0 : 1)]; }

    // Distance in pixels from (x, y) to the nearest quadrant border.
    int BorderDistance(int x, int y) const
    {
        return std::min(std::abs(x - splitX + (x < splitX ? 1 : 0)), std::abs(y - splitY + (y < splitY ? 1 : 0)));
    }
};

// BT.601, limited range: what FFmpeg's scaler assumes for YUV pictures.
inline uint8_t Clamp(double v)
{
    return uint8_t(std::min(255.0, std::max(0.0, std::floor(v + 0.5))));
}
inline uint8_t LumaOf(Rgb c) { return Clamp(16 + (65.738 * c.r + 129.057 * c.g + 25.064 * c.b) / 256); }
inline uint8_t CbOf(Rgb c) { return Clamp(128 + (-37.945 * c.r - 74.494 * c.g + 112.439 * c.b) / 256); }
inline uint8_t CrOf(Rgb c) { return Clamp(128 + (112.439 * c.r - 94.154 * c.g - 18.285 * c.b) / 256); }

// Bottom-up BGR rows, width x 3 bytes each, no padding.
inline std::vector<uint8_t> Rgb24Of(const QuadPicture& p)
{
    std::vector<uint8_t> out(size_t(p.width) * p.height * 3);
    for (int row = 0; row < p.height; ++row)
        for (int x = 0; x < p.width; ++x) {
            Rgb c = p.At(x, p.height - 1 - row);
            uint8_t* px = &out[(size_t(row) * p.width + x) * 3];
            px[0] = c.b; px[1] = c.g; px[2] = c.r;
        }
    return out;
}

// Bottom-up BGRA rows; the alpha bytes hold noise the converter must ignore.
inline std::vector<uint8_t> Rgb32Of(const QuadPicture& p)
{
    std::vector<uint8_t> out(size_t(p.width) * p.height * 4);
    for (int row = 0; row < p.height; ++row)
        for (int x = 0; x < p.width; ++x) {
            Rgb c = p.At(x, p.height - 1 - row);
            uint8_t* px = &out[(size_t(row) * p.width + x) * 4];
            px[0] = c.b; px[1] = c.g; px[2] = c.r; px[3] = uint8_t(x * 7 + row * 13);
        }
    return out;
}

// Bottom-up 16-bit little-endian rows: 5-5-5 (top bit clear) or 5-6-5.
inline std::vector<uint8_t> Rgb16Of(const QuadPicture& p, bool green6)
{
    std::vector<uint8_t> out(size_t(p.width) * p.height * 2);
    for (int row = 0; row < p.height; ++row)
        for (int x = 0; x < p.width; ++x) {
            Rgb c = p.At(x, p.height - 1 - row);
            uint16_t v = green6 ? uint16_t(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3))
                                : uint16_t(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
            out[(size_t(row) * p.width + x) * 2] = uint8_t(v & 0xFF);
            out[(size_t(row) * p.width + x) * 2 + 1] = uint8_t(v >> 8);
        }
    return out;
}

// Top-down packed 4:2:2: Y0 U Y1 V (yuyv) or U Y0 V Y1 (uyvy). An odd width
// ends in a half-used pair, as FFmpeg lays it out.
inline std::vector<uint8_t> Packed422Of(const QuadPicture& p, bool uyvy)
{
    const int pairs = (p.width + 1) / 2;
    std::vector<uint8_t> out(size_t(pairs) * 4 * p.height);
    for (int y = 0; y < p.height; ++y)
        for (int pair = 0; pair < pairs; ++pair) {
            Rgb left = p.At(pair * 2, y);
            Rgb right = p.At(std::min(pair * 2 + 1, p.width - 1), y);
            uint8_t* q = &out[(size_t(y) * pairs + pair) * 4];
            uint8_t y0 = LumaOf(left), y1 = LumaOf(right), u = CbOf(left), v = CrOf(left);
            if (uyvy) { q[0] = u; q[1] = y0; q[2] = v; q[3] = y1; }
            else      { q[0] = y0; q[1] = u; q[2] = y1; q[3] = v; }
        }
    return out;
}

// Top-down planar: Y plane, then two chroma planes subsampled by 2^shiftX
// across and 2^shiftY down (rounded up), in the order U, V or (yv12) V, U.
inline std::vector<uint8_t> PlanarOf(const QuadPicture& p, int shiftX, int shiftY, bool vFirst)
{
    const int cw = (p.width + (1 << shiftX) - 1) >> shiftX;
    const int ch = (p.height + (1 << shiftY) - 1) >> shiftY;
    std::vector<uint8_t> out(size_t(p.width) * p.height + size_t(cw) * ch * 2);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            out[size_t(y) * p.width + x] = LumaOf(p.At(x, y));
    uint8_t* first = &out[size_t(p.width) * p.height];
    uint8_t* second = first + size_t(cw) * ch;
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            Rgb c = p.At(x << shiftX, y << shiftY);
            (vFirst ? second : first)[size_t(y) * cw + x] = CbOf(c);
            (vFirst ? first : second)[size_t(y) * cw + x] = CrOf(c);
        }
    return out;
}

// Largest channel difference between a bottom-up RGB24 bitmap and the
// picture, over the pixels at least `margin` pixels from a quadrant border
// (and, when scaled, the picture is compared at the bitmap's size).
inline int MaxDifference(const std::vector<uint8_t>& bitmap, const QuadPicture& p, int margin = 0)
{
    int worst = 0;
    for (int row = 0; row < p.height; ++row)
        for (int x = 0; x < p.width; ++x) {
            const int y = p.height - 1 - row;
            if (p.BorderDistance(x, y) < margin)
                continue;
            Rgb c = p.At(x, y);
            const uint8_t* px = &bitmap[(size_t(row) * p.width + x) * 3];
            worst = std::max({worst, std::abs(px[0] - c.b), std::abs(px[1] - c.g), std::abs(px[2] - c.r)});
        }
    return worst;
}

} // namespace convert_test
