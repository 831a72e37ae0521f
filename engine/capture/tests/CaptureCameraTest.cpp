// The camera source end to end under Wine, with the test camera of
// tools/testcam as the webcam: enumeration, the graph in each subtype, the
// frame road into the shared record and the preview, damaged samples,
// reopening, device events, and a stop/quit/reopen loop.
#include "CaptureTestSupport.h"
#include "DecorationLayer.h"
#include "MediaVideo.h"
#include "ShareHandle.h"
#include "SonvexMgr.h"
#include "VcamManger.h"

#include <gtest/gtest.h>

#include <dbt.h>
#include <dshow.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

using namespace tq;

namespace {

class RegisterEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        CoInitialize(nullptr);
        ASSERT_TRUE(RegisterTestCamera()) << "TqTestCam.ax could not be registered";
        StartLogCapture();
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new RegisterEnvironment);

class SnapshotCollector : public ISnapshotSink {
public:
    void OnSnapshot(const uint8_t* bytes, uint32_t length) override { data.assign(bytes, bytes + length); }
    std::vector<uint8_t> data;
};

bool Contains(const std::vector<std::string>& list, const std::string& name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearCameraSwitches();
        ClearLog();
        camera = new CCaptureVideo;
        camera->SetListener(&listener);
    }
    void TearDown() override
    {
        camera->Quit();
        delete camera;
        ClearCameraSwitches();
        RegisterTestCamera();  // back in the list after a test that took it out
    }
    bool Enumerate()
    {
        const int before = listener.listChanged;
        camera->EnumDevices();
        return PumpUntil([&] { return listener.listChanged > before; }, 10000);
    }
    // Lists the devices and opens the test camera; true once it runs.
    bool Open(const char* name = kTestCamera)
    {
        if (!Enumerate())
            return false;
        const int failed = listener.openFailed;
        camera->Init(name, nullptr);
        PumpUntil([&] { return camera->IsRunning() || listener.openFailed > failed; }, 15000);
        return camera->IsRunning();
    }
    int32_t CurrentTime() { return HeaderOf(ReadRecord()).frameTime; }

    CCaptureVideo* camera = nullptr;
    CountingListener listener;
};

} // namespace

TEST_F(CameraTest, EnumerationListsTwinsAndLeavesTheProductCameraOut)
{
    // When the product's camera filter is built beside us, have it registered too.
    tqtest::CallServerRegistration(L"TqVirtualCam.ax", true);
    ASSERT_TRUE(Enumerate());
    std::vector<std::string> pnp, others;
    camera->GetDeviceLists(pnp, others);
    std::vector<std::string> all = pnp;
    all.insert(all.end(), others.begin(), others.end());
    EXPECT_TRUE(Contains(all, "Tq Test Camera"));
    EXPECT_TRUE(Contains(all, "Tq Test Camera1"));
    EXPECT_FALSE(Contains(all, "TqNelu"));
    EXPECT_FALSE(camera->DeviceHasAudio(kTestCamera));
    EXPECT_FALSE(camera->DeviceHasAudio("no such camera"));
}

TEST_F(CameraTest, EachSubtypeReachesTheRecordAndThePreview)
{
    for (const char* subtype : {"RGB24", "YUY2", "MJPG"}) {
        SCOPED_TRACE(subtype);
        SetCameraSwitch("TQ_TESTCAM_SUBTYPES", subtype);
        ClearLog();
        const int32_t before = CurrentTime();
        ASSERT_TRUE(Open());
        EXPECT_EQ(1, CountLog(std::string("getmediatype width 640 height 480 timeframe 333333 subtype ") + subtype));
        std::vector<uint8_t> record;
        ASSERT_TRUE(WaitForFrame(before, 480, 360, record, 5000));
        const FrameHeader header = HeaderOf(record);
        EXPECT_EQ(0u, header.smoothFlag);
        EXPECT_TRUE(std::all_of(record.begin() + kOffReserved, record.begin() + kOffFrameTime, [](uint8_t b) { return b == 0; }));
        const uint8_t sign = (header.frameTime < 0) ? 0xFF : 0x00;
        EXPECT_TRUE(std::all_of(record.begin() + kOffFrameTime, record.begin() + kOffFrameTime + 4,
                                [&](uint8_t b) { return b == sign; }));
        EXPECT_LE(QuadrantDistance(record.data() + kFrameHeaderSize, 480, 360), 40);

        SnapshotCollector snapshot;
        camera->SetSnapshotSink(&snapshot);
        camera->Snapshot(true);
        ASSERT_EQ(360000u, snapshot.data.size());
        EXPECT_LE(QuadrantDistance(snapshot.data.data(), 400, 300), 40);
        camera->SetSnapshotSink(nullptr);

        camera->StopCaptureVideo(0);
        EXPECT_FALSE(camera->IsRunning());
    }
}

// Whether the picture mark covers its place in a top corner (1 left, 2 right)
// of a composed test pattern: its dark lens, 29 rows below the mark's top,
// stands out from the quadrant colour there.
bool MarkShows(const uint8_t* picture, int width, int height, int corner, bool mirrored)
{
    const int margin = width / 480 * 6, half = 74 / 2;
    const int x = corner == 1 ? margin + half : width - margin - half;
    const int quadrant = (x >= width / 2 ? 1 : 0) ^ (mirrored ? 1 : 0);
    return ColourDistance(picture, width, height, x, margin + 29, QuadrantColor(quadrant)) > 60;
}

TEST_F(CameraTest, OnlyFourThreeFramesGoThroughTheCompositor)
{
    // The record shows each setting: the flips' mirror runs before the mark
    // (drawn top-right), the final mirror after it (so the mark moves left);
    // other shapes are written untouched. smoothFlag follows the smoothing switch.
    struct Case {
        int width, height;
        bool mirror, finalMirror, smooth;
        bool mirrored;
        int markCorner;  // 0: no mark
    };
    const Case cases[] = {
        {480, 360, true, false, true, true, 2},
        {640, 480, false, true, false, true, 1},
        {480, 360, false, false, true, false, 2},
        {500, 360, true, true, true, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + (c.mirror ? " mirror" : "")
                     + (c.finalMirror ? " final mirror" : ""));
        CDecorationLayer layer;
        layer.SetMirror(c.mirror);
        layer.SetFinalMirror(c.finalMirror);
        layer.SetSmoothEnabled(c.smooth);
        CCaptureVideo* source = new CCaptureVideo;
        source->SetListener(&listener);
        source->SetDecorationLayer(&layer);
        source->SetOutWidthAndHeight(c.width, c.height);
        std::swap(source, camera);
        const int32_t before = CurrentTime();
        ASSERT_TRUE(Open());
        std::vector<uint8_t> record;
        EXPECT_TRUE(WaitForFrame(before, uint32_t(c.width), uint32_t(c.height), record, 5000));
        camera->Quit();
        std::swap(source, camera);
        delete source;

        const uint8_t* picture = record.data() + kFrameHeaderSize;
        EXPECT_EQ(c.smooth ? 1u : 0u, HeaderOf(record).smoothFlag);
        EXPECT_LE(QuadrantDistance(picture, c.width, c.height, c.mirrored), 40);
        EXPECT_EQ(c.markCorner == 1, MarkShows(picture, c.width, c.height, 1, c.mirrored));
        EXPECT_EQ(c.markCorner == 2, MarkShows(picture, c.width, c.height, 2, c.mirrored));
    }
}

TEST_F(CameraTest, BadSamplesLeaveTheRecordAsItWas)
{
    struct Case { const char* subtype; const char* mjpeg; const char* shortSamples; const char* logged; };
    const Case cases[] = {
        {"MJPG", "noeoi", "", "without start or end marker"},
        {"MJPG", "truncated", "", "could not be decoded"},
        {"MJPG", "garbage", "", "could not be decoded"},
        {"MJPG", "oversize", "", "could not be decoded"},
        {"RGB24", "", "1", "short sample"},
        {"YUY2", "", "1", "short sample"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.subtype) + " " + c.mjpeg + c.shortSamples);
        SetCameraSwitch("TQ_TESTCAM_SUBTYPES", c.subtype);
        SetCameraSwitch("TQ_TESTCAM_MJPEG", c.mjpeg);
        SetCameraSwitch("TQ_TESTCAM_SHORT", c.shortSamples);
        ClearLog();
        FillRecord(12345, 480, 360, 0x5A);
        ASSERT_TRUE(Open());
        ASSERT_TRUE(PumpUntil([&] { return CountLog(c.logged) >= 3; }, 5000)) << "no sample reached the road";
        camera->StopCaptureVideo(0);
        PumpFor(300);
        const std::vector<uint8_t> record = ReadRecord();
        EXPECT_EQ(12345, HeaderOf(record).frameTime);
        // Neither the picture nor anything after it was touched.
        EXPECT_TRUE(std::all_of(record.begin() + kFrameHeaderSize, record.end(), [](uint8_t b) { return b == 0x5A; }));
    }
}

TEST_F(CameraTest, CapabilityRecordsOfAnotherSizeCannotBeOpened)
{
    SetCameraSwitch("TQ_TESTCAM_CAPSSIZE", "100");
    EXPECT_FALSE(Open());
    EXPECT_EQ(1, listener.openFailed);
    EXPECT_EQ(1, CountLog("CCaptureVideoOper::OnInit start capture fail"));
    EXPECT_EQ(1, CountLog("setOpenCaptureResult name Tq Test Camera res 1"));
}

TEST_F(CameraTest, AnEmptyOrUnknownNameDoesNotRun)
{
    ASSERT_TRUE(Enumerate());
    EXPECT_EQ(0, camera->Init("", nullptr));
    PumpFor(300);
    EXPECT_EQ(0, listener.openFailed);  // nothing was posted
    EXPECT_FALSE(Open("No Such Camera"));
    EXPECT_EQ(1, listener.openFailed);
}

TEST_F(CameraTest, ReopenAtALargerSizeRebuildsOnceAndAFailedReopenIsReported)
{
    ASSERT_TRUE(Open());
    std::vector<uint8_t> record;
    ASSERT_TRUE(WaitForFrame(CurrentTime(), 480, 360, record, 5000));
    ClearLog();
    camera->ReopenCapture(800, 600, 333333);
    ASSERT_TRUE(WaitForFrame(CurrentTime(), 800, 600, record, 8000));
    EXPECT_LE(QuadrantDistance(record.data() + kFrameHeaderSize, 800, 600), 40);
    EXPECT_EQ(1, CountLog("getmediatype width 800 height 600"));
    EXPECT_TRUE(camera->IsRunning());

    // The same size again changes nothing in the graph.
    camera->ReopenCapture(800, 600, 333333);
    PumpFor(500);
    EXPECT_EQ(1, CountLog("getmediatype width 800 height 600"));

    // The next camera instance refuses its formats: the reopen fails and says so.
    SetCameraSwitch("TQ_TESTCAM_CAPSSIZE", "100");
    camera->ReopenCapture(480, 360, 333333);
    EXPECT_TRUE(PumpUntil([&] { return listener.openFailed == 1; }, 10000));
    EXPECT_FALSE(camera->IsRunning());
}

TEST_F(CameraTest, FrameTimerPeriodIsAnIntegerDivision)
{
    camera->SetFrameTime(666666);  // 15 frames per second
    ASSERT_TRUE(Open());
    EXPECT_TRUE(PumpUntil([] { return CountLog("当前帧速率==15, delay=66") == 1; }, 5000));
}

TEST_F(CameraTest, PausedCameraWritesNothingUntilItContinues)
{
    ASSERT_TRUE(Open());
    std::vector<uint8_t> record;
    ASSERT_TRUE(WaitForFrame(CurrentTime(), 480, 360, record, 5000));
    camera->Pause();
    PumpFor(500);
    const int32_t paused = CurrentTime();
    PumpFor(500);
    EXPECT_EQ(paused, CurrentTime());
    camera->Continue();
    EXPECT_TRUE(WaitForFrame(paused, 480, 360, record, 5000));
}

// Wine has no kernel streaming: no capture device ever comes or goes there,
// so the system sends no WM_DEVICECHANGE for one and no driver raises
// EC_DEVICE_LOST. The test plays both parts: the test camera leaves the
// video input category (unregistered), stops its samples and raises
// EC_DEVICE_LOST through its graph, and the system's message is posted to
// the worker's window, where RegisterDeviceNotification would deliver it.
TEST_F(CameraTest, RemovedCameraIsReportedAndListedAgainOnItsReturn)
{
    if (!tqtest::CallServerRegistration(L"TqVirtualCam.ax", true))
        GTEST_SKIP() << "the product's camera filter is not in this build";
    using NotifyLost = void(WINAPI*)(int back);
    auto notifyLost = reinterpret_cast<NotifyLost>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"TqTestCam.ax"), "TestCamNotifyDeviceLost")));
    ASSERT_TRUE(notifyLost);
    ASSERT_TRUE(Open());
    std::vector<uint8_t> record;
    ASSERT_TRUE(WaitForFrame(CurrentTime(), 480, 360, record, 5000));
    auto listed = [&] {
        std::vector<std::string> pnp, others;
        camera->GetDeviceLists(pnp, others);
        return Contains(pnp, kTestCamera) || Contains(others, kTestCamera);
    };
    // Sent as the system sends it (a message with a pointer cannot be posted);
    // true when the lists were made again.
    auto deviceMessage = [&](WPARAM event, DWORD timeoutMs) {
        const int lists = listener.listChanged;
        DEV_BROADCAST_DEVICEINTERFACE_W device = {};
        device.dbcc_size = sizeof device;
        device.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        device.dbcc_classguid = {0x65E8773D, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
        DWORD_PTR result = 0;
        SendMessageTimeoutW(camera->WorkerWindow(), WM_DEVICECHANGE, event, LPARAM(&device), SMTO_NORMAL, 5000,
                            &result);
        return PumpUntil([&] { return listener.listChanged > lists; }, timeoutMs);
    };
    const char removedText[] = "警告：当前正在使用的摄像头被拔掉了！";
    const char backText[] = "提示：刚刚被拔掉的摄像头重新插上了！";

    // Unplugged: only the product's own camera is left, so the lists become empty.
    ClearLog();
    ASSERT_TRUE(tqtest::CallServerRegistration(L"TqTestCam.ax", false));
    notifyLost(0);
    EXPECT_TRUE(PumpUntil([&] { return CountLog(removedText) == 1; }, 5000));
    ASSERT_TRUE(deviceMessage(DBT_DEVICEREMOVECOMPLETE, 10000));
    EXPECT_EQ(2u, listener.lastChange);
    EXPECT_FALSE(listed());
    PumpFor(300);
    const int32_t gone = CurrentTime();
    PumpFor(600);
    EXPECT_EQ(gone, CurrentTime()) << "a frame was written without a sample";
    EXPECT_TRUE(camera->IsRunning());

    // Plugged in again: listed again, and its frames go on.
    ASSERT_TRUE(RegisterTestCamera());
    notifyLost(1);
    EXPECT_TRUE(PumpUntil([&] { return CountLog(backText) == 1; }, 5000));
    ASSERT_TRUE(deviceMessage(DBT_DEVICEARRIVAL, 10000));
    EXPECT_EQ(1u, listener.lastChange);
    EXPECT_TRUE(listed());
    EXPECT_TRUE(WaitForFrame(gone, 480, 360, record, 5000));
    EXPECT_EQ(1, CountLog(removedText));

    // Other device events are not the camera's business.
    listener.lastChange = 0;
    EXPECT_FALSE(deviceMessage(DBT_DEVNODES_CHANGED, 1000));
    EXPECT_EQ(0u, listener.lastChange);
}

TEST_F(CameraTest, WithNoVideoDeviceAtAllTheListsStayAsTheyWere)
{
    ASSERT_TRUE(Enumerate());
    ASSERT_TRUE(tqtest::CallServerRegistration(L"TqTestCam.ax", false));
    const bool productCamera = tqtest::CallServerRegistration(L"TqVirtualCam.ax", false);
    const int lists = listener.listChanged;
    camera->EnumDevices();
    PumpFor(1000);
    EXPECT_EQ(lists, listener.listChanged) << "the listener heard of an empty category";
    std::vector<std::string> pnp, others;
    camera->GetDeviceLists(pnp, others);
    EXPECT_TRUE(Contains(pnp, kTestCamera) || Contains(others, kTestCamera));
    if (productCamera)
        tqtest::CallServerRegistration(L"TqVirtualCam.ax", true);
}

TEST_F(CameraTest, StopQuitAndReopenWhileFramesStream)
{
    auto cycle = [&](int round) {
        CCaptureVideo* source = new CCaptureVideo;
        source->SetListener(&listener);
        std::swap(source, camera);
        bool ok = Open();
        std::vector<uint8_t> record;
        ok = ok && WaitForFrame(CurrentTime(), 480, 360, record, 5000);
        if (round % 2)
            camera->ReopenCapture(800, 600, 333333);  // rebuilds while frames stream
        if (round % 3 == 0) {
            camera->StopCaptureVideo(0);
            camera->Init(kTestCamera, nullptr);
        }
        PumpFor(round % 5 * 20);
        camera->Quit();
        std::swap(source, camera);
        delete source;
        return ok;
    };
    ASSERT_TRUE(cycle(0));

    // What Wine itself loses, measured here: its filter graph keeps an event
    // per graph made, and its device enumerator a registry key per class
    // enumerator and per moniker, even when every object is released. The
    // engine opens no registry key of its own, so keys are left out.
    HKEY anyKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, &anyKey));
    const int keyType = HandleType(anyKey);
    RegCloseKey(anyKey);
    HANDLE anyEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const int eventType = HandleType(anyEvent);
    CloseHandle(anyEvent);
    ASSERT_GE(eventType, 0) << "the handle table cannot be read";
    const int eventsBeforeGraphs = OwnHandlesByType()[eventType];
    for (int i = 0; i < 10; ++i) {
        IGraphBuilder* graph = nullptr;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                               reinterpret_cast<void**>(&graph))));
        graph->Release();
    }
    const int eventsPerGraph = (OwnHandlesByType()[eventType] - eventsBeforeGraphs + 5) / 10;

    ClearLog();
    std::map<int, int> before = OwnHandlesByType();
    int failures = 0;
    for (int round = 1; round <= 100; ++round)
        failures += cycle(round) ? 0 : 1;
    std::map<int, int> after = OwnHandlesByType();
    EXPECT_EQ(0, failures);
    const int graphs = CountLog("CCaptureVideoOper::InitCaptureGraphBuilder SetSyncSource NULL");
    int gained = 0;
    for (const auto& type : after)
        if (type.first != keyType)
            gained += type.second - before[type.first];
    const int wineLoss = graphs * eventsPerGraph;
    printf("100 rounds, %d graphs: %d handles gained besides registry keys (%d events lost by Wine's filter graph), "
           "%d registry keys gained\n", graphs, gained, wineLoss, after[keyType] - before[keyType]);
    // A handle lost per round would be 100; a few come and go with Wine's own threads.
    EXPECT_LE(gained, wineLoss + 20);
}

// The manager's own camera, running the test camera for the test's body.
class ManagerCameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearCameraSwitches();
        manager = VcamManger::Instance();
        camera = manager->GetCaptureVideo();
        camera->SetListener(&listener);
        camera->EnumDevices();
        ASSERT_TRUE(PumpUntil([&] { return listener.listChanged > 0; }, 10000));
        camera->Init(kTestCamera, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return camera->IsRunning(); }, 15000));
    }
    void TearDown() override
    {
        camera->StopCaptureVideo(0);
        camera->Quit();
        camera->SetListener(nullptr);
        VcamManger::UnInstance();
    }
    VcamManger* manager = nullptr;
    CCaptureVideo* camera = nullptr;
    CountingListener listener;
};

// The manager's camera: previews reach the manager, and a consumer's larger
// request (the request record) reopens the running camera once.
TEST_F(ManagerCameraTest, PreviewAndConsumerRequestReachTheCamera)
{
    std::vector<uint8_t> record;
    ASSERT_TRUE(WaitForFrame(HeaderOf(ReadRecord()).frameTime, 480, 360, record, 5000));
    PumpFor(300);
    std::vector<uint8_t> preview(360000);
    manager->CopyPreviewFrame(preview.data());
    EXPECT_LE(QuadrantDistance(preview.data(), 400, 300), 40);

    ClearLog();
    const int mediaReopens = manager->GetMediaVideo()->ReopenCountForTesting();
    {
        // What a filter does when its consumer negotiates 800 x 600.
        CMutexLock lock(GetShareMemoryMutex().Get());
        CMappedView view(GetVcamParaShareMemory().Get(), FILE_MAP_ALL_ACCESS);
        ASSERT_TRUE(view);
        WriteU32BE(view.Get(), 600, kOffRequestHeight);
        WriteU32BE(view.Get(), 800, kOffRequestWidth);
    }
    EXPECT_TRUE(WaitForFrame(HeaderOf(ReadRecord()).frameTime, 800, 600, record, 15000));
    PumpFor(6000);  // one more poll of the request record
    EXPECT_EQ(1, CountLog("getmediatype width 800 height 600"));
    EXPECT_EQ(mediaReopens, manager->GetMediaVideo()->ReopenCountForTesting());

}

// The manager's compositor draws into the camera's frames: what the host sets
// there is in the shared record, the frames every "TqNelu" consumer gets.
TEST_F(ManagerCameraTest, CompositorSettingsShowInTheRecord)
{
    CDecorationLayer* layer = manager->GetDecorationLayer();

    // As built: the mark top-right, nothing mirrored, smoothing switched on.
    std::vector<uint8_t> record;
    ASSERT_TRUE(WaitForFrame(HeaderOf(ReadRecord()).frameTime, 480, 360, record, 5000));
    const uint8_t* picture = record.data() + kFrameHeaderSize;
    EXPECT_EQ(1u, HeaderOf(record).smoothFlag);
    EXPECT_LE(QuadrantDistance(picture, 480, 360), 40);
    EXPECT_TRUE(MarkShows(picture, 480, 360, 2, false));
    EXPECT_FALSE(MarkShows(picture, 480, 360, 1, false));

    // Changed while the camera runs: the next frame shows the change.
    layer->SetMirror(true);
    layer->SetMarkCorner(1);
    layer->SetSmoothEnabled(false);
    ASSERT_TRUE(WaitForFrame(HeaderOf(ReadRecord()).frameTime, 480, 360, record, 5000));
    picture = record.data() + kFrameHeaderSize;
    EXPECT_EQ(0u, HeaderOf(record).smoothFlag);
    EXPECT_LE(QuadrantDistance(picture, 480, 360, true), 40);
    EXPECT_TRUE(MarkShows(picture, 480, 360, 1, true));
    EXPECT_FALSE(MarkShows(picture, 480, 360, 2, true));

    layer->SetMarkCorner(2);
}

namespace {

// The filters of the running test camera's graph, as the camera sees them.
std::string CameraGraphFilters()
{
    using GraphFilters = int(WINAPI*)(wchar_t*, int);
    auto list = reinterpret_cast<GraphFilters>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"TqTestCam.ax"), "TestCamGraphFilters")));
    wchar_t names[2048] = {};
    if (list)
        list(names, 2048);
    char narrow[2048] = {};
    WideCharToMultiByte(CP_ACP, 0, names, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

// A webcam with a microphone: with its sound on, the camera plays it on the
// output device the user chose, in place of the default one.
TEST(ManagerCameraSound, PlaysOnTheChosenOutputDevice)
{
    ClearCameraSwitches();
    SetCameraSwitch("TQ_TESTCAM_AUDIO", "1");
    const struct {
        const char* device;
        const char* present;
        const char* absent;
        int resetLines;
    } cases[] = {
        {"Out: default", "Audio Filter Tq sorva", "Default DirectSound Device", 1},
        {"DirectSound: Out: default", "Audio Filter Tq sorva", "Default DirectSound Device", 1},
        {"", "Default DirectSound Device", "Audio Filter Tq sorva", 0},
        {"Default DirectSound Device", "Default DirectSound Device", "Audio Filter Tq sorva", 0},
        {"No such device", "Default DirectSound Device", "Audio Filter Tq sorva", 0},  // the sound is kept
    };
    for (const auto& c : cases) {
        VcamManger* manager = VcamManger::Instance();
        CountingListener listener;
        CCaptureVideo* camera = manager->GetCaptureVideo();
        camera->SetListener(&listener);
        manager->GetSonvexMgr()->SetOutputDevice(c.device);
        camera->EnumDevices();
        ASSERT_TRUE(PumpUntil([&] { return listener.listChanged > 0; }, 10000));
        ASSERT_TRUE(camera->DeviceHasAudio(kTestCamera));
        camera->SetOpenAudio(true);
        ClearLog();
        camera->Init(kTestCamera, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return camera->IsRunning(); }, 15000)) << c.device;
        const std::string filters = CameraGraphFilters();
        EXPECT_NE(std::string::npos, filters.find(c.present)) << c.device << ": " << filters;
        EXPECT_EQ(std::string::npos, filters.find(c.absent)) << c.device << ": " << filters;
        EXPECT_EQ(c.resetLines, CountLog(std::string("CCaptureVideoOper reset audio dev ") + c.device)) << c.device;
        camera->StopCaptureVideo(0);
        camera->Quit();
        camera->SetListener(nullptr);
        VcamManger::UnInstance();
    }
    ClearCameraSwitches();
}

} // namespace
