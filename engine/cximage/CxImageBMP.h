// Windows bitmap reader (with or without the file header, OS/2 and later info headers, RLE, bit fields).
#pragma once

#include "CxImage.h"

class CxImageBMP : public CxImage {
public:
    CxImageBMP() : CxImage(CXIMAGE_FORMAT_BMP) {}
    bool Decode(CxFile* file);

private:
    bool DecodeRle(CxFile* file, bool fourBits);
};
