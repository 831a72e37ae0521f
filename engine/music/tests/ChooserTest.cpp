// The audio output chooser: the machine's renderers reach the host, and the
// chosen one plays the sound of the graphs built afterwards, through the
// engine's manager as the players reach it.
#include "AccompanyMusic.h"
#include "IVcamManger.h"
#include "MoodMusic.h"
#include "MusicInspect.h"
#include "MusicTestSupport.h"
#include "SonvexMgr.h"
#include "VcamManger.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace musictest;

namespace {

LogFiles g_logs;

class DeviceListener : public IAudioDeviceListener {
public:
    void OnAudioDeviceList(const std::vector<std::string>& list) override
    {
        devices = list;
        ++calls;
    }
    std::vector<std::string> devices;
    int calls = 0;
};

bool Has(const MusicTrackReport& r, const char* name)
{
    return std::find(r.filters.begin(), r.filters.end(), name) != r.filters.end();
}

} // namespace

TEST(Chooser, ListsTheRenderersDefaultDirectSoundFirst)
{
    g_logs.Start();
    CSonvexMgr chooser;
    DeviceListener listener;
    chooser.SetListener(&listener);
    ASSERT_TRUE(PumpMessagesUntil([&] { return listener.calls > 0; }, 10000));
    PumpMessagesUntil([] { return false; }, 200);
    EXPECT_EQ(1, listener.calls) << "the list is made once";
    // The null ALSA device of the test HOME gives Wine's four renderers.
    const std::vector<std::string> expected = {"Default DirectSound Device", "Default WaveOut Device",
                                               "DirectSound: Out: default", "Out: default"};
    EXPECT_EQ(expected, listener.devices);
    EXPECT_EQ(expected, chooser.GetDeviceList());
    EXPECT_EQ("", chooser.GetOutputDevice()) << "nothing chosen at first";
    const std::string log = g_logs.EngineLog();
    for (const auto& name : expected)
        EXPECT_NE(std::string::npos, log.find("info  - OnGetAudioFilter name " + name)) << name;
    chooser.Quit();
}

TEST(Chooser, ChosenDevicePlaysTheNextGraphs)
{
    IVcamManger* manager = VcamManger::Instance();
    ASSERT_NE(nullptr, manager);
    ISonvexMgr* chooser = manager->GetSonvexMgr();
    CAccompanyMusic* music = manager->GetAccompanyMusic();
    CMoodMusic* mood = manager->GetMoodMusic();
    RecordingListener listener;
    music->SetListener(&listener);
    const std::string orig = Song("song.mp3"), kalaok = Song("karaoke.wav"), clip = Song("song.wav");

    const struct { const char* device; const char* renderer; const char* absent; } cases[] = {
        {"DirectSound: Out: default", "Audio Filter Tq sorva", "Default DirectSound Device"},
        {"Out: default", "Audio Filter Tq sorva", "Default DirectSound Device"},
        {"No such device", "Default DirectSound Device", "Audio Filter Tq sorva"},  // the sound is kept
        {"Default DirectSound Device", "Default DirectSound Device", "Audio Filter Tq sorva"},
        {"", "Default DirectSound Device", "Audio Filter Tq sorva"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        chooser->SetOutputDevice(c.device);
        EXPECT_EQ(c.device, chooser->GetOutputDevice());
        listener.Clear();
        music->StartAccompanyMusic(orig.c_str(), kalaok.c_str(), kPlayOriginal);
        mood->StartMoodMusic(clip.c_str());
        ASSERT_TRUE(PumpMessagesUntil([&] { return listener.LastPosition() > 0.5; }, 10000)) << "positions advance";
        MusicGraphReport accompaniment, moodReport;
        ASSERT_TRUE(music->InspectForTest(accompaniment));
        ASSERT_TRUE(PumpMessagesUntil([&] { return mood->InspectForTest(moodReport) && moodReport.tracks[0].state == State_Running; }, 5000));
        for (const MusicTrackReport* track : {&accompaniment.tracks[0], &accompaniment.tracks[1], &moodReport.tracks[0]}) {
            EXPECT_TRUE(Has(*track, c.renderer)) << track->file;
            EXPECT_FALSE(Has(*track, c.absent)) << track->file;
        }
        EXPECT_TRUE(manager->StopAllMusic());
        ASSERT_TRUE(PumpMessagesUntil([&] {
            return music->InspectForTest(accompaniment) && !accompaniment.tracks[0].hasGraph &&
                   mood->InspectForTest(moodReport) && !moodReport.tracks[0].hasGraph;
        }, 5000));
    }
    const std::string log = g_logs.EngineLog();
    EXPECT_NE(std::string::npos, log.find("no sound renderer named No such device: the default renderer plays"));

    music->Quit();
    mood->Quit();
    chooser->Quit();
    manager->GetCaptureVideo();
    VcamManger::UnInstance();
}
