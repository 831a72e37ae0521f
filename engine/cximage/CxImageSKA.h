// SKA reader: 8-bit indices under a 256-entry palette.
#pragma once

#include "CxImage.h"

class CxImageSKA : public CxImage {
public:
    CxImageSKA() : CxImage(CXIMAGE_FORMAT_SKA) {}
    bool Decode(CxFile* file);
};
