#include "TextCaption.h"
#include "GdiCanvas.h"
#include "TextRenderers.h"

#include <mmsystem.h>
#include <uuids.h>

#include <algorithm>

namespace {
const unsigned kMaxBottom = 360;
}

CTextCaption::CTextCaption(TextClock clock)
    : m_clock(clock ? std::move(clock) : TextClock([] { return uint32_t(timeGetTime()); })),
      m_renderer(CreateTextLayer(1, m_clock))
{
}

void CTextCaption::SetText(const std::string& ansiText)
{
    tq::CCritSecLock lock(m_lock);
    if (!AnsiToWide(ansiText, m_text))
        m_text.clear();
    if (m_text.empty())
        m_usage.SwitchOff(m_clock());
    else
        m_usage.SwitchOn(m_clock());
    m_renderer->SetText(m_text);
    m_bandStale = true;
}

void CTextCaption::Show(bool shown)
{
    tq::CCritSecLock lock(m_lock);
    m_shown = shown;
}

void CTextCaption::SetBackColor(int r, int g, int b)
{
    tq::CCritSecLock lock(m_lock);
    m_backColor[0] = r;
    m_backColor[1] = g;
    m_backColor[2] = b;
    m_bandStale = true;
}

void CTextCaption::SetColor(int r, int g, int b)
{
    tq::CCritSecLock lock(m_lock);
    m_color[0] = r;
    m_color[1] = g;
    m_color[2] = b;
    m_renderer->color = RGB(BYTE(r), BYTE(g), BYTE(b));
}

void CTextCaption::SetFont(int size, int style, const std::string& ansiFace, bool strikeOut, bool underline)
{
    tq::CCritSecLock lock(m_lock);
    m_font.size = size;
    m_font.style = style;
    if (!AnsiToWide(ansiFace, m_font.face))
        m_font.face.clear();
    m_font.strikeOut = strikeOut;
    m_font.underline = underline;
    m_bandStale = true;
    m_strip.InvalidateFont();
}

void CTextCaption::SetSpeed(float pixelsPerFrame)
{
    tq::CCritSecLock lock(m_lock);
    m_speed = pixelsPerFrame;
}

void CTextCaption::SetScrollMode(unsigned mode)
{
    if (mode > 2)
        return;
    tq::CCritSecLock lock(m_lock);
    m_scrollMode = int(mode);
}

void CTextCaption::SetBottom(unsigned pixels)
{
    if (pixels > kMaxBottom)
        return;
    tq::CCritSecLock lock(m_lock);
    m_bottom = int(pixels);
}

void CTextCaption::SetValue(double value)
{
    tq::CCritSecLock lock(m_lock);
    m_value = value;
}

void CTextCaption::SetStyle(int type)
{
    tq::CCritSecLock lock(m_lock);
    std::unique_ptr<CTextLayer> renderer = CreateTextLayer(type, m_clock);
    renderer->text = m_renderer->text;
    renderer->chars = m_renderer->chars;
    renderer->color = m_renderer->color;
    m_renderer = std::move(renderer);
    m_rendererType = TextLayerType(type);
    m_strip.InvalidateFont();
}

void CTextCaption::SetWholeFrameDrawing(bool whole)
{
    tq::CCritSecLock lock(m_lock);
    m_wholeFrame = whole;
    m_bandStale = true;
    m_strip.InvalidateFont();
}

int CTextCaption::Usage()
{
    tq::CCritSecLock lock(m_lock);
    return m_usage.Query(m_clock(), 2);
}

int CTextCaption::ScrollX()
{
    tq::CCritSecLock lock(m_lock);
    return m_scrollX;
}

int CTextCaption::RendererType()
{
    tq::CCritSecLock lock(m_lock);
    return m_rendererType;
}

std::wstring CTextCaption::RendererText()
{
    tq::CCritSecLock lock(m_lock);
    return m_renderer->text;
}

COLORREF CTextCaption::RendererColor()
{
    tq::CCritSecLock lock(m_lock);
    return m_renderer->color;
}

void CTextCaption::Draw(uint8_t* pixels, int width, int height)
{
    tq::CCritSecLock lock(m_lock);
    // Rows must be DIB rows for GDI to copy the frame in and out.
    if (!m_shown || m_text.empty() || !pixels || width <= 0 || height <= 0 || (width * 3) % 4 != 0)
        return;
    if (m_backColor[1] >= 0 && m_backColor[2] >= 0 && m_renderer->HasBackground())
        DrawBand(pixels, width, height, m_font);
    if (m_wholeFrame)
        DrawTextWholeFrame(pixels, width, height);
    else
        DrawTextStrip(pixels, width, height);
}

void CTextCaption::DrawTextWholeFrame(uint8_t* pixels, int width, int height)
{
    const double scale = FontScale(width);
    DrawThroughBitmap(
        pixels, width, height, [&](HDC dc) { return m_renderer->CreateFont(dc, scale, m_font); },
        [&](HDC dc) {
            SIZE size = {0, 0};
            m_renderer->Measure(&dc, &m_text, &size);
            const int y = std::max(0, std::min(height - m_bottom - int(size.cy), height - int(size.cy)));
            Scroll(size.cx, width);
            m_renderer->Draw(&dc, m_scrollX, y);
        });
}

// Only the text's rows, with a margin of a line's height above and below for
// glyphs that reach past their cell, go through the kept bitmap.
void CTextCaption::DrawTextStrip(uint8_t* pixels, int width, int height)
{
    const double scale = FontScale(width);
    if (scale != m_stripScale) {
        m_strip.InvalidateFont();
        m_stripScale = scale;
    }
    HDC dc = m_strip.Begin([&](HDC memory) { return m_renderer->CreateFont(memory, scale, m_font); });
    if (!dc)
        return;
    SIZE size = {0, 0};
    m_renderer->Measure(&dc, &m_text, &size);
    const int y = std::max(0, std::min(height - m_bottom - int(size.cy), height - int(size.cy)));
    Scroll(size.cx, width);
    const int margin = std::max(int(size.cy), 16);
    m_strip.DrawRows(pixels, width, height, y - margin, y + int(size.cy) + margin, [&](HDC strip, int top) {
        m_renderer->Draw(&strip, m_scrollX, y - top);
    });
}

void CTextCaption::Scroll(int textWidth, int frameWidth)
{
    if (m_scrollMode != 1 && m_scrollMode != 2)
        return;
    m_scrollRest += m_speed;
    const int step = int(m_scrollRest);
    if (step >= 1) {
        m_scrollX += m_scrollMode == 2 ? -step : step;
        m_scrollRest -= float(step);
    }
    if (m_scrollMode == 2) {
        if (m_scrollX < -textWidth)
            m_scrollX = frameWidth;  // re-enters at the right edge
    } else {
        if (m_scrollX > frameWidth)
            m_scrollX = -textWidth;
        if (m_scrollX < -textWidth)
            m_scrollX = -textWidth;
    }
}

// The band is as high as the text in the plain font and as wide as the frame,
// mixed 195:60 into the frame over the caption's rows. Its colours are read
// back from the display once and kept until the text, font, colour or frame
// width change.
void CTextCaption::DrawBand(uint8_t* pixels, int width, int height, const TextFont& font)
{
    if (m_wholeFrame || m_bandStale || m_bandWidth != width || m_bandFrameHeight != height) {
        m_bandStale = true;
        if (!MakeBand(width, height, font))
            return;
        m_bandStale = false;
    }
    BlendBand(pixels, width, height);
}

void CTextCaption::BlendBand(uint8_t* pixels, int width, int height)
{
    const int bandHeight = m_bandHeight;
    if (bandHeight <= 0 || bandHeight > height || m_bandRgb.size() < size_t(width) * 3 * size_t(bandHeight))
        return;
    // Rows counted from the bottom; a band that would pass the top ends there.
    const int first = std::min(m_bottom, height - bandHeight);
    const size_t rowBytes = size_t(width) * 3;
    const uint8_t* rgb = m_bandRgb.data();
    uint8_t* frame = pixels + size_t(first) * rowBytes;
    for (size_t i = 0; i < rowBytes * size_t(bandHeight); ++i)
        frame[i] = uint8_t((195 * rgb[i] + 60 * frame[i]) / 255);
}

// Fills m_bandRgb (width x m_bandHeight, RGB24) with the band's colour as the
// display shows it; false when there is nothing to draw.
bool CTextCaption::MakeBand(int width, int height, const TextFont& font)
{
    m_bandWidth = 0;
    m_bandHeight = 0;
    const HWND desktop = GetDesktopWindow();
    if (!IsWindow(desktop))
        return false;
    const HDC screen = GetDC(desktop);
    if (!screen)
        return false;
    const HDC memory = CreateCompatibleDC(screen);
    if (!memory) {
        ReleaseDC(desktop, screen);
        return false;
    }

    SIZE size = {0, 0};
    const HFONT textFont = CPlainTextLayer::MakeFont(FontScale(width), font);
    const HGDIOBJ oldFont = textFont ? SelectObject(memory, textFont) : nullptr;
    GetTextExtentPoint32W(memory, m_text.data(), int(m_text.size()), &size);
    if (textFont) {
        SelectObject(memory, oldFont);
        DeleteObject(textFont);
    }

    bool ready = false;
    const int bandHeight = std::min(int(size.cy), height);
    const HBITMAP band = bandHeight > 0 ? CreateCompatibleBitmap(screen, width, bandHeight) : nullptr;
    if (band) {
        const HGDIOBJ oldBitmap = SelectObject(memory, band);
        const HBRUSH brush = CreateSolidBrush(RGB(BYTE(m_backColor[0]), BYTE(m_backColor[1]), BYTE(m_backColor[2])));
        const RECT all = {0, 0, width, bandHeight};
        FillRect(memory, &all, brush);
        DeleteObject(brush);
        SelectObject(memory, oldBitmap);

        // Read back in the display's own format (16 bits are RGB555 in a DIB).
        int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
        GUID subtype = MEDIASUBTYPE_RGB24;
        if (bits == 16)
            subtype = MEDIASUBTYPE_RGB555;
        else if (bits == 32)
            subtype = MEDIASUBTYPE_RGB32;
        else
            bits = 24;
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = bandHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = WORD(bits);
        info.bmiHeader.biCompression = BI_RGB;
        const size_t stride = size_t((width * bits + 31) / 32 * 4);
        m_band.resize(stride * size_t(bandHeight));
        m_bandRgb.resize(size_t(width) * 3 * size_t(bandHeight));
        ready = GetDIBits(memory, band, 0, UINT(bandHeight), m_band.data(), &info, DIB_RGB_COLORS) == bandHeight;
        if (ready && bits != 24) {
            m_converter.SetSource(subtype, width, bandHeight, m_band.data());
            m_converter.SetDestination(MEDIASUBTYPE_RGB24, width, bandHeight, m_bandRgb.data());
            ready = m_converter.Convert();
        } else if (ready) {
            m_bandRgb.assign(m_band.begin(), m_band.begin() + m_bandRgb.size());
        }
        DeleteObject(band);
    }
    DeleteDC(memory);
    ReleaseDC(desktop, screen);
    if (ready) {
        m_bandWidth = width;
        m_bandFrameHeight = height;
        m_bandHeight = bandHeight;
    }
    return ready;
}
