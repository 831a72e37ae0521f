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

CTextStrip::~CTextStrip()
{
    if (m_dc) {
        SelectObject(m_dc, m_defaultBitmap);
        SelectObject(m_dc, m_defaultFont);
        DeleteDC(m_dc);
    }
    if (m_font)
        DeleteObject(m_font);
    if (m_bitmap)
        DeleteObject(m_bitmap);
}

HDC CTextStrip::Begin(const std::function<HFONT(HDC)>& createFont)
{
    if (!m_dc) {
        const HWND desktop = GetDesktopWindow();
        if (!IsWindow(desktop))
            return nullptr;
        const HDC screen = GetDC(desktop);
        if (!screen)
            return nullptr;
        m_dc = CreateCompatibleDC(screen);
        ReleaseDC(desktop, screen);
        if (!m_dc)
            return nullptr;
        m_defaultBitmap = GetCurrentObject(m_dc, OBJ_BITMAP);
        m_defaultFont = GetCurrentObject(m_dc, OBJ_FONT);
        m_fontStale = true;
    }
    if (m_fontStale) {
        // Selected while the DC's own bitmap is in, as DrawThroughBitmap
        // does: the font's smoothing is settled when it is selected.
        SelectObject(m_dc, m_defaultFont);
        if (m_font)
            DeleteObject(m_font);
        // A font that cannot be made leaves the DC's default font in place.
        m_font = createFont(m_dc);
        if (m_font)
            SelectObject(m_dc, m_font);
        m_fontStale = false;
    }
    return m_dc;
}

bool CTextStrip::DrawRows(uint8_t* pixels, int width, int height, int top, int bottom,
                          const std::function<void(HDC, int)>& draw)
{
    if (!m_dc || !pixels || width <= 0 || height <= 0 || (width * 3) % 4 != 0)
        return false;
    top = std::max(0, top);
    bottom = std::min(height, bottom);
    const int rows = bottom - top;
    if (rows <= 0)
        return false;
    if (!m_bitmap || m_bitmapWidth != width || m_bitmapHeight != rows) {
        if (m_bitmap)
            DeleteObject(m_bitmap);
        m_bitmap = nullptr;
        const HWND desktop = GetDesktopWindow();
        const HDC screen = IsWindow(desktop) ? GetDC(desktop) : nullptr;
        if (!screen)
            return false;
        m_bitmap = CreateCompatibleBitmap(screen, width, rows);
        ReleaseDC(desktop, screen);
        if (!m_bitmap)
            return false;
        m_bitmapWidth = width;
        m_bitmapHeight = rows;
    }

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = rows;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    // The frame's rows run bottom-up: the strip's lowest row is frame row
    // height - bottom from the buffer's start.
    uint8_t* first = pixels + size_t(height - bottom) * size_t(width) * 3;
    SetDIBits(m_dc, m_bitmap, 0, UINT(rows), first, &info, DIB_RGB_COLORS);
    SelectObject(m_dc, m_bitmap);
    SetBkMode(m_dc, TRANSPARENT);
    draw(m_dc, top);
    // GetDIBits wants the bitmap out of every DC.
    SelectObject(m_dc, m_defaultBitmap);
    GetDIBits(m_dc, m_bitmap, 0, UINT(rows), first, &info, DIB_RGB_COLORS);
    return true;
}
