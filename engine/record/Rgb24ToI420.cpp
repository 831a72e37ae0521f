#include "Rgb24ToI420.h"

#include <windows.h>
#include <algorithm>
#include <cstring>

namespace tq {

namespace {

// One pixel's Y, and its U and V added to the block's sums. The factors are
// those of 16.16 fixed point divided by 256, which gives the same values:
// every term of the 16.16 sums is a multiple of 256 and none of them is
// negative.
inline void ConvertPixel(const uint8_t* p, uint8_t* y, int& uSum, int& vSum)
{
    const int b = p[0], g = p[1], r = p[2];
    *y = uint8_t((24 * b + 128 * g + 65 * r + 4096) >> 8);
    uSum += (112 * b - 74 * g - 37 * r + 32768) >> 8;
    vSum += (112 * r - 93 * g - 18 * b + 32768) >> 8;
}

} // namespace

bool CRgb24ToI420::Convert(const uint8_t* source, uint8_t* destination, int width, int height, int* outSize,
                           bool bottomUp)
{
    if (!source || !destination || source == destination)
        return false;
    if (width <= 0 || width > 2048 || height <= 0 || height > 1680 || (width | height) & 1)
        return false;
    const int pixels = width * height;
    if (outSize)
        *outSize = pixels * 3 / 2;

    // One pass over each pair of rows: Y of both, and U and V of each 2 x 2
    // block as the truncated mean of its four pixels' own values.
    const int stride = width * 3;
    const int halfWidth = width / 2;
    uint8_t* u = destination + pixels;
    uint8_t* v = destination + pixels * 5 / 4;
    for (int row = 0; row < height; row += 2) {
        const uint8_t* s0 = source + size_t(bottomUp ? height - 1 - row : row) * stride;
        const uint8_t* s1 = source + size_t(bottomUp ? height - 2 - row : row + 1) * stride;
        uint8_t* y0 = destination + size_t(row) * width;
        uint8_t* y1 = y0 + width;
        uint8_t* uRow = u + size_t(row / 2) * halfWidth;
        uint8_t* vRow = v + size_t(row / 2) * halfWidth;
        for (int col = 0; col < halfWidth; ++col, s0 += 6, s1 += 6, y0 += 2, y1 += 2) {
            int uSum = 0, vSum = 0;
            ConvertPixel(s0, y0, uSum, vSum);
            ConvertPixel(s0 + 3, y0 + 1, uSum, vSum);
            ConvertPixel(s1, y1, uSum, vSum);
            ConvertPixel(s1 + 3, y1 + 1, uSum, vSum);
            uRow[col] = uint8_t(uSum >> 2);
            vRow[col] = uint8_t(vSum >> 2);
        }
    }
    return true;
}

void CRgb24ToI420::Flip(uint8_t* pixels, int width, int height)
{
    if (!pixels || width <= 0 || width >= 1366 || height <= 0 || height > 1680)
        return;
    const int stride = width * 3;
    for (int r = 0; r < height / 2; ++r) {
        uint8_t* top = pixels + r * stride;
        uint8_t* bottom = pixels + (height - 1 - r) * stride;
        std::swap_ranges(top, top + stride, bottom);
    }
}

} // namespace tq
