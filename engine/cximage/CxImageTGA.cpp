#include "CxImageTGA.h"

#include <algorithm>
#include <vector>

#include "CxBytes.h"

namespace {

void StorePixel(uint8_t* row, uint8_t* alphaRow, uint32_t x, uint32_t depth, const uint8_t* p)
{
    switch (depth) {
    case 8:
        row[x] = p[0];
        break;
    case 15:
    case 16: {
        const uint32_t c = CxLe16(p);
        row[3 * x] = uint8_t(c << 3);
        row[3 * x + 1] = uint8_t((c >> 2) & 0xF8);
        row[3 * x + 2] = uint8_t((c >> 7) & 0xF8);
        break;
    }
    case 24:
        row[3 * x] = p[0];
        row[3 * x + 1] = p[1];
        row[3 * x + 2] = p[2];
        break;
    default:
        row[3 * x] = p[0];
        row[3 * x + 1] = p[1];
        row[3 * x + 2] = p[2];
        if (alphaRow)
            alphaRow[x] = p[3];
        break;
    }
}

} // namespace

bool CxImageTGA::Decode(CxFile* file)
{
    if (!file)
        return false;
    uint8_t h[18];
    if (file->Read(h, 1, 18) != 18) {
        SetLastError("Not a TGA");
        return false;
    }
    const uint8_t idLength = h[0], colorMapType = h[1], imageType = h[2];
    const uint32_t mapLength = CxLe16(h + 5);
    const uint32_t mapEntryBits = h[7];
    const uint32_t width = CxLe16(h + 12), height = CxLe16(h + 14);
    const uint32_t depth = h[16];
    const uint8_t descriptor = h[17];
    const bool rle = imageType == 9 || imageType == 10 || imageType == 11;
    if (!(imageType == 1 || imageType == 2 || imageType == 3 || rle)) {
        SetLastError("Unknown TGA image type");
        return false;
    }
    if (!width || !height || !depth || mapLength > 256 ||
        !(depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32)) {
        SetLastError("bad TGA header");
        return false;
    }
    file->Seek(idLength, SEEK_CUR);

    // The rows must be able to come from what the file holds.
    const uint32_t pixelBytes = (depth + 7) / 8;
    const uint64_t pixelCount = uint64_t(width) * height;
    const uint64_t least = rle ? (pixelCount + 127) / 128 * (1 + pixelBytes) : pixelCount * pixelBytes;
    const bool exceedsMemory = ExceedsMaxMemory(width, height, depth > 8 ? 24 : 8);
    if (!exceedsMemory && least > BytesLeft(file)) {
        SetLastError("corrupted TGA");
        return false;
    }

    if (!Create(width, height, depth, CXIMAGE_FORMAT_TGA)) {
        SetLastError("TGA Create failed");
        return false;
    }
    if (depth == 32)
        AlphaCreate();

    if (colorMapType != 0 && mapLength) {
        // Entries are as wide as the header says; the colour is their first bytes.
        const uint32_t entryBytes = std::max<uint32_t>(1, (mapEntryBits + 7) / 8);
        std::vector<uint8_t> map(size_t(mapLength) * entryBytes);
        if (file->Read(map.data(), 1, map.size()) != map.size()) {
            Release();
            SetLastError("corrupted TGA");
            return false;
        }
        const uint32_t keep = std::min(mapLength, PaletteEntries());
        for (uint32_t i = 0; i < keep; ++i) {
            const uint8_t* e = &map[size_t(i) * entryBytes];
            if (entryBytes == 2) {
                const uint32_t c = CxLe16(e);
                SetPaletteEntry(i, uint8_t((c >> 7) & 0xF8), uint8_t((c >> 2) & 0xF8), uint8_t(c << 3));
            } else if (entryBytes >= 3) {
                SetPaletteEntry(i, e[2], e[1], e[0]);
            } else {
                SetPaletteEntry(i, e[0], e[0], e[0]);
            }
        }
    }
    if (imageType == 3 || imageType == 11)
        SetGrayRamp();

    const bool topFirst = (descriptor & 0x20) != 0;
    CxByteSource source(file);
    std::vector<uint8_t> line(size_t(width) * pixelBytes);
    uint32_t left = 0; // pixels of a packet carried over from the previous row
    bool run = false;
    uint8_t runPixel[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < height; ++i) {
        const uint32_t y = topFirst ? height - 1 - i : i;
        uint8_t* row = Rows() + size_t(y) * info_.rowBytes;
        uint8_t* alphaRow = HasAlpha() ? alpha_.data() + size_t(i) * width : nullptr;
        if (!rle) {
            if (!source.Read(line.data(), line.size())) {
                Release();
                SetLastError("corrupted TGA");
                return false;
            }
            for (uint32_t x = 0; x < width; ++x)
                StorePixel(row, alphaRow, x, depth, &line[size_t(x) * pixelBytes]);
            continue;
        }
        for (uint32_t x = 0; x < width;) {
            if (left == 0) {
                const int packet = source.Get();
                if (packet < 0 || ((packet & 0x80) && !source.Read(runPixel, pixelBytes))) {
                    Release();
                    SetLastError("corrupted TGA");
                    return false;
                }
                run = (packet & 0x80) != 0;
                left = run ? uint32_t(packet - 127) : uint32_t(packet + 1);
            }
            const uint32_t take = std::min(left, width - x);
            for (uint32_t n = 0; n < take; ++n, ++x) {
                uint8_t literal[4];
                if (!run && !source.Read(literal, pixelBytes)) {
                    Release();
                    SetLastError("corrupted TGA");
                    return false;
                }
                StorePixel(row, alphaRow, x, depth, run ? runPixel : literal);
            }
            left -= take;
        }
    }
    if (descriptor & 0x10)
        MirrorRows(true);
    if (topFirst && depth == 32)
        AlphaFlip();
    return true;
}
