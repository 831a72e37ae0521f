// Writes 24-bit BMP files for test consumers and demos.
#pragma once

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

} // namespace tqtools
