#include "ColorConverter.h"
#include "ConvertTestPictures.h"

#include <gtest/gtest.h>
#include <uuids.h>

#include <string>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <utility>

using namespace convert_test;

namespace {

struct SourceCase {
    const char* name;
    const GUID* subtype;
    int tolerance;  // largest channel difference allowed against the picture
    int margin;     // pixels next to a quadrant border left out of the comparison
    std::vector<uint8_t> (*make)(const QuadPicture&);
};

std::vector<uint8_t> MakeRgb24(const QuadPicture& p) { return Rgb24Of(p); }
std::vector<uint8_t> MakeRgb32(const QuadPicture& p) { return Rgb32Of(p); }
std::vector<uint8_t> MakeRgb555(const QuadPicture& p) { return Rgb16Of(p, false); }
std::vector<uint8_t> MakeRgb565(const QuadPicture& p) { return Rgb16Of(p, true); }
std::vector<uint8_t> MakeYuyv(const QuadPicture& p) { return Packed422Of(p, false); }
std::vector<uint8_t> MakeUyvy(const QuadPicture& p) { return Packed422Of(p, true); }
std::vector<uint8_t> MakeYv12(const QuadPicture& p) { return PlanarOf(p, 1, 1, true); }
std::vector<uint8_t> MakeI420(const QuadPicture& p) { return PlanarOf(p, 1, 1, false); }
std::vector<uint8_t> MakeY411(const QuadPicture& p) { return PlanarOf(p, 2, 0, false); }

// Tolerances: the RGB layouts are exact apart from the 5- and 6-bit
// quantisation of the 16-bit ones (up to 7); the YUV layouts lose a few
// steps through 8-bit BT.601 arithmetic (2 measured, 3 allowed).
// Margins: the scaler interpolates chroma between neighbouring samples, so
// next to a colour border a subsampled layout blends the two colours over
// about one chroma sample: 2 pixels for 4:2:2 and 4:2:0, 4 for 4:1:1.
// Every pixel further away is compared.
const SourceCase kSources[] = {
    {"RGB24", &MEDIASUBTYPE_RGB24, 0, 0, MakeRgb24},
    {"RGB32", &MEDIASUBTYPE_RGB32, 0, 0, MakeRgb32},
    {"ARGB32", &MEDIASUBTYPE_ARGB32, 0, 0, MakeRgb32},
    {"RGB555", &MEDIASUBTYPE_RGB555, 8, 0, MakeRgb555},
    {"RGB565", &MEDIASUBTYPE_RGB565, 8, 0, MakeRgb565},
    {"YUY2", &MEDIASUBTYPE_YUY2, 3, 2, MakeYuyv},
    {"YUYV", &MEDIASUBTYPE_YUYV, 3, 2, MakeYuyv},
    {"UYVY", &MEDIASUBTYPE_UYVY, 3, 2, MakeUyvy},
    {"YV12", &MEDIASUBTYPE_YV12, 3, 2, MakeYv12},
    {"IYUV", &MEDIASUBTYPE_IYUV, 3, 2, MakeI420},
    {"I420", &tq::kMediaSubtypeI420, 3, 2, MakeI420},
    {"Y411", &MEDIASUBTYPE_Y411, 3, 4, MakeY411},
};

struct Size {
    int width, height;
};
const Size kSizes[] = {{64, 48}, {37, 23}, {640, 480}, {33, 17}};

class QuietScaler : public ::testing::Test {
protected:
    void SetUp() override { av_log_set_level(AV_LOG_ERROR); }
};

using ColorConverterTest = QuietScaler;

} // namespace

TEST_F(ColorConverterTest, SubtypesMapToNamedPixelFormats)
{
    struct Row {
        const GUID* subtype;
        AVPixelFormat format;
        bool topDown;
    };
    const GUID unknown = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
    const Row rows[] = {
        {&MEDIASUBTYPE_RGB24, AV_PIX_FMT_BGR24, false},   {&MEDIASUBTYPE_RGB32, AV_PIX_FMT_BGRA, false},
        {&MEDIASUBTYPE_ARGB32, AV_PIX_FMT_BGRA, false},   {&MEDIASUBTYPE_YUY2, AV_PIX_FMT_YUYV422, true},
        {&MEDIASUBTYPE_YUYV, AV_PIX_FMT_YUYV422, true},   {&MEDIASUBTYPE_YV12, AV_PIX_FMT_YUV420P, true},
        {&MEDIASUBTYPE_IYUV, AV_PIX_FMT_YUV420P, true},   {&tq::kMediaSubtypeI420, AV_PIX_FMT_YUV420P, true},
        {&MEDIASUBTYPE_Y411, AV_PIX_FMT_YUV411P, true},   {&MEDIASUBTYPE_UYVY, AV_PIX_FMT_UYVY422, true},
        {&MEDIASUBTYPE_RGB555, AV_PIX_FMT_RGB555LE, false}, {&MEDIASUBTYPE_RGB565, AV_PIX_FMT_RGB565LE, false},
        {&MEDIASUBTYPE_MJPG, AV_PIX_FMT_BGR24, false},    {&unknown, AV_PIX_FMT_BGR24, false},
    };
    for (const Row& row : rows) {
        bool topDown = !row.topDown;
        EXPECT_EQ(row.format, CColorConverter::SubtypeToPixelFormat(*row.subtype, &topDown));
        EXPECT_EQ(row.topDown, topDown);
    }
    EXPECT_EQ(size_t(37 * 23 * 3), CColorConverter::PictureBytes(MEDIASUBTYPE_RGB24, 37, 23));
    EXPECT_EQ(size_t(37 * 23 + 19 * 12 * 2), CColorConverter::PictureBytes(MEDIASUBTYPE_YV12, 37, 23));
    EXPECT_EQ(size_t(0), CColorConverter::PictureBytes(MEDIASUBTYPE_RGB24, 0, 23));
}

// Every source layout at even and odd sizes, converted to RGB24 of the same
// size, against the picture. The RGB sources are bottom-up and the YUV ones
// top-down; every result is an upright bottom-up bitmap, so the YUV flip is
// checked by the quadrants' places (a missed flip swaps top and bottom, far
// beyond any tolerance), and YV12's plane order by the colours (swapped U
// and V turn red into blue). Sizes: even, odd in both directions, and the
// camera's usual 640 x 480.
TEST_F(ColorConverterTest, EverySourceLayoutToRgb24)
{
    for (const Size& size : kSizes) {
        const QuadPicture picture(size.width, size.height);
        for (const SourceCase& source : kSources) {
            SCOPED_TRACE(std::string(source.name) + " " + std::to_string(size.width) + "x" + std::to_string(size.height));
            std::vector<uint8_t> input = source.make(picture);
            ASSERT_EQ(input.size(), CColorConverter::PictureBytes(*source.subtype, size.width, size.height));
            std::vector<uint8_t> output(size_t(size.width) * size.height * 3, 0xEE);
            CColorConverter converter;
            converter.SetSource(*source.subtype, size.width, size.height, input.data());
            converter.SetDestination(MEDIASUBTYPE_RGB24, size.width, size.height, output.data());
            ASSERT_TRUE(converter.Convert());
            EXPECT_LE(MaxDifference(output, picture, source.margin), source.tolerance);
        }
    }
}

TEST_F(ColorConverterTest, YuvSourceComesOutBottomUpWhenScaled)
{
    const QuadPicture picture(640, 480);
    std::vector<uint8_t> input = Packed422Of(picture, false);
    std::vector<uint8_t> output(480 * 360 * 3);
    CColorConverter converter;
    converter.SetSource(MEDIASUBTYPE_YUY2, 640, 480, input.data());
    converter.SetDestination(MEDIASUBTYPE_RGB24, 480, 360, output.data());
    ASSERT_TRUE(converter.Convert());
    // First memory row: the bottom of the picture (blue, then yellow).
    const uint8_t* first = output.data();
    EXPECT_NEAR(30, first[3 * 10 + 2], 4);
    EXPECT_NEAR(210, first[3 * 10 + 0], 4);
    EXPECT_NEAR(230, first[3 * 470 + 2], 4);
    // Last memory row: the top (red, then green).
    const uint8_t* last = output.data() + size_t(359) * 480 * 3;
    EXPECT_NEAR(220, last[3 * 10 + 2], 4);
    EXPECT_NEAR(200, last[3 * 470 + 1], 4);
    EXPECT_LE(MaxDifference(output, QuadPicture(480, 360), 5), 6);
}

TEST_F(ColorConverterTest, Rgb24ScalingKeepsRowOrder)
{
    const QuadPicture source(800, 600);
    std::vector<uint8_t> input = Rgb24Of(source);
    const Size targets[] = {{800, 600}, {640, 480}, {320, 240}, {480, 360}, {400, 300}, {1280, 960}};
    for (const Size& target : targets) {
        SCOPED_TRACE(std::to_string(target.width) + "x" + std::to_string(target.height));
        std::vector<uint8_t> output(size_t(target.width) * target.height * 3);
        CColorConverter converter;
        converter.SetSource(MEDIASUBTYPE_RGB24, 800, 600, input.data());
        converter.SetDestination(MEDIASUBTYPE_RGB24, target.width, target.height, output.data());
        ASSERT_TRUE(converter.Convert());
        // Fast bilinear scaling is the scaler's low-precision mode: it rings
        // for a few pixels at a colour border and is off by up to 5 along
        // the picture's top rows.
        EXPECT_LE(MaxDifference(output, QuadPicture(target.width, target.height), 5), 6);
    }
    // Same size: a row-for-row copy.
    std::vector<uint8_t> copy(input.size());
    CColorConverter converter;
    converter.SetSource(MEDIASUBTYPE_RGB24, 800, 600, input.data());
    converter.SetDestination(MEDIASUBTYPE_RGB24, 800, 600, copy.data());
    ASSERT_TRUE(converter.Convert());
    EXPECT_EQ(input, copy);
}

// A top-down destination flips an RGB source the other way, and a YV12
// destination gets V before U: RGB24 -> YUY2 / YV12 -> RGB24 gives the
// picture back, and the intermediate pictures hold the top row first.
TEST_F(ColorConverterTest, TopDownDestinationsRoundTrip)
{
    const QuadPicture picture(64, 48);
    std::vector<uint8_t> rgb = Rgb24Of(picture);
    const Rgb red = picture.colours[0];
    struct Case {
        const GUID* subtype;
        const char* name;
    } cases[] = {{&MEDIASUBTYPE_YUY2, "YUY2"}, {&MEDIASUBTYPE_UYVY, "UYVY"}, {&MEDIASUBTYPE_YV12, "YV12"},
                 {&MEDIASUBTYPE_IYUV, "IYUV"}, {&MEDIASUBTYPE_RGB32, "RGB32"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> middle(CColorConverter::PictureBytes(*c.subtype, 64, 48));
        std::vector<uint8_t> back(rgb.size());
        CColorConverter converter;
        converter.SetSource(MEDIASUBTYPE_RGB24, 64, 48, rgb.data());
        converter.SetDestination(*c.subtype, 64, 48, middle.data());
        ASSERT_TRUE(converter.Convert());
        converter.SetSource(*c.subtype, 64, 48, middle.data());
        converter.SetDestination(MEDIASUBTYPE_RGB24, 64, 48, back.data());
        ASSERT_TRUE(converter.Convert());
        EXPECT_LE(MaxDifference(back, picture, 2), 6);
    }
    // The YUY2 picture's first row is the top (red): Y, then Cb.
    std::vector<uint8_t> yuy2(64 * 48 * 2);
    CColorConverter converter;
    converter.SetSource(MEDIASUBTYPE_RGB24, 64, 48, rgb.data());
    converter.SetDestination(MEDIASUBTYPE_YUY2, 64, 48, yuy2.data());
    ASSERT_TRUE(converter.Convert());
    EXPECT_NEAR(LumaOf(red), yuy2[0], 2);
    EXPECT_NEAR(CbOf(red), yuy2[1], 2);
    EXPECT_NEAR(CrOf(red), yuy2[3], 2);
    // The YV12 picture's second plane is V.
    std::vector<uint8_t> yv12(CColorConverter::PictureBytes(MEDIASUBTYPE_YV12, 64, 48));
    converter.SetDestination(MEDIASUBTYPE_YV12, 64, 48, yv12.data());
    ASSERT_TRUE(converter.Convert());
    EXPECT_NEAR(LumaOf(red), yv12[0], 2);
    EXPECT_NEAR(CrOf(red), yv12[64 * 48], 2);
    EXPECT_NEAR(CbOf(red), yv12[64 * 48 + 32 * 24], 2);
}

// U and V planes of different colours: YV12 and IYUV read the same bytes
// with the planes in opposite order and so give different, correct colours.
TEST_F(ColorConverterTest, Yv12KeepsItsColours)
{
    const QuadPicture picture(32, 16);
    std::vector<uint8_t> yv12 = PlanarOf(picture, 1, 1, true);
    std::vector<uint8_t> asYv12(32 * 16 * 3), asIyuv(32 * 16 * 3);
    CColorConverter converter;
    converter.SetSource(MEDIASUBTYPE_YV12, 32, 16, yv12.data());
    converter.SetDestination(MEDIASUBTYPE_RGB24, 32, 16, asYv12.data());
    ASSERT_TRUE(converter.Convert());
    converter.SetSource(MEDIASUBTYPE_IYUV, 32, 16, yv12.data());
    converter.SetDestination(MEDIASUBTYPE_RGB24, 32, 16, asIyuv.data());
    ASSERT_TRUE(converter.Convert());
    EXPECT_LE(MaxDifference(asYv12, picture, 2), 3);
    EXPECT_GT(MaxDifference(asIyuv, picture), 60);
}

TEST_F(ColorConverterTest, RepeatedConversionsGiveTheSameResult)
{
    const QuadPicture picture(64, 48);
    std::vector<uint8_t> yuy2 = Packed422Of(picture, false);
    std::vector<uint8_t> first(64 * 48 * 3), second(64 * 48 * 3);
    CColorConverter converter;
    converter.SetSource(MEDIASUBTYPE_YUY2, 64, 48, yuy2.data());
    converter.SetDestination(MEDIASUBTYPE_RGB24, 64, 48, first.data());
    ASSERT_TRUE(converter.Convert());
    converter.SetDestination(MEDIASUBTYPE_RGB24, 64, 48, second.data());
    ASSERT_TRUE(converter.Convert());
    EXPECT_EQ(first, second);
}

TEST_F(ColorConverterTest, RefusalsLeaveTheDestinationAlone)
{
    std::vector<uint8_t> source(64 * 48 * 3, 0x40);
    const std::vector<uint8_t> untouched(64 * 48 * 3, 0xA5);
    std::vector<uint8_t> destination = untouched;

    CColorConverter nothingSet;
    EXPECT_FALSE(nothingSet.Convert());

    CColorConverter noDestination;
    noDestination.SetSource(MEDIASUBTYPE_RGB24, 64, 48, source.data());
    EXPECT_FALSE(noDestination.Convert());

    struct Bad {
        int sw, sh, dw, dh;
        bool nullSource, nullDestination;
    } cases[] = {{0, 48, 64, 48, false, false},  {64, -1, 64, 48, false, false}, {64, 48, 0, 0, false, false},
                 {64, 48, 64, 48, true, false},  {64, 48, 64, 48, false, true},  {1 << 20, 1 << 20, 64, 48, false, false}};
    for (const Bad& bad : cases) {
        CColorConverter converter;
        converter.SetSource(MEDIASUBTYPE_RGB24, bad.sw, bad.sh, bad.nullSource ? nullptr : source.data());
        converter.SetDestination(MEDIASUBTYPE_RGB24, bad.dw, bad.dh, bad.nullDestination ? nullptr : destination.data());
        EXPECT_FALSE(converter.Convert()) << bad.sw << "x" << bad.sh << " -> " << bad.dw << "x" << bad.dh;
        EXPECT_EQ(untouched, destination);
    }
}

namespace {

std::vector<uint8_t> Noise(size_t bytes, uint32_t seed)
{
    std::vector<uint8_t> out(bytes);
    for (uint8_t& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    return out;
}

// One conversion to a bottom-up RGB destination as the converter first did
// it: a scaler made for the call and freed after it, the destination walked
// from its last row for a top-down source, YV12's chroma planes swapped.
bool ConvertAfresh(const GUID& subtype, int sourceWidth, int sourceHeight, const uint8_t* source, int width,
                   int height, uint8_t* destination, AVPixelFormat destinationFormat, int destinationPixelBytes)
{
    bool topDown = false;
    const AVPixelFormat format = CColorConverter::SubtypeToPixelFormat(subtype, &topDown);
    uint8_t* planes[4] = {};
    int strides[4] = {};
    if (av_image_fill_arrays(planes, strides, source, format, sourceWidth, sourceHeight, 1) < 0)
        return false;
    if (IsEqualGUID(subtype, MEDIASUBTYPE_YV12)) {
        std::swap(planes[1], planes[2]);
        std::swap(strides[1], strides[2]);
    }
    SwsContext* context = sws_getContext(sourceWidth, sourceHeight, format, width, height, destinationFormat,
                                         SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (!context)
        return false;
    const int row = width * destinationPixelBytes;
    uint8_t* target[4] = {destination, nullptr, nullptr, nullptr};
    int targetStride[4] = {row, 0, 0, 0};
    if (topDown) {
        target[0] = destination + size_t(row) * (height - 1);
        targetStride[0] = -row;
    }
    const int rows = sws_scale(context, planes, strides, 0, sourceHeight, target, targetStride);
    sws_freeContext(context);
    return rows > 0;
}

struct ScaleCase {
    const GUID* subtype;
    int sourceWidth, sourceHeight, width, height;
};

} // namespace

// One converter keeps its scalers between calls; every picture must still be
// the one a scaler made for that call alone gives, byte for byte, whether
// the sizes stay (kept scaler), change (a new one) or come back. Sizes: odd
// widths, one-pixel rows and columns, the same size (copied), scaling up and
// down, and the camera's and filter's usual sizes.
TEST_F(ColorConverterTest, KeptScalerGivesThePictureOfAFreshOne)
{
    const ScaleCase cases[] = {
        {&MEDIASUBTYPE_RGB24, 800, 600, 640, 480},  {&MEDIASUBTYPE_RGB24, 800, 600, 640, 480},
        {&MEDIASUBTYPE_RGB24, 800, 600, 320, 240},  {&MEDIASUBTYPE_RGB24, 320, 240, 640, 480},
        {&MEDIASUBTYPE_RGB24, 480, 360, 1280, 720}, {&MEDIASUBTYPE_RGB24, 37, 23, 37, 23},
        {&MEDIASUBTYPE_RGB24, 37, 23, 61, 29},      {&MEDIASUBTYPE_RGB24, 61, 29, 37, 23},
        {&MEDIASUBTYPE_RGB24, 1, 1, 1, 1},          {&MEDIASUBTYPE_RGB24, 1, 17, 9, 17},
        {&MEDIASUBTYPE_RGB24, 17, 1, 17, 3},        {&MEDIASUBTYPE_RGB24, 33, 17, 1, 1},
        {&MEDIASUBTYPE_RGB24, 5, 3, 5, 3},          {&MEDIASUBTYPE_RGB32, 74, 74, 74, 74},
        {&MEDIASUBTYPE_RGB32, 100, 50, 74, 74},     {&MEDIASUBTYPE_RGB565, 33, 17, 33, 17},
        {&MEDIASUBTYPE_RGB555, 33, 17, 20, 15},     {&MEDIASUBTYPE_YUY2, 640, 480, 640, 480},
        {&MEDIASUBTYPE_YUY2, 640, 480, 480, 360},   {&MEDIASUBTYPE_YV12, 64, 48, 64, 48},
        {&MEDIASUBTYPE_YV12, 38, 22, 77, 45},       {&MEDIASUBTYPE_UYVY, 38, 22, 38, 22},
    };
    const size_t count = sizeof(cases) / sizeof(cases[0]);
    // Forwards, then backwards (every size also follows another one), then
    // the frame roads' turn-taking: a camera frame, its preview, now and then
    // a third set-up in between.
    std::vector<size_t> order;
    for (size_t n = 0; n < count; ++n)
        order.push_back(n);
    for (size_t n = 0; n < count; ++n)
        order.push_back(count - 1 - n);
    for (size_t round = 0; round < 4; ++round) {
        order.push_back(18);
        order.push_back(2);
        if (round % 2)
            order.push_back(0);
    }
    CColorConverter kept;
    for (size_t n = 0; n < order.size(); ++n) {
        const ScaleCase& c = cases[order[n]];
        SCOPED_TRACE(std::to_string(c.sourceWidth) + "x" + std::to_string(c.sourceHeight) + " -> " +
                     std::to_string(c.width) + "x" + std::to_string(c.height) + " case " + std::to_string(n));
        // 32-bit pictures (the mark's) go to a 32-bit destination, the rest to RGB24.
        const bool rgb32 = IsEqualGUID(*c.subtype, MEDIASUBTYPE_RGB32);
        const GUID& target = rgb32 ? MEDIASUBTYPE_RGB32 : MEDIASUBTYPE_RGB24;
        const int pixelBytes = rgb32 ? 4 : 3;
        // The scaler's vector loops may read and write a little past a
        // picture: both pictures carry room, alike, after their last row.
        const std::vector<uint8_t> source =
            Noise(CColorConverter::PictureBytes(*c.subtype, c.sourceWidth, c.sourceHeight) + 256, uint32_t(n * 7919));
        const size_t outBytes = size_t(c.width) * c.height * pixelBytes + 256;
        std::vector<uint8_t> expected(outBytes, 0x5A), actual(outBytes, 0x5A);
        const bool expectedOk = ConvertAfresh(*c.subtype, c.sourceWidth, c.sourceHeight, source.data(), c.width,
                                              c.height, expected.data(), rgb32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24,
                                              pixelBytes);
        kept.SetSource(*c.subtype, c.sourceWidth, c.sourceHeight, source.data());
        kept.SetDestination(target, c.width, c.height, actual.data());
        ASSERT_TRUE(expectedOk);
        ASSERT_TRUE(kept.Convert());
        ASSERT_EQ(expected, actual);
    }
}
