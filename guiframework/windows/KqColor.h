// An RGBA colour; drawing uses its 32-bit ARGB form.
#pragma once

#include <cstdint>

struct KqColor {
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;
    KqColor() = default;
    KqColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) : red(r), green(g), blue(b), alpha(a) {}
    uint32_t argb() const { return uint32_t(alpha) << 24 | uint32_t(red) << 16 | uint32_t(green) << 8 | blue; }
    bool operator==(const KqColor& o) const { return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha; }
};

static_assert(sizeof(KqColor) == 4, "colour layout");
