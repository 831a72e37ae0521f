#include "PictureScaler.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

CPictureScaler::~CPictureScaler()
{
    sws_freeContext(m_context);
}

bool CPictureScaler::Scale(const uint8_t* source, int sourceWidth, int sourceHeight,
                           uint8_t* destination, int width, int height, PixelLayout layout)
{
    if (!source || !destination || sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0)
        return false;
    const AVPixelFormat format = layout == PixelLayout::Bgr24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
    const int bytesPerPixel = layout == PixelLayout::Bgr24 ? 3 : 4;
    // Frames keep their size for long stretches: the set-up is reused until it changes.
    if (!m_context || sourceWidth != m_sourceWidth || sourceHeight != m_sourceHeight || width != m_width ||
        height != m_height || layout != m_layout) {
        sws_freeContext(m_context);
        m_context = sws_getContext(sourceWidth, sourceHeight, format, width, height, format, SWS_FAST_BILINEAR,
                                   nullptr, nullptr, nullptr);
        m_sourceWidth = sourceWidth;
        m_sourceHeight = sourceHeight;
        m_width = width;
        m_height = height;
        m_layout = layout;
    }
    if (!m_context)
        return false;
    const uint8_t* const sourcePlanes[4] = {source, nullptr, nullptr, nullptr};
    const int sourceStrides[4] = {sourceWidth * bytesPerPixel, 0, 0, 0};
    uint8_t* const destinationPlanes[4] = {destination, nullptr, nullptr, nullptr};
    const int destinationStrides[4] = {width * bytesPerPixel, 0, 0, 0};
    sws_scale(m_context, sourcePlanes, sourceStrides, 0, sourceHeight, destinationPlanes, destinationStrides);
    return true;
}
