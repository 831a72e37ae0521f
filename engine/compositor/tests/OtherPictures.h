// Small pictures of formats other than GIF (BMP, TGA, PSD), all of one known
// 4 x 3 picture, and the frame a full-frame layer of it makes.
#pragma once

#include "Fixtures.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// The colour at (x, y from the top), 0xRRGGBB; none is black (the key colour
// of a picture without transparency).
inline uint32_t Colour43(int x, int y) { return 0x102030u + uint32_t(x) * 0x300000u + uint32_t(y) * 0x005010u; }

inline std::vector<uint8_t> Bmp43()
{
    cxfix::BmpSpec spec;
    spec.width = 4;
    spec.height = 3;
    spec.bits = 24;
    for (int r = 0; r < 3; ++r)  // bottom row first
        for (int x = 0; x < 4; ++x) {
            const uint32_t c = Colour43(x, 2 - r);
            spec.pixels.insert(spec.pixels.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
        }
    return cxfix::Bmp(spec);
}

inline std::vector<uint8_t> Tga43()
{
    std::vector<uint8_t> tga = cxfix::TgaHeader(2, 4, 3, 24, 0);
    for (int r = 0; r < 3; ++r)  // bottom row first
        for (int x = 0; x < 4; ++x) {
            const uint32_t c = Colour43(x, 2 - r);
            tga.insert(tga.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
        }
    return tga;
}

inline std::vector<uint8_t> Psd43()
{
    cxfix::PsdSpec spec;
    spec.rows = 3;
    spec.columns = 4;
    spec.planes.assign(3, {});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            for (int p = 0; p < 3; ++p)  // red, green, blue planes
                spec.planes[size_t(p)].push_back(uint8_t(Colour43(x, y) >> (16 - 8 * p)));
    return cxfix::Psd(spec);
}

// The 4 x 3 picture over a bottom-up RGB24 camera frame of 8 x 6 (each
// picture pixel covers 2 x 2), mixed as a full-frame layer without
// transparency mixes it.
inline std::vector<uint8_t> Mixed43(std::vector<uint8_t> camera)
{
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 8; ++column) {
            const uint32_t colour = Colour43(column / 2, 2 - row / 2);
            const uint8_t bgr[3] = {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16)};
            uint8_t* d = &camera[(size_t(row) * 8 + column) * 3];
            for (int k = 0; k < 3; ++k)
                d[k] = uint8_t(std::min(255, 2 * ((135 * bgr[k] + 120 * d[k]) / 255)));
        }
    return camera;
}
