#include "Rgb24ToI420.h"

#include <windows.h>
#include <tmmintrin.h>
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

// Eight pixels of one row from 24 bytes: B, G and R as 16-bit lanes.
__attribute__((target("ssse3"))) inline void LoadEight(const uint8_t* p, __m128i& b, __m128i& g, __m128i& r)
{
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
    const char z = char(0x80);  // a zero byte
    b = _mm_or_si128(_mm_shuffle_epi8(low, _mm_setr_epi8(0, z, 3, z, 6, z, 9, z, 12, z, 15, z, z, z, z, z)),
                     _mm_shuffle_epi8(high, _mm_setr_epi8(z, z, z, z, z, z, z, z, z, z, z, z, 10, z, 13, z)));
    g = _mm_or_si128(_mm_shuffle_epi8(low, _mm_setr_epi8(1, z, 4, z, 7, z, 10, z, 13, z, z, z, z, z, z, z)),
                     _mm_shuffle_epi8(high, _mm_setr_epi8(z, z, z, z, z, z, z, z, z, z, 8, z, 11, z, 14, z)));
    r = _mm_or_si128(_mm_shuffle_epi8(low, _mm_setr_epi8(2, z, 5, z, 8, z, 11, z, 14, z, z, z, z, z, z, z)),
                     _mm_shuffle_epi8(high, _mm_setr_epi8(z, z, z, z, z, z, z, z, z, z, 9, z, 12, z, 15, z)));
}

// The same sums as ConvertPixel in 16-bit lanes. Each result lies within
// 0..65535, so the lanes' wrap-around leaves it exact.
__attribute__((target("ssse3"))) inline __m128i WeightedSum(__m128i b, __m128i g, __m128i r, short kb, short kg,
                                                            short kr, short bias)
{
    __m128i sum = _mm_add_epi16(_mm_mullo_epi16(b, _mm_set1_epi16(kb)), _mm_mullo_epi16(g, _mm_set1_epi16(kg)));
    sum = _mm_add_epi16(sum, _mm_mullo_epi16(r, _mm_set1_epi16(kr)));
    return _mm_srli_epi16(_mm_add_epi16(sum, _mm_set1_epi16(bias)), 8);
}

// One row's Y of eight pixels stored; their U and V returned as 16-bit lanes.
__attribute__((target("ssse3"))) inline void ConvertEight(const uint8_t* p, uint8_t* y, __m128i& u, __m128i& v)
{
    __m128i b, g, r;
    LoadEight(p, b, g, r);
    const __m128i luma = WeightedSum(b, g, r, 24, 128, 65, 4096);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(y), _mm_packus_epi16(luma, luma));
    u = WeightedSum(b, g, r, 112, -74, -37, short(-32768));
    v = WeightedSum(b, g, r, -18, -93, 112, short(-32768));
}

// Two rows of width pixels (a multiple of 8 is done here, the rest by the
// caller): Y of both rows, U and V of the 2 x 2 blocks.
__attribute__((target("ssse3"))) int ConvertRowPairSsse3(const uint8_t* s0, const uint8_t* s1, uint8_t* y0, uint8_t* y1,
                                                          uint8_t* u, uint8_t* v, int width)
{
    const __m128i ones = _mm_set1_epi16(1);
    int col = 0;
    for (; col + 8 <= width; col += 8) {
        __m128i u0, v0, u1, v1;
        ConvertEight(s0 + col * 3, y0 + col, u0, v0);
        ConvertEight(s1 + col * 3, y1 + col, u1, v1);
        // Neighbours add up in pairs, then the two rows: four block sums.
        const __m128i uSum = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(u0, ones), _mm_madd_epi16(u1, ones)), 2);
        const __m128i vSum = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(v0, ones), _mm_madd_epi16(v1, ones)), 2);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(uSum, vSum), _mm_setzero_si128());
        const uint32_t uv[2] = {uint32_t(_mm_cvtsi128_si32(bytes)), uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 4)))};
        memcpy(u + col / 2, &uv[0], 4);
        memcpy(v + col / 2, &uv[1], 4);
    }
    return col;
}

bool HasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
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
    const bool ssse3 = HasSsse3();
    for (int row = 0; row < height; row += 2) {
        const uint8_t* s0 = source + size_t(bottomUp ? height - 1 - row : row) * stride;
        const uint8_t* s1 = source + size_t(bottomUp ? height - 2 - row : row + 1) * stride;
        uint8_t* y0 = destination + size_t(row) * width;
        uint8_t* y1 = y0 + width;
        uint8_t* uRow = u + size_t(row / 2) * halfWidth;
        uint8_t* vRow = v + size_t(row / 2) * halfWidth;
        int col = 0;
        if (ssse3) {
            const int done = ConvertRowPairSsse3(s0, s1, y0, y1, uRow, vRow, width);
            col = done / 2;
            s0 += done * 3;
            s1 += done * 3;
            y0 += done;
            y1 += done;
        }
        for (; col < halfWidth; ++col, s0 += 6, s1 += 6, y0 += 2, y1 += 2) {
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
