#include "MarkPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const int kSize = CMarkPicture::kMarkSize;

MarkBitmap Solid(int width, int height, uint8_t b, uint8_t g, uint8_t r, uint8_t a)
{
    MarkBitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    for (int i = 0; i < width * height; ++i)
        bitmap.pixels.insert(bitmap.pixels.end(), {b, g, r, a});
    return bitmap;
}

CMarkPicture::Loader LoaderOf(const MarkBitmap& bitmap)
{
    return [bitmap](MarkBitmap& out) { out = bitmap; return true; };
}

// Bounding box of the frame pixels that differ from the fill value.
struct Box { int firstRow = -1, lastRow = -1, firstColumn = -1, lastColumn = -1; };

Box Changed(const std::vector<uint8_t>& frame, int width, int height, uint8_t fill)
{
    Box box;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &frame[(size_t(y) * width + x) * 3];
            if (p[0] == fill && p[1] == fill && p[2] == fill)
                continue;
            if (box.firstRow < 0 || y < box.firstRow) box.firstRow = y;
            if (y > box.lastRow) box.lastRow = y;
            if (box.firstColumn < 0 || x < box.firstColumn) box.firstColumn = x;
            if (x > box.lastColumn) box.lastColumn = x;
        }
    return box;
}

struct CornerCase {
    int corner, width, height;
    Box expected;  // bottom-up rows
};

class CornerTest : public ::testing::TestWithParam<CornerCase> {};

TEST_P(CornerTest, PlacesTheMark)
{
    const CornerCase& c = GetParam();
    CPictureScaler scaler;
    CMarkPicture mark(&scaler, LoaderOf(Solid(kSize, kSize, 10, 20, 30, 255)));
    mark.SetCorner(c.corner);
    std::vector<uint8_t> frame(size_t(c.width) * c.height * 3, 0);
    mark.Draw(frame.data(), c.width, c.height);
    const Box box = Changed(frame, c.width, c.height, 0);
    EXPECT_EQ(c.expected.firstRow, box.firstRow);
    EXPECT_EQ(c.expected.lastRow, box.lastRow);
    EXPECT_EQ(c.expected.firstColumn, box.firstColumn);
    EXPECT_EQ(c.expected.lastColumn, box.lastColumn);
}

INSTANTIATE_TEST_SUITE_P(Corners, CornerTest, ::testing::Values(
    CornerCase{1, 480, 360, {280, 353, 6, 79}},    // top-left: 6 rows below the top edge
    CornerCase{2, 480, 360, {280, 353, 400, 473}},
    CornerCase{3, 480, 360, {6, 79, 6, 79}},
    CornerCase{4, 480, 360, {6, 79, 400, 473}},    // bottom-right pixel at column 473, row 6
    CornerCase{7, 480, 360, {280, 353, 400, 473}}, // refused: the default corner 2 stays
    CornerCase{2, 800, 600, {520, 593, 720, 793}},
    CornerCase{4, 400, 300, {0, 73, 326, 399}},    // below 480 wide the margin is 0
    CornerCase{1, 60, 40, {0, 39, 0, 59}},         // a mark larger than the frame is clipped
    CornerCase{4, 60, 40, {0, 39, 0, 59}}));

TEST(MarkCorner, RefusesValuesOutsideOneToFour)
{
    CMarkPicture mark(nullptr, nullptr);
    EXPECT_EQ(2, mark.Corner());
    EXPECT_TRUE(mark.SetCorner(3));
    for (int corner : {0, 5, 7, -1})
        EXPECT_FALSE(mark.SetCorner(corner));
    EXPECT_EQ(3, mark.Corner());
}

TEST(MarkClipping, StaysInsideTheFrameAndKeepsItsRows)
{
    // Picture pixel (row i, column j) carries i and j, so the clipped part can be checked.
    MarkBitmap picture;
    picture.width = picture.height = kSize;
    for (int i = 0; i < kSize; ++i)
        for (int j = 0; j < kSize; ++j)
            picture.pixels.insert(picture.pixels.end(), {uint8_t(i), uint8_t(j), 99, 255});
    for (int corner = 1; corner <= 4; ++corner) {
        CPictureScaler scaler;
        CMarkPicture mark(&scaler, LoaderOf(picture));
        mark.SetCorner(corner);
        const int width = 100, height = 50;
        std::vector<uint8_t> buffer(size_t(width) * height * 3 + 64, 0xEE);  // guard bytes after the frame
        std::fill(buffer.begin(), buffer.begin() + width * height * 3, 0);
        mark.Draw(buffer.data(), width, height);
        for (size_t i = size_t(width) * height * 3; i < buffer.size(); ++i)
            ASSERT_EQ(0xEE, buffer[i]) << "corner " << corner;
        // Corners 1 and 2 hang below the frame's bottom edge: frame row 0 shows picture row 24.
        const int pictureRow = corner <= 2 ? kSize - height : 0;
        const int column = corner == 1 || corner == 3 ? 0 : width - kSize;
        const uint8_t* p = &buffer[(size_t(0) * width + column) * 3];
        EXPECT_EQ(pictureRow, p[0]) << "corner " << corner;
        EXPECT_EQ(0, p[1]) << "corner " << corner;
        EXPECT_EQ(99, p[2]) << "corner " << corner;
    }
}

struct BlendCase {
    uint8_t alpha, picture, frame, expected;
};

class BlendTest : public ::testing::TestWithParam<BlendCase> {};

TEST_P(BlendTest, MixesByAlpha)
{
    const BlendCase& c = GetParam();
    CMarkPicture mark(nullptr, LoaderOf(Solid(kSize, kSize, c.picture, c.picture, c.picture, c.alpha)));
    mark.SetCorner(3);
    std::vector<uint8_t> frame(480 * 360 * 3, c.frame);
    mark.Draw(frame.data(), 480, 360);
    const uint8_t* p = &frame[(size_t(6) * 480 + 6) * 3];
    EXPECT_EQ(c.expected, p[0]);
    EXPECT_EQ(c.expected, p[1]);
    EXPECT_EQ(c.expected, p[2]);
}

INSTANTIATE_TEST_SUITE_P(Alphas, BlendTest, ::testing::Values(
    BlendCase{0, 200, 50, 50},      // transparent: frame unchanged
    BlendCase{255, 200, 50, 200},   // opaque: picture
    BlendCase{128, 200, 50, 125},   // 100.39 + 24.90
    BlendCase{200, 10, 250, 61},    // 7.84 + 53.92
    BlendCase{255, 255, 255, 255}));

TEST(MarkMissing, DrawsNothingAndTriesAgain)
{
    int attempts = 0;
    bool available = false;
    CMarkPicture mark(nullptr, [&](MarkBitmap& out) {
        ++attempts;
        if (!available)
            return false;
        out = Solid(kSize, kSize, 1, 2, 3, 255);
        return true;
    });
    std::vector<uint8_t> frame(480 * 360 * 3, 0);
    mark.Draw(frame.data(), 480, 360);
    EXPECT_EQ(std::vector<uint8_t>(frame.size(), 0), frame);
    available = true;
    mark.Draw(frame.data(), 480, 360);
    mark.Draw(frame.data(), 480, 360);
    EXPECT_EQ(2, attempts);  // loaded once it could be
    EXPECT_NE(std::vector<uint8_t>(frame.size(), 0), frame);
}

class RecordingScaler : public CPictureScaler {
public:
    std::vector<std::vector<int>> calls;  // source w, h, destination w, h
    bool Scale(const uint8_t* source, int sourceWidth, int sourceHeight, uint8_t* destination, int width,
               int height, PixelLayout layout) override
    {
        calls.push_back({sourceWidth, sourceHeight, width, height});
        return CPictureScaler::Scale(source, sourceWidth, sourceHeight, destination, width, height, layout);
    }
};

TEST(SecondPicture, IsScaledTo74Square)
{
    RecordingScaler scaler;
    CMarkPicture mark(&scaler, LoaderOf(Solid(kSize, kSize, 0, 0, 0, 255)));
    const MarkBitmap wide = Solid(100, 50, 9, 9, 9, 255);
    EXPECT_TRUE(mark.SetSecondPicture(wide.pixels.data(), 100, 50, 32, 0));
    ASSERT_EQ(1u, scaler.calls.size());
    EXPECT_EQ((std::vector<int>{100, 50, kSize, kSize}), scaler.calls[0]);

    scaler.calls.clear();
    const MarkBitmap exact = Solid(kSize, kSize, 9, 9, 9, 255);
    EXPECT_TRUE(mark.SetSecondPicture(exact.pixels.data(), kSize, kSize, 32, 0));
    EXPECT_TRUE(scaler.calls.empty());  // used as it is

    const std::vector<uint8_t> rgb(kSize * kSize * 3, 1);
    EXPECT_FALSE(mark.SetSecondPicture(rgb.data(), kSize, kSize, 24, 0));
    EXPECT_FALSE(mark.SetSecondPicture(exact.pixels.data(), 0, kSize, 32, 0));
    EXPECT_TRUE(mark.HasSecondPicture());  // a refused picture changes nothing
}

struct FadeCase {
    float mix;
    uint8_t expected;  // of primary 100 and second 200, every byte
};

class CrossFadeTest : public ::testing::TestWithParam<FadeCase> {};

TEST_P(CrossFadeTest, MixesBothPictures)
{
    CMarkPicture mark(nullptr, LoaderOf(Solid(kSize, kSize, 100, 100, 100, 100)));
    const MarkBitmap second = Solid(kSize, kSize, 200, 200, 200, 200);
    mark.SetSecondPicture(second.pixels.data(), kSize, kSize, 32, 0);
    mark.mix = GetParam().mix;
    std::vector<uint8_t> frame(480 * 360 * 3, 0);
    mark.Draw(frame.data(), 480, 360);
    const MarkBitmap& drawn = mark.Drawn();
    ASSERT_EQ(kSize, drawn.width);
    ASSERT_EQ(kSize, drawn.height);
    EXPECT_EQ(std::vector<uint8_t>(kSize * kSize * 4, GetParam().expected), drawn.pixels);
}

INSTANTIATE_TEST_SUITE_P(Mixes, CrossFadeTest, ::testing::Values(
    FadeCase{0.0f, 100}, FadeCase{0.25f, 125}, FadeCase{0.5f, 150}, FadeCase{1.0f, 200}));

TEST(SecondPicture, ClearingShowsThePrimaryAtOnce)
{
    CMarkPicture mark(nullptr, LoaderOf(Solid(kSize, kSize, 100, 100, 100, 255)));
    const MarkBitmap second = Solid(kSize, kSize, 200, 200, 200, 255);
    mark.SetSecondPicture(second.pixels.data(), kSize, kSize, 32, 0);
    mark.mix = 0.99f;
    std::vector<uint8_t> frame(480 * 360 * 3, 0);
    mark.Draw(frame.data(), 480, 360);
    mark.SetSecondPicture(nullptr, 0, 0, 0, 0);
    mark.Draw(frame.data(), 480, 360);
    const uint8_t* p = &frame[(size_t(300) * 480 + 420) * 3];
    EXPECT_EQ(100, p[0]);
    const std::vector<uint8_t>& drawn = mark.Drawn().pixels;
    ASSERT_EQ(size_t(kSize * kSize * 4), drawn.size());
    EXPECT_EQ((std::vector<uint8_t>{100, 100, 100, 255}), std::vector<uint8_t>(drawn.begin(), drawn.begin() + 4));
}

TEST(SecondPicture, UsageRunsWhileOneIsSet)
{
    CMarkPicture mark(nullptr, nullptr);
    const MarkBitmap second = Solid(kSize, kSize, 1, 1, 1, 1);
    mark.SetSecondPicture(second.pixels.data(), kSize, kSize, 32, 1000);
    mark.SetSecondPicture(second.pixels.data(), kSize, kSize, 32, 3000);  // a replacement keeps the clock
    mark.SetSecondPicture(nullptr, 0, 0, 0, 6000);
    EXPECT_EQ(5, mark.Clock().Query(9000, 2));
}

TEST(MarkFit, SurvivesFrameSizeChanges)
{
    // 640 x 480, then 480 x 360 with a second picture set: the mark keeps its
    // 74 x 74 size and shows in every frame.
    CPictureScaler scaler;
    CMarkPicture mark(&scaler, LoaderOf(Solid(kSize, kSize, 40, 40, 40, 255)));
    const struct { int width, height; } sizes[] = {{640, 480}, {480, 360}, {360, 270}, {800, 600}, {480, 360}};
    bool secondSet = false;
    for (const auto& size : sizes) {
        std::vector<uint8_t> frame(size_t(size.width) * size.height * 3, 0);
        mark.Draw(frame.data(), size.width, size.height);
        EXPECT_EQ(kSize, mark.Drawn().width) << size.width;
        EXPECT_EQ(kSize, mark.Drawn().height) << size.width;
        const Box box = Changed(frame, size.width, size.height, 0);
        EXPECT_EQ(kSize - 1, box.lastRow - box.firstRow) << size.width;
        EXPECT_EQ(kSize - 1, box.lastColumn - box.firstColumn) << size.width;
        if (!secondSet && size.width == 480) {
            const MarkBitmap second = Solid(120, 80, 90, 90, 90, 255);
            ASSERT_TRUE(mark.SetSecondPicture(second.pixels.data(), 120, 80, 32, 0));
            mark.mix = 0.5f;
            secondSet = true;
        }
    }
}

TEST(MarkFit, GrowsByWholeFactorsFromTheSource)
{
    CPictureScaler scaler;
    CMarkPicture mark(&scaler, LoaderOf(Solid(kSize, kSize, 40, 40, 40, 255)));
    std::vector<uint8_t> big(size_t(1440) * 1080 * 3, 0);
    mark.Draw(big.data(), 1440, 1080);
    EXPECT_EQ(3 * kSize, mark.Drawn().width);
    EXPECT_EQ(3 * kSize, mark.Drawn().height);
    std::vector<uint8_t> small(size_t(480) * 360 * 3, 0);
    mark.Draw(small.data(), 480, 360);
    EXPECT_EQ(kSize, mark.Drawn().width);
}

TEST(CrossFadeRamp, StepCounts)
{
    CMarkPicture mark(nullptr, nullptr);
    EXPECT_EQ(CMarkPicture::Ramp::FadeIn, mark.StartCrossFade());
    EXPECT_FLOAT_EQ(0.11f, mark.mix);
    int steps = 0;
    while (mark.StepRamp(CMarkPicture::Ramp::FadeIn))
        ++steps;
    EXPECT_EQ(89, steps);
    EXPECT_GT(mark.mix, 0.9999f);

    EXPECT_EQ(CMarkPicture::Ramp::FadeOut, mark.StartCrossFade());
    EXPECT_FLOAT_EQ(0.99f, mark.mix);
    steps = 0;
    while (mark.StepRamp(CMarkPicture::Ramp::FadeOut))
        ++steps;
    EXPECT_EQ(99, steps);
    EXPECT_LT(mark.mix, 0.0001f);
    EXPECT_EQ(CMarkPicture::Ramp::FadeIn, mark.StartCrossFade());
}

MarkBitmap NoiseMark(uint32_t seed)
{
    MarkBitmap bitmap;
    bitmap.width = bitmap.height = kSize;
    bitmap.pixels.resize(size_t(kSize) * kSize * 4);
    for (uint8_t& b : bitmap.pixels) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    return bitmap;
}

// A noisy primary and second picture (every alpha, every colour) at cross-fade
// factors along the ramp, blended into a noisy frame at every corner: the
// drawn picture and the frame are, byte for byte, the float cross-fade and
// the double blend worked out one value at a time.
TEST(MarkDraw, CrossFadeAndBlendExactly)
{
    const int width = 480, height = 360;
    const MarkBitmap primary = NoiseMark(11), second = NoiseMark(23);
    uint32_t seed = 5;
    for (float mix : {0.0f, 0.11f, 0.37f, 0.5f, 0.8699999f, 0.99f, 1.0f})
        for (int corner = 1; corner <= 4; ++corner) {
            SCOPED_TRACE(::testing::Message() << "mix " << mix << " corner " << corner);
            CMarkPicture mark(nullptr, LoaderOf(primary));
            mark.SetCorner(corner);
            ASSERT_TRUE(mark.SetSecondPicture(second.pixels.data(), kSize, kSize, 32, 0));
            mark.mix = mix;
            std::vector<uint8_t> frame(size_t(width) * height * 3);
            for (uint8_t& b : frame) {
                seed = seed * 1664525u + 1013904223u;
                b = uint8_t(seed >> 24);
            }
            std::vector<uint8_t> expected = frame;
            mark.Draw(frame.data(), width, height);

            std::vector<uint8_t> drawn(primary.pixels.size());
            const float keep = 1 - mix;
            for (size_t i = 0; i < drawn.size(); ++i)
                drawn[i] = uint8_t(int(keep * primary.pixels[i] + mix * second.pixels[i]));
            ASSERT_EQ(drawn, mark.Drawn().pixels);

            const int m = 6;
            const int firstRow = corner <= 2 ? height - m - kSize : m;
            const int firstColumn = corner == 1 || corner == 3 ? m : width - m - kSize;
            for (int i = 0; i < kSize; ++i)
                for (int j = 0; j < kSize; ++j) {
                    const uint8_t* source = &drawn[(size_t(i) * kSize + j) * 4];
                    uint8_t* target = &expected[(size_t(firstRow + i) * width + firstColumn + j) * 3];
                    const double a = source[3] / 255.0, rest = (255 - source[3]) / 255.0;
                    for (int c = 0; c < 3; ++c)
                        target[c] = uint8_t(std::min(255, int(a * source[c] + rest * target[c])));
                }
            ASSERT_EQ(expected, frame);
        }
}

}  // namespace
