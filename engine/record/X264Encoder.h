// H.264 encoder of the recorder's pictures (libx264, I420 input).
#pragma once

#include <cstdint>
#include <deque>
#include <utility>

extern "C" {
#include <x264.h>
}

namespace tq {

class CX264Encoder {
public:
    enum { HeaderCapacity = 8196 };

    CX264Encoder();
    ~CX264Encoder();
    CX264Encoder(const CX264Encoder&) = delete;
    CX264Encoder& operator=(const CX264Encoder&) = delete;

    bool Open(int width, int height, int fps, int kbps);
    void Close();
    bool IsOpen() const { return m_encoder != nullptr; }

    // SPS, PPS and SEI in Annex B form: the container's extradata.
    const uint8_t* HeaderBytes() const { return m_header; }
    int HeaderLength() const { return m_headerLength; }

    // Hands one I420 picture (width x height x 3 / 2 bytes) stamped timeMs to
    // x264. True when x264 returned an encoded picture: its bytes go to
    // destination (at most capacity), keyFrame tells an IDR picture, and
    // outTimeMs is the stamp of the input picture it encodes (x264 delays
    // pictures, so that is usually an earlier one).
    bool Encode(const uint8_t* source, uint32_t timeMs, uint8_t* destination, int capacity,
                int* size, bool* keyFrame, uint32_t* outTimeMs);
    // Takes one picture that x264 still holds; false when none is left.
    bool Flush(uint8_t* destination, int capacity, int* size, bool* keyFrame, uint32_t* outTimeMs);

    // The parameters x264 actually uses (after its own adjustments).
    bool EffectiveParameters(x264_param_t* param);

private:
    bool TakeOutput(int bytes, const x264_nal_t* nals, int nalCount, const x264_picture_t& out,
                    uint8_t* destination, int capacity, int* size, bool* keyFrame, uint32_t* outTimeMs);

    x264_param_t m_param;
    x264_t* m_encoder = nullptr;
    x264_picture_t m_picture;
    bool m_pictureAllocated = false;
    uint8_t* m_header;
    int m_headerLength = 0;
    int m_width = 0;
    int m_height = 0;
    // Input stamps by picture number, until x264 hands the picture back.
    std::deque<std::pair<int64_t, uint32_t>> m_pending;
};

} // namespace tq
