// The sound-graph recipes on plain Wine (no vendor filters): which recipes a
// file gets, that a missing file is a failure, and the exact failure texts
// each user writes on its channels.
#include "AudioGraphRecipes.h"
#include "GraphHelpers.h"
#include "MusicTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using namespace tq;
using namespace musictest;

namespace {

class RecipeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_logs.Start(); }
    void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    void TearDown() override { CoUninitialize(); }
    static LogFiles s_logs;
};
LogFiles RecipeTest::s_logs;

std::vector<std::string> Names(const std::vector<AudioRecipe>& recipes)
{
    std::vector<std::string> names;
    for (AudioRecipe r : recipes)
        names.push_back(AudioRecipeName(r));
    return names;
}

using Strings = std::vector<std::string>;

// The generated songs, or a file this test wrote into its folder.
std::string SongOrTemp(const char* name)
{
    return GetFileAttributesA(Song(name).c_str()) != INVALID_FILE_ATTRIBUTES ? Song(name) : TempFolder() + "\\" + name;
}

} // namespace

TEST_F(RecipeTest, OrderFollowsTheLowerCaseExtension)
{
    const struct {
        AudioUser user;
        const char* file;
        Strings expected;
    } cases[] = {
        {AudioUser::Orig, "a.mp3", {"Mp30", "Mp31", "AutoRender"}},
        {AudioUser::Kalaok, "C:\\x\\B.MP3", {"Mp30", "Mp31", "AutoRender"}},
        {AudioUser::Orig, "x.aac", {"Aac", "AutoRender"}},
        {AudioUser::Kalaok, "x.AaC", {"Aac", "AutoRender"}},
        {AudioUser::Orig, "x.wav", {"AutoRender"}},
        {AudioUser::Orig, "mp3", {"Mp30", "Mp31", "AutoRender"}},  // no dot: the whole name
        {AudioUser::Mood, "clip.MP3", {"Mp30", "Mp31", "AutoRender"}},
        {AudioUser::Mood, "clip.aac", {"AutoRender"}},               // no Aac recipe for the mood music
        {AudioUser::Mood, "clip.wav", {"AutoRender"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, Names(AudioRecipeOrder(c.user, c.file))) << c.file;
}

TEST_F(RecipeTest, MissingOrEmptyFileIsAFailureWithoutAGraph)
{
    const std::string empty = WriteTempFile("empty.mp3", "");
    for (AudioRecipe recipe : {AudioRecipe::Mp30, AudioRecipe::Mp31, AudioRecipe::Aac, AudioRecipe::AutoRender}) {
        for (const std::string& file : {std::string(), empty, TempFolder() + "\\missing.mp3"}) {
            AudioTrack track;
            EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                      BuildAudioTrack(recipe, AudioUser::Orig, file, nullptr, "", track)) << AudioRecipeName(recipe) << " " << file;
            EXPECT_FALSE(track.graph) << file;
        }
    }
}

TEST_F(RecipeTest, FailureTextsOnEveryChannel)
{
    const HRESULT kNotRegistered = REGDB_E_CLASSNOTREG;
    const struct {
        AudioRecipe recipe;
        AudioUser user;
        const char* song;
        const char* text;       // the step's text
        bool anyHr;             // the step's own HRESULT, not "class not registered"
    } cases[] = {
        {AudioRecipe::Mp30, AudioUser::Orig, "song.mp3", "ERROR - m_pOrigGraph->ConnectDirect failed.", true},
        {AudioRecipe::Mp30, AudioUser::Kalaok, "song.mp3", "ERROR - m_pKalaokGraph->ConnectDirect failed.", true},
        {AudioRecipe::Mp30, AudioUser::Mood, "song.mp3", "ERROR - m_pGraph->ConnectDirect failed.", true},
        {AudioRecipe::Mp31, AudioUser::Orig, "song.mp3", "ERROR - Could not create MPCMPA Decoder Filter.", false},
        {AudioRecipe::Mp31, AudioUser::Kalaok, "song.mp3", "ERROR - Could not create MPCMPA Decoder Filter.", false},
        {AudioRecipe::Mp31, AudioUser::Mood, "song.mp3", "ERROR - Could not create MPCMPA Decoder Filter.", false},
        {AudioRecipe::Aac, AudioUser::Orig, "song.aac", "ERROR - Could not create Mpa Source.", false},
        {AudioRecipe::Aac, AudioUser::Kalaok, "song.aac", "ERROR - Could not create Mpa Source.", false},
        {AudioRecipe::AutoRender, AudioUser::Orig, "text.mp3", "ERROR - m_pOrigGraph->Render failed.", true},
        {AudioRecipe::AutoRender, AudioUser::Kalaok, "text.mp3", "ERROR - m_pKalaokGraph->Render failed.", true},
        {AudioRecipe::AutoRender, AudioUser::Mood, "text.mp3", "ERROR - m_pGraph->Render failed.", true},
    };
    WriteTempFile("text.mp3", "This is a text file, not a song.\r\n");
    for (const auto& c : cases) {
        const std::string before = s_logs.EngineLog();
        const size_t recordsBefore = s_logs.RecordTexts().size();
        AudioTrack track;
        StdoutCapture capture;
        const HRESULT hr = BuildAudioTrack(c.recipe, c.user, SongOrTemp(c.song), nullptr, "", track);
        const std::string printed = capture.Stop();
        track.Clear();
        SCOPED_TRACE(std::string(AudioRecipeName(c.recipe)) + " " + c.text);
        ASSERT_TRUE(FAILED(hr));
        if (!c.anyHr) {
            EXPECT_EQ(kNotRegistered, hr);
        }
        char expectedLine[256];
        snprintf(expectedLine, sizeof expectedLine, "%s , hr = %8x\n", c.text, unsigned(hr));
        EXPECT_EQ(expectedLine, printed) << "standard output";

        const std::string logAfter = s_logs.EngineLog().substr(before.size());
        const Strings all = s_logs.RecordTexts();
        const Strings records(all.begin() + long(std::min(recordsBefore, all.size())), all.end());
        if (c.user == AudioUser::Mood) {
            // Mood music: the same line in the engine's log file at info level, no kqlog record.
            EXPECT_NE(std::string::npos, logAfter.find(std::string("info  - ") + expectedLine)) << logAfter;
            EXPECT_TRUE(records.empty());
        } else {
            // Accompaniment: a kqlog record with the HRESULT in decimal.
            EXPECT_TRUE(Contains(records, std::string(c.text) + " ,hr = " + std::to_string(int(hr))))
                << (records.empty() ? "no record" : records.back());
        }
    }
}

TEST_F(RecipeTest, AutoRenderPlaysEachFormat)
{
    for (const char* song : {"song.mp3", "song.aac", "song.wav"}) {
        for (AudioUser user : {AudioUser::Orig, AudioUser::Mood}) {
            AudioTrack track;
            StdoutCapture capture;
            EXPECT_EQ(S_OK, BuildAudioTrack(AudioRecipe::AutoRender, user, Song(song), nullptr, "", track)) << song;
            EXPECT_EQ("", capture.Stop()) << song;
            EXPECT_EQ(user != AudioUser::Mood, bool(track.seeking)) << "only the accompaniment seeks";
            OAFilterState state = -1;
            ASSERT_TRUE(track.control);
            EXPECT_TRUE(SUCCEEDED(track.control->GetState(2000, &state)));
            EXPECT_EQ(State_Running, state) << song;
            track.Clear();
            EXPECT_FALSE(track.graph);
        }
    }
}


namespace {

const CLSID kMpcMpaDecoder = {0x3D446B6F, 0x71DE, 0x4437, {0xBE, 0x15, 0x8C, 0xE4, 0x71, 0x74, 0x34, 0x0F}};
const CLSID kMpeg1Splitter = {0x336475D0, 0x942A, 0x11CE, {0xA8, 0x70, 0x00, 0xAA, 0x00, 0x2F, 0xEA, 0xB5}};

// Looks classes up through COM and counts the lookups of each.
struct CountedLookups {
    static HRESULT Create(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& iid, void** out)
    {
        for (auto& entry : s_counts)
            if (memcmp(&entry.first, &clsid, sizeof clsid) == 0)
                ++entry.second;
        return CoCreateInstance(clsid, outer, context, iid, out);
    }
    static std::vector<std::pair<CLSID, int>> s_counts;
};
std::vector<std::pair<CLSID, int>> CountedLookups::s_counts;

} // namespace

// Plain Wine has no MPC MPA decoder: every MP3 start tries it in Mp31. It is
// looked up once for the process; each later build fails at the same step
// with the same report, and the filters that exist are still made anew.
TEST_F(RecipeTest, AMissingFilterIsLookedUpOnceAndReportedEveryTime)
{
    ForgetMissingClassesForTest();
    CountedLookups::s_counts = {{kMpcMpaDecoder, 0}, {kMpeg1Splitter, 0}};
    SetClassCreateFunctionForTest(&CountedLookups::Create);
    const int kBuilds = 3;
    for (int build = 0; build < kBuilds; ++build) {
        for (AudioUser user : {AudioUser::Orig, AudioUser::Kalaok, AudioUser::Mood}) {
            AudioTrack track;
            StdoutCapture capture;
            EXPECT_EQ(REGDB_E_CLASSNOTREG, BuildAudioTrack(AudioRecipe::Mp31, user, Song("song.mp3"), nullptr, "", track));
            EXPECT_EQ("ERROR - Could not create MPCMPA Decoder Filter. , hr = 80040154\n", capture.Stop()) << build;
            track.Clear();
        }
    }
    SetClassCreateFunctionForTest(nullptr);
    EXPECT_EQ(1, CountedLookups::s_counts[0].second) << "lookups of the missing decoder";
    EXPECT_EQ(3 * kBuilds, CountedLookups::s_counts[1].second) << "lookups of the splitter, which exists";
}
