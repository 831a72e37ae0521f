// CColorConverter: converts and scales one picture between the layouts that
// DirectShow subtypes name, over the FFmpeg scaler (libswscale). Every frame
// producer of the engine uses it to make the RGB24 pictures of the frame
// record; the camera filter carries its own copy to scale RGB24 pictures.
//
// Layouts: every picture is packed plane after plane with no row padding
// (FFmpeg's layout with an alignment of 1). RGB subtypes are device-independent
// bitmaps whose first row in memory is the bottom of the picture; the YUV
// subtypes are top-down. Converting between the two flips the picture, so a
// YUY2 camera frame comes out as an upright bottom-up RGB24 bitmap.
//
// A converter belongs to one producer and is used from one thread at a time.
#pragma once

#include <windows.h>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "KeptScalers.h"

namespace tq {
// The 'I420' FourCC subtype, which mingw's uuids.h leaves out. It has the
// layout of MEDIASUBTYPE_IYUV (Y, U, V planes) and is converted as such.
inline const GUID kMediaSubtypeI420 = {0x30323449, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
} // namespace tq

class CColorConverter {
public:
    CColorConverter();
    ~CColorConverter();
    CColorConverter(const CColorConverter&) = delete;
    CColorConverter& operator=(const CColorConverter&) = delete;

    // The FFmpeg pixel format of a DirectShow subtype, and whether its first
    // row in memory is the top of the picture:
    //   RGB24 -> BGR24; RGB32, ARGB32 -> BGRA; YUY2, YUYV -> YUYV422 (top-down);
    //   YV12, IYUV, I420 -> YUV420P (top-down; YV12 stores V before U);
    //   Y411 -> YUV411P (top-down); UYVY -> UYVY422 (top-down);
    //   RGB555 -> RGB555LE; RGB565 -> RGB565LE; MJPG and any other -> BGR24.
    static AVPixelFormat SubtypeToPixelFormat(const GUID& subtype, bool* topDown = nullptr);

    // Number of bytes a picture of this subtype and size takes (0 for a size
    // that is not positive).
    static size_t PictureBytes(const GUID& subtype, int width, int height);

    // Describe the source and the destination pictures. The buffers are not
    // copied and must hold PictureBytes(subtype, width, height) bytes.
    void SetSource(const GUID& subtype, int width, int height, const uint8_t* buffer);
    void SetDestination(const GUID& subtype, int width, int height, uint8_t* buffer);

    // Converts and scales the source into the destination (fast bilinear).
    // False, with the destination untouched, when a side is missing or the
    // scaler rejects the sizes or formats. The scaler set-up is kept while
    // the sizes and formats stay; a picture of the same RGB layout and size
    // is copied row for row, as the scaler would.
    bool Convert();

    // Largest side of an MJPEG picture the converter decodes (a camera's
    // largest mode); anything larger is refused before a buffer is sized.
    static constexpr int kMaxMjpgSide = 4096;
    static bool MjpgSizeAcceptable(int width, int height);
    // Decodes an MJPEG picture (announced as srcWidth x srcHeight) and scales
    // it into an RGB24 bottom-up destination of dstWidth x dstHeight. False,
    // with the destination untouched, when the picture cannot be decoded:
    // damaged, truncated, larger than announced, or not a JPEG at all.
    bool ConvertMjpg(const uint8_t* jpeg, int length, uint8_t* destination,
                     int srcWidth, int srcHeight, int dstWidth, int dstHeight);

private:
    struct Side {
        GUID subtype{};
        int width = 0;
        int height = 0;
        AVPixelFormat format = AV_PIX_FMT_NONE;
        bool topDown = false;
        uint8_t* data[4] = {};
        int linesize[4] = {};
        bool valid = false;
    };
    static void Describe(Side& side, const GUID& subtype, int width, int height, const uint8_t* buffer);

    Side m_source;
    Side m_destination;
    tq::CKeptScalers m_scalers;  // Convert's and ConvertMjpg's
    std::vector<uint8_t> m_decoded;  // the decoded MJPEG picture, reused between frames
};
