#include "PixelEffects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Pixel k of a frame holds the bytes 3k, 3k+1, 3k+2, so a pixel that moves
// shows where it came from and split pixels show at once.
std::vector<uint8_t> Numbered(int width, int height)
{
    std::vector<uint8_t> frame(size_t(width) * height * 3);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i);
    return frame;
}

std::vector<uint8_t> FromPixelOrder(const std::vector<int>& order)
{
    std::vector<uint8_t> frame;
    for (int k : order)
        for (int c = 0; c < 3; ++c)
            frame.push_back(uint8_t(3 * k + c));
    return frame;
}

struct FlipCase {
    int width, height;
    bool flip, mirror;
    std::vector<int> expected;  // source pixel of every pixel, bottom row first
};

class FlipTest : public ::testing::TestWithParam<FlipCase> {};

TEST_P(FlipTest, MovesWholePixels)
{
    const FlipCase& c = GetParam();
    std::vector<uint8_t> frame = Numbered(c.width, c.height);
    CFlipMirror flips;
    flips.flip = c.flip;
    flips.mirror = c.mirror;
    flips.ApplyFlips(frame.data(), c.width, c.height);
    EXPECT_EQ(FromPixelOrder(c.expected), frame);
}

INSTANTIATE_TEST_SUITE_P(Frames, FlipTest, ::testing::Values(
    FlipCase{3, 1, false, true, {2, 1, 0}},              // odd width: middle pixel stays
    FlipCase{4, 1, false, true, {3, 2, 1, 0}},
    FlipCase{1, 3, true, false, {2, 1, 0}},              // odd height: middle row stays
    FlipCase{2, 3, true, false, {4, 5, 2, 3, 0, 1}},
    FlipCase{2, 2, true, true, {3, 2, 1, 0}},            // flip, then mirror
    FlipCase{2, 2, false, false, {0, 1, 2, 3}}));

TEST(FinalMirror, UsesOnlyTheMirrorFlag)
{
    std::vector<uint8_t> frame = Numbered(2, 2);
    CFlipMirror finalMirror;
    finalMirror.flip = true;  // never read by the final mirror
    finalMirror.mirror = true;
    finalMirror.ApplyMirror(frame.data(), 2, 2);
    EXPECT_EQ(FromPixelOrder({1, 0, 3, 2}), frame);
}

struct SymmetryCase {
    int width, height;
    std::vector<int> expected;
};

class SymmetryTest : public ::testing::TestWithParam<SymmetryCase> {};

TEST_P(SymmetryTest, CopiesLeftHalfMirroredOverRight)
{
    const SymmetryCase& c = GetParam();
    std::vector<uint8_t> frame = Numbered(c.width, c.height);
    ApplySymmetry(frame.data(), c.width, c.height);
    EXPECT_EQ(FromPixelOrder(c.expected), frame);
}

INSTANTIATE_TEST_SUITE_P(Frames, SymmetryTest, ::testing::Values(
    SymmetryCase{4, 1, {0, 1, 1, 0}},
    SymmetryCase{5, 1, {0, 1, 2, 1, 0}},
    SymmetryCase{4, 2, {0, 1, 1, 0, 4, 5, 5, 4}},
    SymmetryCase{1, 2, {0, 1}}));

TEST(Symmetry, WideFrameEdges)
{
    const int width = 480;
    std::vector<uint8_t> frame(width * 3);
    for (int i = 0; i < width; ++i)
        frame[i * 3] = uint8_t(i), frame[i * 3 + 1] = uint8_t(i >> 8), frame[i * 3 + 2] = 77;
    const std::vector<uint8_t> before = frame;
    ApplySymmetry(frame.data(), width, 1);
    EXPECT_EQ(0, memcmp(&frame[479 * 3], &before[0], 3));
    EXPECT_EQ(0, memcmp(&frame[240 * 3], &before[239 * 3], 3));
    EXPECT_EQ(0, memcmp(&frame[0], &before[0], 240 * 3));  // left half unchanged
}

struct TintCase {
    unsigned r, g, b;                 // the SetColor call
    uint8_t pixel[3], expected[3];    // blue, green, red
};

class TintTest : public ::testing::TestWithParam<TintCase> {};

TEST_P(TintTest, AddsAndSaturates)
{
    const TintCase& c = GetParam();
    CTintEffect tint;
    tint.SetColor(100, 0, 0, 0);  // a red that an out-of-range value must keep
    tint.SetColor(c.r, c.g, c.b, 0);
    uint8_t frame[6];
    memcpy(frame, c.pixel, 3);
    memcpy(frame + 3, c.pixel, 3);
    tint.Apply(frame, 2, 1);
    EXPECT_EQ(0, memcmp(c.expected, frame, 3));
    EXPECT_EQ(0, memcmp(c.expected, frame + 3, 3));
}

INSTANTIATE_TEST_SUITE_P(Colours, TintTest, ::testing::Values(
    TintCase{300, 20, 20, {250, 10, 0}, {255, 30, 100}},      // red kept, blue saturates
    TintCase{200, 0, 0, {0, 0, 100}, {0, 0, 255}},            // red saturates
    TintCase{unsigned(-1), 5, 6, {1, 2, 3}, {7, 7, 103}},     // negative ignored
    TintCase{0, 0, 0, {9, 8, 7}, {9, 8, 7}}));

TEST(Tint, OffOrStoppedLeavesFrameAlone)
{
    CTintEffect tint;
    uint8_t frame[3] = {1, 2, 3};
    tint.Apply(frame, 1, 1);
    tint.SetColor(50, 50, 50, 0);
    tint.SetParams(-10, 5, 200, 0);
    EXPECT_EQ(-10, tint.params[0]);
    EXPECT_EQ(5, tint.params[1]);
    EXPECT_EQ(0, tint.params[2]);  // above 125: ignored
    tint.Stop(0);
    tint.Apply(frame, 1, 1);
    EXPECT_EQ(1, frame[0]);
    EXPECT_EQ(3, frame[2]);
    EXPECT_EQ(0, tint.r);
    EXPECT_EQ(0, tint.params[0]);
}

// Fills the scaled picture with its own coordinates: blue = x, green = y.
class CoordinateScaler : public CPictureScaler {
public:
    int calls = 0, lastWidth = 0, lastHeight = 0;
    bool Scale(const uint8_t*, int, int, uint8_t* destination, int width, int height, PixelLayout) override
    {
        ++calls;
        lastWidth = width;
        lastHeight = height;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint8_t* p = destination + (size_t(y) * width + x) * 3;
                p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = 7;
            }
        return true;
    }
};

struct StretchCase {
    int amount, width, height;
    int scaledWidth, scaledHeight;  // 0: no scaling
    int firstColumn, firstRow;      // of the scaled picture shown at (0, 0)
};

class StretchTest : public ::testing::TestWithParam<StretchCase> {};

TEST_P(StretchTest, ShowsTheCentreOfTheScaledPicture)
{
    const StretchCase& c = GetParam();
    CoordinateScaler scaler;
    CStretchEffect stretch(&scaler);
    stretch.Set(c.amount, 0);
    std::vector<uint8_t> frame(size_t(c.width) * c.height * 3, 200);
    stretch.Apply(frame.data(), c.width, c.height);
    if (c.scaledWidth == 0) {
        EXPECT_EQ(0, scaler.calls);
        EXPECT_EQ(std::vector<uint8_t>(frame.size(), 200), frame);
        return;
    }
    ASSERT_EQ(1, scaler.calls);
    EXPECT_EQ(c.scaledWidth, scaler.lastWidth);
    EXPECT_EQ(c.scaledHeight, scaler.lastHeight);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const uint8_t* p = &frame[(size_t(y) * c.width + x) * 3];
            ASSERT_EQ(uint8_t(c.firstColumn + x), p[0]) << x << "," << y;
            ASSERT_EQ(uint8_t(c.firstRow + y), p[1]) << x << "," << y;
            ASSERT_EQ(7, p[2]);
        }
}

INSTANTIATE_TEST_SUITE_P(Amounts, StretchTest, ::testing::Values(
    StretchCase{1, 480, 360, 484, 360, 2, 0},
    StretchCase{50, 8, 6, 12, 6, 2, 0},
    StretchCase{80, 8, 6, 12, 6, 2, 0},      // clamped to 50
    StretchCase{-50, 8, 6, 8, 9, 0, 1},
    StretchCase{-80, 8, 4, 8, 6, 0, 1},      // clamped to -50
    StretchCase{-1, 4, 3, 0, 0, 0, 0},       // too small to change the size
    StretchCase{0, 8, 6, 0, 0, 0, 0}));

TEST(Stretch, ClampsAndRunsItsClock)
{
    CStretchEffect stretch(nullptr);
    stretch.Set(80, 1000);
    EXPECT_EQ(50, stretch.Amount());
    stretch.Set(-80, 2000);  // still on: the clock keeps its start
    EXPECT_EQ(-50, stretch.Amount());
    stretch.Set(0, 4500);
    EXPECT_FALSE(stretch.Clock().on);
    EXPECT_EQ(3, stretch.Clock().Query(9000, 2));
    stretch.Set(10, 10000);
    stretch.Stop(11000);
    EXPECT_EQ(0, stretch.Amount());
    EXPECT_EQ(0, stretch.Clock().Query(20000, 2));  // 1 s is under the floor
}

TEST(Stretch, RealScalerKeepsRowsApart)
{
    // Rows of one colour each: a horizontal stretch must keep every row
    // uniform and in its place (neighbouring rows differ by 5; the scaler
    // rounds by up to 2 at the picture's edge).
    const int width = 64, height = 48;
    std::vector<uint8_t> frame(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            frame[size_t(y) * width * 3 + x] = uint8_t(y * 5);
    CPictureScaler scaler;
    CStretchEffect stretch(&scaler);
    stretch.Set(50, 0);
    stretch.Apply(frame.data(), width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            ASSERT_NEAR(y * 5, frame[size_t(y) * width * 3 + x], 2) << x << "," << y;
}

// The effects as the compose pass first ran them: one whole-frame pass
// each, byte by byte, in their order.
namespace separate {

void Flip(std::vector<uint8_t>& f, int width, int height)
{
    const size_t row = size_t(width) * 3;
    for (int r = 0; r < height / 2; ++r)
        for (size_t k = 0; k < row; ++k)
            std::swap(f[row * r + k], f[row * (height - 1 - r) + k]);
}

void Mirror(std::vector<uint8_t>& f, int width, int height)
{
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width / 2; ++i)
            for (int c = 0; c < 3; ++c)
                std::swap(f[(size_t(y) * width + i) * 3 + c], f[(size_t(y) * width + width - 1 - i) * 3 + c]);
}

void Stretch(std::vector<uint8_t>& f, int width, int height, int amount, CPictureScaler& scaler)
{
    const double x = amount / 50.0 * 0.5;
    const int w = amount > 0 ? int((1 + x) * width) : width;
    const int h = amount < 0 ? int((1 - x) * height) : height;
    if (amount == 0 || (w == width && h == height))
        return;
    std::vector<uint8_t> scaled(size_t(((w * 24 + 31) >> 3) & ~3) * h);
    if (!scaler.Scale(f.data(), width, height, scaled.data(), w, h, PixelLayout::Bgr24))
        return;
    const int e = h / 2 - height / 2, g = w / 2 - width / 2;
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width * 3; ++i)
            f[size_t(y) * width * 3 + i] = scaled[(size_t(y + e) * w + g) * 3 + i];
}

void Tint(std::vector<uint8_t>& f, int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    const int add[3] = {b, g, r};
    for (size_t i = 0; i < size_t(width) * height * 3; ++i)
        f[i] = uint8_t(std::min(255, f[i] + add[i % 3]));
}

void Symmetry(std::vector<uint8_t>& f, int width, int height)
{
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width / 2; ++i)
            for (int c = 0; c < 3; ++c)
                f[(size_t(y) * width + width - 1 - i) * 3 + c] = f[(size_t(y) * width + i) * 3 + c];
}

} // namespace separate

std::vector<uint8_t> Noise(size_t bytes, uint32_t seed)
{
    std::vector<uint8_t> out(bytes);
    for (uint8_t& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    return out;
}

struct EffectsSize {
    int width, height;
};

// Odd and even widths around the four-pixel groups the row loops use, one
// pixel wide or high, and a frame of the engine's 4:3 sizes.
const EffectsSize kEffectsSizes[] = {{1, 1}, {1, 4}, {4, 1}, {2, 3}, {3, 2}, {5, 3}, {7, 4}, {8, 6},
                                     {9, 5}, {13, 3}, {16, 9}, {17, 2}, {33, 7}, {64, 48}, {160, 120}};

// Every combination of the flips, the stretch (wider, taller, off), the tint
// (with saturation) and the symmetry, through the real scaler and through one
// that writes its coordinates: the one-sweep pass gives the separate passes'
// frame byte for byte, and so does each pass on its own.
TEST(PixelEffects, OneSweepGivesTheSeparatePasses)
{
    const int amounts[] = {0, 30, -30, 50};
    uint32_t seed = 1;
    for (const EffectsSize& size : kEffectsSizes)
        for (int real = 0; real < 2; ++real)
            for (int amount : amounts)
                for (int mask = 0; mask < 16; ++mask) {
                    const bool flip = mask & 1, mirror = mask & 2, tinted = mask & 4, symmetry = mask & 8;
                    SCOPED_TRACE(::testing::Message() << size.width << "x" << size.height << (real ? " real" : " coords")
                                                      << " stretch " << amount << " flip " << flip << " mirror "
                                                      << mirror << " tint " << tinted << " symmetry " << symmetry);
                    // The scaler may read a little past the last row: every copy of
                    // the frame carries the same bytes after it, which must stay.
                    const std::vector<uint8_t> frame = Noise(size_t(size.width) * size.height * 3 + 64, seed++);
                    CPictureScaler realForReference, realForPass;
                    CoordinateScaler coordsForReference, coordsForPass;
                    CPictureScaler& referenceScaler = real ? realForReference : coordsForReference;
                    CPictureScaler& passScaler = real ? realForPass : coordsForPass;

                    std::vector<uint8_t> expected = frame;
                    if (flip)
                        separate::Flip(expected, size.width, size.height);
                    if (mirror)
                        separate::Mirror(expected, size.width, size.height);
                    separate::Stretch(expected, size.width, size.height, amount, referenceScaler);
                    if (tinted)
                        separate::Tint(expected, size.width, size.height, 60, 200, 7);
                    if (symmetry)
                        separate::Symmetry(expected, size.width, size.height);

                    CFlipMirror flips;
                    flips.flip = flip;
                    flips.mirror = mirror;
                    CStretchEffect stretch(&passScaler);
                    stretch.Set(amount, 0);
                    CTintEffect tint;
                    if (tinted)
                        tint.SetColor(60, 200, 7, 0);
                    std::vector<uint8_t> swept = frame;
                    ApplyPixelEffects(swept.data(), size.width, size.height, flips, stretch, tint, symmetry);
                    ASSERT_EQ(expected, swept);

                    // The passes one by one, as the benchmark and the final mirror use them.
                    std::vector<uint8_t> passes = frame;
                    flips.ApplyFlips(passes.data(), size.width, size.height);
                    stretch.Apply(passes.data(), size.width, size.height);
                    tint.Apply(passes.data(), size.width, size.height);
                    if (symmetry)
                        ApplySymmetry(passes.data(), size.width, size.height);
                    ASSERT_EQ(expected, passes);

                    std::vector<uint8_t> mirrored = frame, mirroredReference = frame;
                    flips.ApplyMirror(mirrored.data(), size.width, size.height);
                    if (mirror)
                        separate::Mirror(mirroredReference, size.width, size.height);
                    ASSERT_EQ(mirroredReference, mirrored);
                }
}

}  // namespace
