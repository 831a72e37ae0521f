// The accompaniment playing real songs under Wine into the null sound device:
// positions against the wall clock, the end, switching, seeking, volumes,
// durations, hostile files and long runs.
#include "AccompanyMusic.h"
#include "CaptureTestSupport.h"
#include "MusicInspect.h"
#include "MusicTestSupport.h"
#include "ComPtr.h"
#include "ThreadTimer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <set>

using namespace musictest;

namespace {

LogFiles g_logs;

class AccompanyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { g_logs.Start(); }
    void SetUp() override
    {
        m_music = new CAccompanyMusic;
        m_music->SetListener(&m_listener);
    }
    void TearDown() override
    {
        CAccompanyMusic::SetTrackRunningHookForTest(nullptr);
        m_music->Quit();
        delete m_music;
    }

    MusicGraphReport Inspect()
    {
        MusicGraphReport report;
        EXPECT_TRUE(m_music->InspectForTest(report));
        return report;
    }
    bool WaitForPosition(double seconds, DWORD timeoutMs = 8000)
    {
        return PumpMessagesUntil([&] { return m_listener.LastPosition() >= seconds; }, timeoutMs);
    }
    // Waits for the next reported position after the ones seen so far.
    bool WaitForNextPosition(DWORD timeoutMs = 2000)
    {
        const size_t seen = m_listener.positions.size();
        return PumpMessagesUntil([&] { return m_listener.positions.size() > seen; }, timeoutMs);
    }
    bool WaitForStartReport(DWORD timeoutMs = 10000)
    {
        return PumpMessagesUntil([&] { return !m_listener.positions.empty(); }, timeoutMs);
    }
    bool WaitForInspect(const std::function<bool(const MusicGraphReport&)>& condition, DWORD timeoutMs = 5000)
    {
        return PumpMessagesUntil([&] { return condition(Inspect()); }, timeoutMs);
    }

    CAccompanyMusic* m_music = nullptr;
    RecordingListener m_listener;
};

std::string Describe(const MusicGraphReport& report)
{
    std::string text;
    for (const auto& track : report.tracks) {
        text += "[graph " + std::to_string(track.hasGraph) + " state " + std::to_string(track.state) + " at " +
                std::to_string(track.position) + " file " + track.file + ":";
        for (const auto& f : track.filters)
            text += " " + f;
        text += "] ";
    }
    return text;
}

// Handles of every type this process holds (Wine's GetProcessHandleCount counts none).
int OwnHandles()
{
    int total = 0;
    for (const auto& type : OwnHandlesByType())
        total += type.second;
    return total;
}

constexpr long kRunning = State_Running;
constexpr long kPaused = State_Paused;

} // namespace

TEST_F(AccompanyTest, PlaysToTheEndReportingPositionsOnTheWallClock)
{
    const struct { const char* orig; const char* kalaok; } cases[] = {
        {"song.mp3", "karaoke.mp3"}, {"song.aac", "karaoke.wav"}, {"song.wav", "karaoke.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.orig);
        m_listener.Clear();
        const std::string orig = Song(c.orig), kalaok = Song(c.kalaok);
        ASSERT_EQ(0, m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal));
        ASSERT_TRUE(PumpMessagesUntil([&] { return m_listener.ends > 0; }, 10000)) << "no end";
        PumpMessagesUntil([] { return false; }, 400);  // nothing more may come
        EXPECT_EQ(1, m_listener.ends);

        const auto& p = m_listener.positions;
        ASSERT_GE(p.size(), 30u);
        EXPECT_EQ(0.0, p.front().seconds) << "the start report";
        // The start report follows the building of the second track, which a
        // loaded machine makes slow while the first already plays: the
        // positions keep pace with the wall clock from the first timed report.
        EXPECT_LT(p[1].seconds, 1.5) << "the first timed report";
        const DWORD wallStart = p[1].wallMs;
        std::vector<DWORD> gaps;
        for (size_t i = 1; i < p.size(); ++i) {
            const double wall = (p[i].wallMs - wallStart) / 1000.0;
            EXPECT_NEAR(wall, p[i].seconds - p[1].seconds, 0.3) << "position " << i;
            EXPECT_GE(p[i].seconds, p[i - 1].seconds) << "position " << i;
            if (i > 1)
                gaps.push_back(p[i].wallMs - p[i - 1].wallMs);
        }
        std::sort(gaps.begin(), gaps.end());
        EXPECT_NEAR(100.0, double(gaps[gaps.size() / 2]), 30.0) << "median gap between positions";
        EXPECT_GT(p.back().seconds, 3.6);

        std::map<std::string, double> durations(m_listener.durations.begin(), m_listener.durations.end());
        ASSERT_TRUE(durations.count(orig)) << "duration of the original";
        ASSERT_TRUE(durations.count(kalaok)) << "duration of the karaoke track";
        EXPECT_NEAR(4000.0, durations[orig], 100.0);
        EXPECT_NEAR(4000.0, durations[kalaok], 100.0);
        // Either end clears both tracks.
        const MusicGraphReport report = Inspect();
        EXPECT_FALSE(report.tracks[0].hasGraph);
        EXPECT_FALSE(report.tracks[1].hasGraph);
        EXPECT_FALSE(report.positionTimer);
    }
}

TEST_F(AccompanyTest, RecipesInOrderWithTheirTextsOnBothChannels)
{
    const std::string orig = Song("song.mp3"), kalaok = Song("song.aac");
    const size_t recordsBefore = g_logs.RecordTexts().size();
    StdoutCapture capture;
    m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal);
    ASSERT_TRUE(WaitForStartReport());
    // The MP3: the ASF reader's pins do not connect, the vendor decoder is
    // absent, AutoRender plays it; the AAC: no Mpa Source, AutoRender.
    EXPECT_EQ("ERROR - m_pOrigGraph->ConnectDirect failed. , hr = 80040207\n"
              "ERROR - Could not create MPCMPA Decoder Filter. , hr = 80040154\n"
              "ERROR - Could not create Mpa Source. , hr = 80040154\n",
              capture.Stop());
    const std::vector<std::string> all = g_logs.RecordTexts();
    const std::vector<std::string> records(all.begin() + long(std::min(recordsBefore, all.size())), all.end());
    const std::vector<std::string> expected = {
        "CAccompanyMusic::StartAccompanyMusic origFileName: " + orig + " kalaokFileName: " + kalaok + "type: 1",
        "CAccompanyMusicOper::ClearUpOrig",
        "CAccompanyMusicOper::ClearUpKalaok",
        "CAccompanyMusicOper::StartAccompanyMusic4Orig",
        "ERROR - m_pOrigGraph->ConnectDirect failed. ,hr = " + std::to_string(int(0x80040207)),
        "CAccompanyMusicOper::ClearUpOrig",
        "ERROR - Could not create MPCMPA Decoder Filter. ,hr = " + std::to_string(int(0x80040154)),
        "CAccompanyMusicOper::ClearUpOrig",
        "ERROR - Could not create Mpa Source. ,hr = " + std::to_string(int(0x80040154)),
        "CAccompanyMusicOper::ClearUpKalaok",
    };
    ASSERT_GE(records.size(), expected.size());
    EXPECT_EQ(expected, std::vector<std::string>(records.begin(), records.begin() + long(expected.size())));
    const MusicGraphReport report = Inspect();
    for (const auto& track : report.tracks) {
        EXPECT_TRUE(std::find(track.filters.begin(), track.filters.end(), "AsyncReader") != track.filters.end()) << track.file;
        EXPECT_TRUE(std::find(track.filters.begin(), track.filters.end(), "Default DirectSound Device") != track.filters.end());
    }
}

TEST_F(AccompanyTest, BothTracksStartTheSilentOnePaused)
{
    const struct { int playType; long origState; long kalaokState; } cases[] = {
        {kPlayOriginal, kRunning, kPaused}, {kPlayKaraoke, kPaused, kRunning}, {7, kPaused, kRunning},
    };
    const std::string orig = Song("song.wav"), kalaok = Song("karaoke.wav");
    for (const auto& c : cases) {
        m_listener.Clear();
        m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), c.playType);
        ASSERT_TRUE(WaitForStartReport());
        const MusicGraphReport report = Inspect();
        EXPECT_EQ(c.origState, report.tracks[0].state) << c.playType;
        EXPECT_EQ(c.kalaokState, report.tracks[1].state) << c.playType;
        EXPECT_EQ(orig, report.tracks[0].file);
        EXPECT_EQ(kalaok, report.tracks[1].file);
    }
}

namespace {

bool g_blipEndedWhileHeld = false;

// On the worker, when a track runs: holds the start of the karaoke track
// (before the blip is paused) until the blip's graph has posted both its
// events to the worker's window, the pause passed on the way to running and
// its end. They are taken off the queue to be counted and put back in order.
void HoldUntilTheBlipEnds(int track)
{
    if (track != 1)
        return;
    std::vector<MSG> taken;
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, tq::WM_ACCOMPANYMUSIORIGNOTIFY, tq::WM_ACCOMPANYMUSIORIGNOTIFY, PM_REMOVE))
            taken.push_back(msg);
        g_blipEndedWhileHeld = taken.size() >= 2;
        if (g_blipEndedWhileHeld || GetTickCount() - start >= 5000)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_POSTMESSAGE);
    }
    for (const MSG& msg : taken)
        PostMessageW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

} // namespace

TEST_F(AccompanyTest, SilentTrackEndingFirstLeavesTheSongPlaying)
{
    // The silent track runs for a moment before it is paused: a blip ends
    // then, while the karaoke track is still being built.
    const std::string blip = Song("blip.wav"), kalaok = Song("karaoke.wav");
    g_blipEndedWhileHeld = false;
    CAccompanyMusic::SetTrackRunningHookForTest(HoldUntilTheBlipEnds);
    m_music->StartAccompanyMusic(blip.c_str(), kalaok.c_str(), kPlayKaraoke);
    ASSERT_TRUE(WaitForStartReport());
    EXPECT_TRUE(g_blipEndedWhileHeld) << "the blip ended while the start was held";
    EXPECT_TRUE(PumpMessagesUntil([&] { return !Inspect().tracks[0].hasGraph; }, 3000)) << "the blip ends at once";
    MusicGraphReport report = Inspect();
    EXPECT_EQ(kRunning, report.tracks[1].state) << Describe(report);
    EXPECT_EQ(0, m_listener.ends) << "the song heard has not ended";
}

TEST_F(AccompanyTest, SwitchGoesOnFromTheSamePlace)
{
    const std::string orig = Song("song.mp3"), kalaok = Song("karaoke.mp3");
    m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal);
    ASSERT_TRUE(WaitForPosition(2.0));
    const TimedPosition atSwitch = m_listener.positions.back();
    m_music->SwitchPlayType(kPlayKaraoke);
    ASSERT_TRUE(WaitForInspect([](const MusicGraphReport& r) { return r.tracks[1].state == kRunning; }));
    const size_t seen = m_listener.positions.size();
    ASSERT_TRUE(PumpMessagesUntil([&] { return m_listener.positions.size() > seen + 1; }, 2000));
    const TimedPosition after = m_listener.positions.back();
    const double expected = atSwitch.seconds + (after.wallMs - atSwitch.wallMs) / 1000.0;
    EXPECT_NEAR(expected, after.seconds, 0.2) << "the karaoke track goes on where the original stood";
    const MusicGraphReport report = Inspect();
    EXPECT_EQ(kPaused, report.tracks[0].state);
    EXPECT_EQ(kRunning, report.tracks[1].state);
}

TEST_F(AccompanyTest, SwitchWhilePausedSeeksWithoutRunning)
{
    const std::string orig = Song("song.mp3"), kalaok = Song("karaoke.mp3");
    m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal);
    ASSERT_TRUE(WaitForPosition(1.5));
    m_music->PauseAccompanyMusic();
    ASSERT_TRUE(WaitForInspect([](const MusicGraphReport& r) { return r.tracks[0].state == kPaused; }));
    const double pausedAt = Inspect().tracks[0].position;
    m_music->SwitchPlayType(kPlayKaraoke);
    ASSERT_TRUE(WaitForInspect([&](const MusicGraphReport& r) { return std::fabs(r.tracks[1].position - pausedAt) < 0.2; }))
        << "the karaoke track is sought to " << pausedAt;
    PumpMessagesUntil([] { return false; }, 300);
    MusicGraphReport report = Inspect();
    EXPECT_EQ(kPaused, report.tracks[0].state);
    EXPECT_EQ(kPaused, report.tracks[1].state) << "a switch while paused runs nothing";
    EXPECT_FALSE(report.positionTimer);
    m_music->ContinueAccompanyMusic();
    ASSERT_TRUE(WaitForInspect([](const MusicGraphReport& r) { return r.tracks[1].state == kRunning; }));
    EXPECT_EQ(kPaused, Inspect().tracks[0].state);
    ASSERT_TRUE(WaitForNextPosition());
    EXPECT_NEAR(pausedAt, m_listener.LastPosition(), 0.4);
}

TEST_F(AccompanyTest, SeekByFraction)
{
    const std::string orig = Song("song.wav"), kalaok = Song("karaoke.wav");
    const struct { double fraction; bool moves; double target; } cases[] = {
        {0.5, true, 2.0}, {1.5, false, 0.0}, {-0.1, false, 0.0}, {0.25, true, 1.0},
    };
    m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal);
    ASSERT_TRUE(WaitForPosition(0.3));
    for (const auto& c : cases) {
        const TimedPosition before = m_listener.positions.back();
        const size_t seen = m_listener.positions.size();
        m_music->SetPlayPosition(c.fraction);
        ASSERT_TRUE(WaitForNextPosition()) << c.fraction << ": the position is reported in any case";
        const TimedPosition reported = m_listener.positions[seen];
        if (c.moves)
            EXPECT_NEAR(c.target, reported.seconds, 0.25) << c.fraction;
        else
            EXPECT_NEAR(before.seconds + (reported.wallMs - before.wallMs) / 1000.0, reported.seconds, 0.25) << c.fraction;
    }
    m_listener.ends = 0;
    m_music->SetPlayPosition(1.0);
    EXPECT_TRUE(PumpMessagesUntil([&] { return m_listener.ends == 1; }, 1500)) << "1.0 seeks to the end";
}

TEST_F(AccompanyTest, VolumeThroughTheTableOnBothTracks)
{
    const std::string orig = Song("song.mp3"), kalaok = Song("karaoke.wav");
    m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal);
    ASSERT_TRUE(WaitForStartReport());
    // Before the host sets one, the tracks play at full volume.
    ASSERT_TRUE(WaitForInspect([](const MusicGraphReport& r) {
        return r.tracks[0].volumeRead && r.tracks[0].volume == 0 && r.tracks[1].volumeRead && r.tracks[1].volume == 0;
    }));
    const struct { double volume; long expected; } cases[] = {
        {0.0, -10000}, {0.07, -4400}, {0.5, -1408}, {0.999, 0}, {1.2, 0}, {-1.0, -10000}, {0.06, -4647}, {0.08, -4162},
    };
    for (const auto& c : cases) {
        m_music->SetAccompanyVolume(c.volume);
        EXPECT_TRUE(WaitForInspect([&](const MusicGraphReport& r) {
            return r.tracks[0].volume == c.expected && r.tracks[1].volume == c.expected;
        })) << c.volume << " reads back " << Inspect().tracks[0].volume;
    }
    // A new start keeps the last volume.
    m_listener.Clear();
    m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayKaraoke);
    ASSERT_TRUE(WaitForStartReport());
    EXPECT_TRUE(WaitForInspect([](const MusicGraphReport& r) { return r.tracks[1].volume == -4162; })) << Describe(Inspect());
}

namespace {

// Thread timers through the test: requests of a second or more fire after
// 5 ms, so the measurement queue runs quickly; the requested periods are kept.
std::mutex g_timerLock;
std::vector<UINT> g_requestedPeriods;

UINT_PTR FastTimer(UINT milliseconds, tq::ITimerCallback* callback)
{
    if (milliseconds >= 1000) {
        std::lock_guard<std::mutex> lock(g_timerLock);
        g_requestedPeriods.push_back(milliseconds);
    }
    return tq::SetThreadTimer(milliseconds >= 1000 ? 5 : milliseconds, callback);
}

} // namespace

TEST_F(AccompanyTest, DurationQueueSlowsDownAfterAHundredMeasurements)
{
    CAccompanyMusic::SetTimerFunctionsForTest(&FastTimer, &tq::KillThreadTimer);
    std::vector<std::string> names;
    for (int i = 0; i < 104; ++i)
        names.push_back(TempFolder() + "\\missing-" + std::to_string(i) + (i % 2 ? ".aac" : ".mp3"));
    names.push_back(Song("song.mp3"));
    names.push_back(Song("song.aac"));
    names.push_back(Song("song.wav"));           // not measured: neither .mp3 nor .aac
    names.push_back(TempFolder() + "\\odd.Mp3"); // not measured: the case is neither all lower nor all upper
    names.push_back(names.front());              // asked twice, measured once
    m_music->GetPreMusicDuration(names);
    auto measured = [&] {
        std::set<std::string> distinct;
        for (const auto& d : m_listener.durations)
            distinct.insert(d.first);
        return distinct;
    };
    ASSERT_TRUE(PumpMessagesUntil([&] { return measured().size() >= 106; }, 60000)) << measured().size();
    ASSERT_TRUE(WaitForInspect([](const MusicGraphReport& r) { return !r.durationTimer; }));
    CAccompanyMusic::SetTimerFunctionsForTest(nullptr, nullptr);

    EXPECT_EQ(106u, measured().size());
    EXPECT_EQ(0u, measured().count(Song("song.wav")));
    EXPECT_EQ(0u, measured().count(TempFolder() + "\\odd.Mp3"));
    std::map<std::string, double> last;
    for (const auto& d : m_listener.durations)
        last[d.first] = d.second;
    EXPECT_NEAR(4000.0, last[Song("song.mp3")], 100.0);
    EXPECT_NEAR(4000.0, last[Song("song.aac")], 100.0);
    EXPECT_EQ(0.0, last[names.front()]) << "a file that cannot be measured";
    {
        std::lock_guard<std::mutex> lock(g_timerLock);
        EXPECT_EQ((std::vector<UINT>{1200, 60000}), g_requestedPeriods)
            << "1.2 s until the 100th measurement, then 60 s";
    }
    EXPECT_EQ(1200u, Inspect().durationPeriod) << "an empty queue goes back to 1.2 s";
    // Reports come in ascending byte order of the names.
    std::vector<std::string> order;
    const size_t n = m_listener.durations.size();
    for (size_t i = n - 106; i < n; ++i)
        order.push_back(m_listener.durations[i].first);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
}

TEST_F(AccompanyTest, HostileFilesLeaveTheOtherTrackPlaying)
{
    const std::string mp3 = ReadFileBytes(Song("song.mp3"));
    ASSERT_GT(mp3.size(), 4000u);
    std::string garbage(20000, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919u) >> 3);
    const struct { const char* name; std::string bytes; bool logged; } cases[] = {
        {"empty.mp3", "", false},  // an empty file is not even tried
        {"truncated.mp3", mp3.substr(0, 1500), true},
        {"words.mp3", std::string("Not a song at all.\r\n", 20), true},
        {"header.mp3", mp3.substr(0, 4) + garbage, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string hostile = WriteTempFile(c.name, c.bytes);
        const std::string orig = Song("song.wav");
        m_listener.Clear();
        StdoutCapture capture;
        m_music->StartAccompanyMusic(orig.c_str(), hostile.c_str(), kPlayOriginal);
        ASSERT_TRUE(WaitForPosition(0.5));
        const std::string printed = capture.Stop();
        EXPECT_EQ(c.logged, printed.find("ERROR - ") != std::string::npos) << printed;
        const MusicGraphReport report = Inspect();
        EXPECT_EQ(kRunning, report.tracks[0].state);
        // The other way round: the hostile file as the original breaks nothing of the karaoke track.
        m_listener.Clear();
        const std::string mp3Song = Song("karaoke.mp3");
        m_music->StartAccompanyMusic(hostile.c_str(), mp3Song.c_str(), kPlayKaraoke);
        ASSERT_TRUE(WaitForStartReport());
        EXPECT_TRUE(WaitForInspect([](const MusicGraphReport& r) { return r.tracks[1].state == kRunning; }))
            << Describe(Inspect());
        m_music->StopAccompanyMusic();
    }
}

namespace {

// What the system itself leaves behind per sound graph: Wine's graphs keep
// some handles after their release. Measured with bare graphs of the same file.
double BareGraphHandleGrowth(const std::string& file, int graphs)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const std::wstring wide(file.begin(), file.end());
    const int before = OwnHandles();
    for (int i = 0; i < graphs; ++i) {
        tq::ComPtr<IGraphBuilder> graph;
        tq::ComPtr<IMediaControl> control;
        if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.ReceiveVoid())) ||
            FAILED(graph->RenderFile(wide.c_str(), nullptr)) ||
            FAILED(graph->QueryInterface(IID_IMediaControl, control.ReceiveVoid())))
            break;
        control->Run();
        control->Stop();
    }
    const int after = OwnHandles();
    CoUninitialize();
    return double(after - before) / graphs;
}

} // namespace

TEST_F(AccompanyTest, LongRunsLeaveNoHandlesOfTheirOwn)
{
    const std::string orig = Song("song.wav"), kalaok = Song("karaoke.wav");
    auto rounds = [&](int count) {
        for (int i = 0; i < count; ++i) {
            m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), i % 2);
            m_music->StopAccompanyMusic();
        }
        const size_t starts = size_t(count);
        ASSERT_TRUE(PumpMessagesUntil([&] {
            return size_t(std::count_if(m_listener.positions.begin(), m_listener.positions.end(),
                                        [](const TimedPosition& p) { return p.seconds == 0.0; })) >= starts;
        }, 120000));
        ASSERT_TRUE(WaitForInspect([](const MusicGraphReport& r) { return !r.tracks[0].hasGraph && !r.tracks[1].hasGraph; }));
        m_listener.Clear();
    };
    rounds(10);  // warm-up: the system's own first-use handles
    const double perGraph = BareGraphHandleGrowth(orig, 20);
    const int before = OwnHandles();
    ASSERT_GT(before, 0) << "the handle table cannot be read";
    rounds(100);
    const int after = OwnHandles();
    // 100 rounds build 200 graphs: nothing beyond what 200 bare graphs leave.
    EXPECT_LE(after - before, int(200 * perGraph) + 40)
        << "handles before " << before << ", after " << after << "; a bare graph leaves " << perGraph;

    m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal);
    ASSERT_TRUE(WaitForStartReport());
    const int beforeSwitches = OwnHandles();
    for (int i = 0; i < 100; ++i)
        m_music->SwitchPlayType(i % 2 == 0 ? kPlayKaraoke : kPlayOriginal);
    ASSERT_TRUE(WaitForInspect([](const MusicGraphReport& r) { return r.tracks[0].state == kRunning && r.tracks[1].state == kPaused; }, 20000));
    EXPECT_LE(OwnHandles(), beforeSwitches + 10) << "switching builds nothing";
}

TEST_F(AccompanyTest, QuitDuringPlayEndsCleanly)
{
    const std::string orig = Song("song.mp3"), kalaok = Song("karaoke.mp3");
    m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal);
    ASSERT_TRUE(WaitForPosition(0.5));
    m_music->Quit();
    MusicGraphReport report;
    EXPECT_FALSE(m_music->InspectForTest(report)) << "no worker after Quit";
    // Commands after Quit are dropped, not crashes.
    EXPECT_EQ(0, m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal));
    m_music->SwitchPlayType(kPlayKaraoke);
}

TEST_F(AccompanyTest, PlayedSecondsCountOnlyWhatIsHeard)
{
    const std::string orig = Song("song.wav"), kalaok = Song("karaoke.wav");
    // The song lasts 4 s: its end stops the count too.
    m_music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal);
    PumpMessagesUntil([] { return false; }, 1000);
    EXPECT_EQ(0, m_music->GetPlayedSeconds()) << "under 2 s counts as nothing, and is discarded";
    m_music->PauseAccompanyMusic();
    PumpMessagesUntil([] { return false; }, 500);  // a pause is not counted
    m_music->ContinueAccompanyMusic();
    PumpMessagesUntil([] { return false; }, 2200);
    EXPECT_EQ(2, m_music->GetPlayedSeconds());
}

TEST_F(AccompanyTest, KaraokeOnlyStartPlaysNothingAudibleWithoutPositions)
{
    const std::string kalaok = Song("karaoke.wav");
    const struct { const char* orig; int playType; long kalaokState; } cases[] = {
        {nullptr, kPlayKaraoke, kRunning}, {"", kPlayOriginal, kPaused},
    };
    for (const auto& c : cases) {
        m_listener.Clear();
        m_music->StartAccompanyMusic(c.orig, kalaok.c_str(), c.playType);
        ASSERT_TRUE(WaitForStartReport());
        EXPECT_EQ(0.0, m_listener.positions.front().seconds);
        PumpMessagesUntil([] { return false; }, 500);
        EXPECT_EQ(1u, m_listener.positions.size()) << "without an original no position is reported";
        const MusicGraphReport report = Inspect();
        EXPECT_FALSE(report.tracks[0].hasGraph);
        EXPECT_EQ(c.kalaokState, report.tracks[1].state);
    }
}
