// ZSoft PCX reader: run-length rows of packed pixels or colour planes.
#pragma once

#include "CxImage.h"

class CxImagePCX : public CxImage {
public:
    CxImagePCX() : CxImage(CXIMAGE_FORMAT_PCX) {}
    bool Decode(CxFile* file);
};
