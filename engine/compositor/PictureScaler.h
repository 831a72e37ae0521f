// Scales packed pictures (no row padding) of one pixel layout. The stretch
// and the picture mark scale through it; tests substitute their own.
#pragma once

#include <cstdint>

enum class PixelLayout { Bgr24, Bgra32 };

class CPictureScaler {
public:
    virtual ~CPictureScaler() = default;
    // False when the scaler rejects the sizes; the destination is then untouched.
    virtual bool Scale(const uint8_t* source, int sourceWidth, int sourceHeight,
                       uint8_t* destination, int width, int height, PixelLayout layout);
};
