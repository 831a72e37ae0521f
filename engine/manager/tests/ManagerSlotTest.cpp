// The manager and the level value as the main-window library, built by
// another compiler, calls them: operations by slot number through the raw
// table of the object lumeo.dll hands out.
#include "IDesktopVideo.h"
#include "ILevelValue.h"
#include "IMediaVideo.h"
#include "IVcamManger.h"

#include <gtest/gtest.h>

#include "testing/SlotCall.h"

#include <set>
#include <string>
#include <vector>

namespace {

class LumeoSlots : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryW(L"lumeo.dll");
        ASSERT_NE(nullptr, module);
        auto get = reinterpret_cast<GetVcamMangerFn>(GetProcAddress(module, "_getVcamManger@0"));
        release = reinterpret_cast<ReleaseVcamMangerFn>(GetProcAddress(module, "_releaseVcamManger@0"));
        ASSERT_NE(nullptr, get);
        ASSERT_NE(nullptr, release);
        manager = get();
        ASSERT_NE(nullptr, manager);
    }
    void TearDown() override
    {
        if (release)
            release();
        if (module)
            FreeLibrary(module);
    }
    HMODULE module = nullptr;
    ReleaseVcamMangerFn release = nullptr;
    IVcamManger* manager = nullptr;
};

} // namespace

TEST_F(LumeoSlots, GettersAnswerAtTheirSlots)
{
    void* object = manager;
    const struct { int slot; void* expected; const char* what; } getters[] = {
        {2, manager->GetCaptureVideo(), "GetCaptureVideo"},
        {3, manager->GetMediaVideo(), "GetMediaVideo"},
        {4, manager->GetDesktopVideo(), "GetDesktopVideo"},
        {5, manager->GetDecorationLayer(), "GetDecorationLayer"},
        {6, manager->GetRecorder(), "GetRecorder"},
        {9, manager->GetMoodMusic(), "GetMoodMusic"},
        {10, manager->GetLevelValue(), "GetLevelValue"},
        {11, manager->GetAccompanyMusic(), "GetAccompanyMusic"},
        {12, manager->GetSonvexMgr(), "GetSonvexMgr"},
    };
    std::set<void*> distinct;
    for (const auto& g : getters) {
        EXPECT_NE(nullptr, g.expected) << g.what;
        EXPECT_EQ(g.expected, CallSlot<void*>(object, g.slot)) << g.what;
        distinct.insert(g.expected);
    }
    EXPECT_EQ(distinct.size(), sizeof getters / sizeof getters[0]);  // every slot its own member
}

TEST_F(LumeoSlots, OperationsRunAtTheirSlots)
{
    void* object = manager;
    EXPECT_TRUE(CallSlot<bool>(object, 0));              // StopAllVideo
    CallSlot<bool>(object, 1);                           // StopAllMusic
    CallSlot<void, HWND>(object, 7, nullptr);            // SetPreviewWnd: writes the background frame
    CallSlot<void, uint32_t>(object, 8, 5u);             // Nop
    std::vector<uint8_t> preview(kPreviewBytes, 0);
    CallSlot<void, uint8_t*>(object, 13, preview.data());  // CopyPreviewFrame
    EXPECT_NE(std::vector<uint8_t>(kPreviewBytes, 0), preview) << "the background picture's preview";
    CallSlot<void, uint32_t>(object, 14, 7u);            // SetReservedValue
    std::set<std::string> programs;
    CallSlot<void, std::set<std::string>*>(object, 15, &programs);  // GetTqSorva3rdExe
    ASSERT_EQ(1u, programs.size());                      // an empty host list names this program
    EXPECT_NE(std::string::npos, programs.begin()->find("engine_manager_slot_test.exe"));
    EXPECT_EQ(manager->IsFlashAvailable(), CallSlot<int>(object, 16));
    EXPECT_TRUE(CallSlot<bool>(object, 17));             // StartBackgroundVideo
    EXPECT_TRUE(CallSlot<bool>(object, 18));             // StopBackgroundVideo
    std::wstring path = L"unchanged";
    EXPECT_EQ(-1, (CallSlot<int, std::wstring*>(object, 19, &path)));  // GetFilterModulePath: no decoder here
    EXPECT_EQ(L"unchanged", path);
}

TEST_F(LumeoSlots, LevelValueSlots)
{
    void* level = manager->GetLevelValue();
    CallSlot<void, double>(level, 0, 0.25);  // SetLevel
    for (int slot = 1; slot <= 3; ++slot)
        CallSlot<void, int64_t>(level, slot, int64_t(-1));  // the three that do nothing
}

TEST_F(LumeoSlots, CameraSlotsWithoutACamera)
{
    void* camera = manager->GetCaptureVideo();
    EXPECT_EQ(0, (CallSlot<int, const char*, HWND>(camera, 1, "", nullptr)));  // Init with no name: nothing
    std::vector<std::string> pnp = {"stale"}, other;
    CallSlot<void, std::vector<std::string>*, std::vector<std::string>*>(camera, 3, &pnp, &other);  // GetDeviceLists
    EXPECT_TRUE(other.empty());
    EXPECT_FALSE((CallSlot<bool, const char*>(camera, 4, "no such camera")));  // DeviceHasAudio
    EXPECT_EQ(1, (CallSlot<int, uint32_t>(camera, 5, 0u)));                   // StopCaptureVideo: posted
    CallSlot<void>(camera, 6);                                                // Pause
    CallSlot<void>(camera, 7);                                                // Continue
    CallSlot<void, void*>(camera, 9, nullptr);                                // SetSnapshotSink
    CallSlot<void, void*>(camera, 11, nullptr);                               // SetListener
    EXPECT_EQ(0u, CallSlot<uint32_t>(camera, 12));                            // GetPlayedSeconds
    CallSlot<void, bool>(camera, 13, false);                                  // SetOpenAudio
    EXPECT_FALSE(CallSlot<bool>(camera, 14));                                 // IsRunning
    CallSlot<void>(camera, 0);                                                // Quit, as the host does before release
}

// The host's camera listener is a table of plain functions, as a host built
// by another compiler hands it over; a camera that cannot be opened is
// reported at its second slot on the host's thread (the device list's report
// depends on the devices the prefix holds, so it is not waited for).
struct HostCameraListener {
    static void TQ_THISCALL ListChanged(HostCameraListener* self) { ++self->listChanged; }
    static void TQ_THISCALL OpenFailed(HostCameraListener* self) { ++self->openFailed; }
    static void TQ_THISCALL DeviceChange(HostCameraListener* self, uint32_t) { ++self->deviceChanges; }
    static const void* const kTable[];
    const void* const* table = kTable;
    int listChanged = 0, openFailed = 0, deviceChanges = 0;
};
const void* const HostCameraListener::kTable[] = {
    reinterpret_cast<const void*>(&HostCameraListener::ListChanged),
    reinterpret_cast<const void*>(&HostCameraListener::OpenFailed),
    reinterpret_cast<const void*>(&HostCameraListener::DeviceChange),
};

TEST_F(LumeoSlots, CameraListenerBuiltByTheHostHearsAFailedOpen)
{
    void* camera = manager->GetCaptureVideo();
    HostCameraListener host;
    CallSlot<void, void*>(camera, 11, &host);  // SetListener
    CallSlot<int, const char*, HWND>(camera, 1, "No Such Camera", nullptr);  // Init: posted to the worker
    const DWORD start = GetTickCount();
    while (host.openFailed == 0 && GetTickCount() - start < 20000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    EXPECT_EQ(1, host.openFailed);
    EXPECT_FALSE(CallSlot<bool>(camera, 14));  // IsRunning
    CallSlot<void, void*>(camera, 11, nullptr);
    CallSlot<void>(camera, 0);  // Quit
}

TEST_F(LumeoSlots, MediaSlotsWithoutAFile)
{
    void* media = manager->GetMediaVideo();
    EXPECT_EQ(0, (CallSlot<int, const char*, int>(media, 1, "", 0)));  // Init with no name: nothing
    CallSlot<void, double>(media, 5, 0.3);                               // SetVolume
    EXPECT_TRUE((CallSlot<bool, double>(media, 8, 500.0)));              // SetPosition
    CallSlot<void, void*>(media, 7, nullptr);                            // SetSnapshotSink
    CallSlot<void, bool>(media, 6, true);                                // Snapshot: no sink, nothing
    CallSlot<void, void*>(media, 9, nullptr);                            // SetListener
    const std::vector<std::string> none;
    CallSlot<void, const std::vector<std::string>*>(media, 10, &none);   // GetPreMediaDuration
    CallSlot<void>(media, 3);                                            // Pause
    CallSlot<void>(media, 4);                                            // Continue
    EXPECT_EQ(0, CallSlot<int>(media, 2));                               // StopMediaVideo
    EXPECT_EQ(0, CallSlot<int>(media, 11));                              // GetPlayedSeconds
    EXPECT_FALSE(CallSlot<bool>(media, 12));                             // IsPlaying
    CallSlot<void>(media, 0);                                            // Quit
}

TEST_F(LumeoSlots, DesktopSlotsWhileStopped)
{
    void* desktop = manager->GetDesktopVideo();
    EXPECT_FALSE(CallSlot<bool>(desktop, 5));                            // IsRunning
    DesktopCursorMark mark = {7, 7, 7};
    EXPECT_EQ(&mark, (CallSlot<DesktopCursorMark*, DesktopCursorMark*>(desktop, 6, &mark)));  // GetCursorMark
    EXPECT_EQ(0, mark.enabled);
    EXPECT_EQ(1, mark.sizeCode);
    EXPECT_EQ(0xFF0000u, mark.colour);
    mark.enabled = 1;
    CallSlot<void, const DesktopCursorMark*>(desktop, 7, &mark);         // SetCursorMark
    DesktopCursorMark back = {};
    CallSlot<DesktopCursorMark*, DesktopCursorMark*>(desktop, 6, &back);
    EXPECT_EQ(1, back.enabled);
    CallSlot<void, void*>(desktop, 3, nullptr);                          // SetListener
    CallSlot<void, uint32_t>(desktop, 1, 0u);                            // Stop: not running, nothing
    EXPECT_EQ(0u, CallSlot<uint32_t>(desktop, 4));                       // GetPlayedSeconds
    CallSlot<void>(desktop, 0);                                          // Quit
}
