// Whole-frame effects applied in place to RGB24 frames (bottom row first,
// rows of width x 3 bytes). No platform calls: plain buffers in and out.
#pragma once

#include "PictureScaler.h"
#include "UsageClock.h"

#include <cstdint>
#include <vector>

class CFlipMirror {
public:
    bool flip = false;    // upside down
    bool mirror = false;  // left-right

    // The flip, then the mirror.
    void ApplyFlips(uint8_t* pixels, int width, int height) const;
    // The mirror only (the final mirror).
    void ApplyMirror(uint8_t* pixels, int width, int height) const;
};

class CStretchEffect {
public:
    explicit CStretchEffect(CPictureScaler* scaler) : m_scaler(scaler) {}

    void Set(int amount, uint32_t now);
    void Stop(uint32_t now);
    int Amount() const { return m_amount; }
    UsageClock& Clock() { return m_clock; }
    void Apply(uint8_t* pixels, int width, int height);

    // The scaling half of Apply: scales the frame into the kept picture and
    // returns where the frame's row 0 starts in it, with the distance between
    // rows; null when the stretch leaves the frame as it is.
    const uint8_t* Scale(const uint8_t* pixels, int width, int height, size_t* rowStep);

private:
    CPictureScaler* m_scaler;  // not owned
    UsageClock m_clock;
    int m_amount = 0;  // -50..50, 0 off
    std::vector<uint8_t> m_scaled;  // reused from frame to frame
};

class CTintEffect {
public:
    uint8_t r = 0, g = 0, b = 0;
    int32_t params[3] = {0, 0, 0};  // kept for the host; the pass does not use them

    void SetColor(unsigned red, unsigned green, unsigned blue, uint32_t now);
    void SetParams(int a, unsigned b, unsigned c, uint32_t now);
    void Stop(uint32_t now);
    bool IsOn() const { return m_clock.on; }
    UsageClock& Clock() { return m_clock; }
    void Apply(uint8_t* pixels, int width, int height) const;
    // Adds the tint to count pixels of source into destination (may be the same).
    void ApplyRow(uint8_t* destination, const uint8_t* source, int count) const;

private:
    UsageClock m_clock;
};

// Copies the left half, mirrored, over the right half.
void ApplySymmetry(uint8_t* pixels, int width, int height);

// The compose pass's effects in their order (flips, stretch, tint, symmetry),
// done row by row in one sweep of the frame where they allow it.
void ApplyPixelEffects(uint8_t* pixels, int width, int height, const CFlipMirror& flips, CStretchEffect& stretch,
                       const CTintEffect& tint, bool symmetry);
