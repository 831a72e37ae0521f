#include "CxImageICO.h"

#include <algorithm>
#include <vector>

#include "CxBytes.h"

bool CxImageICO::Decode(CxFile* file)
{
    if (!file)
        return false;
    const int32_t start = file->Tell();
    uint8_t directory[6];
    if (file->Read(directory, 1, 6) != 6)
        return false;
    const uint16_t type = CxLe16(directory + 2);
    if (CxLe16(directory) != 0 || (type != 1 && type != 2))
        return false;
    const uint32_t count = CxLe16(directory + 4);
    info_.frameCount = int32_t(count);
    std::vector<uint8_t> entries(size_t(count) * 16);
    if (count && file->Read(entries.data(), 16, count) != count)
        return false;
    if (info_.frameToLoad < 0 || uint32_t(info_.frameToLoad) >= count)
        return false;

    const uint8_t* entry = entries.data() + size_t(info_.frameToLoad) * 16;
    const uint32_t width = entry[0], height = entry[1];
    const uint32_t offset = CxLe32(entry + 12);
    if (offset > 0x7FFFFFFFu - uint32_t(start) || !file->Seek(start + int32_t(offset), SEEK_SET))
        return false;
    if (width == 0 && height == 0)
        return true;

    uint8_t bih[40];
    if (file->Read(bih, 1, 40) != 40)
        return false;
    const uint32_t bitCount = CxLe16(bih + 14);
    const uint32_t colorsUsed = CxLe32(bih + 32);
    if (!Create(width, height, bitCount, CXIMAGE_FORMAT_ICO))
        return false;

    const uint32_t fileEntries = colorsUsed ? colorsUsed : PaletteEntries();
    if (fileEntries) {
        const uint32_t keep = std::min(fileEntries, PaletteEntries());
        CxRgbQuad palette[256];
        if (file->Read(palette, 4, keep) != keep) {
            Release();
            return false;
        }
        SetPaletteQuads(keep, palette);
        // Entries beyond what the depth holds are passed over.
        if (fileEntries > keep && uint64_t(fileEntries - keep) * 4 > BytesLeft(file)) {
            Release();
            return false;
        }
        if (fileEntries > keep)
            file->Seek(int32_t((fileEntries - keep) * 4), SEEK_CUR);
    }

    const size_t pixels = size_t(width) * height;
    if (bitCount == 32) {
        std::vector<uint8_t> bgra(pixels * 4);
        if (file->Read(bgra.data(), 1, bgra.size()) != bgra.size() || !AlphaCreate()) {
            Release();
            return false;
        }
        uint8_t* rows = Rows();
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* s = &bgra[(size_t(y) * width + x) * 4];
                uint8_t* d = rows + size_t(y) * info_.rowBytes + 3 * x;
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                alpha_[size_t(y) * width + x] = s[3];
            }
        }
    } else if (file->Read(Rows(), 1, header_.biSizeImage) != header_.biSizeImage) {
        Release();
        return false;
    }

    const uint32_t maskRow = ((width + 31) / 32) * 4;
    std::vector<uint8_t> mask(size_t(maskRow) * height);
    if (file->Read(mask.data(), 1, mask.size()) != mask.size())
        return true; // no mask: no transparency
    auto masked = [&](uint32_t x, uint32_t y) { return (mask[size_t(y) * maskRow + x / 8] >> (7 - x % 8)) & 1; };

    if (std::all_of(mask.begin(), mask.end(), [](uint8_t b) { return b == 255; })) {
        info_.transparentIndex = 0;
        Invert();
        return true;
    }

    const bool hadAlpha = HasAlpha();
    AlphaCreate();
    uint32_t maskedCount = 0;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            if (masked(x, y)) {
                AlphaSet(int32_t(x), int32_t(y), 0);
                ++maskedCount;
            }
    if (maskedCount == 0 && !hadAlpha)
        AlphaDelete();
    if (bitCount > 8)
        return true;

    // All masked pixels of one colour: that colour is the transparent one.
    bool oneColour = maskedCount > 0;
    bool first = true;
    CxRgbQuad colour{0, 0, 0, 0};
    uint8_t colourIndex = 0;
    for (uint32_t y = 0; oneColour && y < height; ++y)
        for (uint32_t x = 0; oneColour && x < width; ++x) {
            if (!masked(x, y))
                continue;
            const CxRgbQuad c = PixelColor(int32_t(x), int32_t(y), false);
            if (first) {
                colour = c;
                colourIndex = PixelIndex(int32_t(x), int32_t(y));
                first = false;
            } else if (c.rgbBlue != colour.rgbBlue || c.rgbGreen != colour.rgbGreen || c.rgbRed != colour.rgbRed) {
                oneColour = false;
            }
        }
    if (oneColour) {
        SetTransparentColor(colour);
        info_.transparentIndex = colourIndex;
        AlphaDelete();
    }

    // Prefer a palette index no pixel uses: it marks the masked pixels exactly.
    bool used[256] = {false};
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            used[PixelIndex(int32_t(x), int32_t(y))] = true;
    int32_t unused = -1;
    for (int32_t i = int32_t(PaletteEntries()) - 1; i >= 0; --i)
        if (!used[i]) {
            unused = i;
            break;
        }
    if (unused >= 0) {
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                if (masked(x, y))
                    SetPixelIndex(int32_t(x), int32_t(y), uint8_t(unused));
        if (maskedCount > 0)
            info_.transparentIndex = unused;
        AlphaDelete();
    }
    return true;
}
