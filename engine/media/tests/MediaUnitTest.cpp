// Pieces of the media-file source that need no graph: where a picture goes
// in the frame, which recipe a name takes, the recipe tables, the duration
// queue and the public object's own accounts.
#include "MediaDurationQueue.h"
#include "MediaFit.h"
#include "MediaRecipes.h"
#include "MediaVideo.h"

#include <gtest/gtest.h>

#include <uuids.h>

#include <cstring>
#include <set>
#include <vector>

TEST(MediaFit, PicturesKeepTheirShapeInside480x360)
{
    const struct { int width, height, fitWidth, fitHeight; } cases[] = {
        {640, 480, 480, 360},    // 4:3 is not above the threshold: whole
        {1280, 720, 480, 270},   // wide: full width
        {720, 576, 456, 360},    // 450 rounded up to a multiple of 8
        {176, 144, 440, 360},
        {1920, 1080, 480, 270},
        {402, 300, 480, 358},
        {500, 299, 480, 288},    // 287 made even
        {1, 1000, 8, 360},       // a sliver keeps a few pixels
        {4000, 1, 480, 2},
        {0, 480, 0, 0},
        {640, -480, 0, 0},
    };
    for (const auto& c : cases) {
        const MediaFitSize fit = FitMediaPicture(c.width, c.height);
        EXPECT_EQ(c.fitWidth, fit.width) << c.width << "x" << c.height;
        EXPECT_EQ(c.fitHeight, fit.height) << c.width << "x" << c.height;
    }
}

// Where the fitted picture's first and last bytes land and how wide the
// black margins are, in a 480 x 360 RGB24 frame.
TEST(MediaFit, PlacementLeavesBlackMargins)
{
    const struct { int width, height; int firstRow, leftBytes; } cases[] = {
        {480, 360, 0, 0},
        {480, 270, 45, 0},    // 45 black rows above and below
        {456, 360, 0, 36},    // 12 pixels left, 12 right
        {440, 360, 0, 60},    // 20-pixel margins
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> picture(size_t(c.width) * c.height * 3, 0xAB);
        std::vector<uint8_t> frame(kMediaFrameBytes, 0x55);
        PlaceMediaPicture(picture.data(), c.width, c.height, frame.data());
        const size_t row = 480 * 3;
        int painted = 0;
        for (int y = 0; y < 360; ++y) {
            for (size_t x = 0; x < row; ++x) {
                const bool inside = y >= c.firstRow && y < c.firstRow + c.height && int(x) >= c.leftBytes &&
                                    int(x) < c.leftBytes + c.width * 3;
                const uint8_t expected = inside ? 0xAB : 0;
                if (frame[y * row + x] != expected) {
                    ADD_FAILURE() << c.width << "x" << c.height << " byte " << x << " of row " << y;
                    y = 360;
                    break;
                }
                painted += inside;
            }
        }
        EXPECT_EQ(c.width * c.height * 3, painted) << c.width << "x" << c.height;
    }
}

TEST(MediaRecipes, TheExtensionChoosesTheRecipe)
{
    const struct { const char* name; MediaRecipe recipe; } cases[] = {
        {"a.MP4", MediaRecipe::LavMedia},    {"c:\\v\\b.avi", MediaRecipe::LavMedia},
        {"x.mkv", MediaRecipe::LavMedia},    {"x.rm", MediaRecipe::LavMedia},
        {"x.RMVB", MediaRecipe::LavMedia},   {"x.flv", MediaRecipe::LavMedia},
        {"x.mpg", MediaRecipe::MpegMedia},   {"x.MPG", MediaRecipe::MpegMedia},
        {"clip", MediaRecipe::DefaultMedia}, {"x.wmv", MediaRecipe::DefaultMedia},
        {"x.mpeg", MediaRecipe::DefaultMedia}, {"x.mp4.txt", MediaRecipe::DefaultMedia},
        {"mp4", MediaRecipe::LavMedia},      {"", MediaRecipe::DefaultMedia},  // no dot: the whole name
    };
    for (const auto& c : cases)
        EXPECT_EQ(MediaRecipeName(c.recipe), std::string(MediaRecipeName(ChooseMediaRecipe(c.name)))) << c.name;
}

// Every connection names filters the same recipe adds, failure texts have
// the log's "ERROR" form, and the grabbed type is checked between the
// decoder -> grabber and the grabber -> null renderer connections.
TEST(MediaRecipes, TablesAreConsistent)
{
    const struct { const char* name; const RecipeTable* table; const RecipeTable* extra; bool checks; } recipes[] = {
        {"LavMedia video", &kLavVideoRecipe, nullptr, true},
        {"LavMedia sound", &kLavAudioRecipe, &kLavVideoRecipe, false},
        {"MpegMedia", &kMpegRecipe, nullptr, true},
    };
    for (const auto& r : recipes) {
        std::set<RecipeRole> roles;
        for (const RecipeTable* t : {r.table, r.extra}) {
            for (size_t i = 0; t && i < t->filterCount; ++i)
                roles.insert(t->filters[i].role);
        }
        for (size_t i = 0; i < r.table->filterCount; ++i) {
            const RecipeFilter& f = r.table->filters[i];
            EXPECT_EQ(0, strncmp(f.addFailure, "ERROR - Could not add ", 22)) << r.name;
            if (f.role == RecipeRole::SoundRenderer)
                EXPECT_EQ(nullptr, f.createFailure) << r.name << ": the renderer's creation is not checked";
            else
                EXPECT_EQ(0, strncmp(f.createFailure, "ERROR - Could not create ", 25)) << r.name;
        }
        int checks = 0;
        for (size_t i = 0; i < r.table->linkCount; ++i) {
            const RecipeLink& l = r.table->links[i];
            if (l.from == RecipeRole::None) {
                ++checks;
                ASSERT_GT(i, 0u);
                ASSERT_LT(i + 1, r.table->linkCount);
                EXPECT_EQ(RecipeRole::Grabber, r.table->links[i - 1].to) << r.name;
                EXPECT_EQ(RecipeRole::Grabber, r.table->links[i + 1].from) << r.name;
                continue;
            }
            EXPECT_TRUE(roles.count(l.from) && roles.count(l.to)) << r.name << " link " << i;
            EXPECT_EQ(0, strncmp(l.failure, "ERROR - connect ", 16)) << r.name << " link " << i;
        }
        EXPECT_EQ(r.checks ? 1 : 0, checks) << r.name;
    }
    // The pins a stand-in or a real vendor filter has to offer.
    EXPECT_STREQ(L"Video (ID 224 @ Prog# 0)", kMpegRecipe.links[1].fromPin);
    EXPECT_STREQ(L"Audio (ID 192 @ Prog# 0)", kMpegRecipe.links[2].fromPin);
    EXPECT_STREQ(L"Video", kLavVideoRecipe.links[0].fromPin);
    EXPECT_STREQ(L"LavMediaSource", kLavVideoRecipe.filters[0].graphName);
    EXPECT_TRUE(kLavVideoRecipe.filters[0].clsid == &kClsidLavSource);
}

TEST(MediaRecipes, GrabbedTypesKeptOrConverted)
{
    const struct { const GUID* subtype; bool kept, convertible; } cases[] = {
        {&MEDIASUBTYPE_RGB24, false, true}, {&MEDIASUBTYPE_RGB32, true, true}, {&MEDIASUBTYPE_ARGB32, true, true},
        {&MEDIASUBTYPE_YUY2, true, true},   {&MEDIASUBTYPE_YV12, true, true},  {&MEDIASUBTYPE_IYUV, true, true},
        {&MEDIASUBTYPE_UYVY, false, true},  {&MEDIASUBTYPE_NV12, false, false}, {&MEDIASUBTYPE_MJPG, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.kept, MediaSubtypeKept(*c.subtype)) << c.subtype->Data1;
        EXPECT_EQ(c.convertible, MediaSubtypeConvertible(*c.subtype)) << c.subtype->Data1;
    }
}

TEST(MediaDurationQueue, NamesWaitOnceAndZeroIsMeasuredAgainOnce)
{
    CMediaDurationQueue queue;
    EXPECT_TRUE(queue.Add("a.mp4"));
    EXPECT_TRUE(queue.Add("b.avi"));
    EXPECT_FALSE(queue.Add("a.mp4"));  // already waiting
    ASSERT_EQ(2u, queue.Waiting().size());

    EXPECT_EQ("a.mp4", queue.TakeNext());
    queue.Store("a.mp4", 0.0);          // first try measured nothing: behind b
    EXPECT_EQ("b.avi", queue.TakeNext());
    queue.Store("b.avi", 5000.5);
    EXPECT_EQ("a.mp4", queue.TakeNext());
    queue.Store("a.mp4", 0.05);         // second try: kept as measured
    EXPECT_EQ("", queue.TakeNext());
    const std::map<std::string, double> expected = {{"a.mp4", 0.05}, {"b.avi", 5000.5}};
    EXPECT_EQ(expected, queue.Durations());

    queue.Store("c.mkv", 12.0);          // not waiting: nothing
    EXPECT_EQ(expected, queue.Durations());
    EXPECT_TRUE(queue.Add("b.avi"));    // measured names are measured again
    EXPECT_EQ("b.avi", queue.TakeNext());
    queue.Store("b.avi", 4000.0);
    EXPECT_EQ(4000.0, queue.Durations().at("b.avi"));
}

namespace {
DWORD g_now = 0;
DWORD FakeClock() { return g_now; }
}

// The play-time account: time under 2 s is dropped, whole seconds are
// handed out and the rest is dropped as well.
TEST(MediaVideoPublic, PlayedSecondsAndSettings)
{
    CMediaVideo media;
    media.SetClockForTesting(&FakeClock);
    g_now = 100000;
    media.Init("Z:\\no such folder\\clip.avi", 7);
    media.SetPlayingForTesting(true);  // as the start report does
    g_now += 1500;
    EXPECT_EQ(0, media.GetPlayedSeconds());
    g_now += 61900;
    EXPECT_EQ(61, media.GetPlayedSeconds());
    EXPECT_EQ(0, media.GetPlayedSeconds());
    g_now += 3000;
    media.StopMediaVideo();
    EXPECT_FALSE(media.IsPlaying());
    g_now += 5000;  // stopped: not counted
    EXPECT_EQ(3, media.GetPlayedSeconds());

    const struct { int frameTime, perFrame; } frameTimes[] = {
        {1000000, 66}, {666666, 66}, {333333, 33}, {400000, 40}, {0, 1},
    };
    for (const auto& f : frameTimes) {
        media.SetFrameTime(f.frameTime);
        EXPECT_EQ(f.perFrame, media.GetSettings().perFrameTime) << f.frameTime;
    }
    const struct { int width, height, outWidth, outHeight; } sizes[] = {
        {480, 360, 640, 480}, {400, 300, 640, 480}, {800, 600, 800, 600}, {320, 240, 320, 240},
    };
    for (const auto& s : sizes) {
        media.SetOutWidthAndHeight(s.width, s.height);
        const MediaSettings settings = media.GetSettings();
        EXPECT_EQ(s.outWidth, settings.outWidth) << s.width << "x" << s.height;
        EXPECT_EQ(s.outHeight, settings.outHeight) << s.width << "x" << s.height;
    }
    media.Quit();
}

TEST(MediaVideoPublic, InitWithoutANameDoesNothing)
{
    CMediaVideo media;
    media.SetVolume(0.25);
    EXPECT_EQ(0, media.Init("", 1));
    EXPECT_EQ(0, media.Init(nullptr, 1));
    EXPECT_TRUE(media.GetSettings().fileName.empty());
    EXPECT_EQ(0.25, media.GetSettings().volume);
    EXPECT_TRUE(media.SetPosition(-1.0));
    EXPECT_EQ(-1.0, media.GetSettings().position);
    media.Quit();
}
