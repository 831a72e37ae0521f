// A picture both sides of a frame exchange can compute: the writer draws it,
// the reader checks it byte for byte.
#pragma once

#include <cstdint>

namespace tqtools {

inline uint8_t PatternByte(uint32_t x, uint32_t y, uint32_t channel, uint32_t seed)
{
    return uint8_t((x * 3 + y * 7 + channel * 85 + seed * 13) ^ (x >> 3) ^ (y << 2));
}

inline void FillPattern(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t seed)
{
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (uint32_t c = 0; c < 3; ++c)
                pixels[(size_t(y) * width + x) * 3 + c] = PatternByte(x, y, c, seed);
}

inline bool MatchesPattern(const uint8_t* pixels, uint32_t width, uint32_t height, uint32_t seed)
{
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (uint32_t c = 0; c < 3; ++c)
                if (pixels[(size_t(y) * width + x) * 3 + c] != PatternByte(x, y, c, seed))
                    return false;
    return true;
}

} // namespace tqtools
