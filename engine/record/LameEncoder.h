// MP3 encoder of the recorder's sound (LAME, interleaved 16-bit PCM input),
// handing its output on in whole MPEG audio frames.
#pragma once

#include <cstdint>
#include <vector>

struct lame_global_struct;

namespace tq {

// Length in bytes of the MPEG audio frame whose 4-byte header starts at
// `header`; -1 when the header is invalid or its length cannot be known
// (free-format or forbidden bit rate).
int MpegAudioFrameLength(const uint8_t* header);
// Samples per channel in that frame; 0 when the header is invalid.
int MpegAudioFrameSamples(const uint8_t* header);

class CLameEncoder {
public:
    enum { AccumulatorCapacity = 16384 };

    CLameEncoder();
    ~CLameEncoder();
    CLameEncoder(const CLameEncoder&) = delete;
    CLameEncoder& operator=(const CLameEncoder&) = delete;

    // bitsPerSample is ignored: the input is always 16-bit.
    bool Open(uint8_t channels, int bitsPerSample, int sampleRate, int kbps);
    void Close();
    bool IsOpen() const { return m_lame != nullptr; }

    // Appends `length` bytes of PCM to the input, encodes every whole chunk
    // (one MPEG frame's worth of samples) and hands on the whole frames that
    // fit into destination. Input that does not make a whole chunk waits for
    // the next call; frames that do not fit wait for the next call too.
    // Nothing is dropped. True when *outLength > 0.
    bool Encode(const uint8_t* source, int length, uint8_t* destination, int capacity, int* outLength);
    // At the end: encodes what is left of the input, flushes LAME and hands
    // on the remaining frames. Call until it returns false.
    bool Flush(uint8_t* destination, int capacity, int* outLength);

    int FrameSamples() const { return m_frameSamples; }
    int ChunkBytes() const { return m_chunkBytes; }

private:
    bool EncodeChunks(bool partialToo);
    int MoveFrames(uint8_t* destination, int capacity, bool rest);

    lame_global_struct* m_lame = nullptr;
    uint8_t* m_accumulator;
    int m_accumulatorFill = 0;
    bool m_stereo = true;
    int m_frameSamples = 0;
    int m_chunkBytes = 0;
    bool m_flushed = false;
    // Input FIFO: bytes not yet encoded, from m_stagingStart on.
    std::vector<uint8_t> m_staging;
    size_t m_stagingStart = 0;
};

} // namespace tq
