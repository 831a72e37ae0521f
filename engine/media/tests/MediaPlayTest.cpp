// Real files through the media-file source under Wine's DirectShow (its
// GStreamer back end): frames reach the record, durations, the end of the
// file, pause, volume, seeks and replays, and files that cannot play.
#include "ComPtr.h"
#include "DShowGuids.h"
#include "GraphHelpers.h"
#include "MediaRecipes.h"
#include "MediaPlayFixture.h"
#include "MediaTestSupport.h"
#include "MediaVideo.h"
#include "MultimediaTimer.h"
#include "ShareHandle.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <dshow.h>

#include <cmath>
#include <thread>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

// The GStreamer plug-in (and its Debian package) each container needs.
struct Container {
    const char* file;
    const char* plugin;
    const char* package;
};
const Container kContainers[] = {
    {"clip.mp4", "libgstisomp4.so", "gstreamer1.0-plugins-good"},
    {"clip.flv", "libgstflv.so", "gstreamer1.0-plugins-good"},
    {"clip.avi", "libgstavi.so", "gstreamer1.0-plugins-good"},
    {"clip.wmv", "libgstasf.so", "gstreamer1.0-plugins-ugly"},
    {"clip.mpg", "libgstmpegpsdemux.so", "gstreamer1.0-plugins-bad"},
};

// What is missing on the Linux side when a container shows no picture.
std::string MissingPackages(const Container& c)
{
    std::string missing;
    const struct { const char* plugin; const char* package; } needed[] = {
        {c.plugin, c.package}, {"libgstlibav.so", "gstreamer1.0-libav"}, {"libgstplayback.so", "gstreamer1.0-plugins-base"},
    };
    for (const auto& n : needed) {
        const std::string path = std::string("Z:\\usr\\lib\\x86_64-linux-gnu\\gstreamer-1.0\\") + n.plugin;
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            missing += std::string(" ") + n.package + " (" + n.plugin + ")";
    }
    return missing.empty() ? " nothing the plug-in folder shows" : missing;
}

class MediaPlay : public MediaPlayFixture {};

BOOL CALLBACK CountVisibleWindowOfThisProcess(HWND window, LPARAM param)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(window))
        ++*reinterpret_cast<int*>(param);
    return TRUE;
}

// Top-level windows of this process on the screen.
int VisibleWindowsOfThisProcess()
{
    int count = 0;
    EnumWindows(&CountVisibleWindowOfThisProcess, reinterpret_cast<LPARAM>(&count));
    return count;
}

// The playing graph's sound volume, reached from the running object table.
tq::ComPtr<IBasicAudio> GraphAudioFromRot()
{
    tq::ComPtr<IBasicAudio> audio;
    if (tq::ComPtr<IFilterGraph> graph = RunningGraph())
        graph->QueryInterface(IID_IBasicAudio, audio.ReceiveVoid());
    return audio;
}

} // namespace

// Without the vendor filters every container falls back to the graph
// DirectShow builds itself, shows its picture and ends with OnMediaEnd.
TEST_F(MediaPlay, EveryContainerPlaysToItsEnd)
{
    for (const Container& c : kContainers) {
        listener = MediaListener();
        ClearMediaLog();
        std::vector<uint8_t> record;
        const bool framed = PlayUntilFrame(Clip(c.file), record);
        EXPECT_TRUE(framed) << c.file << " shows no picture; missing:" << MissingPackages(c);
        if (!framed) {
            media->StopMediaVideo();
            continue;
        }
        const tq::FrameHeader header = HeaderOf(record);
        EXPECT_EQ(480u, header.width);
        EXPECT_EQ(360u, header.height);
        EXPECT_LE(QuadrantDistance(record.data() + tq::kFrameHeaderSize, 480, 360, 0, 0, 480, 360), 255);
        EXPECT_EQ(1, CountMediaLog(media_text::kUsingDefault)) << c.file;
        const char* vendorFailure = ChooseMediaRecipe(c.file) == MediaRecipe::LavMedia
                                        ? "ERROR - Could not create LavMediaSource. , hr = 80040154"
                                        : ChooseMediaRecipe(c.file) == MediaRecipe::MpegMedia
                                              ? "ERROR - Could not create Elecard MPEG Demultiplexer. , hr = 80040154"
                                              : nullptr;
        if (vendorFailure) {
            EXPECT_EQ(1, CountMediaLog(vendorFailure)) << c.file;
        }
        EXPECT_TRUE(PumpUntil([&] { return media->IsPlaying(); }, 5000)) << c.file;
        EXPECT_TRUE(PumpUntilEnded(20000)) << c.file;
        EXPECT_EQ(1, listener.ended) << c.file;
        EXPECT_EQ(0, listener.failed) << c.file;
        EXPECT_FALSE(media->IsPlaying()) << c.file;
        EXPECT_GT(listener.progress, 0) << c.file;
    }
}

TEST_F(MediaPlay, DurationsOfEveryContainer)
{
    std::vector<std::string> names;
    for (const Container& c : kContainers)
        names.push_back(Clip(c.file));
    names.push_back(Clip("song.mp3"));
    media->GetPreMediaDuration(names);
    media->GetPreMediaDuration({names[0]});  // already waiting: measured once
    ASSERT_TRUE(PumpUntil([&] { return listener.durations.size() == names.size(); }, 60000))
        << listener.durations.size() << " of " << names.size();
    for (const std::string& name : names)
        EXPECT_NEAR(5000.0, listener.durations[name], 100.0) << name;
    EXPECT_EQ(1, CountMediaLog("getPreMediaDuration filename " + names[0] + " time"));
}

TEST_F(MediaPlay, PauseFreezesTheFrameTime)
{
    std::vector<uint8_t> record;
    ASSERT_TRUE(PlayUntilFrame(Clip("video.mp4"), record));
    media->Pause();
    ASSERT_TRUE(PumpUntil([] { return CountMediaLog("OnPauseMediaVideo end") > 0; }, 5000));
    PumpUntil([] { return false; }, 300);  // a frame already on its way
    const int32_t paused = HeaderOf(ReadRecord()).frameTime;
    PumpUntil([] { return false; }, 700);
    EXPECT_EQ(paused, HeaderOf(ReadRecord()).frameTime);
    media->Continue();
    EXPECT_TRUE(WaitForNewFrame(paused, record, 5000));
}

// SetVolume(0.5) reaches the graph as table entry 50.
TEST_F(MediaPlay, VolumeReachesTheGraph)
{
    std::vector<uint8_t> record;
    ASSERT_TRUE(PlayUntilFrame(Clip("clip.mp4"), record));
    media->SetVolume(0.5);
    long volume = 0;
    EXPECT_TRUE(PumpUntil([&] {
        tq::ComPtr<IBasicAudio> audio = GraphAudioFromRot();
        return audio && SUCCEEDED(audio->get_Volume(&volume)) && volume == -1408;
    }, 5000)) << volume;
}

// On a picture-only file: a seek moves the play position, one before the
// start is ignored, and Init with the playing file starts it again.
TEST_F(MediaPlay, SeekAndReplay)
{
    std::vector<uint8_t> record;
    ASSERT_TRUE(PlayUntilFrame(Clip("video.mp4"), record));
    ASSERT_TRUE(PumpUntil([&] { return media->IsPlaying() && listener.lastProgress > 200; }, 5000));
    media->SetPosition(3500);
    EXPECT_TRUE(PumpUntil([&] { return listener.lastProgress >= 3500; }, 5000)) << listener.lastProgress;
    ClearMediaLog();  // before the seek: the worker may handle it at once
    media->SetPosition(-1);
    ASSERT_TRUE(PumpUntil([] { return CountMediaLog("OnPlayMediaVideoPosition") > 0; }, 5000));
    PumpUntil([] { return false; }, 200);
    EXPECT_GE(listener.lastProgress, 3500) << "SetPosition(-1) moved the play";

    media->Init(Clip("video.mp4").c_str(), 0);
    EXPECT_FALSE(media->IsPlaying());
    EXPECT_TRUE(PumpUntil([&] { return media->IsPlaying(); }, 5000)) << "a replay reports its start";
    EXPECT_TRUE(PumpUntil([&] { return listener.lastProgress < 1500; }, 5000)) << listener.lastProgress;
    EXPECT_TRUE(PumpUntilEnded(15000));
    EXPECT_EQ(0, listener.failed);
}

// With sound and picture a seek is followed by a stop that returns.
TEST_F(MediaPlay, SeekThenStopWithSoundReturns)
{
    std::vector<uint8_t> record;
    ASSERT_TRUE(PlayUntilFrame(Clip("clip.mp4"), record));
    media->SetPosition(2000);
    EXPECT_TRUE(StopAndWait());
    EXPECT_FALSE(media->IsPlaying());
}

// Files no recipe plays end in OnMediaOpenFailed (or, once started, in
// OnMediaEnd) and leave the source able to play a good file.
TEST_F(MediaPlay, HostileFilesFailCleanly)
{
    const char* const hostile[] = {"song.mp3", "empty.avi", "truncated.mp4", "text.avi", "random.mkv",
                                   "no such file.mp4"};
    for (const char* name : hostile) {
        listener = MediaListener();
        media->Init(Clip(name).c_str(), 0);
        EXPECT_TRUE(PumpUntilEnded(30000)) << name;
        EXPECT_FALSE(media->IsPlaying()) << name;
    }
    EXPECT_EQ(1, CountMediaLog("ERROR - Could not find Video Renderer.")) << "the audio-only file";
    listener = MediaListener();
    std::vector<uint8_t> record;
    EXPECT_TRUE(PlayUntilFrame(Clip("video.avi"), record));
}

// A hundred starts and stops leave no handles behind beyond the event Wine's
// own filter graph keeps for every graph made, measured here.
TEST_F(MediaPlay, HundredStartsAndStopsLeakNothing)
{
    HKEY anyKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, &anyKey));
    const int keyType = HandleType(anyKey);
    RegCloseKey(anyKey);
    ASSERT_GE(keyType, 0) << "the handle table cannot be read";
    auto handlesBesidesKeys = [&] {
        int count = 0;
        for (const auto& type : OwnHandlesByType()) {
            if (type.first != keyType)
                count += type.second;
        }
        return count;
    };
    auto round = [&](int n) {
        std::vector<uint8_t> record;
        const bool framed = PlayUntilFrame(Clip(n % 2 ? "video.avi" : "clip"), record);
        EXPECT_EQ(0, VisibleWindowsOfThisProcess()) << "a play showed a window";
        return StopAndWait() && framed;
    };
    ASSERT_TRUE(round(1));  // what the first play loads stays loaded
    ASSERT_TRUE(round(2));

    // Wine's own share: graphs that render the same files, run, stop and are released.
    const int calibrationStart = handlesBesidesKeys();
    for (int n = 0; n < 10; ++n) {
        IGraphBuilder* graph = nullptr;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                               reinterpret_cast<void**>(&graph))));
        graph->RenderFile(MediaAnsiToWide(Clip(n % 2 ? "video.avi" : "clip")).c_str(), nullptr);
        // As the source does: the renderer's window never shows (other tests read the screen).
        tq::ComPtr<IVideoWindow> window;
        if (SUCCEEDED(graph->QueryInterface(IID_IVideoWindow, window.ReceiveVoid())) && window)
            window->put_AutoShow(OAFALSE);
        window.Release();
        IMediaControl* control = nullptr;
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)))) {
            control->Run();
            EXPECT_EQ(0, VisibleWindowsOfThisProcess());
            OAFilterState state;
            control->GetState(2000, &state);
            control->Stop();
            control->Release();
        }
        graph->Release();
    }
    const int perGraph = (handlesBesidesKeys() - calibrationStart + 5) / 10;
    // And for a vendor filter that is not installed, as LavMedia asks for it.
    const int missingStart = handlesBesidesKeys();
    for (int n = 0; n < 10; ++n) {
        IBaseFilter* filter = nullptr;
        EXPECT_FALSE(SUCCEEDED(CoCreateInstance(kClsidLavSource, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                                                reinterpret_cast<void**>(&filter))));
    }
    const int perMissingFilter = (handlesBesidesKeys() - missingStart + 5) / 10;
    // And for a picture timer started and stopped, as each play's first frame does.
    const int timerStart = handlesBesidesKeys();
    for (int n = 0; n < 10; ++n) {
        tq::CMultimediaTimer timer;
        timer.Start(33, [](void*) {}, nullptr);
        timer.Stop();
    }
    const int perTimer = (handlesBesidesKeys() - timerStart + 5) / 10;

    ClearMediaLog();
    const int before = handlesBesidesKeys();
    int failures = 0;
    for (int n = 0; n < 100; ++n)
        failures += round(n) ? 0 : 1;
    const int gained = handlesBesidesKeys() - before;
    EXPECT_EQ(0, failures);
    // Every play makes a graph for its recipe; one that falls back to the
    // default recipe (a vendor filter missing, or no recipe for the file)
    // drops it and makes a second.
    const int graphs = CountMediaLog("CMediaVideoOper::InitDirect begin") + CountMediaLog(media_text::kUsingDefault);
    EXPECT_EQ(0, CountMediaLog("left behind"));
    const int missing = CountMediaLog("ERROR - Could not create LavMediaSource");
    const int timers = CountMediaLog("OnGetNewPicture timer started");
    printf("100 rounds, %d graphs made, %d missing filters asked for, %d picture timers: %d handles gained besides "
           "registry keys; Wine keeps %d per graph, %d per missing filter, %d per timer\n", graphs, missing, timers,
           gained, perGraph, perMissingFilter, perTimer);
    EXPECT_LE(gained, graphs * perGraph + missing * perMissingFilter + timers * perTimer + 20);
}
