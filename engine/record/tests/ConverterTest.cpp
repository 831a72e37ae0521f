#include "ReferenceI420.h"
#include "Rgb24ToI420.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <vector>

using tq::CRgb24ToI420;

namespace {

struct Bgr { uint8_t b, g, r; };

struct PixelCase { Bgr pixel; int y, u, v; };

// Whole-frame single colour: Y, and U and V unchanged by averaging.
const PixelCase kPixelCases[] = {
    {{0, 0, 0}, 16, 128, 128},
    {{255, 255, 255}, 232, 128, 128},
    {{255, 0, 0}, 39, 239, 110},   // blue
    {{0, 255, 0}, 143, 54, 35},    // green
    {{0, 0, 255}, 80, 91, 239},    // red
    {{10, 200, 90}, 139, 61, 94},
};

std::vector<uint8_t> Fill(int width, int height, Bgr pixel)
{
    std::vector<uint8_t> out;
    for (int i = 0; i < width * height; ++i) {
        out.push_back(pixel.b);
        out.push_back(pixel.g);
        out.push_back(pixel.r);
    }
    return out;
}

} // namespace

TEST(Rgb24ToI420, KnownColoursGiveExactYuv)
{
    CRgb24ToI420 converter;
    for (const PixelCase& c : kPixelCases) {
        std::vector<uint8_t> source = Fill(4, 2, c.pixel);
        std::vector<uint8_t> out(4 * 2 * 3 / 2, 0xEE);
        int size = 0;
        ASSERT_TRUE(converter.Convert(source.data(), out.data(), 4, 2, &size));
        EXPECT_EQ(12, size);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(c.y, out[i]) << "Y of " << int(c.pixel.b) << "," << int(c.pixel.g) << "," << int(c.pixel.r);
        EXPECT_EQ(c.u, out[8]);
        EXPECT_EQ(c.u, out[9]);
        EXPECT_EQ(c.v, out[10]);
        EXPECT_EQ(c.v, out[11]);
    }
}

TEST(Rgb24ToI420, ChromaIsTruncatedMeanOfEachTwoByTwoBlock)
{
    // Left block: blue, blue over red, black. Right block: all green.
    const Bgr blue{255, 0, 0}, red{0, 0, 255}, black{0, 0, 0}, green{0, 255, 0};
    const Bgr rows[2][4] = {{blue, blue, green, green}, {red, black, green, green}};
    std::vector<uint8_t> source;
    for (auto& row : rows)
        for (const Bgr& p : row)
            source.insert(source.end(), {p.b, p.g, p.r});
    std::vector<uint8_t> out(12);
    int size = 0;
    CRgb24ToI420 converter;
    ASSERT_TRUE(converter.Convert(source.data(), out.data(), 4, 2, &size));
    const uint8_t expectedY[8] = {39, 39, 143, 143, 80, 16, 143, 143};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(expectedY[i], out[i]) << i;
    EXPECT_EQ((239 + 239 + 91 + 128) >> 2, out[8]);   // 174.25 -> 174
    EXPECT_EQ(54, out[9]);
    EXPECT_EQ((110 + 110 + 239 + 128) >> 2, out[10]); // 146.75 -> 146
    EXPECT_EQ(35, out[11]);
}

TEST(Rgb24ToI420, RefusesBadArguments)
{
    CRgb24ToI420 converter;
    std::vector<uint8_t> source(2050 * 1682 * 3), out(2050 * 1682 * 2);
    int size = 0;
    struct { const uint8_t* s; uint8_t* d; int w, h; } cases[] = {
        {nullptr, out.data(), 4, 2},
        {source.data(), nullptr, 4, 2},
        {out.data(), out.data(), 4, 2},
        {source.data(), out.data(), 0, 2},
        {source.data(), out.data(), 4, 0},
        {source.data(), out.data(), 2050, 2},
        {source.data(), out.data(), 4, 1682},
        {source.data(), out.data(), 3, 2},   // odd sizes would read past the rows
        {source.data(), out.data(), 4, 3},
    };
    for (auto& c : cases)
        EXPECT_FALSE(converter.Convert(c.s, c.d, c.w, c.h, &size)) << c.w << "x" << c.h;
    EXPECT_TRUE(converter.Convert(source.data(), out.data(), 2048, 1680, &size));
    EXPECT_EQ(2048 * 1680 * 3 / 2, size);
}

TEST(Rgb24ToI420, WorkPlanesGrowWhenTheFrameGrows)
{
    CRgb24ToI420 converter;
    std::vector<uint8_t> small = Fill(2, 2, {0, 0, 255});
    std::vector<uint8_t> big = Fill(400, 300, {255, 0, 0});
    std::vector<uint8_t> out(400 * 300 * 3 / 2);
    int size = 0;
    ASSERT_TRUE(converter.Convert(small.data(), out.data(), 2, 2, &size));
    ASSERT_TRUE(converter.Convert(big.data(), out.data(), 400, 300, &size));
    EXPECT_EQ(180000, size);
    EXPECT_EQ(239, out[400 * 300 + 30000 - 1]);   // last U
    EXPECT_EQ(110, out[400 * 300 * 5 / 4 + 29999]); // last V
}

TEST(Rgb24ToI420, FlipSwapsRowsAndIgnoresBadSizes)
{
    std::vector<uint8_t> pixels(2 * 3 * 3);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i);
    std::vector<uint8_t> original = pixels;
    CRgb24ToI420::Flip(pixels.data(), 2, 3);
    for (int row = 0; row < 3; ++row)
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(original[(2 - row) * 6 + i], pixels[row * 6 + i]);
    CRgb24ToI420::Flip(pixels.data(), 2, 3);
    EXPECT_EQ(original, pixels);

    CRgb24ToI420::Flip(pixels.data(), 0, 3);
    CRgb24ToI420::Flip(pixels.data(), 1366, 1);
    CRgb24ToI420::Flip(pixels.data(), 2, 1681);
    CRgb24ToI420::Flip(nullptr, 2, 3);
    EXPECT_EQ(original, pixels);
}

// Every colour, in every place of a 2 x 2 block, against the plain 16.16
// conversion: the recorder's pictures must not change by a single value.
TEST(Rgb24ToI420, EveryColourMatchesTheSixteenSixteenConversion)
{
    // Not a multiple of 8 wide: the rows' last pixels take the plain path.
    const int width = 2044, height = 1026;
    std::vector<uint8_t> source(width * height * 3), out(width * height * 3 / 2);
    for (uint32_t first = 0; first < (1u << 24); first += width * height) {
        for (int i = 0; i < width * height; ++i) {
            // An odd step makes this a permutation of the 2^24 colours, and
            // neighbours in a block differ in every channel.
            const uint32_t colour = ((first + uint32_t(i)) * 0x9E3779u) & 0xFFFFFFu;
            source[i * 3] = uint8_t(colour);
            source[i * 3 + 1] = uint8_t(colour >> 8);
            source[i * 3 + 2] = uint8_t(colour >> 16);
        }
        int size = 0;
        for (bool bottomUp : {false, true}) {
            ASSERT_TRUE(CRgb24ToI420::Convert(source.data(), out.data(), width, height, &size, bottomUp));
            ASSERT_EQ(rectest::ReferenceI420(source.data(), width, height, bottomUp), out)
                << "colours from " << first << (bottomUp ? " bottom up" : "");
        }
    }
}

// Reading the rows bottom first gives what flipping the picture and then
// converting it gives, and leaves the picture as it was.
TEST(Rgb24ToI420, BottomUpReadsTheRowsInReverseOrder)
{
    const struct { int width, height; } sizes[] = {{2, 2}, {4, 6}, {6, 2}, {400, 300}, {1364, 4}};
    for (const auto& c : sizes) {
        std::vector<uint8_t> picture(c.width * c.height * 3);
        for (size_t i = 0; i < picture.size(); ++i)
            picture[i] = uint8_t(i * 7 + i / 11);
        const std::vector<uint8_t> before = picture;
        std::vector<uint8_t> flipped = picture;
        CRgb24ToI420::Flip(flipped.data(), c.width, c.height);
        std::vector<uint8_t> expected(c.width * c.height * 3 / 2), out(expected.size(), 0xEE);
        int size = 0;
        ASSERT_TRUE(CRgb24ToI420::Convert(flipped.data(), expected.data(), c.width, c.height, &size));
        ASSERT_TRUE(CRgb24ToI420::Convert(picture.data(), out.data(), c.width, c.height, &size, true));
        EXPECT_EQ(expected, out) << c.width << "x" << c.height;
        EXPECT_EQ(before, picture) << c.width << "x" << c.height;
    }
}
