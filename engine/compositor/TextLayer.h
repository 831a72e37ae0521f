// The caption's renderers: the base CTextLayer and the five ways of drawing
// the caption (plain, two colour cycles, two-phase, tiles) chosen by number.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using TextClock = std::function<uint32_t()>;  // ms, timeGetTime

// The caption's font settings, handed to the renderer's CreateFont.
struct TextFont {
    int size = 25;
    bool strikeOut = false;
    bool underline = false;
    std::wstring face = L"Latha";
    int style = 0;  // 1 italic, 2 bold, 3 bold italic, other regular
};

// The base renderer draws nothing. Keep the virtual functions in this order.
class CTextLayer {
public:
    explicit CTextLayer(TextClock clock = TextClock());
    virtual ~CTextLayer() = default;
    // Draws the text with its top-left at (x, y).
    virtual void Draw(HDC* dc, int x, int y);
    // Whether the caption's background band goes under this renderer.
    virtual bool HasBackground();
    virtual HFONT CreateFont(HDC dc, double scale, const TextFont& font);
    // The text's size in the selected font.
    virtual void Measure(HDC* dc, const std::wstring* text, SIZE* out);

    // Keeps a copy of the text and its single UTF-16 units.
    void SetText(const std::wstring& newText);

    COLORREF color = RGB(255, 255, 255);  // used by the plain renderer
    std::vector<std::wstring> chars;
    std::wstring text;

protected:
    uint32_t Now() const { return m_clock(); }

private:
    TextClock m_clock;
};

// A renderer of the given type (0 plain, 2 two-phase, 3 second colour cycle,
// 4 tiles, any other number the first colour cycle).
std::unique_ptr<CTextLayer> CreateTextLayer(int type, TextClock clock = TextClock());

// The renderer type a SetTextStyle number selects.
int TextLayerType(int requested);

// Start (ms) of a renderer type's colour clock: the first call for the type
// fixes it to now, once for the process.
uint32_t PhaseClockStart(int type, uint32_t now);
