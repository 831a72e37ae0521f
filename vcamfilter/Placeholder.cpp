// The placeholder picture: resource 101 ("PNG") of this module, decoded with
// GDI+ into a 320 x 240 RGB24 bottom-up picture. Without it the camera shows
// black rather than reading a picture that is not there.
#include "VirtualCamStream.h"
#include "base/ClassFactory.h"

#include <objidl.h>
#include <gdiplus.h>
#include <uuids.h>
#include <cstring>
#include <memory>

namespace {

constexpr int kPlaceholderResource = 101;
constexpr int kMaxPictureSide = 4096;

// Decodes PNG bytes into packed RGB24 rows, bottom row first.
bool DecodePng(const void* data, DWORD size, std::vector<uint8_t>& rgb, int& width, int& height)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block)
        return false;
    if (void* target = GlobalLock(block)) {
        memcpy(target, data, size);
        GlobalUnlock(block);
    }
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {  // the stream frees the block
        GlobalFree(block);
        return false;
    }
    bool decoded = false;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        {
            std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream));
            if (bitmap && bitmap->GetLastStatus() == Gdiplus::Ok) {
                width = int(bitmap->GetWidth());
                height = int(bitmap->GetHeight());
                Gdiplus::Rect rect(0, 0, width, height);
                Gdiplus::BitmapData locked = {};
                if (width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
                    bitmap->LockBits(&rect, Gdiplus::ImageLockModeRead, PixelFormat24bppRGB, &locked) == Gdiplus::Ok) {
                    const size_t rowBytes = size_t(width) * 3;
                    rgb.resize(rowBytes * size_t(height));
                    const auto* top = static_cast<const uint8_t*>(locked.Scan0);
                    for (int row = 0; row < height; ++row)
                        memcpy(rgb.data() + size_t(height - 1 - row) * rowBytes, top + ptrdiff_t(row) * locked.Stride,
                               rowBytes);
                    bitmap->UnlockBits(&locked);
                    decoded = true;
                }
            }
        }
        Gdiplus::GdiplusShutdown(token);
    }
    stream->Release();
    return decoded;
}

} // namespace

bool CVirtualCamStream::LoadPlaceholder()
{
    const size_t bytes = size_t(kPlaceholderWidth) * kPlaceholderHeight * 3;
    if (m_placeholder.size() == bytes)
        return true;
    m_placeholder.assign(bytes, 0);  // black until the picture is there

    HMODULE module = GetModuleInstanceHolder();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kPlaceholderResource), L"PNG");
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = found ? SizeofResource(module, found) : 0;
    std::vector<uint8_t> decoded;
    int width = 0, height = 0;
    if (!data || size == 0 || !DecodePng(data, size, decoded, width, height))
        return false;
    if (width == kPlaceholderWidth && height == kPlaceholderHeight) {
        m_placeholder.swap(decoded);
        return true;
    }
    tq::CCritSecLock lock(m_pinLock);
    if (!Scale(decoded.data(), width, height, m_placeholder.data(), kPlaceholderWidth, kPlaceholderHeight)) {
        m_placeholder.assign(bytes, 0);
        return false;
    }
    return true;
}
