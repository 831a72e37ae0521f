#include "DibCanvas.h"

size_t CDibCanvas::ImageBytes(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    const uint64_t row = ((uint64_t(width) * 24 + 31) >> 3) & ~uint64_t(3);
    const uint64_t bytes = row * uint64_t(height);
    return bytes > 0x7FFFFFFF ? 0 : size_t(bytes);
}

bool CDibCanvas::Create(HWND window, int width, int height)
{
    Release();
    const size_t bytes = ImageBytes(width, height);
    if (!bytes)
        return false;
    HWND source = window ? window : GetDesktopWindow();
    HDC windowDc = GetDC(source);
    m_dc = CreateCompatibleDC(windowDc);
    ReleaseDC(source, windowDc);
    if (!m_dc)
        return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = DWORD(bytes);
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_bitmap || !bits) {
        Release();
        return false;
    }
    m_oldBitmap = SelectObject(m_dc, m_bitmap);
    m_pixels = static_cast<uint8_t*>(bits);
    m_imageSize = bytes;
    m_width = width;
    m_height = height;
    return true;
}

void CDibCanvas::Release()
{
    if (m_dc && m_oldBitmap)
        SelectObject(m_dc, m_oldBitmap);
    if (m_bitmap)
        DeleteObject(m_bitmap);
    if (m_dc)
        DeleteDC(m_dc);
    m_dc = nullptr;
    m_bitmap = nullptr;
    m_oldBitmap = nullptr;
    m_pixels = nullptr;
    m_imageSize = 0;
    m_width = m_height = 0;
}
