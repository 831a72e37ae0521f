#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "CpuVideoProcessing.h"
#include "FrameFixtures.h"
#include "LogCapture.h"
#include "VpInstance.h"

namespace {

class RecordingSink : public IVpSink {
public:
    RecordingSink() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~RecordingSink() { CloseHandle(event); }
    void DeletingDestructor(unsigned) override {}
    void OnState(bool gpuUseless, int a, int b) override
    {
        useless = gpuUseless;
        extra = a | b;
        ++calls;
        SetEvent(event);
    }
    HANDLE event;
    std::atomic<bool> useless{false};
    std::atomic<int> extra{-1};
    std::atomic<int> calls{0};
};

// An instance after its benchmark reported. Each Direct3D attempt (the
// benchmark's, then the factory's at the first frame) creates a device and
// fails at the effects, which takes seconds here, so the suite shares one
// instance and every test starts from its default settings.
class ReadyInstance : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_sink = new RecordingSink;
        if (!vpGetInterface(0, &s_vp))
            return;
        s_vp->SetSink(s_sink);
        s_initialised = s_vp->Init(20130401);
        s_reported = s_initialised && WaitForSingleObject(s_sink->event, 60000) == WAIT_OBJECT_0;
    }
    static void TearDownTestSuite()
    {
        vpFreeInstance(s_vp);
        s_vp = nullptr;
        delete s_sink;
        s_sink = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(s_vp, nullptr);
        ASSERT_TRUE(s_initialised);
        ASSERT_TRUE(s_reported);
        vp = s_vp;
        ASSERT_TRUE(vp->IsReady());
        vp->SetSmoothEnabled(true);
        vp->SetGammaEnabled(true);
        vp->SetSmoothStrength(25);
        vp->SetSmoothMix(20);
        vp->SetAutoMode(true);
        vp->SetRebuildFlagA(1);
        vp->SetRebuildFlagB(1);
        vp->GetStatistics(nullptr);  // clears the sums
    }
    VpInstance* Impl() { return static_cast<VpInstance*>(vp); }

    static RecordingSink* s_sink;
    static IVpInstance* s_vp;
    static bool s_initialised, s_reported;
    RecordingSink& sink = *s_sink;
    IVpInstance* vp = nullptr;
};
RecordingSink* ReadyInstance::s_sink = nullptr;
IVpInstance* ReadyInstance::s_vp = nullptr;
bool ReadyInstance::s_initialised = false;
bool ReadyInstance::s_reported = false;

TEST(VpExports, NullArguments)
{
    EXPECT_FALSE(vpGetInterface(0, nullptr));
    vpFreeInstance(nullptr);  // ignored
    IVpInstance* vp = nullptr;
    ASSERT_TRUE(vpGetInterface(12345, &vp));
    ASSERT_NE(vp, nullptr);
    vpFreeInstance(vp);  // never initialised: no thread to wait for
}

TEST(VpExports, Defaults)
{
    IVpInstance* vp = nullptr;
    ASSERT_TRUE(vpGetInterface(0, &vp));
    EXPECT_TRUE(vp->GetSmoothEnabled());
    EXPECT_TRUE(vp->GetGammaEnabled());
    EXPECT_EQ(vp->GetSmoothStrength(), 25);
    EXPECT_EQ(vp->GetSmoothMix(), 20);
    EXPECT_FALSE(vp->GetAutoMode());  // no processor yet
    EXPECT_FALSE(vp->GetStateBit());
    EXPECT_FALSE(vp->IsReady());
    vp->SetSmoothStrength(70);
    vp->SetSmoothMix(40);
    vp->SetSmoothEnabled(false);
    EXPECT_EQ(vp->GetSmoothStrength(), 70);
    EXPECT_EQ(vp->GetSmoothMix(), 40);
    EXPECT_FALSE(vp->GetSmoothEnabled());
    vpFreeInstance(vp);
}

TEST(VpInstance, FramesPassUnchangedUntilTheBenchmarkReports)
{
    IVpInstance* vp = nullptr;
    ASSERT_TRUE(vpGetInterface(0, &vp));
    // Before Init the benchmark has not reported either.
    std::vector<uint8_t> frame(64 * 48 * 3);
    FillCameraLike(frame.data(), 64, 48, 192, 5.0);
    const std::vector<uint8_t> before = frame;
    EXPECT_TRUE(vp->ProcessFrame(frame.data(), 64, 48, 192));
    EXPECT_EQ(frame, before);
    ASSERT_TRUE(vp->Init(20130401));
    if (!vp->IsReady()) {
        EXPECT_TRUE(vp->ProcessFrame(frame.data(), 64, 48, 192));
        EXPECT_EQ(frame, before);
    }
    vpFreeInstance(vp);
}

TEST(VpInstance, StopEndsARunningBenchmarkWithoutReporting)
{
    RecordingSink sink;
    for (int i = 0; i < 3; ++i) {
        IVpInstance* vp = nullptr;
        ASSERT_TRUE(vpGetInterface(0, &vp));
        vp->SetSink(&sink);
        ASSERT_TRUE(vp->Init(20130401));
        vpFreeInstance(vp);  // waits for the thread; the sink is not called afterwards
    }
    const int calls = sink.calls;
    Sleep(200);
    EXPECT_EQ(sink.calls, calls);
}

TEST_F(ReadyInstance, NoDirect3DMeansUselessAndTheCpuTakesOver)
{
    EXPECT_TRUE(sink.useless);
    EXPECT_EQ(sink.extra, 0);
    EXPECT_EQ(sink.calls, 1);
    std::vector<uint8_t> frame(64 * 48 * 3);
    FillCameraLike(frame.data(), 64, 48, 192, 5.0);
    const std::vector<uint8_t> before = frame;
    ASSERT_TRUE(vp->ProcessFrame(frame.data(), 64, 48, 192));
    EXPECT_NE(frame, before);
    ASSERT_NE(Impl()->Processor(), nullptr);
    EXPECT_NE(dynamic_cast<CpuVideoProcessing*>(Impl()->Processor()), nullptr);
    EXPECT_TRUE(vp->GetAutoMode());
}

TEST_F(ReadyInstance, GammaAloneMapsThroughTheTable)
{
    vp->SetSmoothEnabled(false);
    vp->SetAutoMode(false);
    const int w = 8, h = 2;
    std::vector<uint8_t> frame(w * 3 * h);
    const uint8_t values[] = {0, 64, 128, 255};
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = values[i % 4];
    ASSERT_TRUE(vp->ProcessFrame(frame.data(), w, h, w * 3));
    const uint8_t expected[] = {0, 80, 143, 255};
    for (size_t i = 0; i < frame.size(); ++i)
        ASSERT_EQ(frame[i], expected[i % 4]) << i;
}

TEST_F(ReadyInstance, EverythingOffLeavesTheFrameAndProcessFrameToRefuses)
{
    vp->SetSmoothEnabled(false);
    vp->SetAutoMode(false);
    vp->SetGammaEnabled(false);
    std::vector<uint8_t> frame(16 * 16 * 3, 64), out(frame.size(), 0);
    EXPECT_TRUE(vp->ProcessFrame(frame.data(), 16, 16, 48));
    EXPECT_EQ(frame[0], 64);
    EXPECT_FALSE(vp->ProcessFrameTo(frame.data(), out.data(), 16, 16, 48));
    EXPECT_EQ(out[0], 0);
}

TEST_F(ReadyInstance, ProcessFrameToWritesTheDestination)
{
    vp->SetSmoothEnabled(false);
    vp->SetAutoMode(false);
    std::vector<uint8_t> frame(16 * 16 * 3, 64), out(frame.size(), 0);
    ASSERT_TRUE(vp->ProcessFrameTo(frame.data(), out.data(), 16, 16, 48));
    EXPECT_EQ(out[0], 80);
    EXPECT_FALSE(vp->ProcessFrameTo(frame.data(), frame.data(), 16, 16, 48));  // same buffer
}

TEST_F(ReadyInstance, RefusedFramesAreLeftAsTheyWere)
{
    std::vector<uint8_t> frame(16 * 16 * 3, 77);
    const struct { uint8_t* buffer; int w, h, stride; } cases[] = {
        {nullptr, 16, 16, 48}, {frame.data(), 0, 16, 48}, {frame.data(), 16, -1, 48},
        {frame.data(), 16, 16, 16}, {frame.data(), 16, 16, 47}};
    for (const auto& c : cases) {
        EXPECT_FALSE(vp->ProcessFrame(c.buffer, c.w, c.h, c.stride)) << c.w << " " << c.h << " " << c.stride;
        EXPECT_EQ(frame, std::vector<uint8_t>(frame.size(), 77));
    }
}

TEST_F(ReadyInstance, SmoothingStaysInsideOddFrames)
{
    const struct { int w, h, stride; } sizes[] = {{600, 450, 0}, {640, 484, 0}, {602, 451, 1808}, {24, 17, 0}};
    for (const auto& s : sizes) {
        for (bool autoMode : {false, true}) {
            vp->SetAutoMode(autoMode);
            GuardedFrame frame(s.w, s.h, s.stride);
            FillCameraLike(frame.Data(), s.w, s.h, frame.stride, 5.0);
            EXPECT_TRUE(vp->ProcessFrame(frame.Data(), s.w, s.h, frame.stride)) << s.w << "x" << s.h;
            EXPECT_TRUE(frame.GuardsIntact()) << s.w << "x" << s.h;
        }
    }
}

TEST_F(ReadyInstance, RebuildFlagRemakesTheProcessorWithTheSettings)
{
    vp->SetAutoMode(false);
    vp->SetSmoothStrength(50);
    vp->SetSmoothMix(20);
    std::vector<uint8_t> frame(32 * 32 * 3, 100);
    ASSERT_TRUE(vp->ProcessFrame(frame.data(), 32, 32, 96));
    VideoProcessing* first = Impl()->Processor();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(vp->ProcessFrame(frame.data(), 32, 32, 96));
    EXPECT_EQ(Impl()->Processor(), first);  // kept while the flags stay

    vp->SetRebuildFlagA(0);
    ASSERT_TRUE(vp->ProcessFrame(frame.data(), 32, 32, 96));
    auto* cpu = dynamic_cast<CpuVideoProcessing*>(Impl()->Processor());
    ASSERT_NE(cpu, nullptr);
    EXPECT_NEAR(cpu->Sigma(), 0.21f, 1e-6);
    EXPECT_NEAR(cpu->Amount(), 0.21f, 1e-6);
    EXPECT_EQ(cpu->GetAutoMode(), 0);

    // Auto mode on: strength 85 and mix 30 at creation.
    vp->ReleaseProcessor();
    vp->SetAutoMode(true);
    ASSERT_TRUE(vp->ProcessFrame(frame.data(), 32, 32, 96));
    cpu = dynamic_cast<CpuVideoProcessing*>(Impl()->Processor());
    ASSERT_NE(cpu, nullptr);
    EXPECT_NEAR(cpu->Sigma(), 0.85f * 0.4f + 0.01f, 1e-6);
    EXPECT_NEAR(cpu->Amount(), 0.30f * 0.8f + 0.05f, 1e-6);
}

TEST_F(ReadyInstance, StatisticsAreResetByEachQuery)
{
    vp->SetRebuildFlagB(5);
    std::vector<uint8_t> frame(160 * 160 * 3);
    FillCameraLike(frame.data(), 160, 160, 480, 5.0);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(vp->ProcessFrame(frame.data(), 160, 160, 480));
    VpStatistics first = {}, second = {};
    ASSERT_TRUE(vp->GetStatistics(&first));
    EXPECT_EQ(first.rebuildFlagB, 5u);
    EXPECT_EQ(first.width, 160);
    EXPECT_EQ(first.height, 160);
    EXPECT_NE(first.averageNoise, 0.0f);
    ASSERT_TRUE(vp->GetStatistics(&second));
    EXPECT_EQ(second.rebuildFlagB, 0u);
    EXPECT_EQ(second.width, 0);
    EXPECT_EQ(second.averageMs, 0u);
    EXPECT_EQ(second.averageSharpness, 0.0f);
    EXPECT_EQ(second.averageNoise, 0.0f);
}

TEST(VpInstance, DestroyWithoutFreeFlagRunsTheDestructorOnly)
{
    IVpInstance* vp = nullptr;
    ASSERT_TRUE(vpGetInterface(0, &vp));
    vp->Init(20130401);
    void* memory = vp;
    vp->Destroy(0);           // Stop and clean-up; the block stays ours
    ::operator delete(memory);
}

TEST(VpInstance, CpuLoadFigureIsAPercentage)
{
    const unsigned load = vp::CpuLoadFigure();
    EXPECT_LE(load, 100u);
}

}  // namespace

// A sink that never returns from OnState until the test lets it: freeing the
// instance must not hang on the benchmark thread stuck in it.
TEST(VpInstance, FreeGivesUpOnABenchmarkThreadThatNeverEnds)
{
    struct BlockingSink : IVpSink {
        HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE left = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ~BlockingSink() { CloseHandle(entered); CloseHandle(release); CloseHandle(left); }
        void DeletingDestructor(unsigned) override {}
        void OnState(bool, int, int) override
        {
            SetEvent(entered);
            WaitForSingleObject(release, INFINITE);
            SetEvent(left);
        }
    } sink;
    IVpInstance* vp = nullptr;
    ASSERT_TRUE(vpGetInterface(0, &vp));
    vp->SetSink(&sink);
    ASSERT_TRUE(vp->Init(20130401));
    ASSERT_EQ(WaitForSingleObject(sink.entered, 60000), WAIT_OBJECT_0) << "the benchmark never reported";

    const DWORD start = GetTickCount();
    vpFreeInstance(vp);
    const DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, vp::kBenchmarkStopWaitMs - 100);
    EXPECT_LT(waited, vp::kBenchmarkStopWaitMs + 5000);

    // The thread left behind ends once the sink returns, touching nothing freed.
    SetEvent(sink.release);
    ASSERT_EQ(WaitForSingleObject(sink.left, 10000), WAIT_OBJECT_0);
}
