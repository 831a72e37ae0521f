// The text caption: a line of text near the frame's bottom edge, still or
// scrolling, with an optional background band under the plain renderer.
// Setters run on the host's UI thread and Draw on the frame thread; every
// operation takes the caption's own lock.
#pragma once

#include "ColorConverter.h"
#include "CritSec.h"
#include "GdiCanvas.h"
#include "TextLayer.h"
#include "UsageClock.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CTextCaption {
public:
    explicit CTextCaption(TextClock clock = TextClock());
    CTextCaption(const CTextCaption&) = delete;
    CTextCaption& operator=(const CTextCaption&) = delete;

    void SetText(const std::string& ansiText);
    void Show(bool shown);
    void SetBackColor(int r, int g, int b);  // green or blue negative: no band
    void SetColor(int r, int g, int b);
    void SetFont(int size, int style, const std::string& ansiFace, bool strikeOut, bool underline);
    void SetSpeed(float pixelsPerFrame);
    void SetScrollMode(unsigned mode);  // 0 still, 1 right, 2 left; others ignored
    void SetBottom(unsigned pixels);    // above 360 ignored
    void SetValue(double value);
    void SetStyle(int type);            // a new renderer takes over text and colour
    int Usage();                        // seconds since the last query, 2-second floor

    // Draws over an RGB24 bottom-up frame.
    void Draw(uint8_t* pixels, int width, int height);

    // Draws through a bitmap of the whole frame and makes the band and the
    // font afresh each frame, as a reference for the kept strip's bytes.
    void SetWholeFrameDrawing(bool whole);

    int ScrollX();
    int RendererType();
    std::wstring RendererText();
    COLORREF RendererColor();

private:
    void DrawBand(uint8_t* pixels, int width, int height, const TextFont& font);
    bool MakeBand(int width, int height, const TextFont& font);
    void BlendBand(uint8_t* pixels, int width, int height);
    void DrawTextStrip(uint8_t* pixels, int width, int height);
    void DrawTextWholeFrame(uint8_t* pixels, int width, int height);
    void Scroll(int textWidth, int frameWidth);

    tq::CCritSec m_lock;
    TextClock m_clock;
    bool m_shown = false;
    CColorConverter m_converter;  // the band, from the display's format to RGB24
    std::wstring m_text;
    int m_color[3] = {255, 255, 255};
    int m_backColor[3] = {-1, -1, -1};
    TextFont m_font;
    int m_bottom = 0;
    double m_value = 0;
    int m_scrollX = 0;
    float m_scrollRest = 0;
    float m_speed = 0.5f;
    int m_scrollMode = 0;
    UsageClock m_usage;  // runs while the text is non-empty
    int m_rendererType = 1;
    std::unique_ptr<CTextLayer> m_renderer;
    std::vector<uint8_t> m_band, m_bandRgb;  // reused between frames
    bool m_wholeFrame = false;
    // The text's rows and the band are kept until what they show changes.
    CTextStrip m_strip;
    double m_stripScale = -1;
    bool m_bandStale = true;
    int m_bandWidth = 0, m_bandHeight = 0;  // of m_bandRgb, as made
    int m_bandFrameHeight = 0;
};
