// The mood music playing real files under Wine into the null sound device.
#include "MoodMusic.h"
#include "MusicInspect.h"
#include "MusicTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using namespace musictest;

namespace {

LogFiles g_logs;

class MoodTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { g_logs.Start(); }
    void SetUp() override { m_mood = new CMoodMusic; }
    void TearDown() override
    {
        m_mood->Quit();
        delete m_mood;
    }
    MusicTrackReport Inspect()
    {
        MusicGraphReport report;
        EXPECT_TRUE(m_mood->InspectForTest(report));
        return report.tracks[0];
    }
    bool WaitFor(const std::function<bool(const MusicTrackReport&)>& condition, DWORD timeoutMs = 8000)
    {
        return PumpMessagesUntil([&] { return condition(Inspect()); }, timeoutMs);
    }
    bool WaitForPlaying(const std::string& file)
    {
        return WaitFor([&](const MusicTrackReport& r) { return r.file == file && r.state == State_Running; });
    }
    CMoodMusic* m_mood = nullptr;
};

bool HasFilter(const MusicTrackReport& r, const char* name)
{
    return std::find(r.filters.begin(), r.filters.end(), name) != r.filters.end();
}

} // namespace

TEST_F(MoodTest, PlaysEachFormatByItsRecipesToTheEnd)
{
    const struct { const char* song; const char* printed; } cases[] = {
        // MP3: the ASF reader's pins do not connect, the vendor decoder is absent, the graph renders itself.
        {"song.mp3", "ERROR - m_pGraph->ConnectDirect failed. , hr = 80040207\n"
                     "ERROR - Could not create MPCMPA Decoder Filter. , hr = 80040154\n"},
        {"song.wav", ""},
        {"song.aac", ""},  // no Aac recipe here: straight to AutoRender
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.song);
        const std::string song = Song(c.song);
        StdoutCapture capture;
        EXPECT_EQ(0, m_mood->StartMoodMusic(song.c_str()));
        ASSERT_TRUE(WaitForPlaying(song));
        EXPECT_EQ(c.printed, capture.Stop());
        EXPECT_TRUE(HasFilter(Inspect(), "AsyncReader"));
        EXPECT_EQ(std::wstring(song.begin(), song.end()), m_mood->GetMoodMusicName());
        // The end of the file leaves the player idle.
        EXPECT_TRUE(WaitFor([](const MusicTrackReport& r) { return !r.hasGraph; }, 7000));
    }
    const std::string log = g_logs.EngineLog();
    EXPECT_NE(std::string::npos, log.find("info  - ERROR - m_pGraph->ConnectDirect failed. , hr = 80040207"));
    EXPECT_NE(std::string::npos, log.find("info  - CMoodMusicOper::startMoodMusic filename " + Song("song.wav")));
}

TEST_F(MoodTest, SecondStartStopsTheFirstAndMissingFilesLeaveItIdle)
{
    const std::string first = Song("song.wav"), second = Song("karaoke.wav");
    m_mood->StartMoodMusic(first.c_str());
    ASSERT_TRUE(WaitForPlaying(first));
    m_mood->StartMoodMusic(second.c_str());
    ASSERT_TRUE(WaitForPlaying(second));
    const MusicTrackReport report = Inspect();
    EXPECT_EQ(1, std::count(report.filters.begin(), report.filters.end(), std::string("AsyncReader")));

    const std::string missing = TempFolder() + "\\missing.mp3";
    const std::string empty = WriteTempFile("empty.wav", "");
    for (const std::string& file : {missing, empty, std::string()}) {
        m_mood->StartMoodMusic(second.c_str());
        ASSERT_TRUE(WaitForPlaying(second));
        m_mood->StartMoodMusic(file.c_str());
        EXPECT_TRUE(WaitFor([](const MusicTrackReport& r) { return !r.hasGraph; })) << file;
    }
    m_mood->StopMoodMusic();  // while idle: only logged
    EXPECT_TRUE(WaitFor([](const MusicTrackReport& r) { return !r.hasGraph; }));
}

TEST_F(MoodTest, VolumeAppliesOnlyToAPlayingGraph)
{
    const std::string song = Song("song.wav");
    m_mood->SetMoodMusicVolume(0.5);  // idle: nothing to set
    m_mood->StartMoodMusic(song.c_str());
    ASSERT_TRUE(WaitForPlaying(song));
    EXPECT_EQ(0, Inspect().volume) << "a start does not apply the volume";
    const struct { double volume; long expected; } cases[] = {{0.5, -1408}, {0.07, -4400}, {0.0, -10000}, {3.0, 0}};
    for (const auto& c : cases) {
        m_mood->SetMoodMusicVolume(c.volume);
        EXPECT_TRUE(WaitFor([&](const MusicTrackReport& r) { return r.volumeRead && r.volume == c.expected; })) << c.volume;
    }
    m_mood->StopMoodMusic();
    EXPECT_TRUE(WaitFor([](const MusicTrackReport& r) { return !r.hasGraph; }));
}

TEST_F(MoodTest, DurationFromEveryKindOfThread)
{
    const struct { const char* what; DWORD model; bool initialise; } cases[] = {
        {"single-threaded apartment", COINIT_APARTMENTTHREADED, true},
        {"multithreaded apartment", COINIT_MULTITHREADED, true},
        {"no COM yet", 0, false},
    };
    for (const auto& c : cases) {
        double seconds = -1.0, wav = -1.0, missing = -1.0;
        HRESULT afterward = E_FAIL;
        std::thread caller([&] {
            if (c.initialise)
                CoInitializeEx(nullptr, c.model);
            seconds = m_mood->GetDuration(Song("song.mp3").c_str());
            wav = m_mood->GetDuration(Song("song.wav").c_str());
            missing = m_mood->GetDuration((TempFolder() + "\\missing.mp3").c_str());
            // The caller's apartment is as it was: an STA stays an STA, a
            // thread without COM has none again.
            afterward = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            if (SUCCEEDED(afterward))
                CoUninitialize();
            if (c.initialise)
                CoUninitialize();
        });
        caller.join();
        SCOPED_TRACE(c.what);
        EXPECT_NEAR(4.0, seconds, 0.1);
        EXPECT_NEAR(4.0, wav, 0.1);
        EXPECT_EQ(0.0, missing);
        if (c.model == COINIT_APARTMENTTHREADED)
            EXPECT_EQ(RPC_E_CHANGED_MODE, afterward);
        else if (c.initialise)
            EXPECT_EQ(S_FALSE, afterward);
        else
            EXPECT_EQ(S_OK, afterward);
    }
}
