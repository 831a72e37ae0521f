// Placeholder for the compositor until it is built.
#pragma once

#include "CallRecorder.h"

#include <windows.h>
#include <cstdint>

class CDecorationLayer : public CCallRecorder {
public:
    virtual ~CDecorationLayer() = default;
    void ClearLayers() { Record("ClearLayers"); }
    void SetFlashHostWindow(HWND) { Record("SetFlashHostWindow"); }
    void Compose(uint8_t*, int, int) { Record("Compose"); }
    void DrawMark(uint8_t*, int, int) { Record("DrawMark"); }
    void ApplyFinalMirror(uint8_t*, int, int) { Record("ApplyFinalMirror"); }
    bool IsSmoothEnabled() { return false; }
};
