// What the recorder receives: preview frames from the frame producers and
// sound blocks from the outside audio engine.
#pragma once

#include <cstdint>

namespace tq {

class IRecordFrameSink {
public:
    // pixels: RGB24 rows, bottom row first.
    virtual void OnFrame(uint8_t* pixels, int width, int height, uint32_t timeMs) = 0;
    virtual void Reserved() = 0;

protected:
    ~IRecordFrameSink() = default;
};

// Called by the outside audio engine, so its two-slot layout is fixed: no
// virtual destructor in front of OnAudioData. data: interleaved 16-bit PCM,
// 2 channels, 44,100 Hz, at most 10,240 bytes per block.
class IAudioDataSink {
public:
    virtual void OnAudioData(const uint8_t* data, int length) = 0;
    virtual void Reserved() = 0;

protected:
    ~IAudioDataSink() = default;
};

} // namespace tq
