#include "PixelEffects.h"

#include <algorithm>
#include <cstring>

#include <tmmintrin.h>

// Rows are stepped by width x 3: the compose pass only sees widths that are a
// multiple of 4 (where this equals the aligned DIB row), and the frame record
// packs other widths without padding, so an aligned step would run past them.

namespace {

uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

void Store32(uint8_t* p, uint32_t v)
{
    memcpy(p, &v, 4);
}

// Four pixels are three little-endian words, so a group is turned around
// with shifts instead of byte by byte.
void ReverseGroupsOfFour(uint8_t*& destination, const uint8_t*& from, int groups)
{
    for (int n = 0; n < groups; ++n) {
        from -= 12;
        const uint32_t a = Load32(from), b = Load32(from + 4), c = Load32(from + 8);
        Store32(destination, (c >> 8) | ((b << 8) & 0xFF000000u));
        Store32(destination + 4, (b >> 24) | ((c << 8) & 0xFF00u) | ((a >> 8) & 0xFF0000u) | (b << 24));
        Store32(destination + 8, ((b >> 8) & 0xFFu) | (a << 8));
        destination += 12;
    }
}

// Sixteen pixels are three 16-byte vectors; each vector of the turned-around
// block gathers its bytes from the three source vectors with byte shuffles.
struct ShuffleMasks {
    alignas(16) uint8_t bytes[3][3][16];  // [destination vector][source vector][byte]
    ShuffleMasks()
    {
        for (int j = 0; j < 48; ++j) {
            const int from = 3 * (15 - j / 3) + j % 3;
            for (int m = 0; m < 3; ++m)
                bytes[j / 16][m][j % 16] = from / 16 == m ? uint8_t(from % 16) : 0x80;
        }
    }
};

__attribute__((target("ssse3"))) void ReverseBlocksOfSixteen(uint8_t*& destination, const uint8_t*& from, int blocks)
{
    static const ShuffleMasks masks;
    __m128i m[3][3];
    for (int k = 0; k < 3; ++k)
        for (int s = 0; s < 3; ++s)
            m[k][s] = _mm_load_si128(reinterpret_cast<const __m128i*>(masks.bytes[k][s]));
    for (int n = 0; n < blocks; ++n) {
        from -= 48;
        const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
        const __m128i s2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32));
        for (int k = 0; k < 3; ++k) {
            const __m128i d = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(s0, m[k][0]), _mm_shuffle_epi8(s1, m[k][1])),
                                           _mm_shuffle_epi8(s2, m[k][2]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 16 * k), d);
        }
        destination += 48;
    }
}

bool HasSsse3()
{
    static const bool has = [] {
        __builtin_cpu_init();  // may run before the runtime's own start-up has
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
}

// Writes count pixels of source into destination in reverse order (the
// buffers do not overlap).
void ReversePixels(uint8_t* destination, const uint8_t* source, int count)
{
    const uint8_t* from = source + size_t(count) * 3;
    int done = 0;
    if (HasSsse3()) {
        ReverseBlocksOfSixteen(destination, from, count / 16);
        done = count / 16 * 16;
    }
    ReverseGroupsOfFour(destination, from, (count - done) / 4);
    done += (count - done) / 4 * 4;
    for (; done < count; ++done) {
        from -= 3;
        destination[0] = from[0];
        destination[1] = from[1];
        destination[2] = from[2];
        destination += 3;
    }
}

// One frame row: from source (another row, a scratch copy or the scaled
// picture; null means the row itself) into the row, with the mirror, the
// tint and the symmetry as asked, in that order.
struct RowEffects {
    int width;
    bool mirror;
    const CTintEffect* tint;  // null when off
    bool symmetry;

    bool Any() const { return mirror || tint || symmetry; }

    void Run(uint8_t* row, const uint8_t* source, uint8_t* scratch) const
    {
        const size_t bytes = size_t(width) * 3;
        // The symmetry rebuilds the right half from the left one, so only the
        // left half and the middle pixel need the effects before it.
        const int kept = symmetry ? width - width / 2 : width;
        if (mirror) {
            if (!source) {
                memcpy(scratch, row, bytes);
                source = scratch;
            }
            ReversePixels(row, source + size_t(width - kept) * 3, kept);
            source = nullptr;
        }
        if (tint)
            tint->ApplyRow(row, source ? source : row, kept);
        else if (source)
            memcpy(row, source, size_t(kept) * 3);
        if (symmetry)
            ReversePixels(row + size_t(width - width / 2) * 3, row, width / 2);
    }
};

// Every row once: with the flip, rows r and height - 1 - r trade places on
// the way through the effects (the middle row of an odd height stays).
void SweepRows(uint8_t* pixels, int width, int height, bool flip, const RowEffects& effects)
{
    flip = flip && height > 1;
    if (!pixels || width <= 0 || height <= 0 || (!flip && !effects.Any()))
        return;
    const size_t row = size_t(width) * 3;
    std::vector<uint8_t> scratch(row);
    if (!flip) {
        for (int r = 0; r < height; ++r)
            effects.Run(pixels + row * r, nullptr, scratch.data());
        return;
    }
    for (int r = 0; r < height / 2; ++r) {
        uint8_t* a = pixels + row * r;
        uint8_t* b = pixels + row * (height - 1 - r);
        memcpy(scratch.data(), a, row);
        if (effects.Any()) {
            // Both rows have a source, so the scratch row is only read.
            effects.Run(a, b, scratch.data());
            effects.Run(b, scratch.data(), scratch.data());
        } else {
            memcpy(a, b, row);
            memcpy(b, scratch.data(), row);
        }
    }
    if ((height & 1) && effects.Any())
        effects.Run(pixels + row * (height / 2), nullptr, scratch.data());
}

} // namespace

void CFlipMirror::ApplyFlips(uint8_t* pixels, int width, int height) const
{
    SweepRows(pixels, width, height, flip, RowEffects{width, mirror, nullptr, false});
}

void CFlipMirror::ApplyMirror(uint8_t* pixels, int width, int height) const
{
    SweepRows(pixels, width, height, false, RowEffects{width, mirror, nullptr, false});
}

void CStretchEffect::Set(int amount, uint32_t now)
{
    amount = std::max(-50, std::min(50, amount));
    if (amount != 0)
        m_clock.SwitchOn(now);
    else
        m_clock.SwitchOff(now);
    m_amount = amount;
}

void CStretchEffect::Stop(uint32_t now)
{
    m_clock.SwitchOff(now);
    m_amount = 0;
}

const uint8_t* CStretchEffect::Scale(const uint8_t* pixels, int width, int height, size_t* rowStep)
{
    if (m_amount == 0 || !pixels || width <= 0 || height <= 0 || !m_scaler)
        return nullptr;
    const double x = m_amount / 50.0 * 0.5;
    int scaledWidth = width, scaledHeight = height;
    if (m_amount > 0)
        scaledWidth = int((1 + x) * width);
    else
        scaledHeight = int((1 - x) * height);
    if (scaledWidth == width && scaledHeight == height)
        return nullptr;
    const size_t alignedRow = size_t(((scaledWidth * 24 + 31) >> 3) & ~3);
    m_scaled.resize(alignedRow * scaledHeight);
    if (!m_scaler->Scale(pixels, width, height, m_scaled.data(), scaledWidth, scaledHeight, PixelLayout::Bgr24))
        return nullptr;
    // The centre: rows e .. e + height - 1 of a taller picture, columns f ..
    // f + width - 1 of a wider one.
    if (scaledHeight > height) {
        *rowStep = size_t(width) * 3;
        return m_scaled.data() + *rowStep * size_t(scaledHeight / 2 - height / 2);
    }
    *rowStep = size_t(scaledWidth) * 3;
    return m_scaled.data() + size_t(scaledWidth / 2 - width / 2) * 3;
}

void CStretchEffect::Apply(uint8_t* pixels, int width, int height)
{
    size_t step = 0;
    const uint8_t* centre = Scale(pixels, width, height, &step);
    if (!centre)
        return;
    const size_t row = size_t(width) * 3;
    for (int r = 0; r < height; ++r)
        memcpy(pixels + row * r, centre + step * r, row);
}

void CTintEffect::SetColor(unsigned red, unsigned green, unsigned blue, uint32_t now)
{
    m_clock.SwitchOn(now);
    if (red <= 255)
        r = uint8_t(red);
    if (green <= 255)
        g = uint8_t(green);
    if (blue <= 255)
        b = uint8_t(blue);
}

void CTintEffect::SetParams(int a, unsigned bValue, unsigned c, uint32_t now)
{
    m_clock.SwitchOn(now);
    if (a >= -255 && a <= 255)
        params[0] = a;
    if (bValue <= 125)
        params[1] = int32_t(bValue);
    if (c <= 125)
        params[2] = int32_t(c);
}

void CTintEffect::Stop(uint32_t now)
{
    m_clock.SwitchOff(now);
    r = g = b = 0;
    params[0] = params[1] = params[2] = 0;
}

void CTintEffect::Apply(uint8_t* pixels, int width, int height) const
{
    if (!m_clock.on || !pixels || width <= 0 || height <= 0)
        return;
    ApplyRow(pixels, pixels, width * height);
}

void CTintEffect::ApplyRow(uint8_t* destination, const uint8_t* source, int count) const
{
    // Sixteen pixels of the colour to add are three vectors; each step is
    // three saturating byte additions.
    alignas(16) uint8_t add[48];
    for (int k = 0; k < 48; k += 3) {
        add[k] = b;
        add[k + 1] = g;
        add[k + 2] = r;
    }
    const __m128i add0 = _mm_load_si128(reinterpret_cast<const __m128i*>(add));
    const __m128i add1 = _mm_load_si128(reinterpret_cast<const __m128i*>(add + 16));
    const __m128i add2 = _mm_load_si128(reinterpret_cast<const __m128i*>(add + 32));
    const size_t bytes = size_t(count) * 3;
    size_t i = 0;
    for (; i + 48 <= bytes; i += 48) {
        const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 16));
        const __m128i s2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 32));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), _mm_adds_epu8(s0, add0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i + 16), _mm_adds_epu8(s1, add1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i + 32), _mm_adds_epu8(s2, add2));
    }
    for (size_t k = 0; i + k < bytes; ++k) {
        const unsigned sum = unsigned(source[i + k]) + add[k];
        destination[i + k] = uint8_t(sum > 255 ? 255 : sum);
    }
}

void ApplySymmetry(uint8_t* pixels, int width, int height)
{
    SweepRows(pixels, width, height, false, RowEffects{width, false, nullptr, true});
}

void ApplyPixelEffects(uint8_t* pixels, int width, int height, const CFlipMirror& flips, CStretchEffect& stretch,
                       const CTintEffect& tint, bool symmetry)
{
    if (!pixels || width <= 0 || height <= 0)
        return;
    const RowEffects after{width, false, tint.IsOn() ? &tint : nullptr, symmetry};
    if (stretch.Amount() == 0) {
        SweepRows(pixels, width, height, flips.flip, RowEffects{width, flips.mirror, after.tint, symmetry});
        return;
    }
    // The scaler needs the whole flipped frame; the tint and the symmetry
    // then ride on the copy of the scaled centre back into the frame.
    SweepRows(pixels, width, height, flips.flip, RowEffects{width, flips.mirror, nullptr, false});
    size_t step = 0;
    const uint8_t* centre = stretch.Scale(pixels, width, height, &step);
    if (!centre) {
        SweepRows(pixels, width, height, false, after);
        return;
    }
    const size_t row = size_t(width) * 3;
    for (int r = 0; r < height; ++r)
        after.Run(pixels + row * r, centre + step * r, nullptr);
}
