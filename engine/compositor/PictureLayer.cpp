#include "PictureLayer.h"

bool CPictureLayer::Load(const std::string& file, HWND, int width, int height, bool positioned)
{
    path = file;
    frameWidth = width;
    frameHeight = height;
    mode = positioned ? PositionedFlash : StillPicture;
    return false;
}

void CPictureLayer::Draw(uint8_t*, int, int) {}
