#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "EnhanceVideo.h"

namespace {

TEST(CEnhanceVideo, PassesTheVerdictToTheCompositor)
{
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> calls{0};
    std::atomic<bool> useless{false};
    {
        CEnhanceVideo enhancer;
        ASSERT_NE(enhancer.Instance(), nullptr);
        enhancer.SetGpuStateHandler([&](bool gpuUseless) {
            useless = gpuUseless;
            ++calls;
            SetEvent(done);
        });
        ASSERT_EQ(WaitForSingleObject(done, 60000), WAIT_OBJECT_0);
        EXPECT_TRUE(useless);  // no usable Direct3D effects here
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(enhancer.IsReady());

        // A handler set after the verdict learns it at once.
        int late = -1;
        enhancer.SetGpuStateHandler([&](bool gpuUseless) { late = gpuUseless ? 1 : 0; });
        EXPECT_EQ(late, 1);
    }
    CloseHandle(done);
}

TEST(CEnhanceVideo, SmoothFlagFollowsTheSwitch)
{
    CEnhanceVideo enhancer;
    EXPECT_TRUE(enhancer.IsSmoothEnabled());
    enhancer.SetSmoothEnabled(false);
    EXPECT_FALSE(enhancer.IsSmoothEnabled());
    enhancer.SetSmoothEnabled(true);
    EXPECT_TRUE(enhancer.IsSmoothEnabled());
    enhancer.SetSmoothStrength(60);
    EXPECT_EQ(enhancer.Instance()->GetSmoothStrength(), 60);
    enhancer.SetSmoothMix(35);
    EXPECT_EQ(enhancer.Instance()->GetSmoothMix(), 35);
}

}  // namespace
