// Helpers shared by the image library's tests.
#pragma once

#include <string>

#include "CxImage.h"
#include "Fixtures.h"
#include "MemFile.h"

inline bool DecodeBytes(CxImage& image, const cxfix::Bytes& bytes, uint32_t formatId)
{
    CxMemFile file(bytes);
    return image.DecodeStream(&file, formatId);
}

// Colour of a pixel counted from the top row, as 0xRRGGBB.
inline uint32_t RgbAt(const CxImage& image, int x, int yFromTop)
{
    const CxRgbQuad c = image.PixelColor(x, int(image.Height()) - 1 - yFromTop, false);
    return (uint32_t(c.rgbRed) << 16) | (uint32_t(c.rgbGreen) << 8) | c.rgbBlue;
}

inline uint8_t IndexAt(const CxImage& image, int x, int yFromTop)
{
    return image.PixelIndex(x, int(image.Height()) - 1 - yFromTop);
}

inline uint8_t AlphaAt(const CxImage& image, int x, int yFromTop)
{
    return image.AlphaGet(x, int(image.Height()) - 1 - yFromTop);
}
