#include "StickerPicture.h"
#include "GdiplusSession.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

void StickerFitSize(int width, int height, int& fitWidth, int& fitHeight)
{
    fitWidth = width;
    fitHeight = height;
    if (width <= 0 || height <= 0 || (width <= kStickerBoxWidth && height <= kStickerBoxHeight))
        return;
    // 64-bit products: picture sides come from files.
    if (int64_t(height) * kStickerBoxWidth < int64_t(width) * kStickerBoxHeight) {
        fitWidth = kStickerBoxWidth;
        fitHeight = std::max(1, int(std::lround(double(height) * kStickerBoxWidth / width)));
    } else {
        fitHeight = kStickerBoxHeight;
        fitWidth = std::max(1, int(std::lround(double(width) * kStickerBoxHeight / height)));
    }
}

StickerPicture FitSticker(const StickerPicture& picture)
{
    if (picture.IsNull())
        return StickerPicture();
    int width, height;
    StickerFitSize(picture.width, picture.height, width, height);
    if (width == picture.width && height == picture.height)
        return picture;
    StickerPicture fitted;
    fitted.width = width;
    fitted.height = height;
    fitted.bgra.resize(size_t(width) * height * 4);
    // Each target pixel takes the source pixel under its centre.
    for (int row = 0; row < height; ++row) {
        const int sourceRow = int((int64_t(2 * row + 1) * picture.height) / (2 * int64_t(height)));
        const uint8_t* source = picture.bgra.data() + size_t(sourceRow) * picture.width * 4;
        uint8_t* target = fitted.bgra.data() + size_t(row) * width * 4;
        for (int column = 0; column < width; ++column) {
            const int sourceColumn = int((int64_t(2 * column + 1) * picture.width) / (2 * int64_t(width)));
            memcpy(target + column * 4, source + size_t(sourceColumn) * 4, 4);
        }
    }
    return fitted;
}

void BlendSticker(uint8_t* frame, int frameWidth, int frameHeight, const StickerPicture& sticker, int x, int y)
{
    if (!frame || frameWidth <= 0 || frameHeight <= 0 || sticker.IsNull())
        return;
    // Only the part of the sticker over the frame is mixed.
    const int64_t firstColumn = std::max<int64_t>(0, -int64_t(x));
    const int64_t endColumn = std::min<int64_t>(sticker.width, int64_t(frameWidth) - x);
    const int64_t firstRow = std::max<int64_t>(0, -int64_t(y));
    const int64_t endRow = std::min<int64_t>(sticker.height, int64_t(frameHeight) - y);
    for (int64_t row = firstRow; row < endRow; ++row) {
        const int64_t frameRow = int64_t(frameHeight) - y - 1 - row;  // the frame is bottom-up
        uint8_t* target = frame + size_t(frameRow) * frameWidth * 3;
        const uint8_t* source = sticker.bgra.data() + size_t(row) * sticker.width * 4;
        for (int64_t column = firstColumn; column < endColumn; ++column) {
            const uint8_t* pixel = source + column * 4;
            uint8_t* out = target + (x + column) * 3;
            const double alpha = pixel[3] / 255.0, rest = (255 - pixel[3]) / 255.0;
            for (int channel = 0; channel < 3; ++channel) {
                const int mixed = int(alpha * pixel[channel] + rest * out[channel]);
                out[channel] = uint8_t(std::min(255, mixed));
            }
        }
    }
}

bool LoadPictureFile(const std::string& path, StickerPicture& out)
{
    if (!tq::EnsureGdiplus() || path.empty())
        return false;
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return false;
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
    std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromFile(wide.c_str()));
    if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok)
        return false;
    const int width = int(bitmap->GetWidth()), height = int(bitmap->GetHeight());
    if (width <= 0 || height <= 0 || int64_t(width) * height > (int64_t(1) << 26))
        return false;
    Gdiplus::Rect all(0, 0, width, height);
    Gdiplus::BitmapData data;
    if (bitmap->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok)
        return false;
    StickerPicture picture;
    picture.width = width;
    picture.height = height;
    picture.bgra.resize(size_t(width) * height * 4);
    for (int row = 0; row < height; ++row)
        memcpy(picture.bgra.data() + size_t(row) * width * 4,
               static_cast<const uint8_t*>(data.Scan0) + ptrdiff_t(row) * data.Stride, size_t(width) * 4);
    bitmap->UnlockBits(&data);
    out = std::move(picture);
    return true;
}
