// An off-screen 24-bit picture with a memory DC: rows bottom-up like the
// frames, so a frame of the canvas's size maps onto it byte for byte.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

class CDibCanvas {
public:
    CDibCanvas() = default;
    ~CDibCanvas() { Release(); }
    CDibCanvas(const CDibCanvas&) = delete;
    CDibCanvas& operator=(const CDibCanvas&) = delete;

    // Made on a DC compatible with the window's (the desktop's when there is none).
    bool Create(HWND window, int width, int height);
    void Release();

    HDC Dc() const { return m_dc; }
    uint8_t* Pixels() const { return m_pixels; }
    size_t ImageSize() const { return m_imageSize; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // Bytes of a 24-bit bottom-up picture with rows padded to 4 bytes; 0 when too large.
    static size_t ImageBytes(int width, int height);

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_oldBitmap = nullptr;
    uint8_t* m_pixels = nullptr;
    size_t m_imageSize = 0;
    int m_width = 0, m_height = 0;
};
