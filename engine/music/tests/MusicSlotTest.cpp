// The players and the output chooser called by slot number through their raw
// tables, as a host built by another compiler calls them, with listeners
// that are hand-made tables of plain functions.
#include "AccompanyMusic.h"
#include "MoodMusic.h"
#include "MusicInspect.h"
#include "MusicTestSupport.h"
#include "SonvexMgr.h"
#include "testing/SlotCall.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace musictest;

static_assert(sizeof(IAccompanyMusic) == sizeof(void*), "one table pointer");
static_assert(sizeof(IMoodMusic) == sizeof(void*), "one table pointer");
static_assert(sizeof(ISonvexMgr) == sizeof(void*), "one table pointer");

namespace {

// A host's accompaniment listener: three slots.
struct HostAccompanyListener {
    void* const* table;
    std::vector<double> positions;
    int ends = 0;
    std::vector<std::pair<std::string, double>> durations;
};
void TQ_THISCALL HostPosition(HostAccompanyListener* self, double seconds) { self->positions.push_back(seconds); }
void TQ_THISCALL HostEnd(HostAccompanyListener* self) { ++self->ends; }
void TQ_THISCALL HostDuration(HostAccompanyListener* self, const char* name, double ms) { self->durations.push_back({name, ms}); }
void* const kAccompanyListenerTable[kAccompanyListenerSlots] = {
    reinterpret_cast<void*>(&HostPosition), reinterpret_cast<void*>(&HostEnd), reinterpret_cast<void*>(&HostDuration)};

// A host's device listener: one slot.
struct HostDeviceListener {
    void* const* table;
    std::vector<std::string> devices;
    int calls = 0;
};
void TQ_THISCALL HostDevices(HostDeviceListener* self, const std::vector<std::string>* devices)
{
    self->devices = *devices;
    ++self->calls;
}
void* const kDeviceListenerTable[kAudioDeviceListenerSlots] = {reinterpret_cast<void*>(&HostDevices)};

class MusicSlots : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_logs.Start(); }
    static LogFiles s_logs;
};
LogFiles MusicSlots::s_logs;

} // namespace

namespace {

// The first entry a derived class adds: in this compiler's tables the
// concrete class's virtual destructor takes two entries after the host's slots.
template <class Base>
struct SlotProbe : Base {
    virtual int AfterTheHostSlots() { return 77; }
};

} // namespace

TEST_F(MusicSlots, TablesHoldExactlyTheHostSlots)
{
    SlotProbe<CSonvexMgr> chooser;
    EXPECT_EQ(77, CallSlot<int>(static_cast<ISonvexMgr*>(&chooser), kSonvexMgrSlots + 2));
    SlotProbe<CMoodMusic> mood;
    EXPECT_EQ(77, CallSlot<int>(static_cast<IMoodMusic*>(&mood), kMoodMusicSlots + 2));
    SlotProbe<CAccompanyMusic> music;
    EXPECT_EQ(77, CallSlot<int>(static_cast<IAccompanyMusic*>(&music), kAccompanyMusicSlots + 2));
}

TEST_F(MusicSlots, AccompanimentSlots)
{
    auto* music = new CAccompanyMusic;
    void* object = static_cast<IAccompanyMusic*>(music);
    ASSERT_EQ(object, static_cast<void*>(music)) << "the host's table is the object's first";
    HostAccompanyListener host{kAccompanyListenerTable};
    const std::string orig = Song("song.mp3"), kalaok = Song("karaoke.wav");
    auto inspect = [&] {
        MusicGraphReport report;
        music->InspectForTest(report);
        return report;
    };

    CallSlot<void, void*>(object, 9, &host);                 // SetListener
    CallSlot<void, double>(object, 7, 0.5);                  // SetAccompanyVolume
    EXPECT_EQ(0, (CallSlot<int, const char*, const char*, int>(object, 0, orig.c_str(), kalaok.c_str(), 1)));  // Start
    ASSERT_TRUE(PumpMessagesUntil([&] { return !host.positions.empty(); }, 10000));
    EXPECT_EQ(0.0, host.positions.front()) << "the start report reaches the host's slot 0";
    // The start's volume message follows the start report; an inspection,
    // sent, may overtake it.
    EXPECT_TRUE(PumpMessagesUntil([&] { return inspect().tracks[0].volume == -1408; }, 5000))
        << inspect().tracks[0].volume;
    ASSERT_TRUE(PumpMessagesUntil([&] { return host.positions.back() > 0.8; }, 5000));
    EXPECT_GT(CallSlot<double>(object, 6), 0.5);            // GetPlayPosition
    EXPECT_FALSE(host.durations.empty()) << "the start reports the durations through slot 2";

    CallSlot<void, int>(object, 1, 0);                       // SwitchPlayType
    ASSERT_TRUE(PumpMessagesUntil([&] { return inspect().tracks[1].state == State_Running; }, 5000));
    EXPECT_EQ(State_Paused, inspect().tracks[0].state);
    EXPECT_EQ(0, CallSlot<int>(object, 3));                  // Pause
    ASSERT_TRUE(PumpMessagesUntil([&] { return inspect().tracks[1].state == State_Paused; }, 5000));
    EXPECT_EQ(0, CallSlot<int>(object, 4));                  // Continue
    ASSERT_TRUE(PumpMessagesUntil([&] { return inspect().tracks[1].state == State_Running; }, 5000));
    // Played time under two seconds counts as none: play past that first.
    // The song's clock runs only while the count does, so its position
    // bounds the time counted from below.
    ASSERT_TRUE(PumpMessagesUntil([&] { return host.positions.back() > 2.2; }, 10000));
    const size_t beforeSeek = host.positions.size();
    EXPECT_EQ(0, (CallSlot<int, double>(object, 5, 0.75)));  // SetPlayPosition
    // The seek reports its position at once; the reports are kept, so a busy
    // machine cannot step over the short moment near 3 s.
    ASSERT_TRUE(PumpMessagesUntil([&] {
        for (size_t i = beforeSeek; i < host.positions.size(); ++i)
            if (std::fabs(host.positions[i] - 3.0) < 0.3)
                return true;
        return false;
    }, 5000));

    host.durations.clear();
    const std::vector<std::string> names = {Song("karaoke.mp3")};
    CallSlot<void, const std::vector<std::string>*>(object, 8, &names);  // GetPreMusicDuration
    ASSERT_TRUE(PumpMessagesUntil([&] {
        for (const auto& d : host.durations)
            if (d.first == names[0])
                return true;
        return false;
    }, 10000));

    EXPECT_EQ(0, CallSlot<int>(object, 2));                  // Stop
    ASSERT_TRUE(PumpMessagesUntil([&] { return !inspect().tracks[1].hasGraph; }, 5000));
    EXPECT_GE(CallSlot<int>(object, 11), 1);                 // GetPlayedSeconds
    EXPECT_EQ(0, CallSlot<int>(object, 11)) << "the count starts afresh";
    CallSlot<void>(object, 10);                              // Quit
    MusicGraphReport report;
    EXPECT_FALSE(music->InspectForTest(report));
    delete music;
}

TEST_F(MusicSlots, MoodMusicSlots)
{
    auto* mood = new CMoodMusic;
    void* object = static_cast<IMoodMusic*>(mood);
    ASSERT_EQ(object, static_cast<void*>(mood));
    const std::string song = Song("song.wav");
    auto inspect = [&] {
        MusicGraphReport report;
        mood->InspectForTest(report);
        return report.tracks[0];
    };
    EXPECT_EQ(0, (CallSlot<int, const char*>(object, 0, song.c_str())));  // StartMoodMusic
    ASSERT_TRUE(PumpMessagesUntil([&] { return inspect().state == State_Running; }, 8000));
    CallSlot<void, double>(object, 4, 0.5);                               // SetMoodMusicVolume
    ASSERT_TRUE(PumpMessagesUntil([&] { return inspect().volume == -1408; }, 5000));
    EXPECT_EQ(std::wstring(song.begin(), song.end()), CallSlot<std::wstring>(object, 2));  // GetMoodMusicName
    EXPECT_NEAR(4.0, (CallSlot<double, const char*>(object, 3, song.c_str())), 0.1);   // GetDuration
    CallSlot<void>(object, 1);                                            // StopMoodMusic
    ASSERT_TRUE(PumpMessagesUntil([&] { return !inspect().hasGraph; }, 5000));
    CallSlot<void>(object, 5);                                            // Quit
    MusicGraphReport report;
    EXPECT_FALSE(mood->InspectForTest(report));
    delete mood;
}

TEST_F(MusicSlots, ChooserSlots)
{
    auto* chooser = new CSonvexMgr;
    void* object = static_cast<ISonvexMgr*>(chooser);
    ASSERT_EQ(object, static_cast<void*>(chooser));
    HostDeviceListener host{kDeviceListenerTable};
    CallSlot<void, void*>(object, 1, &host);                                    // SetListener
    ASSERT_TRUE(PumpMessagesUntil([&] { return host.calls > 0; }, 10000)) << "the list made at construction";
    EXPECT_EQ(EnumerateAudioRenderers(), host.devices);
    CallSlot<void, const char*>(object, 2, "DirectSound: Out: default");        // SetOutputDevice
    EXPECT_EQ("DirectSound: Out: default", CallSlot<std::string>(object, 3));    // GetOutputDevice
    CallSlot<void, const char*>(object, 2, nullptr);
    EXPECT_EQ("", CallSlot<std::string>(object, 3));
    CallSlot<void>(object, 0);                                                  // Quit
    delete chooser;
}
