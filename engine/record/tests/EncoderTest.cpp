#include "LameEncoder.h"
#include "X264Encoder.h"

#include <gtest/gtest.h>
#include <cmath>
#include <vector>

using tq::CLameEncoder;
using tq::CX264Encoder;
using tq::MpegAudioFrameLength;

// ---- MPEG audio frame header

namespace {

struct HeaderCase {
    const char* what;
    uint8_t bytes[4];
    int length;
};

const HeaderCase kHeaderCases[] = {
    {"MPEG-1 L3 128k 44.1k", {0xFF, 0xFB, 0x90, 0x00}, 417},
    {"MPEG-1 L3 128k 44.1k padded", {0xFF, 0xFB, 0x92, 0x00}, 418},
    {"MPEG-1 L3 128k 48k", {0xFF, 0xFB, 0x94, 0x00}, 384},
    {"MPEG-1 L3 320k 32k", {0xFF, 0xFB, 0xE8, 0x00}, 1440},
    {"MPEG-1 L2 192k 48k", {0xFF, 0xFD, 0xA4, 0x00}, 576},
    {"MPEG-1 L1 32k 44.1k padded", {0xFF, 0xFF, 0x12, 0x00}, 36},
    {"MPEG-2 L3 64k 22.05k", {0xFF, 0xF3, 0x80, 0x00}, 208},
    {"MPEG-2 L3 8k 24k padded", {0xFF, 0xF3, 0x16, 0x00}, 25},
    {"MPEG-2.5 L3 8k 11.025k", {0xFF, 0xE3, 0x10, 0x00}, 52},
    {"MPEG-2.5 L3 32k 8k", {0xFF, 0xE3, 0x48, 0x00}, 288},
    {"no sync", {0xFF, 0x7B, 0x90, 0x00}, -1},
    {"reserved version", {0xFF, 0xEB, 0x90, 0x00}, -1},
    {"reserved layer", {0xFF, 0xF9, 0x90, 0x00}, -1},
    {"reserved sample rate", {0xFF, 0xFB, 0x9C, 0x00}, -1},
    {"free-format bit rate", {0xFF, 0xFB, 0x02, 0x00}, -1},
    {"forbidden bit rate", {0xFF, 0xFB, 0xF0, 0x00}, -1},
};

} // namespace

TEST(MpegAudioFrameLength, HeaderTable)
{
    for (const HeaderCase& c : kHeaderCases)
        EXPECT_EQ(c.length, MpegAudioFrameLength(c.bytes)) << c.what;
    EXPECT_EQ(-1, MpegAudioFrameLength(nullptr));
}

// ---- x264

namespace {

std::vector<uint8_t> MovingPicture(int width, int height, int index)
{
    std::vector<uint8_t> picture(width * height * 3 / 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture[y * width + x] = uint8_t(16 + ((x + 2 * index) ^ y) % 200);
    for (int i = width * height; i < int(picture.size()); ++i)
        picture[i] = uint8_t(96 + (i + index) % 64);
    return picture;
}

} // namespace

TEST(X264Encoder, ParametersReadBack)
{
    CX264Encoder encoder;
    ASSERT_TRUE(encoder.Open(400, 300, 13, 500));
    x264_param_t p;
    ASSERT_TRUE(encoder.EffectiveParameters(&p));
    struct { const char* name; int actual, expected; } table[] = {
        {"i_width", p.i_width, 400},
        {"i_height", p.i_height, 300},
        {"i_fps_num", p.i_fps_num, 13},
        {"i_fps_den", p.i_fps_den, 1},
        {"i_keyint_max", p.i_keyint_max, 30},
        // x264 caps the minimum at half the maximum plus one.
        {"i_keyint_min", p.i_keyint_min, 30 / 2 + 1},
        {"i_scenecut_threshold", p.i_scenecut_threshold, 40},
        {"i_bframe", p.i_bframe, 0},
        {"i_bframe_pyramid", p.i_bframe_pyramid, 0},
        {"i_frame_reference", p.i_frame_reference, 3},
        {"b_deblocking_filter", p.b_deblocking_filter, 1},
        {"i_deblocking_filter_alphac0", p.i_deblocking_filter_alphac0, 0},
        {"i_deblocking_filter_beta", p.i_deblocking_filter_beta, 0},
        {"b_cabac", p.b_cabac, 1},
        {"b_sliced_threads", p.b_sliced_threads, 0},
        {"i_sync_lookahead", p.i_sync_lookahead, 0},
        {"i_me_method", p.analyse.i_me_method, X264_ME_HEX},
        {"i_me_range", p.analyse.i_me_range, 16},
        {"i_subpel_refine", p.analyse.i_subpel_refine, 7},
        {"b_psnr", p.analyse.b_psnr, 1},
        {"b_ssim", p.analyse.b_ssim, 1},
        {"i_rc_method", p.rc.i_rc_method, X264_RC_CRF},
        // With constant rate factor x264 clears the average bit rate it was
        // given; the VBV limits below keep the requested rate.
        {"i_bitrate", p.rc.i_bitrate, 0},
        {"i_vbv_max_bitrate", p.rc.i_vbv_max_bitrate, 500},
        {"i_vbv_buffer_size", p.rc.i_vbv_buffer_size, 500},
        {"i_lookahead", p.rc.i_lookahead, 0},
    };
    for (auto& row : table)
        EXPECT_EQ(row.expected, row.actual) << row.name;
    EXPECT_FLOAT_EQ(0.9f, p.rc.f_vbv_buffer_init);
    EXPECT_GE(p.i_threads, 1);
}

TEST(X264Encoder, HeadersAreAnnexBSpsThenPps)
{
    CX264Encoder encoder;
    ASSERT_TRUE(encoder.Open(400, 300, 13, 500));
    const uint8_t* h = encoder.HeaderBytes();
    ASSERT_GT(encoder.HeaderLength(), 8);
    ASSERT_LE(encoder.HeaderLength(), int(CX264Encoder::HeaderCapacity));
    EXPECT_EQ(0, h[0]);
    EXPECT_EQ(0, h[1]);
    EXPECT_EQ(0, h[2]);
    EXPECT_EQ(1, h[3]);
    EXPECT_EQ(7, h[4] & 0x1F);  // SPS first
    bool sawPps = false;
    for (int i = 4; i + 4 < encoder.HeaderLength(); ++i)
        if (h[i] == 0 && h[i + 1] == 0 && h[i + 2] == 1 && (h[i + 3] & 0x1F) == 8)
            sawPps = true;
    EXPECT_TRUE(sawPps);
}

TEST(X264Encoder, EveryPictureComesOutOnceWithItsOwnStampAndKeyFramesEvery30)
{
    CX264Encoder encoder;
    ASSERT_TRUE(encoder.Open(400, 300, 13, 500));
    std::vector<uint8_t> out(460800);
    std::vector<uint32_t> stamps;
    std::vector<bool> keys;
    const int pictures = 75;
    for (int i = 0; i < pictures; ++i) {
        std::vector<uint8_t> picture = MovingPicture(400, 300, i);
        int size = 0;
        bool key = false;
        uint32_t stamp = 0;
        if (encoder.Encode(picture.data(), 1000 + 77 * i, out.data(), int(out.size()), &size, &key, &stamp)) {
            EXPECT_GT(size, 0);
            stamps.push_back(stamp);
            keys.push_back(key);
        }
    }
    int size = 0;
    bool key = false;
    uint32_t stamp = 0;
    while (encoder.Flush(out.data(), int(out.size()), &size, &key, &stamp)) {
        stamps.push_back(stamp);
        keys.push_back(key);
    }
    ASSERT_EQ(size_t(pictures), stamps.size());
    for (int i = 0; i < pictures; ++i) {
        EXPECT_EQ(uint32_t(1000 + 77 * i), stamps[i]) << i;
        EXPECT_EQ(i % 30 == 0, bool(keys[i])) << i;
    }
    EXPECT_FALSE(encoder.Flush(out.data(), int(out.size()), &size, &key, &stamp));
}

TEST(X264Encoder, RefusesUnopenedUseAndTooSmallDestination)
{
    CX264Encoder encoder;
    std::vector<uint8_t> picture = MovingPicture(400, 300, 0), out(16);
    int size = 0;
    bool key = false;
    uint32_t stamp = 0;
    EXPECT_FALSE(encoder.Encode(picture.data(), 0, out.data(), 16, &size, &key, &stamp));
    ASSERT_TRUE(encoder.Open(400, 300, 13, 500));
    // Moving pictures: an unchanged one may code into fewer than 16 bytes.
    for (int i = 0; i < 20; ++i) {
        picture = MovingPicture(400, 300, i);
        EXPECT_FALSE(encoder.Encode(picture.data(), i, out.data(), 16, &size, &key, &stamp)) << i << ": " << size;
    }
}

// ---- LAME

namespace {

std::vector<uint8_t> Tone(int sampleFrames)
{
    std::vector<uint8_t> pcm(sampleFrames * 4);
    for (int i = 0; i < sampleFrames; ++i) {
        int16_t left = int16_t(8000 * std::sin(2 * 3.14159265 * 440 * i / 44100));
        int16_t right = int16_t(6000 * std::sin(2 * 3.14159265 * 660 * i / 44100));
        memcpy(&pcm[i * 4], &left, 2);
        memcpy(&pcm[i * 4 + 2], &right, 2);
    }
    return pcm;
}

// Encodes pcm in blocks of the given sizes (cycled) and flushes.
std::vector<uint8_t> EncodeInBlocks(const std::vector<uint8_t>& pcm, const std::vector<int>& blocks, int capacity = 10240)
{
    CLameEncoder encoder;
    EXPECT_TRUE(encoder.Open(2, 16, 44100, 128));
    std::vector<uint8_t> mp3, out(capacity);
    size_t pos = 0;
    for (size_t b = 0; pos < pcm.size(); ++b) {
        int block = std::min<int>(blocks[b % blocks.size()], int(pcm.size() - pos));
        int length = 0;
        if (encoder.Encode(pcm.data() + pos, block, out.data(), capacity, &length))
            mp3.insert(mp3.end(), out.begin(), out.begin() + length);
        else
            EXPECT_EQ(0, length);
        pos += block;
    }
    int length = 0;
    while (encoder.Flush(out.data(), capacity, &length))
        mp3.insert(mp3.end(), out.begin(), out.begin() + length);
    return mp3;
}

// Number of whole frames, or -1 when the stream does not parse end to end.
int CountFrames(const std::vector<uint8_t>& mp3)
{
    size_t pos = 0;
    int frames = 0;
    while (pos + 4 <= mp3.size()) {
        int length = MpegAudioFrameLength(&mp3[pos]);
        if (length <= 0 || pos + length > mp3.size())
            return -1;
        EXPECT_TRUE(length == 417 || length == 418) << length;
        pos += length;
        ++frames;
    }
    return pos == mp3.size() ? frames : -1;
}

} // namespace

TEST(LameEncoder, OpensWithOneFrameChunks)
{
    CLameEncoder encoder;
    ASSERT_TRUE(encoder.Open(2, 16, 44100, 128));
    EXPECT_EQ(1152, encoder.FrameSamples());
    EXPECT_EQ(4608, encoder.ChunkBytes());
}

TEST(LameEncoder, OddBlockSizesGiveTheSameStreamAsWholeChunks)
{
    const int sampleFrames = 44100 * 2 + 333;
    std::vector<uint8_t> pcm = Tone(sampleFrames);
    std::vector<uint8_t> reference = EncodeInBlocks(pcm, {4608});
    const std::vector<std::vector<int>> blockSets = {
        {4}, {1000}, {4612}, {10240}, {3528, 4, 9216, 100, 6000}, {4607, 1, 4609, 4600},
    };
    int frames = CountFrames(reference);
    ASSERT_GT(frames, 0);
    // All the sound is there: what was pushed plus the encoder's delay, in
    // whole frames of 1152 samples.
    EXPECT_GE(frames * 1152, sampleFrames);
    EXPECT_LE(frames * 1152, sampleFrames + 576 + 529 + 2 * 1152);
    for (const std::vector<int>& blocks : blockSets)
        EXPECT_EQ(reference, EncodeInBlocks(pcm, blocks)) << "first block " << blocks[0];
}

TEST(LameEncoder, ShortInputsAreKeptUntilAChunkIsComplete)
{
    CLameEncoder encoder;
    ASSERT_TRUE(encoder.Open(2, 16, 44100, 128));
    std::vector<uint8_t> pcm = Tone(1152 * 40), out(10240);
    int length = -1;
    // Less than a chunk: nothing comes out, nothing is lost.
    EXPECT_FALSE(encoder.Encode(pcm.data(), 4000, out.data(), 10240, &length));
    EXPECT_EQ(0, length);
    int produced = 0;
    for (size_t pos = 4000; pos < pcm.size(); pos += 4608) {
        int block = std::min<int>(4608, int(pcm.size() - pos));
        if (encoder.Encode(pcm.data() + pos, block, out.data(), 10240, &length))
            produced += length;
    }
    while (encoder.Flush(out.data(), 10240, &length))
        produced += length;
    EXPECT_GE(produced, 41 * 417);
}

TEST(LameEncoder, SmallDestinationKeepsFramesForLater)
{
    std::vector<uint8_t> pcm = Tone(44100);
    // Room for one frame per call: frames wait in the accumulator instead of
    // being lost.
    std::vector<uint8_t> tight = EncodeInBlocks(pcm, {4608}, 420);
    std::vector<uint8_t> reference = EncodeInBlocks(pcm, {4608});
    EXPECT_EQ(reference.size(), tight.size());
    EXPECT_GT(CountFrames(tight), 0);
}

TEST(LameEncoder, RefusesBadArguments)
{
    CLameEncoder encoder;
    std::vector<uint8_t> pcm(4608), out(1000);
    int length = 7;
    EXPECT_FALSE(encoder.Encode(pcm.data(), 4608, out.data(), 1000, &length));  // not open
    ASSERT_TRUE(encoder.Open(2, 16, 44100, 128));
    EXPECT_FALSE(encoder.Encode(nullptr, 4608, out.data(), 1000, &length));
    EXPECT_FALSE(encoder.Encode(pcm.data(), 4608, nullptr, 1000, &length));
    EXPECT_FALSE(encoder.Encode(pcm.data(), -1, out.data(), 1000, &length));
    EXPECT_FALSE(encoder.Encode(pcm.data(), 4608, out.data(), 0, &length));
    EXPECT_EQ(0, length);
}
