// libFuzzer target for one reader; CXIMAGE_FUZZ_FORMAT names its format id
// (0 runs the whole reader order).
#include <cstddef>
#include <cstdint>

#include "CxImage.h"
#include "../tests/MemFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int32_t frame : {0, 1}) {
        CxMemFile file(data, size);
        CxImage image;
        image.SelectFrame(frame);
        if (!image.DecodeStream(&file, CXIMAGE_FUZZ_FORMAT) || !image.HasPixels())
            continue;
        // Touch what a caller reads: every pixel of a bounded picture.
        const uint32_t w = image.Width(), h = image.Height();
        uint32_t sum = 0;
        for (uint32_t y = 0; y < h && y < 256; ++y)
            for (uint32_t x = 0; x < w && x < 256; ++x)
                sum += image.PixelColor(int32_t(x), int32_t(y), true).rgbRed;
        sum += image.TransparentColor().rgbBlue + image.FrameDelay() + uint32_t(image.FrameCount());
        if (sum == 0xFFFFFFFFu)
            return 1;
    }
    return 0;
}
