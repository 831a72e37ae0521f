// GDI half of the metafile reader: the only code of the library that calls the platform.
#include "CxImageWMF.h"

#include <windows.h>

#include <cstring>

namespace {

struct ScreenDc {
    HDC dc = GetDC(nullptr);
    ~ScreenDc()
    {
        if (dc)
            ReleaseDC(nullptr, dc);
    }
};

HENHMETAFILE ToEnhanced(const uint8_t* bytes, size_t size, bool enhanced)
{
    if (enhanced)
        return SetEnhMetaFileBits(UINT(size), bytes);
    METAFILEPICT picture = {MM_ANISOTROPIC, 10000, 10000, nullptr};
    HENHMETAFILE emf = SetWinMetaFileBits(UINT(size), bytes, nullptr, &picture);
    if (!emf) {
        picture.mm = MM_TEXT;
        emf = SetWinMetaFileBits(UINT(size), bytes, nullptr, &picture);
    }
    return emf;
}

} // namespace

void CxImageWMF::ScreenDpi(int32_t& x, int32_t& y)
{
    ScreenDc screen;
    if (!screen.dc)
        return;
    x = GetDeviceCaps(screen.dc, LOGPIXELSX);
    y = GetDeviceCaps(screen.dc, LOGPIXELSY);
}

bool CxImageWMF::Render(const uint8_t* bytes, size_t size, bool enhanced, int32_t width, int32_t height)
{
    HENHMETAFILE emf = ToEnhanced(bytes, size, enhanced);
    if (!emf) {
        SetLastError("corrupted WMF");
        return false;
    }
    ScreenDc screen;
    HDC dc = screen.dc ? CreateCompatibleDC(screen.dc) : nullptr;
    HBITMAP bitmap = dc ? CreateCompatibleBitmap(screen.dc, width, height) : nullptr;
    bool ok = false;
    if (bitmap) {
        HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
        RECT rect = {0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
        FillRect(dc, &rect, brush);
        DeleteObject(brush);

        HPALETTE palette = nullptr, oldPalette = nullptr;
        const UINT entries = GetEnhMetaFilePaletteEntries(emf, 0, nullptr);
        bool cancelled = false;
        if (entries > 0 && entries != GDI_ERROR) {
            LOGPALETTE* logPalette = static_cast<LOGPALETTE*>(
                HeapAlloc(GetProcessHeap(), 0, sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY)));
            if (logPalette) {
                logPalette->palVersion = 0x300;
                logPalette->palNumEntries = WORD(entries);
                GetEnhMetaFilePaletteEntries(emf, entries, logPalette->palPalEntry);
                palette = CreatePalette(logPalette);
                HeapFree(GetProcessHeap(), 0, logPalette);
                if (palette) {
                    oldPalette = SelectPalette(dc, palette, FALSE);
                    RealizePalette(dc);
                }
            } else {
                cancelled = true;
            }
        }
        if (cancelled) {
            SetLastError("Cancelled");
        } else {
            PlayEnhMetaFile(dc, emf, &rect);
            const int bits = GetDeviceCaps(screen.dc, BITSPIXEL) * GetDeviceCaps(screen.dc, PLANES);
            SelectObject(dc, oldBitmap);
            if (Create(uint32_t(width), uint32_t(height), uint32_t(bits), CXIMAGE_FORMAT_WMF)) {
                // The pixel block starts with the header and palette: a BITMAPINFO.
                ok = GetDIBits(dc, bitmap, 0, UINT(height), Rows(), reinterpret_cast<BITMAPINFO*>(block_.data()),
                               DIB_RGB_COLORS) == height;
                std::memcpy(block_.data(), &header_, sizeof header_);
                if (!ok)
                    Release();
            }
            oldBitmap = nullptr;
        }
        if (oldPalette)
            SelectPalette(dc, oldPalette, FALSE);
        if (palette)
            DeleteObject(palette);
        if (oldBitmap)
            SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
    }
    if (dc)
        DeleteDC(dc);
    DeleteEnhMetaFile(emf);
    return ok;
}
