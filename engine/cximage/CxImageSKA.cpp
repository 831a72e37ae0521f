#include "CxImageSKA.h"

#include "CxBytes.h"

bool CxImageSKA::Decode(CxFile* file)
{
    if (!file)
        return false;
    uint8_t h[9];
    if (file->Read(h, 1, 9) != 9)
        return false;
    const uint32_t width = CxLe16(h), height = CxLe16(h + 2);
    if ((width & 0x8000) || (height & 0x8000) || h[4] != 3 || CxLe32(h + 5) != 0x01000000u || !width || !height)
        return false;
    if (768 + uint64_t(width) * height > BytesLeft(file))
        return false;
    if (!Create(width, height, 8, CXIMAGE_FORMAT_SKA))
        return false;
    uint8_t palette[768];
    if (file->Read(palette, 1, 768) != 768) {
        Release();
        return false;
    }
    SetPaletteRgb(256, palette);
    for (uint32_t y = 0; y < height; ++y) {
        if (file->Read(Rows() + size_t(y) * info_.rowBytes, 1, width) != width) {
            Release();
            return false;
        }
    }
    FlipRows(true);
    return true;
}
