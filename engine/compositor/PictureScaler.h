// Scales packed pictures (no row padding) of one pixel layout. The stretch
// and the picture mark scale through it; tests substitute their own. Keeps
// the scaler set up between calls of the same sizes: one user at a time.
#pragma once

#include "KeptScalers.h"

#include <cstdint>

enum class PixelLayout { Bgr24, Bgra32 };

class CPictureScaler {
public:
    CPictureScaler() = default;
    virtual ~CPictureScaler() = default;
    CPictureScaler(const CPictureScaler&) = delete;
    CPictureScaler& operator=(const CPictureScaler&) = delete;

    // False when the scaler rejects the sizes; the destination is then untouched.
    virtual bool Scale(const uint8_t* source, int sourceWidth, int sourceHeight,
                       uint8_t* destination, int width, int height, PixelLayout layout);

private:
    tq::CKeptScalers m_scalers;
};
