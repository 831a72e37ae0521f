// The recipes that need other vendors' filters, with the test stand-ins of
// tools/testfilters registered under their class ids: Mp31 and Aac build
// every filter, connect every pin and run, for the players too.
#include "AccompanyMusic.h"
#include "AudioGraphRecipes.h"
#include "ComPtr.h"
#include "GraphHelpers.h"
#include "MusicInspect.h"
#include "MusicTestSupport.h"
#include "testing/TestFilters.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tq;
using namespace musictest;

namespace {

class VendorRecipeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_logs.Start();
        ASSERT_TRUE(tqtest::CallTestFilterRegistration(true)) << "TqTestFilters.ax could not be registered";
    }
    // The stand-ins leave the prefix as they found it: the other tests expect the vendors' filters absent.
    static void TearDownTestSuite() { tqtest::CallTestFilterRegistration(false); }
    void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    void TearDown() override { CoUninitialize(); }
    static LogFiles s_logs;
};
LogFiles VendorRecipeTest::s_logs;

// Every pin of the named filter is connected.
bool AllPinsConnected(IGraphBuilder* graph, const char* filterName)
{
    ComPtr<IBaseFilter> filter;
    filter.Attach(FindFilterByAnsiName(graph, filterName));
    if (!filter)
        return false;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Receive())))
        return false;
    int count = 0;
    for (;;) {
        ComPtr<IPin> pin, peer;
        if (pins->Next(1, pin.Receive(), nullptr) != S_OK)
            break;
        ++count;
        if (FAILED(pin->ConnectedTo(peer.Receive())) || !peer)
            return false;
    }
    return count > 0;
}

} // namespace

TEST_F(VendorRecipeTest, Mp31AndAacConnectEveryPinAndRun)
{
    const struct {
        AudioRecipe recipe;
        AudioUser user;
        const char* song;
        std::vector<const char*> filters;
    } cases[] = {
        {AudioRecipe::Mp31, AudioUser::Orig, "song.mp3",
         {"AsyncReader", "MPEG-I Stream Splitter", "MPCMPA Decoder Filter", "AC3 Filter", "Default DirectSound Device"}},
        {AudioRecipe::Mp31, AudioUser::Mood, "song.mp3",
         {"AsyncReader", "MPEG-I Stream Splitter", "MPCMPA Decoder Filter", "AC3 Filter", "Default DirectSound Device"}},
        {AudioRecipe::Aac, AudioUser::Kalaok, "song.aac",
         {"Mpa Source", "MPCMPA Decoder Filter", "AC3 Filter", "Default DirectSound Device"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(AudioRecipeName(c.recipe)) + " " + c.song);
        AudioTrack track;
        StdoutCapture capture;
        EXPECT_EQ(S_OK, BuildAudioTrack(c.recipe, c.user, Song(c.song), nullptr, "", track));
        EXPECT_EQ("", capture.Stop());
        ASSERT_TRUE(track.graph);
        for (const char* name : c.filters)
            EXPECT_TRUE(AllPinsConnected(track.graph.Get(), name)) << name;
        OAFilterState state = -1;
        EXPECT_TRUE(SUCCEEDED(track.control->GetState(2000, &state)));
        EXPECT_EQ(State_Running, state);
        // The silence runs to its end: the stand-ins pass the stream's end on.
        long code = 0;
        EXPECT_TRUE(SUCCEEDED(track.event->WaitForCompletion(8000, &code)));
        EXPECT_EQ(EC_COMPLETE, code);
        track.Clear();
    }
}

TEST_F(VendorRecipeTest, PlayersTakeTheVendorRecipesBeforeAutoRender)
{
    CAccompanyMusic music;
    RecordingListener listener;
    music.SetListener(&listener);
    const std::string orig = Song("song.mp3"), kalaok = Song("song.aac");
    StdoutCapture capture;
    music.StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal);
    ASSERT_TRUE(PumpMessagesUntil([&] { return !listener.positions.empty(); }, 10000));
    // Only the ASF reader's recipe fails now; Mp31 and Aac play.
    const std::string printed = capture.Stop();
    EXPECT_NE(std::string::npos, printed.find("ERROR - m_pOrigGraph->ConnectDirect failed.")) << printed;
    for (const char* absent : {"Could not create MPCMPA", "Could not create Mpa Source", "Could not create AC3", "Render failed"})
        EXPECT_EQ(std::string::npos, printed.find(absent)) << printed;
    MusicGraphReport report;
    ASSERT_TRUE(music.InspectForTest(report));
    auto has = [](const MusicTrackReport& r, const char* name) {
        return std::find(r.filters.begin(), r.filters.end(), name) != r.filters.end();
    };
    EXPECT_TRUE(has(report.tracks[0], "MPEG-I Stream Splitter"));
    EXPECT_TRUE(has(report.tracks[0], "AC3 Filter"));
    EXPECT_TRUE(has(report.tracks[1], "Mpa Source"));
    EXPECT_TRUE(has(report.tracks[1], "AC3 Filter"));
    EXPECT_EQ(State_Running, report.tracks[0].state);
    EXPECT_EQ(State_Paused, report.tracks[1].state);
    music.Quit();
}
