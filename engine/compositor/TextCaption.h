// The text caption. Placeholder: keeps its settings and its usage clock and
// draws nothing until the text layer is built.
#pragma once

#include "CritSec.h"
#include "UsageClock.h"

#include <cstdint>
#include <string>

class CTextCaption {
public:
    tq::CCritSec lock;  // guards everything but bottom and value

    bool shown = false;
    std::string text;
    int color[3] = {255, 255, 255};
    int backColor[3] = {-1, -1, -1};
    std::string face = "Latha";
    int size = 25;
    int style = 0;
    bool strikeOut = false;
    bool underline = false;
    int bottom = 0;
    double value = 0;
    float speed = 0.5f;
    int scrollMode = 0;
    int rendererType = 1;
    UsageClock clock;  // runs while the text is non-empty

    // Callers hold the lock.
    void SetText(const std::string& newText, uint32_t now)
    {
        text = newText;
        if (text.empty())
            clock.SwitchOff(now);
        else
            clock.SwitchOn(now);
    }
    void Draw(uint8_t*, int, int) {}
};
