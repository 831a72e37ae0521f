#include "DesktopVideoOper.h"
#include "DecorationLayer.h"
#include "DesktopLetterbox.h"
#include "DesktopMessages.h"
#include "ManagerLog.h"
#include "ShareHandle.h"

#include <mmsystem.h>
#include <uuids.h>

#include <algorithm>

namespace {

class DesktopFrameSteps : public tq::IFrameWriterSteps {
public:
    DesktopFrameSteps(const uint8_t* bits, CDecorationLayer* layer, CColorConverter& converter,
                      std::vector<uint8_t>& preview, CDesktopVideo* owner, uint32_t timeMs)
        : m_bits(bits), m_layer(layer), m_converter(converter), m_preview(preview), m_owner(owner), m_timeMs(timeMs) {}

    void WritePixels(uint8_t* pixels, uint32_t width, uint32_t height) override
    {
        m_converter.SetSource(MEDIASUBTYPE_RGB32, int(width), int(height), m_bits);
        m_converter.SetDestination(MEDIASUBTYPE_RGB24, int(width), int(height), pixels);
        m_converter.Convert();
    }
    void RunPasses(uint8_t* pixels, uint32_t width, uint32_t height) override
    {
        if (!m_layer)
            return;
        m_layer->DrawMark(pixels, int(width), int(height));
        m_layer->ApplyFinalMirror(pixels, int(width), int(height));
    }
    void ScalePreview(const uint8_t* pixels, uint32_t width, uint32_t height) override
    {
        m_preview.resize(size_t(kDesktopFrameWidth) * kDesktopFrameHeight * 3);  // allocated at first use
        m_converter.SetSource(MEDIASUBTYPE_RGB24, int(width), int(height), pixels);
        m_converter.SetDestination(MEDIASUBTYPE_RGB24, kDesktopPreviewWidth, kDesktopPreviewHeight, m_preview.data());
        m_converter.Convert();
    }
    void HandOverPreview(int32_t) override { m_owner->HandOverPreview(m_preview.data(), m_timeMs); }
    void OnMissingEvent() override { WriteLog(1, "m_hSynFrameEvent == NULL"); }

private:
    const uint8_t* m_bits;
    CDecorationLayer* m_layer;
    CColorConverter& m_converter;
    std::vector<uint8_t>& m_preview;
    CDesktopVideo* m_owner;
    uint32_t m_timeMs;
};

// Draws the halo: the mark's colour at constant alpha 190 over a disc
// centred on (x, y), clipped one pixel inside the disc's edge.
void DrawHalo(HDC target, HDC screen, int width, int height, int x, int y, const DesktopCursorMark& mark)
{
    const int radius = CursorMarkRadius(mark.sizeCode);
    HDC haloDc = CreateCompatibleDC(screen);
    HBITMAP haloBitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ oldBitmap = SelectObject(haloDc, haloBitmap);
    HBRUSH brush = CreateSolidBrush(COLORREF(mark.colour));
    HGDIOBJ oldBrush = SelectObject(haloDc, brush);
    HGDIOBJ oldPen = SelectObject(haloDc, GetStockObject(NULL_PEN));
    Ellipse(haloDc, x - radius, y - radius, x + radius, y + radius);
    HRGN clip = CreateEllipticRgn(x - radius + 1, y - radius + 1, x + radius - 1, y + radius - 1);
    SelectClipRgn(target, clip);
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 190, 0};
    AlphaBlend(target, 0, 0, width, height, haloDc, 0, 0, width, height, blend);
    SelectClipRgn(target, nullptr);
    DeleteObject(clip);
    SelectObject(haloDc, oldPen);
    SelectObject(haloDc, oldBrush);
    DeleteObject(brush);
    SelectObject(haloDc, oldBitmap);
    DeleteObject(haloBitmap);
    DeleteDC(haloDc);
}

} // namespace

CDesktopVideoOper::CDesktopVideoOper(CDesktopVideo* owner) : m_owner(owner)
{
    CreateMessageWindow(tq::CMessageWindow::HiddenPopup);
}

CDesktopVideoOper::~CDesktopVideoOper()
{
    KillTimer();
    FreeBuffers();
    DestroyMessageWindow();
}

bool CDesktopVideoOper::OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT* result)
{
    switch (message) {
    case WM_DESKTOP_CONF: OnNotifyDeskTopConf(); break;
    case WM_DESKTOP_START: OnNotifyDeskTopStart(); break;
    case WM_DESKTOP_STOP: OnStopDesktopVideo(); break;
    case WM_DESKTOP_REOPEN: OnReopenDesktopVideo(); break;
    default:
        return false;
    }
    *result = 0;
    return true;
}

void CDesktopVideoOper::OnNotifyDeskTopConf()
{
    m_settings = m_owner->GetSettings();
    WriteLog(1, "CDesktopVideoOper::OnNotifyDeskTopConf height %u width %u frametime %u", unsigned(m_settings.outHeight),
             unsigned(m_settings.outWidth), unsigned(m_settings.interval));
}

void CDesktopVideoOper::StartTimer()
{
    KillTimer();
    m_timer = tq::SetThreadTimer(UINT(std::max(1, m_settings.interval)), this);
}

void CDesktopVideoOper::KillTimer()
{
    tq::KillThreadTimer(m_timer);
    m_timer = 0;
}

void CDesktopVideoOper::FreeBuffers()
{
    std::vector<uint8_t>().swap(m_bits);
    std::vector<uint8_t>().swap(m_preview);
}

void CDesktopVideoOper::OnNotifyDeskTopStart()
{
    tq::CMutexLock lock(tq::GetProcessMutex().Get());
    StartTimer();
    m_owner->PostToPublic(WM_DESKTOP_STARTED);
    WriteLog(1, "CDesktopVideoOper::OnNotifyDeskTopStart");
}

void CDesktopVideoOper::OnStopDesktopVideo()
{
    tq::CMutexLock lock(tq::GetProcessMutex().Get());
    KillTimer();
    FreeBuffers();
    m_owner->PostToPublic(WM_DESKTOP_STOPPED);
    WriteLog(1, "CDesktopVideoOper::OnStopDesktopVideo");
}

void CDesktopVideoOper::OnReopenDesktopVideo()
{
    tq::CMutexLock lock(tq::GetProcessMutex().Get());
    // The interval the public object holds now, not the one of the last start.
    m_settings = m_owner->GetSettings();
    KillTimer();
    FreeBuffers();
    StartTimer();
    WriteLog(1, "CDesktopVideoOper::OnReopenDesktopVideo frametime %u", unsigned(m_settings.interval));
}

void CDesktopVideoOper::OnTimer(UINT_PTR timerId)
{
    if (!timerId || timerId != m_timer)
        return;
    const DesktopCursorMark mark = m_owner->GetSettings().mark;
    tq::CCritSecLock lock(m_lock);
    HWND window = m_settings.window;
    RECT area = {};
    switch (m_settings.mode) {
    case 1:
        m_rect.sourceX = 0;
        m_rect.sourceY = 0;
        m_rect.width = EvenCaptureWidth(GetSystemMetrics(SM_CXSCREEN));
        m_rect.height = GetSystemMetrics(SM_CYSCREEN);
        break;
    case 2:
        if (!IsWindow(window) || !GetWindowRect(window, &area)) {
            // The window is gone: reported once, and the copying ends here.
            KillTimer();
            m_owner->PostToPublic(WM_DESKTOP_STOPPED);
            WriteLog(1, "CDesktopVideoOper::OnTimer the captured window is gone");
            return;
        }
        m_rect.sourceX = area.left;
        m_rect.sourceY = area.top;
        m_rect.width = EvenCaptureWidth(area.right - area.left);
        m_rect.height = area.bottom - area.top;
        break;
    case 3:
        GetWindowRect(window, &area);
        m_rect.sourceX = area.left;
        m_rect.sourceY = area.top;
        m_rect.width = EvenCaptureWidth(area.right - area.left);
        m_rect.height = area.bottom - area.top;
        break;
    default:
        return;
    }
    if (m_rect.width <= 0 || m_rect.height <= 0)
        return;  // nothing to copy (and nothing to divide by)
    CopyScreenToBitmap(m_rect, mark);
}

DesktopCaptureRect CDesktopVideoOper::LastRect()
{
    tq::CCritSecLock lock(m_lock);
    return m_rect;
}

void CDesktopVideoOper::CopyScreenToBitmap(const DesktopCaptureRect& rect, const DesktopCursorMark& mark)
{
    const int width = rect.width, height = rect.height;
    HWND desktop = GetDesktopWindow();
    HDC screen = GetDC(desktop);
    if (!screen)
        return;
    HDC copyDc = CreateCompatibleDC(screen);
    HBITMAP copyBitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ oldCopy = SelectObject(copyDc, copyBitmap);
    BitBlt(copyDc, 0, 0, width, height, screen, rect.sourceX, rect.sourceY, SRCCOPY | CAPTUREBLT);

    CURSORINFO cursor = {};
    cursor.cbSize = sizeof cursor;
    ICONINFO icon = {};
    if (GetCursorInfo(&cursor) && cursor.hCursor && GetIconInfo(cursor.hCursor, &icon)) {
        const int x = cursor.ptScreenPos.x - int(icon.xHotspot) - rect.sourceX;
        const int y = cursor.ptScreenPos.y - int(icon.yHotspot) - rect.sourceY;
        if (icon.hbmMask)
            DeleteObject(icon.hbmMask);
        if (icon.hbmColor)
            DeleteObject(icon.hbmColor);
        if (x >= 0 && y >= 0) {
            if (mark.enabled)
                DrawHalo(copyDc, screen, width, height, x, y, mark);
            DrawIconEx(copyDc, x, y, cursor.hCursor, 0, 0, 0, nullptr, DI_NORMAL | DI_COMPAT);
        }
    }

    // Letterboxed into 480 x 360 with black margins.
    const DesktopPlacement place = LetterboxDesktop(width, height);
    HDC frameDc = CreateCompatibleDC(screen);
    HBITMAP frameBitmap = CreateCompatibleBitmap(screen, kDesktopFrameWidth, kDesktopFrameHeight);
    HGDIOBJ oldFrame = SelectObject(frameDc, frameBitmap);
    PatBlt(frameDc, 0, 0, kDesktopFrameWidth, kDesktopFrameHeight, BLACKNESS);
    const int oldMode = SetStretchBltMode(frameDc, HALFTONE);
    SetBrushOrgEx(frameDc, 0, 0, nullptr);
    StretchBlt(frameDc, place.x, place.y, place.width, place.height, copyDc, 0, 0, width, height, SRCCOPY | CAPTUREBLT);
    SetStretchBltMode(frameDc, oldMode);
    SelectObject(frameDc, oldFrame);

    // Always read as 32 bits: a palette screen's own depth is no RGB sample.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kDesktopFrameWidth;
    info.bmiHeader.biHeight = kDesktopFrameHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = kDesktopFrameWidth * 4 * kDesktopFrameHeight;
    m_bits.resize(info.bmiHeader.biSizeImage);
    const int rows = GetDIBits(frameDc, frameBitmap, 0, kDesktopFrameHeight, m_bits.data(), &info, DIB_RGB_COLORS);

    DeleteObject(frameBitmap);
    DeleteDC(frameDc);
    SelectObject(copyDc, oldCopy);
    DeleteObject(copyBitmap);
    DeleteDC(copyDc);
    ReleaseDC(desktop, screen);

    if (rows == kDesktopFrameHeight)
        WriteFrame(m_bits.data());
}

void CDesktopVideoOper::WriteFrame(const uint8_t* bits)
{
    const uint32_t now = timeGetTime();
    tq::FrameHeader header;
    header.smoothFlag = 1;
    header.width = kDesktopFrameWidth;
    header.height = kDesktopFrameHeight;
    header.frameTime = int32_t(now);
    DesktopFrameSteps steps(bits, m_owner->GetDecorationLayer(), m_converter, m_preview, m_owner, now);
    tq::FrameWriterPlan plan;
    plan.signal = tq::FrameWriterPlan::SignalAfterPasses;
    m_writer.WriteFrame(header, steps, plan);
}
