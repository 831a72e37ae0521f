// The GDI+ quality settings of every graphics context the framework makes.
#pragma once

namespace Gdiplus {
class Graphics;
}

struct KqRenderHints {
    int textRenderingHint = 3;  // AntiAliasGridFit
    int interpolationMode = 1;  // LowQuality
    int compositingQuality = 1; // HighSpeed
    static KqRenderHints* instance();
    void apply(Gdiplus::Graphics* graphics) const;
};
