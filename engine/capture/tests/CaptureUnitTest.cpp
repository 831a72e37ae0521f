#include "CaptureVideo.h"
#include "CaptureVideoOper.h"
#include "PreviewCrop.h"

#include <gtest/gtest.h>
#include <uuids.h>

#include <vector>

TEST(CaptureSize, FourThreeRequestsBelowVgaAreCapturedAtVga)
{
    struct Case { int outW, outH, capW, capH; };
    const Case cases[] = {
        {480, 360, 640, 480}, {400, 300, 640, 480}, {800, 600, 800, 600}, {640, 480, 640, 480}, {500, 360, 500, 360},
    };
    for (const Case& c : cases) {
        int w = 0, h = 0;
        CCaptureVideo::CaptureSizeFor(c.outW, c.outH, w, h);
        EXPECT_EQ(c.capW, w) << c.outW << "x" << c.outH;
        EXPECT_EQ(c.capH, h) << c.outW << "x" << c.outH;
    }
}

TEST(DeviceNames, TwinsGetTheFirstFreeNumber)
{
    std::vector<std::string> pnp, others;
    EXPECT_EQ("Cam", CCaptureVideoOper::UniqueName("Cam", pnp, others));
    pnp.push_back("Cam");
    EXPECT_EQ("Cam1", CCaptureVideoOper::UniqueName("Cam", pnp, others));
    others.push_back("Cam1");  // either list counts
    EXPECT_EQ("Cam2", CCaptureVideoOper::UniqueName("Cam", pnp, others));
    EXPECT_EQ("Other", CCaptureVideoOper::UniqueName("Other", pnp, others));
}

TEST(DeviceNames, AfterNinetyNineTwinsTheLastCandidateIsUsed)
{
    std::vector<std::string> pnp = {"Cam"}, others;
    for (int n = 1; n <= 99; ++n)
        pnp.push_back("Cam" + std::to_string(n));
    EXPECT_EQ("Cam99", CCaptureVideoOper::UniqueName("Cam", pnp, others));
}

namespace {
// A picture whose columns (or rows) are numbered, to see which part a crop kept.
std::vector<uint8_t> Numbered(int width, int height, bool byColumn)
{
    std::vector<uint8_t> picture(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                picture[(size_t(y) * width + x) * 3 + c] = uint8_t(byColumn ? x : y);
    return picture;
}
}

TEST(PreviewCrop, CutsTheExcessEquallyFromBothSides)
{
    CColorConverter converter;
    std::vector<uint8_t> work(1440000), preview(400 * 300 * 3);
    struct Case { int width, height; bool byColumn; int firstKept, lastKept; };
    const Case cases[] = {
        // 500x300 is 100 columns too wide: 50 go on each side.
        {500, 300, true, 50, 449},
        // 400x400 is 100 rows too high: 50 go from the bottom and 50 from the top.
        {400, 400, false, 50, 349},
        // 401x300: one column too many is left to the scaler.
        {401, 300, true, 0, 400},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> picture = Numbered(c.width, c.height, c.byColumn);
        ASSERT_TRUE(CropAndScale(picture.data(), c.width, c.height, work.data(), preview.data(), 400, 300, converter));
        if (c.byColumn) {
            EXPECT_NEAR(c.firstKept, preview[0], 1) << c.width;
            EXPECT_NEAR(c.lastKept % 256, preview[399 * 3], 1) << c.width;
        } else {
            EXPECT_NEAR(c.firstKept, preview[0], 1) << c.height;
            EXPECT_NEAR(c.lastKept % 256, preview[size_t(299) * 400 * 3], 1) << c.height;
        }
    }
}

TEST(PreviewCrop, SameAspectIsScaledWithoutCropping)
{
    CColorConverter converter;
    std::vector<uint8_t> work(1440000), preview(400 * 300 * 3);
    const std::vector<uint8_t> picture = Numbered(800, 600, false);
    ASSERT_TRUE(CropAndScale(picture.data(), 800, 600, work.data(), preview.data(), 400, 300, converter));
    EXPECT_NEAR(0, preview[0], 2);
    EXPECT_NEAR(599 % 256, preview[size_t(299) * 400 * 3], 3);
}

TEST(CaptureInterface, TheHostReachesTheObjectThroughItsSlots)
{
    // The host only has the interface: the object must start with it.
    CCaptureVideo camera;
    EXPECT_EQ(static_cast<ICaptureVideo*>(&camera), AsCaptureVideo(&camera));
    ICaptureVideo* host = AsCaptureVideo(&camera);
    EXPECT_FALSE(host->IsRunning());
    EXPECT_EQ(0, host->Init("", nullptr));
    host->Quit();
}
