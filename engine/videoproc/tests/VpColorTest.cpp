#include <gtest/gtest.h>

#include "FrameFixtures.h"
#include "VpColor.h"

namespace {

TEST(GammaPass, TableForExponent1_2)
{
    vp::GammaPass gamma;
    const int identity[] = {0, 64, 128, 255};
    for (int i : identity)
        EXPECT_EQ(gamma.Entry(i), i);  // exponent 1 until told otherwise
    const struct { int in, out; } cases[] = {{0, 0}, {64, 80}, {128, 143}, {255, 255}, {1, 2}};
    uint8_t row[15];
    for (size_t i = 0; i < 5; ++i)
        row[i * 3] = row[i * 3 + 1] = row[i * 3 + 2] = (uint8_t)cases[i].in;
    gamma.Apply(row, 5, 1, 15, 1.2);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(row[i * 3 + 1], cases[i].out) << cases[i].in;
    gamma.SetExponent(-3.0);  // counts as 1
    EXPECT_EQ(gamma.Exponent(), 1.0);
    EXPECT_EQ(gamma.Entry(64), 64);
}

TEST(GammaPass, LeavesStridePaddingAlone)
{
    uint8_t frame[2 * 8];
    std::memset(frame, 64, sizeof frame);
    vp::GammaPass gamma;
    gamma.Apply(frame, 2, 2, 8, 1.2);  // rows of 6 bytes, 8 apart
    EXPECT_EQ(frame[5], 80);
    EXPECT_EQ(frame[6], 64);
    EXPECT_EQ(frame[7], 64);
    EXPECT_EQ(frame[8], 80);
}

TEST(WhiteBalancePass, GreyFramesKeepTheirValues)
{
    for (int level : {129, 160, 200, 255}) {
        std::vector<uint8_t> frame(40 * 30 * 3);
        FillFlat(frame.data(), 40, 30, 120, (uint8_t)level, (uint8_t)level, (uint8_t)level);
        const std::vector<uint8_t> before = frame;
        vp::WhiteBalancePass pass;
        pass.Apply(frame.data(), 40, 30, 120);
        EXPECT_EQ(frame, before) << level;
    }
}

TEST(WhiteBalancePass, DarkFrameIsUnchanged)
{
    std::vector<uint8_t> frame(40 * 30 * 3);
    FillFlat(frame.data(), 40, 30, 120, 90, 120, 60);  // fails the brightness test
    const std::vector<uint8_t> before = frame;
    vp::WhiteBalancePass pass;
    pass.Apply(frame.data(), 40, 30, 120);
    EXPECT_EQ(frame, before);
}

TEST(WhiteBalancePass, FlatColourCastBecomesGrey)
{
    // Bright frames with a cast: bytes 0 and 2 are scaled onto byte 1.
    const struct { uint8_t c0, c1, c2; } cases[] = {{190, 200, 215}, {215, 200, 190}, {180, 200, 200}, {160, 200, 220}};
    for (const auto& c : cases) {
        std::vector<uint8_t> frame(40 * 30 * 3);
        FillFlat(frame.data(), 40, 30, 120, c.c0, c.c1, c.c2);
        vp::WhiteBalancePass pass;
        pass.Apply(frame.data(), 40, 30, 120);
        EXPECT_NEAR(frame[0], c.c1, 1) << int(c.c0) << " " << int(c.c2);
        EXPECT_EQ(frame[1], c.c1);  // the middle byte is never touched
        EXPECT_NEAR(frame[2], c.c1, 1) << int(c.c0) << " " << int(c.c2);
        EXPECT_EQ(frame[frame.size() - 3], frame[0]);
    }
}

}  // namespace
