// The five caption renderers behind CreateTextLayer.
#pragma once

#include "TextLayer.h"

// Type 0: the text in one colour, with the background band.
class CPlainTextLayer : public CTextLayer {
public:
    using CTextLayer::CTextLayer;
    void Draw(HDC* dc, int x, int y) override;
    bool HasBackground() override { return true; }
    HFONT CreateFont(HDC dc, double scale, const TextFont& font) override;
    void Measure(HDC* dc, const std::wstring* text, SIZE* out) override;

    // The plain font, which also sizes the caption's band.
    static HFONT MakeFont(double scale, const TextFont& font);
};

// Types 1-4 lay the text out one character per cell.
class CCellTextLayer : public CTextLayer {
public:
    using CTextLayer::CTextLayer;
    bool HasBackground() override { return false; }
    void Measure(HDC* dc, const std::wstring* text, SIZE* out) override;

protected:
    // A character's size and its cell width (20 at least, else 4 wider).
    static SIZE CellOf(HDC dc, const std::wstring& unit, int* cellWidth);
    // Every character centred in its cell, shadow (one pixel right) first;
    // colours picks the face and shadow colours of character i.
    void DrawCells(HDC dc, int x, int y, const std::function<void(size_t i, COLORREF*, COLORREF*)>& colors);
};

// Types 1 and 3: colours from a 60-entry table, the phase moving every second
// over three sets of ten.
class CColorCycleTextLayer : public CCellTextLayer {
public:
    CColorCycleTextLayer(int type, TextClock clock);
    void Draw(HDC* dc, int x, int y) override;
    HFONT CreateFont(HDC dc, double scale, const TextFont& font) override;

    static const COLORREF kFirstTable[60];
    static const COLORREF kSecondTable[60];

private:
    int m_type;
};

// Type 2: colours from a 16-entry table, two phases.
class CTwoPhaseTextLayer : public CCellTextLayer {
public:
    using CCellTextLayer::CCellTextLayer;
    void Draw(HDC* dc, int x, int y) override;
    HFONT CreateFont(HDC dc, double scale, const TextFont& font) override;

    static const COLORREF kTable[16];
};

// Type 4: a coloured tile and its shadow per character, 30 pixels apart.
class CTileTextLayer : public CCellTextLayer {
public:
    using CCellTextLayer::CCellTextLayer;
    void Draw(HDC* dc, int x, int y) override;
    HFONT CreateFont(HDC dc, double scale, const TextFont& font) override;

    static const int kTileStep = 30;
    static const COLORREF kTable[10];  // tiles 0-4, shadows 5-9
    static const POINT kShapes[5][4];
};
