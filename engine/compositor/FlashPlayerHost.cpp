#include "FlashPlayerHost.h"
#include "FlashControl.h"
#include "FlashSite.h"

#include <cstring>
#include <vector>

namespace {
std::wstring Widen(const char* text)
{
    if (!text || !*text)
        return std::wstring();
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(size_t(length) - 1);
    return wide;
}

bool WriteAll(HANDLE file, const void* data, DWORD size)
{
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}
}

CFlashPlayerHost::CFlashPlayerHost() = default;

CFlashPlayerHost::~CFlashPlayerHost()
{
    m_control.reset();  // releases the control and frees its library
    m_canvas.Release();
}

bool CFlashPlayerHost::IsActive() const
{
    return m_control && m_control->IsActivated() && m_control->OleObject();
}

RECT CFlashPlayerHost::Placement() const
{
    return m_control ? m_control->Rect() : RECT{};
}

bool CFlashPlayerHost::Load(HWND parent, const std::wstring& path, const wchar_t* name, int width, int height, int x,
                            int y, bool loop, const std::string& params, Start start)
{
    m_width = width;
    m_height = height;
    m_control.reset(new CFlashControl);
    m_control->SetProperty(L"clsid", kFlashClassIdText);
    m_control->SetParent(parent);
    m_control->SetLoop(loop);
    m_canvas.Create(parent, width, height);
    // Right and bottom are the size here; SetPlacement gives a positioned
    // movie its real rectangle.
    const RECT kept = {x, y, width, height};
    m_control->SetRect(kept);
    m_control->SetMovie(path.c_str());
    if (name)
        m_control->SetName(name);
    m_control->SetSize(width, height);
    m_control->Place(kept, params,
                     start == Start::MiddleFrame ? CFlashControl::StartMode::MiddleFrame
                                                 : CFlashControl::StartMode::FromStart);
    return true;
}

bool CFlashPlayerHost::LoadMovie(HWND parent, const char* path, int width, int height, int x, int y, bool loop)
{
    return Load(parent, Widen(path), nullptr, width, height, x, y, loop, std::string(), Start::FromStart);
}

bool CFlashPlayerHost::PlayMovie(HWND parent, const wchar_t* path, int width, int height, int x, int y, bool loop,
                                 std::string params)
{
    return Load(parent, path ? path : L"", nullptr, width, height, x, y, loop, params, Start::FromStart);
}

bool CFlashPlayerHost::LoadStill(HWND parent, const wchar_t* path, const wchar_t* name, int width, int height, int x,
                                 int y, bool loop)
{
    return Load(parent, path ? path : L"", name ? name : L"", width, height, x, y, loop, std::string(),
                Start::MiddleFrame);
}

void CFlashPlayerHost::SetPlacement(int left, int top, int right, int bottom)
{
    if (!m_control)
        return;
    const RECT rect = {left, top, right, bottom};
    const RECT& now = m_control->Rect();
    if (m_control->IsActivated() && EqualRect(&rect, &now))
        return;  // every draw of a positioned layer places it: nothing moved
    m_control->Place(rect, std::string(), CFlashControl::StartMode::FromStart);
}

void CFlashPlayerHost::DrawInto(uint8_t* frame, int width, int height)
{
    if (!frame || width <= 0 || height <= 0 || !IsActive())
        return;
    if (width != m_canvas.Width() || height != m_canvas.Height()) {
        // Frames of another size: the canvas follows the frame so nothing is
        // copied past either buffer, and the control covers the new frame.
        if (!m_canvas.Create(m_control->Parent(), width, height))
            return;
        m_width = width;
        m_height = height;
        m_control->Place(RECT{0, 0, width, height}, std::string(), CFlashControl::StartMode::FromStart);
    }
    if (!m_canvas.Pixels())
        return;
    const size_t rowBytes = size_t(width) * 3;
    const size_t canvasRow = m_canvas.ImageSize() / size_t(height);
    // Frame rows are packed; canvas rows are padded to 4 bytes (equal for 4:3 frames).
    if (canvasRow == rowBytes) {
        memcpy(m_canvas.Pixels(), frame, rowBytes * height);
    } else {
        for (int row = 0; row < height; ++row)
            memcpy(m_canvas.Pixels() + canvasRow * row, frame + rowBytes * row, rowBytes);
    }
    GdiFlush();
    m_control->DrawTo(m_canvas.Dc());
    GdiFlush();
    if (canvasRow == rowBytes) {
        memcpy(frame, m_canvas.Pixels(), rowBytes * height);
    } else {
        for (int row = 0; row < height; ++row)
            memcpy(frame + rowBytes * row, m_canvas.Pixels() + canvasRow * row, rowBytes);
    }
}

bool CFlashPlayerHost::Restart()
{
    if (!m_control)
        return false;
    const bool rewound = m_control->Rewind();
    return m_control->Play() && rewound;
}

bool CFlashPlayerHost::Stop()
{
    return m_control && m_control->Stop();
}

bool CFlashPlayerHost::IsPlaying()
{
    return m_control && m_control->IsPlaying();
}

bool CFlashPlayerHost::SaveFrame(std::wstring path, int width, int height)
{
    // Without a control there is no picture: a white file would pass for a thumbnail.
    if (!IsActive() || !m_canvas.Dc() || CDibCanvas::ImageBytes(width, height) == 0)
        return false;
    HBITMAP bitmap = CreateCompatibleBitmap(m_canvas.Dc(), width, height);
    if (!bitmap)
        return false;
    HDC dc = CreateCompatibleDC(m_canvas.Dc());
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, width, height};
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &all, white);
    DeleteObject(white);
    if (m_control)
        m_control->DrawTo(dc);
    SelectObject(dc, old);
    DeleteDC(dc);

    BITMAP info = {};
    GetObjectW(bitmap, sizeof info, &info);
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = info.bmWidth;
    header.biHeight = info.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const size_t pixelBytes = CDibCanvas::ImageBytes(info.bmWidth, info.bmHeight);
    std::vector<uint8_t> pixels(pixelBytes);
    bool read = false;
    if (pixelBytes) {
        HDC screen = GetDC(nullptr);
        HPALETTE oldPalette = SelectPalette(screen, HPALETTE(GetStockObject(DEFAULT_PALETTE)), FALSE);
        RealizePalette(screen);
        BITMAPINFO bmi = {};
        bmi.bmiHeader = header;
        read = GetDIBits(screen, bitmap, 0, UINT(info.bmHeight), pixels.data(), &bmi, DIB_RGB_COLORS) != 0;
        SelectPalette(screen, oldPalette, FALSE);
        ReleaseDC(nullptr, screen);
    }
    DeleteObject(bitmap);
    if (!read)
        return false;

    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42;  // "BM"
    fileHeader.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    fileHeader.bfSize = DWORD(fileHeader.bfOffBits + pixelBytes);
    const bool written = WriteAll(file, &fileHeader, sizeof fileHeader) && WriteAll(file, &header, sizeof header)
                         && WriteAll(file, pixels.data(), DWORD(pixelBytes));
    CloseHandle(file);
    if (!written)
        DeleteFileW(path.c_str());
    return written;
}

long GetFlashVersion()
{
    CFlashControl wrapper;
    if (!wrapper.SetProperty(L"clsid", kFlashClassIdText))
        return 0;
    return wrapper.ProbeVersion();
}
