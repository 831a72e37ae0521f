#include <gtest/gtest.h>

#include "CpuVideoProcessing.h"
#include "FrameFixtures.h"

namespace {

struct Mapping {
    int percent;
    float sigma;
    float blockMix;
};

TEST(CpuVideoProcessing, StrengthAndMixMappings)
{
    const Mapping cases[] = {{100, 0.41f, 0.21f}, {0, 0.01f, 0.01f}, {25, 0.11f, 0.06f}, {50, 0.21f, 0.11f}};
    for (const Mapping& c : cases) {
        CpuVideoProcessing cpu;
        cpu.SetStrength(c.percent);
        EXPECT_NEAR(cpu.Sigma(), c.sigma, 1e-6) << c.percent;
        EXPECT_NEAR(cpu.BlockMix(), c.blockMix, 1e-6) << c.percent;
    }
    CpuVideoProcessing cpu;
    cpu.SetMix(20);
    EXPECT_NEAR(cpu.Amount(), 0.21f, 1e-6);
    EXPECT_FLOAT_EQ(cpu.Radius(), 15.0f);
    cpu.SetMix(100);
    EXPECT_NEAR(cpu.Amount(), 0.85f, 1e-6);
}

// Plain, slow versions of the two stages, written straight from their rules.
std::vector<uint8_t> ReferenceBlockFilter(const std::vector<uint8_t>& in, int w, int h, int stride, float k)
{
    std::vector<uint8_t> out = in;
    auto at = [&](int x, int y, int c) { return (int)in[(size_t)y * stride + x * 3 + c]; };
    for (int y = 8; y < h - 8 && y + 11 < h; y += 8)
        for (int x = 8; x < w - 8 && x + 11 < w; x += 8) {
            uint32_t weight[8][8];
            int strong = 0;
            for (int dy = -3; dy <= 4; ++dy)
                for (int dx = -3; dx <= 4; ++dx) {
                    uint32_t p = 0;
                    for (int i = 0; i < 7; ++i)
                        for (int j = 0; j < 7; ++j)
                            for (int c = 0; c < 3; ++c) {
                                const int d = at(x + j, y + i, c) - at(x + j + dx, y + i + dy, c);
                                p += d * d;
                            }
                    const int d2 = (dy * dy) + (dx * dx);
                    const double wd = std::exp(-((double)p * k / 65536.0 + d2 * 0.020408163));
                    weight[dy + 3][dx + 3] = (uint32_t)(wd * 65536.0);
                    if (weight[dy + 3][dx + 3] > 6553)
                        ++strong;
                }
            const int f = strong <= 4 ? 52429 : 13107;
            for (int r = 0; r < 8; ++r)
                for (int cc = 0; cc < 8; ++cc)
                    for (int c = 0; c < 3; ++c) {
                        uint64_t sum = 0, ws = 0;
                        for (int dy = -3; dy <= 4; ++dy)
                            for (int dx = -3; dx <= 4; ++dx) {
                                const uint32_t wt = weight[dy + 3][dx + 3];
                                sum += (uint64_t)wt * at(x + cc + dx, y + r + dy, c);
                                ws += wt;
                            }
                        const int m = (int)(sum / (ws ? ws : 1));
                        const int v = at(x + cc, y + r, c);
                        out[(size_t)(y + r) * stride + (x + cc) * 3 + c] = (uint8_t)(m + (v - m) * f / 65535);
                    }
        }
    return out;
}

std::vector<uint8_t> ReferenceContrast(const std::vector<uint8_t>& in, int w, int h, float amount)
{
    const int box = 28;  // radius 15
    const int lefts[3] = {box / 2, box / 2 - 1, box / 2}, rights[3] = {box / 2 - 1, box / 2, box / 2};
    std::vector<int> a(in.begin(), in.end()), b(a.size());
    auto blur = [&](bool rows) {
        const int n = rows ? w : h, lines = rows ? h : w;
        for (int pass = 0; pass < 3; ++pass) {
            for (int line = 0; line < lines; ++line)
                for (int i = 0; i < n; ++i)
                    for (int c = 0; c < 3; ++c) {
                        int sum = 0, count = 0;
                        for (int t = i - lefts[pass]; t <= i + rights[pass]; ++t)
                            if (t >= 0 && t < n) {
                                sum += rows ? a[(line * w + t) * 3 + c] : a[(t * w + line) * 3 + c];
                                ++count;
                            }
                        (rows ? b[(line * w + i) * 3 + c] : b[(i * w + line) * 3 + c]) = (sum + count / 2) / count;
                    }
            a.swap(b);
        }
    };
    blur(true);
    blur(false);
    std::vector<uint8_t> out(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        const int v = in[i] + (int)(amount * (in[i] - a[i]));
        out[i] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return out;
}

TEST(CpuVideoProcessing, StagesMatchTheirPlainDefinitions)
{
    const struct { int w, h; float k; double noise; } cases[] = {
        {48, 40, 82.6f, 3.0}, {37, 45, 5.9f, 12.0}, {64, 33, 10000.0f, 1.0}, {20, 9, 82.6f, 3.0},
        {29, 30, 40.0f, 6.0}, {133, 101, 82.6f, 3.0}, {133, 101, 8.2f, 3.0}, {1, 1, 82.6f, 3.0}, {3, 2, 8.2f, 9.0}};
    // One instance for all: its remembered weights must follow each new k and size.
    CpuVideoProcessing cpu;
    for (const auto& c : cases) {
        std::vector<uint8_t> in(c.w * 3 * c.h), out(in.size());
        FillCameraLike(in.data(), c.w, c.h, c.w * 3, c.noise);
        cpu.BlockFilter(in.data(), out.data(), c.w, c.h, c.w * 3, c.k);
        EXPECT_EQ(out, ReferenceBlockFilter(in, c.w, c.h, c.w * 3, c.k)) << c.w << "x" << c.h;
        cpu.SetMix(20);
        ASSERT_TRUE(cpu.ContrastStage(in.data(), out.data(), c.w, c.h, c.w * 3));
        EXPECT_EQ(out, ReferenceContrast(in, c.w, c.h, cpu.Amount())) << c.w << "x" << c.h;
    }
}

// The tone stage written out: screen blend of every byte with the curve of
// the pixel's brightness, the blend as i x j / 255 rounded.
std::vector<uint8_t> ReferenceTone(const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> out(in.size());
    for (size_t p = 0; p + 2 < in.size(); p += 3) {
        const int l = VideoProcessing::ToneCurve((in[p] + in[p + 2] + 2 * in[p + 1]) >> 2);
        for (int c = 0; c < 3; ++c) {
            const int product = 128 + (255 - in[p + c]) * (255 - l);
            out[p + c] = (uint8_t)(255 - ((product + (product >> 8)) >> 8));
        }
    }
    return out;
}

// Whole frames through Process against the plain stages composed the way
// ProcessStep composes them: sizes on and off the block grid, padded
// strides, the strength and mix settings in use, auto mode on and off, and
// content from noiseless (exact ties) through camera grain to heavy grain
// (most weights zero, distances beyond any table).
TEST(CpuVideoProcessing, WholeFramesMatchThePlainStages)
{
    const struct { int w, h, stride, strength, mix; bool autoMode; double noise; } cases[] = {
        {640, 480, 0, 25, 20, false, 3.0},    {640, 480, 0, 85, 30, true, 3.0},
        {800, 600, 0, 100, 100, false, 8.0}, {333, 251, 1012, 0, 0, false, 1.0},
        {321, 245, 0, 50, 60, true, 40.0},   {96, 72, 300, 25, 20, true, 0.0},
        {27, 19, 0, 25, 20, false, 3.0},     {200, 150, 0, 10, 20, false, 20.0}};
    for (const auto& c : cases) {
        const int rowBytes = c.w * 3, stride = c.stride ? c.stride : rowBytes;
        std::vector<uint8_t> packed((size_t)rowBytes * c.h);
        FillCameraLike(packed.data(), c.w, c.h, rowBytes, c.noise, 5);
        GuardedFrame in(c.w, c.h, stride), out(c.w, c.h, stride);
        std::memset(in.Data(), 0x5A, in.Bytes());  // row padding differs from the pixels
        for (int y = 0; y < c.h; ++y)
            std::memcpy(in.Data() + (size_t)y * stride, packed.data() + (size_t)y * rowBytes, rowBytes);

        CpuVideoProcessing cpu;
        ASSERT_TRUE(cpu.Init(nullptr, c.w, c.h));
        cpu.SetStrength(c.strength);
        cpu.SetMix(c.mix);
        cpu.SetAutoMode(c.autoMode ? 1 : 0);
        const float k = 1.0f / (cpu.Sigma() * cpu.Sigma());
        std::vector<uint8_t> expected =
            ReferenceContrast(ReferenceBlockFilter(packed, c.w, c.h, rowBytes, k), c.w, c.h, cpu.Amount());
        if (c.autoMode)
            expected = ReferenceTone(expected);

        // Twice: the second frame runs with whatever the first one left behind.
        for (int frame = 0; frame < 2; ++frame) {
            ASSERT_TRUE(cpu.Process(in.Data(), out.Data(), c.w, c.h, stride)) << c.w << "x" << c.h;
            size_t mismatches = 0;
            for (int y = 0; y < c.h; ++y)
                mismatches += std::memcmp(out.Data() + (size_t)y * stride, &expected[(size_t)y * rowBytes],
                                          rowBytes) != 0;
            EXPECT_EQ(mismatches, 0u) << c.w << "x" << c.h << " strength " << c.strength << " mix " << c.mix
                                      << (c.autoMode ? " auto" : "") << " frame " << frame;
            EXPECT_TRUE(in.GuardsIntact() && out.GuardsIntact()) << c.w << "x" << c.h;
        }
    }
}

TEST(CpuVideoProcessing, FlatFrameStaysFlat)
{
    const int w = 64, h = 48;
    std::vector<uint8_t> in(w * 3 * h), out(w * 3 * h, 0);
    FillFlat(in.data(), w, h, w * 3, 30, 140, 220);
    CpuVideoProcessing cpu;
    ASSERT_TRUE(cpu.Init(nullptr, w, h));
    ASSERT_TRUE(cpu.Process(in.data(), out.data(), w, h, w * 3));
    EXPECT_EQ(in, out);
}

TEST(CpuVideoProcessing, SixteenBySixteenIsOnlyCopiedByTheBlockFilter)
{
    const int w = 16, h = 16;
    std::vector<uint8_t> in(w * 3 * h), out(w * 3 * h, 0);
    FillCameraLike(in.data(), w, h, w * 3, 20.0);
    CpuVideoProcessing cpu;
    cpu.BlockFilter(in.data(), out.data(), w, h, w * 3, 100.0f);
    EXPECT_EQ(in, out);
}

TEST(CpuVideoProcessing, AutoModeLiftsMidGrey)
{
    const int w = 32, h = 32;
    std::vector<uint8_t> in(w * 3 * h), out(w * 3 * h, 0);
    FillFlat(in.data(), w, h, w * 3, 128, 128, 128);
    CpuVideoProcessing cpu;
    cpu.SetAutoMode(1);
    ASSERT_TRUE(cpu.Process(in.data(), out.data(), w, h, w * 3));
    for (uint8_t v : out)
        ASSERT_EQ(v, 140);
    // The curve's landmarks: dark quarter 0, middle 25, bright quarter and up 50.
    EXPECT_EQ(VideoProcessing::ToneCurve(0), 0);
    EXPECT_EQ(VideoProcessing::ToneCurve(128), 25);
    EXPECT_EQ(VideoProcessing::ToneCurve(255), 50);
}

double Variance(const std::vector<uint8_t>& frame, int w, int x0, int y0, int size)
{
    double sum = 0, squares = 0;
    for (int y = y0; y < y0 + size; ++y)
        for (int x = x0; x < x0 + size; ++x) {
            const double v = frame[(size_t)y * w * 3 + x * 3 + 1];
            sum += v;
            squares += v * v;
        }
    const double n = (double)size * size;
    return squares / n - (sum / n) * (sum / n);
}

TEST(CpuVideoProcessing, NoiseIsSmoothedAndAHardEdgeKept)
{
    // Left half a noisy skin tone, right half a dark area: one vertical edge.
    const int w = 160, h = 120;
    std::vector<uint8_t> in(w * 3 * h), out(w * 3 * h, 0);
    std::mt19937 random(3);
    std::normal_distribution<double> grain(0.0, 2.5);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const double base = x < w / 2 ? 170.0 : 60.0;
                in[(size_t)y * w * 3 + x * 3 + c] = (uint8_t)std::lround(base + grain(random));
            }
    CpuVideoProcessing cpu;
    cpu.SetStrength(25);  // the instance's defaults
    cpu.SetMix(20);
    ASSERT_TRUE(cpu.Process(in.data(), out.data(), w, h, w * 3));
    const double before = Variance(in, w, 16, 16, 40);
    const double after = Variance(out, w, 16, 16, 40);
    EXPECT_LT(after, before * 0.6) << before << " -> " << after;

    auto columnMean = [&](const std::vector<uint8_t>& f, int x) {
        double sum = 0;
        for (int y = 16; y < h - 16; ++y)
            sum += f[(size_t)y * w * 3 + x * 3 + 1];
        return sum / (h - 32);
    };
    const double step = columnMean(in, w / 2 - 1) - columnMean(in, w / 2);
    const double kept = columnMean(out, w / 2 - 1) - columnMean(out, w / 2);
    EXPECT_GE(kept, 0.8 * step) << step << " -> " << kept;
}

// Heights and widths that are not multiples of 8 put the last block row near
// the frame's end; nothing outside the frame may be read or written.
TEST(CpuVideoProcessing, OddSizesStayInsideTheFrame)
{
    const struct { int w, h, stride; } sizes[] = {
        {600, 450, 0}, {640, 484, 0}, {100, 37, 0}, {27, 450, 0}, {600, 450, 1804}, {20, 20, 0}};
    for (const auto& s : sizes) {
        GuardedFrame in(s.w, s.h, s.stride), out(s.w, s.h, s.stride);
        FillCameraLike(in.Data(), s.w, s.h, in.stride, 6.0);
        for (int autoMode = 0; autoMode < 2; ++autoMode) {
            CpuVideoProcessing cpu;
            cpu.SetAutoMode((uint8_t)autoMode);
            ASSERT_TRUE(cpu.Process(in.Data(), out.Data(), s.w, s.h, in.stride)) << s.w << "x" << s.h;
            EXPECT_TRUE(in.GuardsIntact()) << s.w << "x" << s.h;
            EXPECT_TRUE(out.GuardsIntact()) << s.w << "x" << s.h;
        }
    }
}

// The last block row of a 450-high frame would read two rows past the top;
// with the frame's end made of different content than the guard, a stray
// read shows as a changed result, so the results must not depend on it.
TEST(CpuVideoProcessing, LastBlockRowDoesNotDependOnBytesPastTheFrame)
{
    const int w = 64, h = 450;
    GuardedFrame a(w, h), b(w, h);
    FillCameraLike(a.Data(), w, h, a.stride, 4.0);
    std::memcpy(b.Data(), a.Data(), a.Bytes());
    std::memset(b.Data() + b.Bytes(), 0x00, 64);  // different bytes right past the frame
    std::vector<uint8_t> outA(a.Bytes()), outB(b.Bytes());
    CpuVideoProcessing cpu;
    cpu.BlockFilter(a.Data(), outA.data(), w, h, a.stride, 80.0f);
    cpu.BlockFilter(b.Data(), outB.data(), w, h, b.stride, 80.0f);
    EXPECT_EQ(outA, outB);
}

TEST(CpuVideoProcessing, RefusesBadArguments)
{
    std::vector<uint8_t> in(4801 * 3 * 2), out(in.size());
    CpuVideoProcessing cpu;
    EXPECT_FALSE(cpu.ProcessStep(in.data(), out.data(), 4801, 2, 4801 * 3));  // longer than the line buffers
    EXPECT_FALSE(cpu.ProcessStep(in.data(), out.data(), 10, 2, 29));        // stride below 3 x width
    EXPECT_FALSE(cpu.ProcessStep(nullptr, out.data(), 10, 2, 30));
    EXPECT_FALSE(cpu.ProcessStep(in.data(), in.data(), 10, 2, 30));
    EXPECT_FALSE(cpu.ProcessStep(in.data(), out.data(), 0, 2, 30));
}

TEST(CpuVideoProcessing, MeasurementsReportTheChange)
{
    const int w = 320, h = 240;
    std::vector<uint8_t> in(w * 3 * h), out(w * 3 * h);
    FillCameraLike(in.data(), w, h, w * 3, 4.0);
    CpuVideoProcessing cpu;
    ASSERT_TRUE(cpu.Process(in.data(), out.data(), w, h, w * 3));
    float noise = 0;
    cpu.GetNoiseDelta(&noise);
    EXPECT_LT(noise, 0.0f);  // smoothing lowers the neighbour differences
}

}  // namespace
