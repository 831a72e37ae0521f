// The recorder's colour conversion written the plain way, for the tests to
// compare with: 16.16 fixed point per pixel into full-size U and V planes,
// then each 2 x 2 block's truncated mean.
#pragma once

#include <cstdint>
#include <vector>

namespace rectest {

// bgr: rows of width x 3 bytes, top row first unless bottomUp.
inline std::vector<uint8_t> ReferenceI420(const uint8_t* bgr, int width, int height, bool bottomUp)
{
    const int pixels = width * height;
    std::vector<uint8_t> out(pixels * 3 / 2), fullU(pixels), fullV(pixels);
    for (int row = 0; row < height; ++row) {
        const uint8_t* p = bgr + (bottomUp ? height - 1 - row : row) * width * 3;
        for (int col = 0; col < width; ++col, p += 3) {
            const int b = p[0], g = p[1], r = p[2], i = row * width + col;
            out[i] = uint8_t((6144 * b + 32768 * g + 16640 * r + 1048576) >> 16);
            fullU[i] = uint8_t((28672 * b - 18944 * g - 9472 * r + 8388608) >> 16);
            fullV[i] = uint8_t((28672 * r - 23808 * g - 4608 * b + 8388608) >> 16);
        }
    }
    for (int row = 0; row < height; row += 2)
        for (int col = 0; col < width; col += 2) {
            const int i = row * width + col, o = (row / 2) * (width / 2) + col / 2;
            out[pixels + o] = uint8_t((fullU[i] + fullU[i + 1] + fullU[i + width] + fullU[i + width + 1]) >> 2);
            out[pixels * 5 / 4 + o] = uint8_t((fullV[i] + fullV[i + 1] + fullV[i + width] + fullV[i + width + 1]) >> 2);
        }
    return out;
}

} // namespace rectest
