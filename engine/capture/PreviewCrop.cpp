#include "PreviewCrop.h"

#include <uuids.h>

#include <cstring>

bool CropAndScale(const uint8_t* picture, int width, int height, uint8_t* work, uint8_t* destination,
                  int targetWidth, int targetHeight, CColorConverter& converter)
{
    if (!picture || width <= 0 || height <= 0 || targetWidth <= 0 || targetHeight <= 0)
        return false;
    const int fittingHeight = int(double(width) * targetHeight / targetWidth);
    const int fittingWidth = int(double(height) * targetWidth / targetHeight);
    int excessWidth = width - fittingWidth;
    int excessHeight = height - fittingHeight;

    const uint8_t* source = picture;
    int sourceWidth = width;
    int sourceHeight = height;
    if (excessWidth > 1) {
        excessWidth += excessWidth & 1;
        sourceWidth = width - excessWidth;
        const size_t row = size_t(sourceWidth) * 3;
        for (int y = 0; y < height; ++y)
            memcpy(work + y * row, picture + (size_t(y) * width + excessWidth / 2) * 3, row);
        source = work;
    } else if (excessHeight > 1) {
        excessHeight += excessHeight & 1;
        sourceHeight = height - excessHeight;
        source = picture + size_t(excessHeight / 2) * width * 3;  // whole rows: no copy needed
    }
    converter.SetSource(MEDIASUBTYPE_RGB24, sourceWidth, sourceHeight, source);
    converter.SetDestination(MEDIASUBTYPE_RGB24, targetWidth, targetHeight, destination);
    return converter.Convert();
}
