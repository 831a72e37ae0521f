// A full-frame animated GIF: every frame decoded by the image-file library
// from the file's bytes (read once) and scaled (nearest neighbour) to the
// frame size at load, on
// the loading thread; the frame thread only chooses and blends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct GifFrame {
    bool hasTransparency = false;
    uint8_t transparentRed = 0, transparentGreen = 0, transparentBlue = 0;
    int32_t width = 0, height = 0;
    int32_t delay = 10;           // hundredths of a second
    std::vector<uint8_t> pixels;  // RGB24 (blue, green, red), bottom row first
};

// A performance counter: ticks and their frequency (QueryPerformanceCounter by default).
struct PerfClock {
    std::function<int64_t()> ticks;
    int64_t frequency = 0;
    static PerfClock System();
};

class CGifFrames {
public:
    explicit CGifFrames(PerfClock clock = PerfClock::System());

    // Decodes every frame of the file, scaled to width x height. False when the
    // first frame cannot be decoded (no frames then).
    bool Load(const std::string& path, int width, int height);
    bool LoadBytes(const std::vector<uint8_t>& file, int width, int height);

    // The frame to show for this camera frame (moves on by the frames' delays),
    // or null without frames.
    const GifFrame* FrameToShow();
    // Blends the frame to show over a whole bottom-up RGB24 frame of its size.
    void Draw(uint8_t* pixels, int width, int height);

    int FrameCount() const { return m_frameCount; }
    const std::vector<GifFrame>& Frames() const { return m_frames; }

private:
    PerfClock m_clock;
    int32_t m_index = 0;
    std::vector<GifFrame> m_frames;
    int64_t m_lastSwitch = -10000;
    int32_t m_frameCount = 0;
    int32_t m_width = 0, m_height = 0;
};

// Mixes one GIF frame over a frame of the same size (both bottom-up RGB24).
void BlendGifFrame(const GifFrame& gif, uint8_t* pixels);
