// WAP wireless bitmap reader (type 0, one bit per pixel).
#pragma once

#include "CxImage.h"

class CxImageWBMP : public CxImage {
public:
    CxImageWBMP() : CxImage(CXIMAGE_FORMAT_WBMP) {}
    bool Decode(CxFile* file);
};
