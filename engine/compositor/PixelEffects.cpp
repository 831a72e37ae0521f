#include "PixelEffects.h"

#include <algorithm>
#include <cstring>

// Rows are stepped by width x 3: the compose pass only sees widths that are a
// multiple of 4 (where this equals the aligned DIB row), and the frame record
// packs other widths without padding, so an aligned step would run past them.

void CFlipMirror::ApplyFlips(uint8_t* pixels, int width, int height) const
{
    if (flip && width > 0 && height > 1) {
        const size_t row = size_t(width) * 3;
        std::vector<uint8_t> temp(row);
        for (int r = 0; r < height / 2; ++r) {
            uint8_t* a = pixels + row * r;
            uint8_t* b = pixels + row * (height - 1 - r);
            memcpy(temp.data(), a, row);
            memcpy(a, b, row);
            memcpy(b, temp.data(), row);
        }
    }
    ApplyMirror(pixels, width, height);
}

void CFlipMirror::ApplyMirror(uint8_t* pixels, int width, int height) const
{
    if (!mirror || width < 2)
        return;
    const size_t row = size_t(width) * 3;
    for (int r = 0; r < height; ++r) {
        uint8_t* left = pixels + row * r;
        uint8_t* right = left + row - 3;
        for (; left < right; left += 3, right -= 3) {
            std::swap(left[0], right[0]);
            std::swap(left[1], right[1]);
            std::swap(left[2], right[2]);
        }
    }
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

void CStretchEffect::Apply(uint8_t* pixels, int width, int height)
{
    if (m_amount == 0 || width <= 0 || height <= 0 || !m_scaler)
        return;
    const double x = m_amount / 50.0 * 0.5;
    int scaledWidth = width, scaledHeight = height;
    if (m_amount > 0)
        scaledWidth = int((1 + x) * width);
    else
        scaledHeight = int((1 - x) * height);
    if (scaledWidth == width && scaledHeight == height)
        return;
    const size_t alignedRow = size_t(((scaledWidth * 24 + 31) >> 3) & ~3);
    m_scaled.resize(alignedRow * scaledHeight);
    if (!m_scaler->Scale(pixels, width, height, m_scaled.data(), scaledWidth, scaledHeight, PixelLayout::Bgr24))
        return;
    const size_t row = size_t(width) * 3;
    if (scaledHeight > height) {
        const int e = scaledHeight / 2 - height / 2;
        memcpy(pixels, m_scaled.data() + row * e, row * height);
    } else {
        const int f = scaledWidth / 2 - width / 2;
        const size_t scaledRow = size_t(scaledWidth) * 3;
        for (int r = 0; r < height; ++r)
            memcpy(pixels + row * r, m_scaled.data() + scaledRow * r + size_t(f) * 3, row);
    }
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
    if (!m_clock.on || width <= 0 || height <= 0)
        return;
    // One saturating table per channel, bytes in blue-green-red order.
    uint8_t table[3][256];
    const int add[3] = {b, g, r};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            table[c][v] = uint8_t(std::min(255, v + add[c]));
    const size_t count = size_t(width) * height;
    for (size_t i = 0; i < count; ++i, pixels += 3) {
        pixels[0] = table[0][pixels[0]];
        pixels[1] = table[1][pixels[1]];
        pixels[2] = table[2][pixels[2]];
    }
}

void ApplySymmetry(uint8_t* pixels, int width, int height)
{
    const size_t row = size_t(width) * 3;
    for (int r = 0; r < height; ++r) {
        uint8_t* line = pixels + row * r;
        for (int i = 0; i < width / 2; ++i)
            memcpy(line + size_t(width - 1 - i) * 3, line + size_t(i) * 3, 3);
    }
}
