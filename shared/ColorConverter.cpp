#include "ColorConverter.h"
#include "JpegDecoder.h"

#include <uuids.h>

#include <cstring>
#include <utility>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

struct PlanePointers {
    uint8_t* data[4];
    int linesize[4];
};

PlanePointers PlanesOf(const uint8_t* const data[4], const int linesize[4])
{
    PlanePointers planes;
    for (int i = 0; i < 4; ++i) {
        planes.data[i] = const_cast<uint8_t*>(data[i]);
        planes.linesize[i] = linesize[i];
    }
    return planes;
}

// Points every plane at its last row with a negated stride, so that the
// scaler walks the picture from the bottom up.
void FlipVertically(PlanePointers& planes, AVPixelFormat format, int height)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const int count = av_pix_fmt_count_planes(format);
    for (int plane = 0; plane < count; ++plane) {
        const bool chroma = (plane == 1 || plane == 2) && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB);
        const int rows = chroma ? AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h) : height;
        planes.data[plane] += static_cast<ptrdiff_t>(planes.linesize[plane]) * (rows - 1);
        planes.linesize[plane] = -planes.linesize[plane];
    }
}

// YV12 stores its V plane before its U plane; FFmpeg's YUV420P wants U first.
void SwapChromaPlanes(PlanePointers& planes)
{
    std::swap(planes.data[1], planes.data[2]);
    std::swap(planes.linesize[1], planes.linesize[2]);
}

// Packed RGB layouts whose same-size conversion to themselves is a plain
// copy of the rows (what the scaler's unscaled path does for them).
bool IsPackedRgb(AVPixelFormat format)
{
    return format == AV_PIX_FMT_BGR24 || format == AV_PIX_FMT_BGRA || format == AV_PIX_FMT_RGB555LE
        || format == AV_PIX_FMT_RGB565LE;
}

} // namespace

CColorConverter::CColorConverter() = default;
CColorConverter::~CColorConverter() = default;

AVPixelFormat CColorConverter::SubtypeToPixelFormat(const GUID& subtype, bool* topDown)
{
    struct Entry {
        const GUID* subtype;
        AVPixelFormat format;
        bool topDown;
    };
    static const Entry table[] = {
        {&MEDIASUBTYPE_RGB24, AV_PIX_FMT_BGR24, false},
        {&MEDIASUBTYPE_RGB32, AV_PIX_FMT_BGRA, false},
        {&MEDIASUBTYPE_ARGB32, AV_PIX_FMT_BGRA, false},
        {&MEDIASUBTYPE_YUY2, AV_PIX_FMT_YUYV422, true},
        {&MEDIASUBTYPE_YUYV, AV_PIX_FMT_YUYV422, true},
        {&MEDIASUBTYPE_YV12, AV_PIX_FMT_YUV420P, true},
        {&MEDIASUBTYPE_IYUV, AV_PIX_FMT_YUV420P, true},
        {&tq::kMediaSubtypeI420, AV_PIX_FMT_YUV420P, true},
        {&MEDIASUBTYPE_Y411, AV_PIX_FMT_YUV411P, true},
        {&MEDIASUBTYPE_UYVY, AV_PIX_FMT_UYVY422, true},
        {&MEDIASUBTYPE_RGB555, AV_PIX_FMT_RGB555LE, false},
        {&MEDIASUBTYPE_RGB565, AV_PIX_FMT_RGB565LE, false},
        {&MEDIASUBTYPE_MJPG, AV_PIX_FMT_BGR24, false},
    };
    for (const Entry& entry : table) {
        if (IsEqualGUID(subtype, *entry.subtype)) {
            if (topDown)
                *topDown = entry.topDown;
            return entry.format;
        }
    }
    if (topDown)
        *topDown = false;
    return AV_PIX_FMT_BGR24;
}

size_t CColorConverter::PictureBytes(const GUID& subtype, int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    const int bytes = av_image_get_buffer_size(SubtypeToPixelFormat(subtype), width, height, 1);
    return bytes > 0 ? static_cast<size_t>(bytes) : 0;
}

void CColorConverter::Describe(Side& side, const GUID& subtype, int width, int height, const uint8_t* buffer)
{
    side = Side();
    side.subtype = subtype;
    side.width = width;
    side.height = height;
    side.format = SubtypeToPixelFormat(subtype, &side.topDown);
    side.valid = buffer && width > 0 && height > 0
        && av_image_fill_arrays(side.data, side.linesize, buffer, side.format, width, height, 1) >= 0;
}

void CColorConverter::SetSource(const GUID& subtype, int width, int height, const uint8_t* buffer)
{
    Describe(m_source, subtype, width, height, buffer);
}

void CColorConverter::SetDestination(const GUID& subtype, int width, int height, uint8_t* buffer)
{
    Describe(m_destination, subtype, width, height, buffer);
}

bool CColorConverter::Convert()
{
    if (!m_source.valid || !m_destination.valid)
        return false;
    if (m_source.format == m_destination.format && m_source.width == m_destination.width
        && m_source.height == m_destination.height && IsPackedRgb(m_source.format)) {
        // Same layout and size: the rows as they are (both sides packed alike).
        memcpy(m_destination.data[0], m_source.data[0],
               static_cast<size_t>(m_source.linesize[0]) * static_cast<size_t>(m_source.height));
        return true;
    }
    SwsContext* context = m_scalers.Get(m_source.width, m_source.height, m_source.format, m_destination.width,
                                       m_destination.height, m_destination.format, SWS_FAST_BILINEAR);
    if (!context)
        return false;

    // The descriptors stay as set; the flips and swaps apply to this call only.
    PlanePointers source = PlanesOf(m_source.data, m_source.linesize);
    PlanePointers destination = PlanesOf(m_destination.data, m_destination.linesize);
    if (m_source.topDown)
        FlipVertically(destination, m_destination.format, m_destination.height);
    if (IsEqualGUID(m_source.subtype, MEDIASUBTYPE_YV12))
        SwapChromaPlanes(source);
    if (m_destination.topDown)
        FlipVertically(source, m_source.format, m_source.height);
    if (IsEqualGUID(m_destination.subtype, MEDIASUBTYPE_YV12))
        SwapChromaPlanes(destination);

    const int rows = sws_scale(context, source.data, source.linesize, 0, m_source.height,
                               destination.data, destination.linesize);
    return rows > 0;
}

bool CColorConverter::MjpgSizeAcceptable(int width, int height)
{
    if (width <= 0 || height <= 0 || width > kMaxMjpgSide || height > kMaxMjpgSide)
        return false;
    const uint64_t stride = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
    return stride * uint64_t(height) <= uint64_t(kMaxMjpgSide) * kMaxMjpgSide * 3;
}

bool CColorConverter::ConvertMjpg(const uint8_t* jpeg, int length, uint8_t* destination,
                                  int srcWidth, int srcHeight, int dstWidth, int dstHeight)
{
    if (!jpeg || length <= 0 || !destination || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0)
        return false;

    // Decode into a scratch picture of the announced size (DIB rows), so that
    // a picture that fails half-way leaves the destination as it was. The
    // size comes from the sample's format: it is bounded, in 64 bits, before
    // anything is sized from it, so a hostile one cannot wrap on 32 bits.
    if (!MjpgSizeAcceptable(srcWidth, srcHeight))
        return false;
    const size_t stride = (static_cast<size_t>(srcWidth) * 3 + 3) & ~static_cast<size_t>(3);
    const size_t needed = stride * static_cast<size_t>(srcHeight);
    if (m_decoded.size() < needed)
        m_decoded.resize(needed);
    int width = srcWidth;
    int height = srcHeight;
    int decodedBytes = 0;
    if (!DecodeJpegToBgr(jpeg, length, m_decoded.data(), width, height, decodedBytes))
        return false;

    SwsContext* context = m_scalers.Get(width, height, AV_PIX_FMT_BGR24, dstWidth, dstHeight, AV_PIX_FMT_BGR24,
                                           SWS_BILINEAR);
    if (!context)
        return false;
    // The decoded rows are top-down; the destination is a bottom-up bitmap.
    const uint8_t* const source[4] = {m_decoded.data(), nullptr, nullptr, nullptr};
    const int sourceStride[4] = {width * 3, 0, 0, 0};
    uint8_t* const target[4] = {destination + static_cast<size_t>(dstWidth) * 3 * (dstHeight - 1), nullptr, nullptr, nullptr};
    const int targetStride[4] = {-dstWidth * 3, 0, 0, 0};
    const int rows = sws_scale(context, source, sourceStride, 0, height, target, targetStride);
    return rows > 0;
}
