// The manager and its own members, linked in: construction, wiring, the
// request watcher, the host list, the background picture and the preview.
#include "BackgroundVideo.h"
#include "CaptureVideo.h"
#include "DecorationLayer.h"
#include "DesktopVideo.h"
#include "LevelValue.h"
#include "MediaVideo.h"
#include "ShareHandle.h"
#include "VcamManger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace tq;

namespace {

void WriteRequest(uint32_t height, uint32_t width, uint32_t frameTime)
{
    CMutexLock lock(GetShareMemoryMutex().Get());
    CMappedView view(GetVcamParaShareMemory().Get(), FILE_MAP_ALL_ACCESS);
    ASSERT_TRUE(view);
    WriteU32BE(view.Get(), height, kOffRequestHeight);
    WriteU32BE(view.Get(), width, kOffRequestWidth);
    WriteU32BE(view.Get(), frameTime, kOffRequestFrameTime);
}

void PumpFor(DWORD milliseconds)
{
    const DWORD end = GetTickCount() + milliseconds;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(5);
    } while (GetTickCount() < end);
}

struct ReopenRecorder : IReopenSources {
    std::vector<std::string> calls;
    void ReopenSources(int w, int h, int ft) override
    {
        calls.push_back(std::to_string(w) + "x" + std::to_string(h) + "@" + std::to_string(ft));
    }
};

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager = VcamManger::Instance();
        manager->SetModuleInstance(GetModuleHandleW(nullptr));  // the picture resource is linked into this test
        ASSERT_TRUE(manager->HasMembers());
    }
    void TearDown() override { VcamManger::UnInstance(); }
    VcamManger* manager = nullptr;
};

FrameHeader ReadCaptureHeader(std::vector<uint8_t>* pixels = nullptr)
{
    FrameHeader header;
    CMutexLock lock(GetShareMemoryMutex().Get());
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, kCaptureMemoryName);
    if (!mapping)
        return header;
    CMappedView view(mapping, FILE_MAP_READ);
    if (view && ReadFrameHeader(view.Get(), kCaptureMemorySize, header) && pixels)
        pixels->assign(view.Get() + kFrameHeaderSize, view.Get() + kFrameHeaderSize + header.width * header.height * 3);
    CloseHandle(mapping);
    return header;
}

} // namespace

TEST_F(ManagerTest, InstanceIsASingletonAndResetsTheRequestRecord)
{
    EXPECT_EQ(manager, VcamManger::Instance());
    uint32_t width = 0, height = 0, frameTime = 0;
    GetVcamParaShareMemory().ReadVcamPara(width, height, frameTime);
    EXPECT_EQ(480u, width);
    EXPECT_EQ(360u, height);
    EXPECT_EQ(1000000u, frameTime);
}

TEST_F(ManagerTest, WiresTheCompositorAndItselfIntoTheSources)
{
    EXPECT_EQ(manager->GetDecorationLayer(), manager->GetCaptureVideo()->GetDecorationLayer());
    EXPECT_EQ(manager, manager->GetCaptureVideo()->GetManager());
    EXPECT_EQ(manager->GetDecorationLayer(), manager->GetMediaVideo()->GetDecorationLayer());
    EXPECT_EQ(manager, manager->GetMediaVideo()->GetManager());
    EXPECT_EQ(manager->GetDecorationLayer(), manager->GetDesktopVideo()->GetDecorationLayer());
    EXPECT_EQ(manager, manager->GetDesktopVideo()->GetManager());
}

TEST_F(ManagerTest, ReopenSourcesReopensAtMostOneSourceAndInformsAll)
{
    // The running camera's reopen is checked with a real camera (engine/capture/tests).
    struct Case { bool camera, media, desktop; const char* reopened; };
    const Case cases[] = {
        {false, false, false, nullptr},
        {false, true, true, "media"},
        {false, false, true, "desktop"},
    };
    for (const Case& c : cases) {
        CCaptureVideo* camera = manager->GetCaptureVideo();
        CMediaVideo* media = manager->GetMediaVideo();
        CDesktopVideo* desktop = manager->GetDesktopVideo();
        // Back to the defaults, so that the new settings show.
        media->SetFrameTime(1000000);
        media->SetOutWidthAndHeight(480, 360);
        desktop->SetFrameTime(1000000);
        desktop->SetOutWidthAndHeight(480, 360);
        media->SetPlayingForTesting(c.media);
        desktop->SetRunningForTesting(c.desktop);
        const int mediaReopens = media->ReopenCountForTesting();
        const int desktopReopens = desktop->ReopenCountForTesting();
        manager->ReopenSources(800, 600, 333333);
        const bool mediaReopened = c.reopened && std::string(c.reopened) == "media";
        const bool desktopReopened = c.reopened && std::string(c.reopened) == "desktop";
        EXPECT_EQ(mediaReopens + (mediaReopened ? 1 : 0), media->ReopenCountForTesting());
        EXPECT_EQ(desktopReopens + (desktopReopened ? 1 : 0), desktop->ReopenCountForTesting());
        const CaptureSettings cameraSettings = camera->GetSettings();
        EXPECT_EQ(800, cameraSettings.outWidth);
        EXPECT_EQ(600, cameraSettings.outHeight);
        EXPECT_EQ(30, cameraSettings.framesPerSecond);
        const MediaSettings mediaSettings = media->GetSettings();
        EXPECT_EQ(800, mediaSettings.outWidth);
        EXPECT_EQ(600, mediaSettings.outHeight);
        EXPECT_EQ(33, mediaSettings.perFrameTime);
        const DesktopSettings desktopSettings = desktop->GetSettings();
        EXPECT_EQ(800, desktopSettings.outWidth);
        EXPECT_EQ(600, desktopSettings.outHeight);
        EXPECT_EQ(33, desktopSettings.interval);
        media->SetPlayingForTesting(false);
        desktop->SetRunningForTesting(false);
    }
}

TEST_F(ManagerTest, StopAllVideoStopsEverySource)
{
    manager->GetMediaVideo()->SetPlayingForTesting(true);
    manager->GetDesktopVideo()->SetRunningForTesting(true);
    manager->StopAllVideo();
    EXPECT_FALSE(manager->GetCaptureVideo()->IsRunning());
    EXPECT_TRUE(manager->GetCaptureVideo()->GetSettings().cameraName.empty());
    EXPECT_FALSE(manager->GetMediaVideo()->IsPlaying());
    EXPECT_TRUE(manager->GetMediaVideo()->GetSettings().fileName.empty());
    EXPECT_FALSE(manager->GetDesktopVideo()->IsRunning());
}

TEST_F(ManagerTest, StopAllVideoClearsTheCompositorsLayers)
{
    CDecorationLayer* layer = manager->GetDecorationLayer();
    layer->SetFlashHostWindow(layer->Hwnd());
    layer->AddLayer("C:\\stickers\\heart.png", 480, 360, 480, 360, false, 0, 0);
    PumpFor(100);
    ASSERT_EQ(1u, layer->LayerPlacements().size());

    manager->StopAllVideo();
    PumpFor(100);
    EXPECT_TRUE(layer->LayerPlacements().empty());
}

TEST(RequestWatcher, RaisesOnlyWithinRangeAndOnlyUpward)
{
    GetVcamParaShareMemory().ResetVcamPara();
    ReopenRecorder recorder;
    CVcamParaWatcher watcher(&recorder);
    struct Case { uint32_t height, width, frameTime; const char* reopen; };
    const Case cases[] = {
        {480, 640, 1000000, "640x480@1000000"},  // size rises, frame time stays
        {480, 640, 1000000, nullptr},            // same again: nothing new
        {240, 320, 666666, nullptr},             // width below 360: refused
        {360, 500, 1000000, nullptr},            // 500 < 640 already kept
        {600, 800, 333333, "800x600@333333"},
        {600, 801, 333333, nullptr},             // width above 800
        {600, 800, 333332, nullptr},             // faster than 30 fps
        {179, 800, 333333, nullptr},             // height below 180
        {0, 0, 0, nullptr},                      // an empty record
        {360, 480, 1000000, nullptr},            // smaller asks never shrink what is kept
    };
    for (const Case& c : cases) {
        recorder.calls.clear();
        WriteRequest(c.height, c.width, c.frameTime);
        watcher.OnTimer(0);
        std::vector<std::string> expected;
        if (c.reopen)
            expected.push_back(c.reopen);
        EXPECT_EQ(expected, recorder.calls) << c.width << "x" << c.height << "@" << c.frameTime;
    }
    EXPECT_EQ(800, watcher.Width());
    EXPECT_EQ(600, watcher.Height());
    EXPECT_EQ(333333, watcher.FrameTime());
}

TEST(RequestWatcher, WidthAloneRises)
{
    GetVcamParaShareMemory().ResetVcamPara();
    ReopenRecorder recorder;
    CVcamParaWatcher watcher(&recorder);
    WriteRequest(360, 500, 1000000);
    watcher.OnTimer(0);
    EXPECT_EQ(std::vector<std::string>{"500x360@1000000"}, recorder.calls);
}

TEST(HostPrograms, SplitIntoASet)
{
    struct Case { const char* list; std::set<std::string> programs; };
    const Case cases[] = {
        {"<A><B><A>", {"A", "B"}},
        {">x<A>", {}},
        {"<C:\\x.exe>", {"C:\\x.exe"}},
    };
    for (const Case& c : cases) {
        std::set<std::string> programs;
        AddHostPrograms(c.list, programs);
        EXPECT_EQ(c.programs, programs) << c.list;
    }
}

TEST_F(ManagerTest, HostListFromTheSharedMapping)
{
    auto setList = [](const std::vector<char>& bytes) {
        CMutexLock lock(GetShareMemoryMutex().Get());
        CMappedView view(GetUserShareMemory().Get(), FILE_MAP_ALL_ACCESS);
        memset(view.Get(), 0, kUserMemorySize);
        memcpy(view.Get(), bytes.data(), std::min<size_t>(bytes.size(), kUserMemorySize));
    };
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);

    std::set<std::string> programs;
    setList({});
    manager->GetTqSorva3rdExe(programs);
    EXPECT_EQ(std::set<std::string>{self}, programs);  // an empty list is this program

    std::vector<char> full(kUserMemorySize, 'p');       // no terminator anywhere
    full.front() = '<';
    full.back() = '>';
    setList(full);
    programs.clear();
    manager->GetTqSorva3rdExe(programs);
    ASSERT_EQ(1u, programs.size());
    EXPECT_EQ(kUserMemorySize - 2, programs.begin()->size());
    setList({});
}

TEST(RegistrationCommand, RunsTheSystemRegsvr32OnTheStableCopy)
{
    EXPECT_EQ(L"\"C:\\windows\\system32\\regsvr32.exe\" -s \"C:\\Program Files\\Tq\\Stable\\TqVirtualCam.ax\"",
              CameraFilterRegistrationCommand(L"C:\\Program Files\\Tq\\TqSorva.exe", L"C:\\windows\\system32"));
}

// The outside decoder's registration, made for one test and removed after.
class DecoderRegistration {
public:
    explicit DecoderRegistration(const std::wstring& server)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                           DWORD((server.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
        }
    }
    ~DecoderRegistration() { RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{04FE9017-F873-410E-871E-AB91661A4EF7}"); }

private:
    static constexpr const wchar_t* kKey = L"CLSID\\{04FE9017-F873-410E-871E-AB91661A4EF7}\\InprocServer32";
};

std::wstring MakeFileAt(const std::wstring& folder, const std::wstring& name)
{
    // The long form, so folders past MAX_PATH can be made.
    const std::wstring longForm = L"\\\\?\\" + folder;
    for (size_t at = longForm.find(L'\\', 7); at != std::wstring::npos; at = longForm.find(L'\\', at + 1))
        CreateDirectoryW(longForm.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(longForm.c_str(), nullptr);
    HANDLE file = CreateFileW((longForm + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return folder + L"\\" + name;
}

TEST_F(ManagerTest, FilterModulePathOfTheRegisteredDecoder)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring base = std::wstring(temp) + L"tq_decoder";
    const std::wstring shortFile = MakeFileAt(base, L"decoder.ax");
    std::wstring deep = base;
    while (deep.size() < 300)
        deep += L"\\a_folder_name_of_some_length";
    const std::wstring longFile = MakeFileAt(deep, L"decoder.ax");
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    struct Case {
        std::wstring registered;
        std::wstring expected;
    } cases[] = {
        {shortFile, shortFile},
        {L"%WINDIR%\\system32\\quartz.dll", std::wstring(windows) + L"\\system32\\quartz.dll"},
        // Longer than MAX_PATH: the whole path, never an empty one.
        {longFile, longFile},
        // Not found on the search path: the text as registered.
        {base + L"\\missing.ax", base + L"\\missing.ax"},
    };
    for (const Case& c : cases) {
        DecoderRegistration registration(c.registered);
        std::wstring path = L"unchanged";
        EXPECT_EQ(0, manager->GetFilterModulePath(path));
        EXPECT_EQ(0, lstrcmpiW(c.expected.c_str(), path.c_str())) << path.size() << " characters";
    }
    std::wstring path = L"unchanged";
    EXPECT_EQ(-1, manager->GetFilterModulePath(path)) << "no decoder registered";
    EXPECT_EQ(L"unchanged", path);
}

TEST(LevelValue, Formula)
{
    const struct { double level; int32_t value; } cases[] = {
        {0.0, -480}, {1.0, 268435455}, {0.5, 134217487}, {0.25, 67108503},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.value, CLevelValue::LevelToInteger(c.level)) << c.level;
}

TEST(LevelValue, ClampsAndConvertsOnItsThread)
{
    const struct { double set; double stored; int32_t kept; } cases[] = {
        {1.5, 1.0, 268435455}, {-2.0, 0.0, -480}, {0.5, 0.5, 134217487},
    };
    for (const auto& c : cases) {
        CLevelValue level;
        level.SetLevel(c.set);
        EXPECT_EQ(c.stored, level.Level());
        for (int i = 0; i < 200 && level.KeptValue() != c.kept; ++i)
            Sleep(10);
        EXPECT_EQ(c.kept, level.KeptValue()) << c.set;
    }
}

TEST(ManagerLifetime, ABuiltAgainManagerHasWorkingWorkers)
{
    for (int round = 0; round < 3; ++round) {
        VcamManger* manager = VcamManger::Instance();
        auto* level = reinterpret_cast<CLevelValue*>(manager->GetLevelValue());
        level->SetLevel(1.0);
        for (int i = 0; i < 200 && level->KeptValue() != 268435455; ++i)
            Sleep(10);
        EXPECT_EQ(268435455, level->KeptValue()) << "round " << round;
        VcamManger::UnInstance();
        EXPECT_EQ(nullptr, VcamManger::Current());
    }
    VcamManger::UnInstance();  // without a manager: nothing happens
}

TEST_F(ManagerTest, BackgroundPictureIsWrittenScaledAndBottomUp)
{
    ASSERT_TRUE(manager->StartBackgroundVideo());
    std::vector<uint8_t> pixels;
    const FrameHeader first = ReadCaptureHeader(&pixels);
    ASSERT_EQ(480u, first.width);
    ASSERT_EQ(360u, first.height);
    EXPECT_EQ(1u, first.smoothFlag);

    // Reference: the decoded picture sampled at each output pixel's centre.
    HRSRC found = FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(102), L"PNG");
    ASSERT_NE(nullptr, found);
    std::vector<uint8_t> source;
    int width = 0, height = 0;
    ASSERT_TRUE(CBackgroundVideo::DecodePicture(LockResource(LoadResource(nullptr, found)),
                                                SizeofResource(nullptr, found), source, width, height));
    ASSERT_EQ(320, width);
    ASSERT_EQ(240, height);
    auto difference = [&](bool flipped) {
        double sum = 0;
        for (int y = 0; y < 360; ++y) {
            const int sy = std::min(239, (y * 240 + 120) / 360);
            const int row = flipped ? 239 - sy : sy;
            for (int x = 0; x < 480; ++x) {
                const int sx = std::min(319, (x * 320 + 160) / 480);
                for (int c = 0; c < 3; ++c)
                    sum += std::abs(int(pixels[(y * 480 + x) * 3 + c]) - int(source[(row * 320 + sx) * 3 + c]));
            }
        }
        return sum / (480.0 * 360 * 3);
    };
    EXPECT_LT(difference(false), 6.0);
    EXPECT_GT(difference(true), 20.0);  // upside down would be told apart

    Sleep(30);
    manager->StartBackgroundVideo();
    const FrameHeader second = ReadCaptureHeader();
    EXPECT_GT(second.frameTime - first.frameTime, 0);
    manager->GetBackgroundVideo()->StopBackgroundVideo();
    EXPECT_EQ(second.frameTime, ReadCaptureHeader().frameTime);  // the frame stays
}

TEST_F(ManagerTest, PreviewIsKeptAndPaintedIntoTheWindow)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"preview", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    UpdateWindow(window);
    PumpFor(200);                    // the window's own first painting is done
    // A layer asked for before the preview window is named waits for it: the
    // window becomes the Flash players' host and the queue is applied.
    CDecorationLayer* layer = manager->GetDecorationLayer();
    layer->AddLayer("C:\\stickers\\heart.png", 480, 360, 480, 360, false, 0, 0);
    PumpFor(50);
    EXPECT_TRUE(layer->LayerPlacements().empty());
    manager->SetPreviewWnd(window);  // starts the background picture
    PumpFor(300);
    ASSERT_EQ(1u, layer->LayerPlacements().size());
    EXPECT_EQ("C:\\stickers\\heart.png", layer->LayerPlacements()[0].path);

    std::vector<uint8_t> preview(kPreviewBytes, 0);
    manager->CopyPreviewFrame(preview.data());
    size_t lit = 0;
    for (uint8_t v : preview)
        lit += v > 40;
    EXPECT_GT(lit, preview.size() / 4);

    // Read the window back: the picture is there, not a blank window.
    HDC dc = GetDC(window);
    int coloured = 0;
    for (int y = 10; y < 300; y += 20)
        for (int x = 10; x < 400; x += 20) {
            const COLORREF c = GetPixel(dc, x, y);
            coloured += c != CLR_INVALID && c != RGB(0, 0, 0) && c != RGB(255, 255, 255) && c != GetSysColor(COLOR_BTNFACE);
        }
    ReleaseDC(window, dc);
    EXPECT_GT(coloured, 200) << "sample at (200,150): " << std::hex << GetPixel(GetDC(window), 200, 150);
    manager->SetPreviewWnd(nullptr);
    DestroyWindow(window);
}
