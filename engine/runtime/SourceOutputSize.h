// The output size of the media-file and desktop sources: the two preview
// sizes (480x360 and 400x300) are drawn at 640x480, any other size as asked.
#pragma once

namespace tq {

inline void ChooseSourceOutputSize(int width, int height, int& outWidth, int& outHeight)
{
    const bool preview = (width == 480 && height == 360) || (width == 400 && height == 300);
    outWidth = preview ? 640 : width;
    outHeight = preview ? 480 : height;
}

} // namespace tq
