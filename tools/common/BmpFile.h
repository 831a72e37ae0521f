// Writes 24-bit BMP files for test consumers and demos.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace tqtools {

// pixels: bottom-up BGR rows of width * 3 bytes without padding.
inline bool SaveBmp24(const wchar_t* path, int width, int height, const uint8_t* pixels)
{
    if (width <= 0 || height <= 0)
        return false;
    const uint32_t stride = (uint32_t(width) * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * uint32_t(height);
    uint8_t header[54] = {'B', 'M'};
    auto put32 = [&header](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) header[at + i] = uint8_t(v >> (8 * i));
    };
    put32(2, 54 + imageSize);
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    header[26] = 1;
    header[28] = 24;
    put32(34, imageSize);
    FILE* f = _wfopen(path, L"wb");
    if (!f)
        return false;
    bool ok = fwrite(header, 1, sizeof header, f) == sizeof header;
    std::vector<uint8_t> row(stride, 0);
    for (int y = 0; ok && y < height; ++y) {
        std::copy(pixels + size_t(y) * width * 3, pixels + size_t(y + 1) * width * 3, row.begin());
        ok = fwrite(row.data(), 1, stride, f) == stride;
    }
    return fclose(f) == 0 && ok;
}

// Reads a file SaveBmp24 wrote (24 bits, bottom-up); pixels as SaveBmp24 takes them.
inline bool LoadBmp24(const wchar_t* path, int& width, int& height, std::vector<uint8_t>& pixels)
{
    FILE* f = _wfopen(path, L"rb");
    if (!f)
        return false;
    uint8_t header[54] = {};
    bool ok = fread(header, 1, sizeof header, f) == sizeof header && header[0] == 'B' && header[1] == 'M';
    auto get32 = [&header](int at) {
        return uint32_t(header[at]) | uint32_t(header[at + 1]) << 8 | uint32_t(header[at + 2]) << 16 |
               uint32_t(header[at + 3]) << 24;
    };
    const int32_t w = int32_t(get32(18)), h = int32_t(get32(22));
    ok = ok && header[28] == 24 && get32(30) == 0 && w > 0 && h > 0 && w <= 8192 && h <= 8192 &&
         fseek(f, long(get32(10)), SEEK_SET) == 0;
    if (ok) {
        const uint32_t stride = (uint32_t(w) * 3 + 3) & ~3u;
        std::vector<uint8_t> row(stride);
        pixels.resize(size_t(w) * h * 3);
        for (int y = 0; ok && y < h; ++y) {
            ok = fread(row.data(), 1, stride, f) == stride;
            std::copy(row.begin(), row.begin() + size_t(w) * 3, pixels.begin() + size_t(y) * w * 3);
        }
        width = w;
        height = h;
    }
    fclose(f);
    return ok;
}

} // namespace tqtools
