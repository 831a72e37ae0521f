#include "GdiCanvas.h"

#include <algorithm>
#include <cwchar>

void SetFaceName(LOGFONTW& font, const std::wstring& face)
{
    const size_t length = std::min(face.size(), size_t(LF_FACESIZE - 1));
    wmemcpy(font.lfFaceName, face.data(), length);
    font.lfFaceName[length] = L'\0';
}

bool AnsiToWide(const std::string& ansi, std::wstring& out)
{
    out.clear();
    if (ansi.empty())
        return true;
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
    if (length <= 0)
        return false;
    out.resize(size_t(length));
    return MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), &out[0], length) == length;
}

bool DrawThroughBitmap(uint8_t* pixels, int width, int height, const std::function<HFONT(HDC)>& createFont,
                       const std::function<void(HDC)>& draw)
{
    if (!pixels || width <= 0 || height <= 0 || (width * 3) % 4 != 0)
        return false;
    const HWND desktop = GetDesktopWindow();
    if (!IsWindow(desktop))
        return false;
    const HDC screen = GetDC(desktop);
    if (!screen)
        return false;
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = memory ? CreateCompatibleBitmap(screen, width, height) : nullptr;
    if (!bitmap) {
        if (memory)
            DeleteDC(memory);
        ReleaseDC(desktop, screen);
        return false;
    }

    // A font that cannot be made leaves the DC's default font in place.
    const HFONT font = createFont(memory);
    const HGDIOBJ oldFont = font ? SelectObject(memory, font) : nullptr;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBits(memory, bitmap, 0, UINT(height), pixels, &info, DIB_RGB_COLORS);
    const HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    SetBkMode(memory, TRANSPARENT);

    draw(memory);

    // GetDIBits wants the bitmap out of every DC.
    SelectObject(memory, oldBitmap);
    GetDIBits(memory, bitmap, 0, UINT(height), pixels, &info, DIB_RGB_COLORS);
    if (font) {
        SelectObject(memory, oldFont);
        DeleteObject(font);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(desktop, screen);
    return true;
}
