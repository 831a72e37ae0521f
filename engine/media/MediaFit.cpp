#include "MediaFit.h"

#include <cstring>

MediaFitSize FitMediaPicture(int sourceWidth, int sourceHeight)
{
    if (sourceWidth <= 0 || sourceHeight <= 0)
        return {0, 0};
    const float ratio = float(sourceWidth) / float(sourceHeight);
    int width, height;
    if (ratio > 1.3333334f) {
        width = kMediaFrameWidth;
        height = int(480.0f / ratio);
    } else {
        height = kMediaFrameHeight;
        width = int(ratio * 360.0f);
    }
    width = (width + 7) / 8 * 8;
    if (height % 2)
        ++height;
    // A sliver of a picture still gets a few pixels.
    if (width < 8)
        width = 8;
    if (height < 2)
        height = 2;
    if (width > kMediaFrameWidth)
        width = kMediaFrameWidth;
    if (height > kMediaFrameHeight)
        height = kMediaFrameHeight;
    return {width, height};
}

void PlaceMediaPicture(const uint8_t* picture, int width, int height, uint8_t* frame)
{
    memset(frame, 0, kMediaFrameBytes);
    if (!picture || width <= 0 || height <= 0 || width > kMediaFrameWidth || height > kMediaFrameHeight)
        return;
    const size_t frameRow = size_t(kMediaFrameWidth) * 3;
    const size_t pictureRow = size_t(width) * 3;
    const size_t left = size_t((kMediaFrameWidth - width) / 2) * 3;
    const size_t top = size_t((kMediaFrameHeight - height) / 2);
    for (int row = 0; row < height; ++row)
        memcpy(frame + (top + row) * frameRow + left, picture + row * pictureRow, pictureRow);
}
