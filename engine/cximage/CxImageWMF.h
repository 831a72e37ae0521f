// Windows metafile (placeable) and enhanced metafile reader: the picture is
// played through GDI into a bitmap of the metafile's size.
#pragma once

#include "CxImage.h"

class CxImageWMF : public CxImage {
public:
    CxImageWMF() : CxImage(CXIMAGE_FORMAT_WMF) {}
    bool Decode(CxFile* file);

    // Largest side of the rendered picture; larger metafiles are scaled down.
    static const int32_t kMaxSide = 4000;
    // Fits width x height into kMaxSide keeping the aspect ratio.
    static void LimitSize(int64_t& width, int64_t& height);

private:
    // The platform half (GDI); the rest of the reader is plain C++.
    static void ScreenDpi(int32_t& x, int32_t& y);
    bool Render(const uint8_t* bytes, size_t size, bool enhanced, int32_t width, int32_t height);
};
