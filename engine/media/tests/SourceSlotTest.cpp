// The media-file and desktop sources as a host built by another compiler
// drives them: every operation called by its slot number through the raw
// table, and listeners built by hand as tables of plain functions.
#include "DesktopMessages.h"
#include "DesktopVideo.h"
#include "MediaMessages.h"
#include "MediaTestSupport.h"
#include "MediaVideo.h"

#include <gtest/gtest.h>

#include "testing/SlotCall.h"

#include <mmsystem.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// A host's media listener: a table of four plain functions.
struct HandMediaListener {
    void* const* table;
    std::vector<std::string> heard;
};
void TQ_THISCALL HandProgress(HandMediaListener* self, double ms) { self->heard.push_back("progress " + std::to_string(int(ms * 10))); }
void TQ_THISCALL HandEnd(HandMediaListener* self) { self->heard.push_back("end"); }
void TQ_THISCALL HandOpenFailed(HandMediaListener* self) { self->heard.push_back("open failed"); }
void TQ_THISCALL HandDuration(HandMediaListener* self, const char* name, double ms)
{
    self->heard.push_back(std::string("duration ") + name + " " + std::to_string(int(ms)));
}
void* const kHandMediaTable[kMediaVideoListenerSlots] = {
    reinterpret_cast<void*>(&HandProgress), reinterpret_cast<void*>(&HandEnd),
    reinterpret_cast<void*>(&HandOpenFailed), reinterpret_cast<void*>(&HandDuration)};

struct HandDesktopListener {
    void* const* table;
    int stopped = 0;
};
void TQ_THISCALL HandStopped(HandDesktopListener* self) { ++self->stopped; }
void* const kHandDesktopTable[1] = {reinterpret_cast<void*>(&HandStopped)};

struct SnapshotCount : ISnapshotSink {
    void OnSnapshot(const uint8_t*, uint32_t length) override { lengths.push_back(length); }
    std::vector<uint32_t> lengths;
};

DWORD g_now = 0;
DWORD FakeClock() { return g_now; }

// The interfaces with one more virtual after theirs: its slot number is the
// interface's slot count.
struct MediaProbe : IMediaVideo {
    void Quit() override {}
    int Init(const char*, int) override { return 0; }
    int StopMediaVideo() override { return 0; }
    void Pause() override {}
    void Continue() override {}
    void SetVolume(double) override {}
    void Snapshot(bool) override {}
    void SetSnapshotSink(ISnapshotSink*) override {}
    bool SetPosition(double) override { return true; }
    void SetListener(IMediaVideoListener*) override {}
    void GetPreMediaDuration(const std::vector<std::string>&) override {}
    int GetPlayedSeconds() override { return 0; }
    bool IsPlaying() override { return false; }
    virtual int AfterTheInterface() { return 77; }
};
struct DesktopProbe : IDesktopVideo {
    void Quit() override {}
    void Stop(uint32_t) override {}
    void Start(HWND, uint32_t, uint32_t) override {}
    void SetListener(IDesktopVideoListener*) override {}
    uint32_t GetPlayedSeconds() override { return 0; }
    bool IsRunning() override { return false; }
    DesktopCursorMark* GetCursorMark(DesktopCursorMark* out) override { return out; }
    void SetCursorMark(const DesktopCursorMark*) override {}
    virtual int AfterTheInterface() { return 78; }
};

} // namespace

TEST(SourceSlots, TablesHoldExactlyTheInterfacesSlots)
{
    MediaProbe media;
    EXPECT_EQ(77, CallSlot<int>(&media, kMediaVideoSlots)) << "no slot beyond IsPlaying, no destructor slot";
    DesktopProbe desktop;
    EXPECT_EQ(78, CallSlot<int>(&desktop, kDesktopVideoSlots)) << "no slot beyond SetCursorMark";
}

TEST(SourceSlots, MediaOperationsRunAtTheirSlots)
{
    StartMediaLogCapture();
    ClearMediaLog();
    CMediaVideo media;
    media.SetClockForTesting(&FakeClock);
    void* object = AsMediaVideo(&media);
    ASSERT_EQ(static_cast<void*>(&media), object);
    HandMediaListener listener{kHandMediaTable, {}};
    SnapshotCount sink;

    CallSlot<void, void*>(object, 9, &listener);                       // SetListener
    CallSlot<void, void*>(object, 7, static_cast<ISnapshotSink*>(&sink));  // SetSnapshotSink
    CallSlot<void, double>(object, 5, 0.5);                            // SetVolume
    EXPECT_EQ(0.5, media.GetSettings().volume);
    EXPECT_TRUE((CallSlot<bool, double>(object, 8, 1234.0)));          // SetPosition
    EXPECT_EQ(1234.0, media.GetSettings().position);
    g_now = 1000;
    EXPECT_EQ(0, (CallSlot<int, const char*, int>(object, 1, "Z:\\missing\\file.wmv", 3)));  // Init
    EXPECT_EQ("Z:\\missing\\file.wmv", media.GetSettings().fileName);
    EXPECT_EQ(3, media.GetSettings().initFlag);
    EXPECT_FALSE(CallSlot<bool>(object, 12));                          // IsPlaying
    ASSERT_TRUE(PumpUntil([&] { return !listener.heard.empty(); }, 15000));
    EXPECT_EQ("open failed", listener.heard.back()) << "the missing file's report";
    EXPECT_TRUE(media.GetSettings().fileName.empty());

    const std::vector<std::string> names = {"Z:\\missing\\a.avi"};
    CallSlot<void, const std::vector<std::string>*>(object, 10, &names);  // GetPreMediaDuration
    media.StoreDuration(names[0], 4321.0);  // as the worker's measurement does
    CallSlot<void>(object, 3);                                         // Pause
    CallSlot<void>(object, 4);                                         // Continue
    ASSERT_TRUE(PumpUntil([] { return CountMediaLog("OnContinueMediaVideo") > 0; }, 5000));
    EXPECT_EQ(1, CountMediaLog("OnPauseMediaVideo enter"));
    CallSlot<void, bool>(object, 6, true);                             // Snapshot
    ASSERT_EQ(1u, sink.lengths.size());
    EXPECT_EQ(360000u, sink.lengths[0]);
    media.SetPlayingForTesting(true);
    g_now += 3500;
    EXPECT_TRUE(CallSlot<bool>(object, 12));                           // IsPlaying
    EXPECT_EQ(3, CallSlot<int>(object, 11));                           // GetPlayedSeconds
    EXPECT_EQ(0, CallSlot<int>(object, 2));                            // StopMediaVideo
    EXPECT_FALSE(media.IsPlaying());
    ASSERT_TRUE(PumpUntil([] { return CountMediaLog("OnStopMediaVideo end") > 0; }, 5000));

    // The listener's slots, as the public window calls them.
    listener.heard.clear();
    HWND window = media.PublicWindowForTesting();
    PostMessageW(window, WM_MEDIA_NOTIFYPROGRESS, 150000, 0);
    PostMessageW(window, WM_MEDIA_NOTIFYEND, 0, 0);
    PostMessageW(window, WM_MEDIA_NOTIFYOPEN, 1, 0);
    PostMessageW(window, WM_MEDIA_NOTIFYDURATION, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return listener.heard.size() >= 4; }, 5000));
    const std::vector<std::string> expected = {"progress 15000", "end", "open failed",
                                               "duration Z:\\missing\\a.avi 4321"};
    EXPECT_EQ(expected, listener.heard);

    CallSlot<void, void*>(object, 9, nullptr);
    CallSlot<void>(object, 0);                                         // Quit
}

// The worker's start report can arrive after the host stopped the file: the
// source stays stopped.
TEST(SourceSlots, StartReportAfterAStopLeavesTheSourceStopped)
{
    CMediaVideo media;
    HandMediaListener listener{kHandMediaTable, {}};
    CallSlot<void, void*>(AsMediaVideo(&media), 9, &listener);  // SetListener
    media.Init("Z:\\missing\\late.avi", 0);
    media.StopMediaVideo();
    HWND window = media.PublicWindowForTesting();
    PostMessageW(window, WM_MEDIA_NOTIFYOPEN, 0, 0);
    PostMessageW(window, WM_MEDIA_NOTIFYPROGRESS, 150000, 0);  // handled after the report
    ASSERT_TRUE(PumpUntil([&] {
        return std::find(listener.heard.begin(), listener.heard.end(), "progress 15000") != listener.heard.end();
    }, 5000));
    EXPECT_FALSE(media.IsPlaying());
    media.Quit();
}

TEST(SourceSlots, DesktopOperationsRunAtTheirSlots)
{
    CDesktopVideo desktop;
    desktop.SetClockForTesting(&FakeClock);
    void* object = AsDesktopVideo(&desktop);
    ASSERT_EQ(static_cast<void*>(&desktop), object);
    HandDesktopListener listener{kHandDesktopTable};

    CallSlot<void, void*>(object, 3, &listener);                       // SetListener
    const DesktopCursorMark mark = {1, 2, 0x0000FF};
    CallSlot<void, const DesktopCursorMark*>(object, 7, &mark);        // SetCursorMark
    DesktopCursorMark out;
    EXPECT_EQ(&out, (CallSlot<DesktopCursorMark*, DesktopCursorMark*>(object, 6, &out)));  // GetCursorMark
    EXPECT_EQ(1, out.enabled);
    EXPECT_EQ(2, out.sizeCode);
    EXPECT_EQ(0x0000FFu, out.colour);
    g_now = 10000;
    CallSlot<void, HWND, uint32_t, uint32_t>(object, 2, nullptr, 5u, 99u);  // Start, a mode that copies nothing
    EXPECT_TRUE(CallSlot<bool>(object, 5));                            // IsRunning
    EXPECT_EQ(99u, desktop.GetSettings().mode);
    EXPECT_EQ(5u, desktop.GetSettings().secondValue);
    g_now += 2500;
    EXPECT_EQ(2u, CallSlot<uint32_t>(object, 4));                      // GetPlayedSeconds
    CallSlot<void, uint32_t>(object, 1, 0u);                           // Stop
    EXPECT_FALSE(desktop.IsRunning());
    ASSERT_TRUE(PumpUntil([&] { return listener.stopped == 1; }, 5000)) << "the worker's stop report";
    PostMessageW(desktop.PublicWindowForTesting(), WM_DESKTOP_STOPPED, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return listener.stopped == 2; }, 5000));
    CallSlot<void, void*>(object, 3, nullptr);
    CallSlot<void>(object, 0);                                         // Quit
}
