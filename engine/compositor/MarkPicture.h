// The picture mark blended into a corner of every frame, with an optional
// second picture it cross-fades to. Pixel work only: the primary picture
// comes from an injected loader and the ramp from the owner's timers.
#pragma once

#include "PictureScaler.h"
#include "UsageClock.h"

#include <cstdint>
#include <functional>
#include <vector>

// 32 bits per pixel: blue, green, red, alpha (not premultiplied), bottom row
// first, rows of width x 4 bytes.
struct MarkBitmap {
    std::vector<uint8_t> pixels;
    int width = 0;
    int height = 0;
    bool Empty() const { return pixels.empty(); }
};

class CMarkPicture {
public:
    static constexpr int kMarkSize = 74;
    typedef std::function<bool(MarkBitmap& out)> Loader;
    enum class Ramp { FadeIn, FadeOut };

    CMarkPicture(CPictureScaler* scaler, Loader loader) : m_scaler(scaler), m_loader(std::move(loader)) {}

    float mix = 0;  // 0 primary only, 1 second only

    // Takes 1..4 (1 top-left, 2 top-right, 3 bottom-left, 4 bottom-right); false otherwise.
    bool SetCorner(int corner);
    int Corner() const { return m_corner; }

    // A 32-bit picture (scaled to 74 x 74) or, with null pixels, none.
    // Other depths and empty sizes are refused (false) and change nothing.
    bool SetSecondPicture(const void* pixels, int width, int height, int bitsPerPixel, uint32_t now);
    bool HasSecondPicture() const { return !m_sourceSecond.Empty(); }
    UsageClock& Clock() { return m_clock; }

    // Loads the primary when missing, fits the mark to the frame size,
    // cross-fades and blends it in. Nothing is drawn without a primary.
    void Draw(uint8_t* frame, int width, int height);

    // The 10-second tick: sets the ramp's start value and says which ramp to run.
    Ramp StartCrossFade();
    // One 10 ms ramp step; false when the ramp has ended.
    bool StepRamp(Ramp ramp);

    // The picture as it was last blended (for tests and tools).
    const MarkBitmap& Drawn() const { return m_drawn; }

private:
    bool EnsurePrimary();
    void Fit(int frameWidth, int frameHeight);
    void Rescale(const MarkBitmap& source, MarkBitmap& out) const;
    void CrossFade();
    void Blend(const MarkBitmap& picture, uint8_t* frame, int width, int height) const;

    CPictureScaler* m_scaler;  // not owned
    Loader m_loader;
    int m_corner = 2;
    bool m_fadeInNext = true;
    UsageClock m_clock;
    // Sources are kept as given, so every refit starts from them and never
    // from an earlier (possibly smaller) fit.
    MarkBitmap m_sourcePrimary;
    MarkBitmap m_sourceSecond;  // 74 x 74 when set
    MarkBitmap m_primary;       // fitted to the frame
    MarkBitmap m_second;        // fitted to the frame
    MarkBitmap m_drawn;
    int m_markWidth = kMarkSize;
    int m_markHeight = kMarkSize;
};
