// Photoshop reader: the merged image of 8- and 16-bit files in the common colour modes.
#pragma once

#include "CxImage.h"

class CxImagePSD : public CxImage {
public:
    CxImagePSD() : CxImage(CXIMAGE_FORMAT_PSD) {}
    bool Decode(CxFile* file);

private:
    bool DecodePsd(CxFile* file);
};
