#include "PictureScaler.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

bool CPictureScaler::Scale(const uint8_t* source, int sourceWidth, int sourceHeight,
                           uint8_t* destination, int width, int height, PixelLayout layout)
{
    if (!source || !destination || sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0)
        return false;
    const AVPixelFormat format = layout == PixelLayout::Bgr24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
    const int bytesPerPixel = layout == PixelLayout::Bgr24 ? 3 : 4;
    // Frames keep their size for long stretches: the set-up is reused until it changes.
    SwsContext* context = m_scalers.Get(sourceWidth, sourceHeight, format, width, height, format, SWS_FAST_BILINEAR);
    if (!context)
        return false;
    const uint8_t* const sourcePlanes[4] = {source, nullptr, nullptr, nullptr};
    const int sourceStrides[4] = {sourceWidth * bytesPerPixel, 0, 0, 0};
    uint8_t* const destinationPlanes[4] = {destination, nullptr, nullptr, nullptr};
    const int destinationStrides[4] = {width * bytesPerPixel, 0, 0, 0};
    sws_scale(context, sourcePlanes, sourceStrides, 0, sourceHeight, destinationPlanes, destinationStrides);
    return true;
}
