// Icon and cursor reader: one icon of the directory, its AND mask made transparency.
#pragma once

#include "CxImage.h"

class CxImageICO : public CxImage {
public:
    CxImageICO() : CxImage(CXIMAGE_FORMAT_ICO) {}
    bool Decode(CxFile* file);
};
