// Truevision TGA reader: colour-mapped, true-colour and grey, raw or run-length encoded.
#pragma once

#include "CxImage.h"

class CxImageTGA : public CxImage {
public:
    CxImageTGA() : CxImage(CXIMAGE_FORMAT_TGA) {}
    bool Decode(CxFile* file);
};
