// BGR (RGB24 rows) to I420 conversion of the recorder's frames, in fixed
// point.
#pragma once

#include <cstdint>

namespace tq {

class CRgb24ToI420 {
public:
    // source: width x height pixels of B, G, R, rows without padding, top
    // row first (bottomUp: bottom row first, as DIBs store them).
    // destination: Y plane, then U, then V (quarter size each), top row
    // first. Width and height must be even.
    static bool Convert(const uint8_t* source, uint8_t* destination, int width, int height, int* outSize,
                        bool bottomUp = false);
    // Swaps the rows top to bottom, in place.
    static void Flip(uint8_t* pixels, int width, int height);
};

} // namespace tq
