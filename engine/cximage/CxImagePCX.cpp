#include "CxImagePCX.h"

#include <algorithm>
#include <vector>

#include "CxBytes.h"

bool CxImagePCX::Decode(CxFile* file)
{
    if (!file)
        return false;
    uint8_t h[128];
    if (file->Read(h, 1, 128) != 128) {
        SetLastError("Can't read PCX image");
        return false;
    }
    if (h[0] != 10) {
        SetLastError("Error: Not a PCX file");
        return false;
    }
    if (h[2] != 1) {
        SetLastError("PCX file has unknown encoding scheme");
        return false;
    }
    const uint32_t bits = h[3];
    const int32_t width = int32_t(CxLe16(h + 8)) - int32_t(CxLe16(h + 4)) + 1;
    const int32_t height = int32_t(CxLe16(h + 10)) - int32_t(CxLe16(h + 6)) + 1;
    const uint32_t planes = h[65];
    const uint32_t bytesPerLine = CxLe16(h + 66);
    if (planes > 4) {
        SetLastError("Can't handle image with more than 4 planes");
        return false;
    }
    if (planes == 0 || !(bits == 1 || bits == 2 || bits == 4 || bits == 8)) {
        SetLastError("Error: Not a PCX file");
        return false;
    }
    uint32_t depth = bits;
    if (bits == 8 && (planes == 3 || planes == 4))
        depth = 24;
    else if (bits == 1 && planes > 1)
        depth = 4; // up to four bit planes make a 16-colour index
    if (width <= 0 || height <= 0) {
        Create(0, 0, depth, CXIMAGE_FORMAT_PCX);
        return false;
    }

    // Each two bytes of the file give at most 63 bytes of the image.
    const uint64_t total = uint64_t(height) * bytesPerLine * planes;
    if (total > uint64_t(BytesLeft(file)) * 32) {
        SetLastError("corrupted PCX");
        return false;
    }
    if (!Create(uint32_t(width), uint32_t(height), depth, CXIMAGE_FORMAT_PCX))
        return false;
    SetXDpi(CxLe16(h + 12));
    SetYDpi(CxLe16(h + 14));
    if (bits == 8 && planes == 4)
        AlphaCreate();

    std::vector<uint8_t> data(total);
    CxByteSource source(file);
    for (size_t filled = 0; filled < total;) {
        const int b = source.Get();
        if (b < 0) {
            Release();
            SetLastError("corrupted PCX");
            return false;
        }
        if (b >= 192) {
            const size_t count = size_t(b & 63);
            const int value = source.Get();
            if (value < 0) {
                Release();
                SetLastError("corrupted PCX");
                return false;
            }
            if (count > total - filled) {
                Release();
                SetLastError("repeat count spans end of image");
                return false;
            }
            std::fill(data.begin() + filled, data.begin() + filled + count, uint8_t(value));
            filled += count;
        } else {
            data[filled++] = uint8_t(b);
        }
    }

    uint8_t table[768];
    for (int i = 0; i < 48; ++i)
        table[i] = h[16 + i];
    uint32_t tableEntries = 16;
    if (bits == 8 && planes == 1) {
        if (source.Get() != 12) {
            Release();
            SetLastError("bad color map signature");
            return false;
        }
        if (!source.Read(table, 768)) {
            Release();
            SetLastError("corrupted PCX");
            return false;
        }
        tableEntries = 256;
    } else if (bits == 1 && planes == 1) {
        const uint8_t blackWhite[6] = {0, 0, 0, 255, 255, 255};
        std::copy(blackWhite, blackWhite + 6, table);
        tableEntries = 2;
    }
    SetPaletteRgb(tableEntries, table);

    const bool rgb = depth == 24;
    if (!rgb && planes > 1 && bits != 1) {
        Release();
        if (bits == 8)
            SetLastError("PCX_PlanesToPixels: more than 4 planes or more than 1 bit per pixel");
        else
            SetLastError("PCX_UnpackPixels: Can't handle packed pixels with more than 1 plane");
        return false;
    }
    auto planeByte = [&](const uint8_t* line, uint32_t plane, uint32_t at) -> uint8_t {
        return at < bytesPerLine ? line[size_t(plane) * bytesPerLine + at] : 0;
    };
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* line = data.data() + size_t(r) * bytesPerLine * planes;
        const int32_t y = height - 1 - r;
        for (int32_t x = 0; x < width; ++x) {
            if (rgb) {
                SetPixelColor(x, y, CxRgb(planeByte(line, 0, x), planeByte(line, 1, x), planeByte(line, 2, x)));
                if (planes == 4)
                    AlphaSet(x, y, planeByte(line, 3, x));
            } else if (planes == 1) {
                const uint32_t bit = uint32_t(x) * bits;
                const uint8_t b = planeByte(line, 0, bit / 8);
                const uint32_t shift = 8 - bits - bit % 8;
                SetPixelIndex(x, y, uint8_t((b >> shift) & ((1u << bits) - 1)));
            } else {
                uint8_t index = 0;
                for (uint32_t p = 0; p < planes; ++p)
                    index |= uint8_t(((planeByte(line, p, uint32_t(x) / 8) >> (7 - x % 8)) & 1) << p);
                SetPixelIndex(x, y, index);
            }
        }
    }
    return true;
}
