#include "MarkResource.h"
#include "GdiplusSession.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <memory>

namespace {
const int kMarkResourceId = 101;

// A stream over a moveable copy of the resource bytes, freed with the stream.
IStream* StreamOnResource(HMODULE module)
{
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(kMarkResourceId), L"PNG");
    if (!info)
        return nullptr;
    const DWORD size = SizeofResource(module, info);
    HGLOBAL loaded = LoadResource(module, info);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0)
        return nullptr;
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!copy)
        return nullptr;
    void* target = GlobalLock(copy);
    if (!target) {
        GlobalFree(copy);
        return nullptr;
    }
    memcpy(target, bytes, size);
    GlobalUnlock(copy);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(copy, TRUE, &stream))) {
        GlobalFree(copy);
        return nullptr;
    }
    return stream;
}
}

bool LoadMarkResource(HMODULE module, MarkBitmap& out)
{
    if (!tq::EnsureGdiplus())
        return false;
    IStream* stream = StreamOnResource(module);
    if (!stream)
        return false;
    bool loaded = false;
    {
        std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream));
        if (bitmap && bitmap->GetLastStatus() == Gdiplus::Ok) {
            const int width = int(bitmap->GetWidth()), height = int(bitmap->GetHeight());
            Gdiplus::Rect all(0, 0, width, height);
            Gdiplus::BitmapData data;
            if (width > 0 && height > 0
                && bitmap->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) == Gdiplus::Ok) {
                out.width = width;
                out.height = height;
                out.pixels.resize(size_t(width) * height * 4);
                // GDI+ hands rows top-down; the mark keeps them bottom row first.
                for (int row = 0; row < height; ++row)
                    memcpy(out.pixels.data() + size_t(height - 1 - row) * width * 4,
                           static_cast<const uint8_t*>(data.Scan0) + ptrdiff_t(row) * data.Stride, size_t(width) * 4);
                bitmap->UnlockBits(&data);
                loaded = true;
            }
        }
    }
    stream->Release();
    return loaded;
}
