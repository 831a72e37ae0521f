#include "LameEncoder.h"

#include <lame/lame.h>
#include <cstring>

namespace tq {

namespace {

// LAME's worst case for one call: 1.25 x samples + 7200 bytes.
int WorstCaseOutput(int samples)
{
    return samples + samples / 4 + 7200;
}

// kbit/s by [MPEG-1 ? 0 : 1][layer - 1][index]; 0 marks free format or forbidden.
const int kBitRates[2][3][16] = {
    {   // MPEG-1
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    },
    {   // MPEG-2 and MPEG-2.5
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    },
};

} // namespace

int MpegAudioFrameLength(const uint8_t* h)
{
    if (!h)
        return -1;
    uint32_t header = (uint32_t(h[0]) << 24) | (uint32_t(h[1]) << 16) | (uint32_t(h[2]) << 8) | h[3];
    if ((header >> 21) != 0x7FF)
        return -1;
    int version = (header >> 19) & 3;   // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5, 1 reserved
    int layerBits = (header >> 17) & 3; // 3 Layer I, 2 Layer II, 1 Layer III, 0 reserved
    int bitRateIndex = (header >> 12) & 15;
    int rateIndex = (header >> 10) & 3;
    int padding = (header >> 9) & 1;
    if (version == 1 || layerBits == 0 || rateIndex == 3)
        return -1;

    static const int kRates[3] = {44100, 48000, 32000};
    int sampleRate = kRates[rateIndex];
    if (version == 2)
        sampleRate /= 2;
    else if (version == 0)
        sampleRate /= 4;

    int layer = 4 - layerBits;
    int kbps = kBitRates[version == 3 ? 0 : 1][layer - 1][bitRateIndex];
    if (kbps == 0)
        return -1;
    int bitRate = kbps * 1000;
    if (layer == 1)
        return (12 * bitRate / sampleRate + padding) * 4;
    int samples = (layer == 3 && version != 3) ? 576 : 1152;
    return samples * bitRate / (8 * sampleRate) + padding;
}

int MpegAudioFrameSamples(const uint8_t* h)
{
    if (MpegAudioFrameLength(h) <= 0)
        return 0;
    const int version = (h[1] >> 3) & 3;  // 3 MPEG-1
    const int layer = 4 - ((h[1] >> 1) & 3);
    if (layer == 1)
        return 384;
    return (layer == 3 && version != 3) ? 576 : 1152;
}

CLameEncoder::CLameEncoder()
    : m_accumulator(new uint8_t[AccumulatorCapacity]())
{
}

CLameEncoder::~CLameEncoder()
{
    Close();
    delete[] m_accumulator;
}

bool CLameEncoder::Open(uint8_t channels, int, int sampleRate, int kbps)
{
    Close();
    m_stereo = channels > 1;
    m_lame = lame_init();
    if (!m_lame)
        return false;
    lame_set_in_samplerate(m_lame, sampleRate);
    lame_set_out_samplerate(m_lame, sampleRate);
    lame_set_num_channels(m_lame, channels);
    lame_set_quality(m_lame, 5);
    lame_set_mode(m_lame, m_stereo ? JOINT_STEREO : MONO);
    lame_set_brate(m_lame, kbps);
    lame_set_bWriteVbrTag(m_lame, 0);
    lame_set_disable_reservoir(m_lame, 0);
    if (lame_init_params(m_lame) < 0) {
        Close();
        return false;
    }
    m_accumulatorFill = 0;
    m_frameSamples = lame_get_framesize(m_lame);
    if (m_frameSamples <= 0) {
        Close();
        return false;
    }
    // A chunk is one frame of 16-bit samples for two channels (mono input
    // has two bytes per sample frame).
    m_chunkBytes = m_frameSamples * (m_stereo ? 4 : 2);
    m_staging.clear();
    m_staging.reserve(m_chunkBytes * 4 + 10240);
    m_stagingStart = 0;
    m_flushed = false;
    return true;
}

void CLameEncoder::Close()
{
    if (m_lame) {
        lame_close(m_lame);
        m_lame = nullptr;
    }
    m_accumulatorFill = 0;
    m_staging.clear();
    m_staging.shrink_to_fit();
    m_stagingStart = 0;
    m_frameSamples = 0;
    m_chunkBytes = 0;
}

// Encodes whole chunks from the input while the accumulator has room for
// LAME's worst case; with partialToo also the last, shorter piece.
bool CLameEncoder::EncodeChunks(bool partialToo)
{
    const int bytesPerFrame = m_stereo ? 4 : 2;
    for (;;) {
        size_t available = m_staging.size() - m_stagingStart;
        int bytes = m_chunkBytes;
        if (available < size_t(m_chunkBytes)) {
            if (!partialToo || available < size_t(bytesPerFrame))
                break;
            bytes = int(available) / bytesPerFrame * bytesPerFrame;
        }
        int samples = bytes / bytesPerFrame;
        int room = AccumulatorCapacity - m_accumulatorFill;
        if (room < WorstCaseOutput(samples))
            break;  // the caller takes frames out first
        short* pcm = reinterpret_cast<short*>(m_staging.data() + m_stagingStart);
        unsigned char* out = m_accumulator + m_accumulatorFill;
        int result = m_stereo ? lame_encode_buffer_interleaved(m_lame, pcm, samples, out, room)
                              : lame_encode_buffer(m_lame, pcm, pcm, samples, out, room);
        if (result < 0)
            return false;
        m_accumulatorFill += result;
        m_stagingStart += bytes;
    }
    // Keep the FIFO compact: move the unread tail to the front.
    if (m_stagingStart > 0) {
        m_staging.erase(m_staging.begin(), m_staging.begin() + m_stagingStart);
        m_stagingStart = 0;
    }
    return true;
}

// Moves whole frames from the accumulator's start into destination; with
// rest, also bytes that do not parse as a frame (LAME's last output).
int CLameEncoder::MoveFrames(uint8_t* destination, int capacity, bool rest)
{
    int written = 0;
    int offset = 0;
    bool full = false;
    while (m_accumulatorFill - offset >= 4) {
        int length = MpegAudioFrameLength(m_accumulator + offset);
        if (length <= 0 || length > m_accumulatorFill - offset)
            break;
        if (written + length > capacity) {
            full = true;
            break;
        }
        memcpy(destination + written, m_accumulator + offset, length);
        written += length;
        offset += length;
    }
    int left = m_accumulatorFill - offset;
    if (rest && !full && left > 0 && written + left <= capacity) {
        memcpy(destination + written, m_accumulator + offset, left);
        written += left;
        offset += left;
    }
    memmove(m_accumulator, m_accumulator + offset, m_accumulatorFill - offset);
    m_accumulatorFill -= offset;
    return written;
}

bool CLameEncoder::Encode(const uint8_t* source, int length, uint8_t* destination, int capacity, int* outLength)
{
    if (outLength)
        *outLength = 0;
    if (!m_lame || !source || !destination || !outLength || length < 0 || capacity <= 0)
        return false;
    m_staging.insert(m_staging.end(), source, source + length);
    int total = 0;
    // Alternate: encode while there is room, take frames out, until either
    // the input or the destination runs out.
    for (;;) {
        if (!EncodeChunks(false))
            return total > 0 ? (*outLength = total, true) : false;
        int moved = MoveFrames(destination + total, capacity - total, false);
        total += moved;
        bool inputLeft = m_staging.size() >= size_t(m_chunkBytes);
        if (!inputLeft || moved == 0)
            break;
    }
    *outLength = total;
    return total > 0;
}

bool CLameEncoder::Flush(uint8_t* destination, int capacity, int* outLength)
{
    if (outLength)
        *outLength = 0;
    if (!m_lame || !destination || !outLength || capacity <= 0)
        return false;
    if (!m_flushed) {
        if (!EncodeChunks(true))
            return false;
        // A piece shorter than one sample frame cannot be encoded.
        if (m_staging.size() < size_t(m_stereo ? 4 : 2) && AccumulatorCapacity - m_accumulatorFill >= 7200) {
            m_staging.clear();
            int result = lame_encode_flush(m_lame, m_accumulator + m_accumulatorFill,
                                           AccumulatorCapacity - m_accumulatorFill);
            if (result >= 0)
                m_accumulatorFill += result;
            m_flushed = true;
        }
    }
    *outLength = MoveFrames(destination, capacity, m_flushed);
    return *outLength > 0;
}

} // namespace tq
