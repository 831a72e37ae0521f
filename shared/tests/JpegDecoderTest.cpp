#include "ColorConverter.h"
#include "ConvertTestPictures.h"
#include "JpegDecoder.h"

#include <gtest/gtest.h>
#include <uuids.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <jpeglib.h>
#include <libavutil/log.h>
}

using namespace convert_test;

namespace {

enum class JpegKind { Colour, Gray, Cmyk };

// Encodes the quadrant picture with libjpeg (4:2:0 for colour).
std::vector<uint8_t> EncodeJpeg(const QuadPicture& p, JpegKind kind = JpegKind::Colour, int quality = 95)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(p.width);
    cinfo.image_height = JDIMENSION(p.height);
    cinfo.input_components = kind == JpegKind::Colour ? 3 : kind == JpegKind::Gray ? 1 : 4;
    cinfo.in_color_space = kind == JpegKind::Colour ? JCS_RGB : kind == JpegKind::Gray ? JCS_GRAYSCALE : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(p.width) * cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < p.width; ++x) {
            Rgb c = p.At(x, int(cinfo.next_scanline));
            if (kind == JpegKind::Colour) {
                row[x * 3] = c.r; row[x * 3 + 1] = c.g; row[x * 3 + 2] = c.b;
            } else if (kind == JpegKind::Gray) {
                row[x] = LumaOf(c);
            } else {
                row[x * 4] = uint8_t(255 - c.r); row[x * 4 + 1] = uint8_t(255 - c.g);
                row[x * 4 + 2] = uint8_t(255 - c.b); row[x * 4 + 3] = 0;
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> jpeg(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    free(buffer);
    return jpeg;
}

// Offset of the first byte of entropy-coded data (after the SOS segment).
size_t ScanStart(const std::vector<uint8_t>& jpeg)
{
    for (size_t i = 2; i + 4 < jpeg.size();) {
        if (jpeg[i] != 0xFF)
            return 0;
        const size_t length = (size_t(jpeg[i + 2]) << 8) | jpeg[i + 3];
        if (jpeg[i + 1] == 0xDA)
            return i + 2 + length;
        i += 2 + length;
    }
    return 0;
}

// Runs the body on a thread of its own and ends the test program when it
// does not finish in time: a decoder that loops must fail, not stall ctest.
DWORD WINAPI RunJob(void* job)
{
    (*static_cast<const std::function<void()>*>(job))();
    return 0;
}

void WithinSeconds(int seconds, const std::function<void()>& body)
{
    HANDLE thread = CreateThread(nullptr, 0, RunJob, const_cast<std::function<void()>*>(&body), 0, nullptr);
    ASSERT_NE(nullptr, thread);
    if (WaitForSingleObject(thread, DWORD(seconds) * 1000) != WAIT_OBJECT_0) {
        fprintf(stderr, "the decoder did not return within %d s\n", seconds);
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    CloseHandle(thread);
}

class JpegTest : public ::testing::Test {
protected:
    void SetUp() override { av_log_set_level(AV_LOG_ERROR); }

    // ConvertMjpg must refuse the bytes and leave the destination as it was.
    static void ExpectRefused(const std::vector<uint8_t>& bytes, int announcedWidth, int announcedHeight,
                              const std::string& what)
    {
        static const std::vector<uint8_t> sentinel(64 * 48 * 3, 0x5A);
        std::vector<uint8_t> destination = sentinel;
        CColorConverter converter;
        EXPECT_FALSE(converter.ConvertMjpg(bytes.data(), int(bytes.size()), destination.data(), announcedWidth,
                                           announcedHeight, 64, 48))
            << what;
        EXPECT_TRUE(destination == sentinel) << what;
    }
};

} // namespace

TEST_F(JpegTest, DecodesTopDownBgr)
{
    const QuadPicture picture(64, 48);
    const std::vector<uint8_t> jpeg = EncodeJpeg(picture);
    std::vector<uint8_t> output(64 * 48 * 3, 0);
    int width = 64, height = 48, length = 0;
    ASSERT_TRUE(DecodeJpegToBgr(jpeg.data(), int(jpeg.size()), output.data(), width, height, length));
    EXPECT_EQ(64, width);
    EXPECT_EQ(48, height);
    EXPECT_EQ(64 * 48 * 3, length);
    // Top-down: row 0 is the top (red, green).
    EXPECT_NEAR(220, output[3 * 4 + 2], 8);
    EXPECT_NEAR(40, output[3 * 4 + 0], 8);
    EXPECT_NEAR(200, output[3 * 60 + 1], 8);
}

TEST_F(JpegTest, ValidFrameDecodesToThePicture)
{
    const QuadPicture picture(64, 48);
    const std::vector<uint8_t> jpeg = EncodeJpeg(picture);
    std::vector<uint8_t> destination(64 * 48 * 3, 0);
    CColorConverter converter;
    ASSERT_TRUE(converter.ConvertMjpg(jpeg.data(), int(jpeg.size()), destination.data(), 64, 48, 64, 48));
    // A bottom-up bitmap of the picture, away from the quadrant borders
    // where the 4:2:0 chroma and the DCT blur the edges.
    EXPECT_LE(MaxDifference(destination, picture, 3), 8);

    // Scaled down, and a picture smaller than announced.
    std::vector<uint8_t> small(32 * 24 * 3, 0);
    ASSERT_TRUE(converter.ConvertMjpg(jpeg.data(), int(jpeg.size()), small.data(), 128, 96, 32, 24));
    EXPECT_LE(MaxDifference(small, QuadPicture(32, 24), 3), 8);
}

TEST_F(JpegTest, GrayPictureGivesGrayPixels)
{
    const QuadPicture picture(64, 48);
    const std::vector<uint8_t> jpeg = EncodeJpeg(picture, JpegKind::Gray);
    std::vector<uint8_t> destination(64 * 48 * 3, 0);
    CColorConverter converter;
    ASSERT_TRUE(converter.ConvertMjpg(jpeg.data(), int(jpeg.size()), destination.data(), 64, 48, 64, 48));
    for (size_t i = 0; i < destination.size(); i += 3) {
        ASSERT_EQ(destination[i], destination[i + 1]) << i;
        ASSERT_EQ(destination[i], destination[i + 2]) << i;
    }
    // Bottom-up: the first row is the bottom left (blue's luma).
    EXPECT_NEAR(LumaOf(picture.colours[2]), destination[3 * 4], 6);
}

TEST_F(JpegTest, TruncatedFramesFail)
{
    const std::vector<uint8_t> jpeg = EncodeJpeg(QuadPicture(64, 48));
    WithinSeconds(60, [&] {
        for (size_t cut = 0; cut < jpeg.size(); ++cut)
            ExpectRefused(std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + cut), 64, 48,
                          "cut at " + std::to_string(cut) + " of " + std::to_string(jpeg.size()));
    });
}

TEST_F(JpegTest, CorruptFramesFail)
{
    const std::vector<uint8_t> jpeg = EncodeJpeg(QuadPicture(64, 48));
    const size_t scan = ScanStart(jpeg);
    ASSERT_GT(scan, size_t(0));
    ASSERT_LT(scan + 64, jpeg.size());
    WithinSeconds(60, [&] {
        // Entropy-coded data of all one bits: no Huffman code is all ones.
        std::vector<uint8_t> ones = jpeg;
        for (size_t i = scan + 8; i < scan + 48; i += 2) {
            ones[i] = 0xFF;
            ones[i + 1] = 0x00;
        }
        ExpectRefused(ones, 64, 48, "bad Huffman codes");

        // An end-of-picture marker in the middle of the scan.
        std::vector<uint8_t> early = jpeg;
        early[scan + 16] = 0xFF;
        early[scan + 17] = 0xD9;
        ExpectRefused(early, 64, 48, "premature end of the scan");

        // A frame header announcing 12-bit samples.
        std::vector<uint8_t> header = jpeg;
        for (size_t i = 2; i + 4 < header.size(); i += 2 + ((size_t(header[i + 2]) << 8) | header[i + 3]))
            if (header[i + 1] == 0xC0) {
                header[i + 4] = 12;
                break;
            }
        ExpectRefused(header, 64, 48, "12-bit samples");

        // No start-of-image marker.
        std::vector<uint8_t> noSoi(jpeg.begin() + 2, jpeg.end());
        ExpectRefused(noSoi, 64, 48, "no SOI");

        // A four-component (CMYK) picture, which has no BGR form here.
        ExpectRefused(EncodeJpeg(QuadPicture(64, 48), JpegKind::Cmyk), 64, 48, "CMYK");
    });
}

TEST_F(JpegTest, PictureLargerThanAnnouncedFails)
{
    const std::vector<uint8_t> jpeg = EncodeJpeg(QuadPicture(64, 48));
    ExpectRefused(jpeg, 32, 24, "64x48 announced as 32x24");
    ExpectRefused(jpeg, 64, 47, "64x48 announced as 64x47");
    ExpectRefused(jpeg, 63, 48, "64x48 announced as 63x48");
    // A large picture behind a small announcement: no overrun, a refusal.
    ExpectRefused(EncodeJpeg(QuadPicture(640, 480), JpegKind::Colour, 50), 64, 48, "640x480 announced as 64x48");

    std::vector<uint8_t> output(32 * 24 * 3, 0x11);
    int width = 32, height = 24, length = -1;
    EXPECT_FALSE(DecodeJpegToBgr(jpeg.data(), int(jpeg.size()), output.data(), width, height, length));
    EXPECT_EQ(32, width);
    EXPECT_EQ(24, height);
    EXPECT_EQ(-1, length);
}

TEST_F(JpegTest, RandomBytesFail)
{
    std::mt19937 random(20140318);
    WithinSeconds(60, [&] {
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> bytes(1 + random() % 4000);
            for (uint8_t& b : bytes)
                b = uint8_t(random());
            if (round % 2) {  // half of them start like a JPEG
                bytes[0] = 0xFF;
                if (bytes.size() > 1)
                    bytes[1] = 0xD8;
            }
            ExpectRefused(bytes, 64, 48, "random bytes, round " + std::to_string(round));
        }
    });
}

// Damaged copies of a valid frame: whatever the verdict, no crash and no
// stall, and a refusal leaves the destination as it was.
TEST_F(JpegTest, DamagedFramesNeverCrashOrStall)
{
    const QuadPicture picture(64, 48);
    const std::vector<uint8_t> jpeg = EncodeJpeg(picture);
    std::mt19937 random(1102);
    int refused = 0;
    WithinSeconds(120, [&] {
        for (int round = 0; round < 2000; ++round) {
            std::vector<uint8_t> bytes = jpeg;
            const int flips = 1 + int(random() % 8);
            for (int i = 0; i < flips; ++i)
                bytes[random() % bytes.size()] ^= uint8_t(1 + random() % 255);
            const std::vector<uint8_t> sentinel(64 * 48 * 3, uint8_t(round));
            std::vector<uint8_t> destination = sentinel;
            CColorConverter converter;
            if (!converter.ConvertMjpg(bytes.data(), int(bytes.size()), destination.data(), 64, 48, 64, 48)) {
                ++refused;
                ASSERT_TRUE(destination == sentinel) << "round " << round;
            }
        }
    });
    EXPECT_GT(refused, 0);
}

TEST_F(JpegTest, MissingArgumentsFail)
{
    const std::vector<uint8_t> jpeg = EncodeJpeg(QuadPicture(16, 16));
    std::vector<uint8_t> output(16 * 16 * 3);
    int width = 16, height = 16, length = 0;
    EXPECT_FALSE(DecodeJpegToBgr(nullptr, 10, output.data(), width, height, length));
    EXPECT_FALSE(DecodeJpegToBgr(jpeg.data(), 0, output.data(), width, height, length));
    EXPECT_FALSE(DecodeJpegToBgr(jpeg.data(), -5, output.data(), width, height, length));
    EXPECT_FALSE(DecodeJpegToBgr(jpeg.data(), int(jpeg.size()), nullptr, width, height, length));
    CColorConverter converter;
    EXPECT_FALSE(converter.ConvertMjpg(jpeg.data(), int(jpeg.size()), nullptr, 16, 16, 16, 16));
    EXPECT_FALSE(converter.ConvertMjpg(jpeg.data(), int(jpeg.size()), output.data(), 16, 16, 0, 16));
    EXPECT_TRUE(converter.ConvertMjpg(jpeg.data(), int(jpeg.size()), output.data(), 16, 16, 16, 16));
}

// Announced sizes come from a sample's format; on 32 bits their product once
// wrapped and sized a tiny scratch buffer. Checked the same in both builds.
TEST_F(JpegTest, AnnouncedSizeBoundedBeforeAnythingIsSized)
{
    const struct { int width, height; bool accepted; } cases[] = {
        {640, 480, true}, {1920, 1080, true}, {4096, 4096, true}, {1, 1, true},
        {4097, 2, false}, {2, 4097, false}, {0, 480, false}, {-640, 480, false},
        {0x7FFFFFFF, 0x7FFFFFFF, false}, {65536, 65536, false},  // 3 x 2^32 wraps to 0 in 32 bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.accepted, CColorConverter::MjpgSizeAcceptable(c.width, c.height)) << c.width << "x" << c.height;

    const QuadPicture picture(64, 48);
    ExpectRefused(EncodeJpeg(picture), 65536, 65536, "size whose bytes wrap in 32 bits");
}
