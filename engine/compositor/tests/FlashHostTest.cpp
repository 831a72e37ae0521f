#include "FlashControl.h"
#include "FlashEffects.h"
#include "FlashPlayerHost.h"
#include "FlashSite.h"
#include "FlashTestStage.h"
#include "IVcamManger.h"
#include "testing/SystemHandles.h"
#include "LayerTestFiles.h"
#include "PictureLayer.h"
#include "testing/SlotCall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

const uint8_t kGuard = 0x5A;

class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};
const auto* const g_com = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

// A hidden window standing in for the preview (the Flash host window).
class HostWindow {
public:
    HostWindow()
    {
        m_window = CreateWindowExW(0, L"STATIC", L"preview", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
    }
    ~HostWindow() { DestroyWindow(m_window); }
    HWND Get() const { return m_window; }
private:
    HWND m_window;
};

// Bytes of the pixel at (x, y from the top) of a bottom-up RGB24 frame.
const uint8_t* PixelAt(const std::vector<uint8_t>& frame, int width, int height, int x, int y)
{
    return &frame[(size_t(height - 1 - y) * width + x) * 3];
}

// Every pixel inside the rectangle has the colour, every other byte is the original's.
void ExpectRectangleDrawn(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, int width, int height,
                          RECT rect, unsigned colour)
{
    ASSERT_EQ(before.size(), after.size());
    const uint8_t want[3] = {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16)};
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
            const uint8_t* a = PixelAt(after, width, height, x, y);
            const uint8_t* b = PixelAt(before, width, height, x, y);
            const uint8_t* expected = inside ? want : b;
            if (memcmp(a, expected, 3) != 0 && ++wrong < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << (inside ? " inside" : " outside");
        }
    }
    EXPECT_EQ(0, wrong);
}

class FlashHost : public ::testing::Test {
protected:
    void TearDown() override { CoFreeUnusedLibraries(); }
    std::wstring Movie(FlashStage& stage, const std::wstring& name, const std::vector<TestMovieFrame>& frames,
                       int rate = 10)
    {
        const std::wstring path = stage.Folder() + L"\\" + name;
        WriteTestMovie(path, frames, rate);
        return path;
    }
    HostWindow window;
};

const std::vector<TestMovieFrame> kTenFrames = {
    {10, 20, 40, 30, 0xFF0000}, {12, 20, 40, 30, 0x00FF00}, {14, 20, 40, 30, 0x0000FF}, {16, 20, 40, 30, 0x808000},
    {18, 20, 40, 30, 0x008080}, {100, 50, 60, 40, 0x123456}, {22, 20, 40, 30, 0x654321}, {24, 20, 40, 30, 0x111111},
    {26, 20, 40, 30, 0x222222}, {28, 20, 40, 30, 0x333333}};

// ---- Activation ----

TEST_F(FlashHost, ClientSiteComesWhereTheMiscStatusAsks)
{
    const struct {
        const char* settings;
        bool siteFirst;
    } cases[] = {{"", false}, {"siteFirst=1\n", true}};
    for (const auto& c : cases) {
        FlashStage stage(L"order", c.settings);
        ASSERT_TRUE(stage.Register());
        const std::wstring movie = Movie(stage, L"m.swf", {{0, 0, 4, 4, 0xFF0000}});
        {
            CFlashPlayerHost host;
            host.PlayMovie(window.Get(), movie.c_str(), 480, 360, 0, 0, false, "");
            EXPECT_TRUE(host.IsActive());
        }
        const int site = stage.Find("SetClientSite set"), init = stage.Find("InitNew");
        ASSERT_GE(site, 0);
        ASSERT_GE(init, 0);
        EXPECT_EQ(c.siteFirst, site < init) << c.settings;
        EXPECT_LT(stage.Find("GetMiscStatus 1"), std::min(site, init));
        stage.Unregister();
        CoFreeUnusedLibraries();
    }
}

TEST_F(FlashHost, FailedInitialisationLeavesTheHostInert)
{
    FlashStage stage(L"failinit", "failInitNew=1\n");
    ASSERT_TRUE(stage.Register());
    const std::wstring movie = Movie(stage, L"m.swf", {{0, 0, 40, 40, 0xFF0000}});
    CFlashPlayerHost host;
    host.PlayMovie(window.Get(), movie.c_str(), 480, 360, 0, 0, false, "");
    EXPECT_FALSE(host.IsActive());
    EXPECT_FALSE(host.IsPlaying());
    std::vector<uint8_t> frame = PatternFrame(480, 360);
    const std::vector<uint8_t> before = frame;
    host.DrawInto(frame.data(), 480, 360);
    EXPECT_EQ(before, frame);
    EXPECT_GE(stage.Find("InitNew failed"), 0);
    EXPECT_LT(stage.Find("DoVerb"), 0) << "not activated";
    EXPECT_LT(stage.Find("put Movie"), 0);
}

TEST_F(FlashHost, ControlWithoutPersistenceIsStillActivated)
{
    FlashStage stage(L"nopersist", "noPersist=1\n");
    ASSERT_TRUE(stage.Register());
    const std::wstring movie = Movie(stage, L"m.swf", {{0, 0, 40, 40, 0xFF0000}});
    CFlashPlayerHost host;
    host.PlayMovie(window.Get(), movie.c_str(), 480, 360, 0, 0, false, "");
    EXPECT_TRUE(host.IsActive());
    EXPECT_LT(stage.Find("InitNew"), 0);
    EXPECT_GE(stage.Find("SetClientSite set"), 0);
    EXPECT_GE(stage.Find("DoVerb -5"), 0);
}

TEST_F(FlashHost, ActivationSetsTheControlUpAndActivatesItInPlace)
{
    FlashStage stage(L"setup");
    ASSERT_TRUE(stage.Register());
    const std::wstring movie = Movie(stage, L"m.swf", {{0, 0, 40, 40, 0xFF0000}});
    {
        CFlashPlayerHost host;
        host.PlayMovie(window.Get(), movie.c_str(), 480, 360, 0, 0, false, "");
    }
    const std::vector<std::string> wanted = {
        "SetHostNames TqVirtualCamActiveX", "DisableLocalSecurity", "put WMode Transparent",
        "put BackgroundColor -1", "put Movie " + Narrow(movie), "put Quality2 Medium", "get TotalFrames 1",
        "put Loop false", "DoVerb -5 0 0 480 360 parent", "SetObjectRects 0 0 480 360",
        "OnInPlaceActivateEx windowless ok", "GetWindowContext ok cb=20 accel=1 frame=parent", "SetSite set",
        "SetSite null", "Close 1", "SetClientSite null", "destroy"};
    int last = -1;
    for (const std::string& line : wanted) {
        const int at = stage.Find(line);
        EXPECT_GT(at, last) << line;
        last = std::max(last, at);
    }
    EXPECT_LT(stage.Find("CallFunction"), 0) << "no parameters, no script call";
    EXPECT_LT(stage.Find("GotoFrame"), 0) << "played from the start";
}

TEST_F(FlashHost, StillsGoToTheMiddleFrame)
{
    const struct {
        int frames;
        int gotoFrame;
    } cases[] = {{1, 1}, {10, 5}, {3, 1}};
    for (const auto& c : cases) {
        FlashStage stage(L"still");
        ASSERT_TRUE(stage.Register());
        std::vector<TestMovieFrame> frames(kTenFrames.begin(), kTenFrames.begin() + c.frames);
        const std::wstring movie = Movie(stage, L"m.swf", frames);
        {
            CFlashPlayerHost host;
            host.LoadStill(window.Get(), movie.c_str(), L"thumb", 480, 360, 0, 0, false);
        }
        EXPECT_GE(stage.Find("GotoFrame " + std::to_string(c.gotoFrame)), 0) << c.frames << " frames";
        EXPECT_EQ(1, stage.Count("GotoFrame"));
        stage.Unregister();
        CoFreeUnusedLibraries();
    }
}

TEST_F(FlashHost, ParametersReachTheScriptEscaped)
{
    const struct {
        std::string params;
        std::string call;
    } cases[] = {
        {"abc", "CallFunction <invoke name=\"Func1\" returntype=\"xml\"><arguments><string>abc</string></arguments></invoke>"},
        {"<a&b>", "CallFunction <invoke name=\"Func1\" returntype=\"xml\"><arguments><string>&lt;a&amp;b&gt;</string></arguments></invoke>"},
        {"say \"hi\" 'x'", "CallFunction <invoke name=\"Func1\" returntype=\"xml\"><arguments><string>say &quot;hi&quot; &apos;x&apos;</string></arguments></invoke>"},
        {"", ""},
    };
    for (const auto& c : cases) {
        FlashStage stage(L"params");
        ASSERT_TRUE(stage.Register());
        const std::wstring movie = Movie(stage, L"m.swf", {{0, 0, 4, 4, 0xFF0000}});
        {
            CFlashPlayerHost host;
            host.PlayMovie(window.Get(), movie.c_str(), 480, 360, 0, 0, false, c.params);
        }
        const std::vector<std::string> lines = stage.JournalLines();
        int calls = 0;
        for (const std::string& line : lines) {
            if (line.compare(0, 12, "CallFunction") == 0) {
                ++calls;
                EXPECT_EQ(c.call, line);
            }
        }
        EXPECT_EQ(c.call.empty() ? 0 : 1, calls) << c.params;
        stage.Unregister();
        CoFreeUnusedLibraries();
    }
}

// ---- Finding the control ----

TEST_F(FlashHost, InstallIniAloneFindsTheControl)
{
    FlashIni ini(L"testflash_ini.dll", true);
    FlashStage movies(L"inimovies");
    const std::wstring movie = Movie(movies, L"m.swf", {{0, 0, 4, 4, 0xFF0000}});
    EXPECT_EQ(kTestFlashVersion, GetFlashVersion());
    {
        CFlashPlayerHost host;
        host.PlayMovie(window.Get(), movie.c_str(), 480, 360, 0, 0, false, "");
        EXPECT_TRUE(host.IsActive());
        EXPECT_TRUE(GetModuleHandleW(L"testflash_ini.dll"));
    }
    EXPECT_FALSE(GetModuleHandleW(L"testflash_ini.dll")) << "the library is freed with its host";
    std::ifstream journal(ini.Journal().c_str());
    std::string text((std::istreambuf_iterator<char>(journal)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, text.find("DoVerb -5"));
    EXPECT_NE(std::string::npos, text.find("unload live=0"));
}

TEST_F(FlashHost, BadInstallIniFallsBackToCom)
{
    FlashIni ini(L"no-such-flash.dll", false);
    FlashStage stage(L"fallback");
    ASSERT_TRUE(stage.Register());
    const std::wstring movie = Movie(stage, L"m.swf", {{0, 0, 4, 4, 0xFF0000}});
    EXPECT_EQ(kTestFlashVersion, GetFlashVersion());
    CFlashPlayerHost host;
    host.PlayMovie(window.Get(), movie.c_str(), 480, 360, 0, 0, false, "");
    EXPECT_TRUE(host.IsActive());
    EXPECT_GE(stage.Find("DoVerb -5"), 0);
}

// The host asks the engine, by the manager's slot 16 (IsFlashAvailable),
// whether effects can play: the control's version once one is found, 0 when
// none is.
TEST_F(FlashHost, ManagerSlotReportsTheControlsVersion)
{
    HMODULE engine = LoadLibraryW(L"lumeo.dll");
    ASSERT_NE(nullptr, engine);
    auto get = reinterpret_cast<GetVcamMangerFn>(GetProcAddress(engine, "_getVcamManger@0"));
    auto release = reinterpret_cast<ReleaseVcamMangerFn>(GetProcAddress(engine, "_releaseVcamManger@0"));
    ASSERT_TRUE(get && release);
    void* manager = get();
    ASSERT_NE(nullptr, manager);
    EXPECT_EQ(0, CallSlot<int>(manager, 16)) << "no control in the prefix";
    {
        FlashIni ini(L"testflash_manager.dll", true);
        EXPECT_EQ(int(kTestFlashVersion), CallSlot<int>(manager, 16));
    }
    EXPECT_EQ(0, CallSlot<int>(manager, 16));
    release();
    FreeLibrary(engine);
}

TEST_F(FlashHost, WithoutAControlNothingChanges)
{
    EXPECT_EQ(0, GetFlashVersion());
    FlashStage stage(L"none");
    const std::wstring movie = Movie(stage, L"m.swf", {{0, 0, 40, 40, 0xFF0000}});
    CFlashPlayerHost host;
    EXPECT_TRUE(host.PlayMovie(window.Get(), movie.c_str(), 480, 360, 0, 0, false, ""));
    EXPECT_FALSE(host.IsActive());
    EXPECT_FALSE(host.IsPlaying());
    EXPECT_FALSE(host.Stop());
    std::vector<uint8_t> frame = PatternFrame(480, 360);
    const std::vector<uint8_t> before = frame;
    host.DrawInto(frame.data(), 480, 360);
    host.SetPlacement(10, 10, 100, 100);
    host.DrawInto(frame.data(), 480, 360);
    EXPECT_EQ(before, frame);
    EXPECT_FALSE(host.SaveFrame(stage.Folder() + L"\\none.bmp", 480, 360)) << "no picture to save";
}

// ---- Drawing ----

TEST_F(FlashHost, DrawIntoPaintsTheRectangleAndNothingElse)
{
    FlashStage stage(L"draw");
    ASSERT_TRUE(stage.Register());
    const unsigned colour = 0x3366CC;
    const std::wstring movie = Movie(stage, L"m.swf", {{10, 20, 40, 30, colour}});
    const struct {
        int width, height;
        bool positioned;
        int x, y;
    } cases[] = {{480, 360, false, 0, 0}, {480, 360, true, 100, 60}, {640, 480, false, 0, 0},
                 {800, 600, false, 0, 0}, {160, 120, false, 0, 0}};
    for (const auto& c : cases) {
        CFlashPlayerHost host;
        host.PlayMovie(window.Get(), movie.c_str(), 480, 360, 0, 0, true, "");
        ASSERT_TRUE(host.IsActive());
        if (c.positioned)
            host.SetPlacement(c.x, c.y, c.x + 200, c.y + 150);
        const size_t bytes = size_t(c.width) * c.height * 3;
        std::vector<uint8_t> buffer(bytes + 2 * 4096, kGuard);
        const std::vector<uint8_t> before = PatternFrame(c.width, c.height, 3);
        memcpy(buffer.data() + 4096, before.data(), bytes);
        host.DrawInto(buffer.data() + 4096, c.width, c.height);
        for (size_t i = 0; i < 4096; ++i) {
            ASSERT_EQ(kGuard, buffer[i]) << c.width << "x" << c.height;
            ASSERT_EQ(kGuard, buffer[buffer.size() - 1 - i]) << c.width << "x" << c.height;
        }
        const std::vector<uint8_t> after(buffer.begin() + 4096, buffer.begin() + 4096 + bytes);
        const RECT rect = {c.x + 10, c.y + 20, c.x + 50, c.y + 50};
        ExpectRectangleDrawn(before, after, c.width, c.height, rect, colour);
    }
}

TEST_F(FlashHost, PositionedFlashLayerMovesTheRectangle)
{
    FlashStage stage(L"layer");
    ASSERT_TRUE(stage.Register());
    const unsigned colour = 0xC0FFEE;
    const std::wstring movie = Movie(stage, L"m.swf", {{5, 6, 20, 10, colour}});
    CPictureLayer layer;
    layer.x = 120;
    layer.y = 90;
    layer.flashWidth = 240;
    layer.flashHeight = 180;
    layer.Load(Narrow(movie), window.Get(), 480, 360, true);
    ASSERT_EQ(CPictureLayer::PositionedFlash, layer.mode);
    std::vector<uint8_t> frame = PatternFrame(480, 360);
    const std::vector<uint8_t> before = frame;
    layer.Draw(frame.data(), 480, 360);
    ExpectRectangleDrawn(before, frame, 480, 360, RECT{125, 96, 145, 106}, colour);
    const RECT placed = layer.flash.Placement();
    EXPECT_EQ(120, placed.left);
    EXPECT_EQ(360, placed.right);
    EXPECT_GE(stage.Find("SetObjectRects 120 90 360 270"), 0);
}

TEST_F(FlashHost, WindowedControlGetsTheWrapperWindow)
{
    FlashStage stage(L"windowed", "noWindowless=1\n");
    ASSERT_TRUE(stage.Register());
    const std::wstring movie = Movie(stage, L"m.swf", {{5, 6, 20, 10, 0xFF0000}});
    CFlashPlayerHost host;
    host.PlayMovie(window.Get(), movie.c_str(), 480, 360, 0, 0, true, "");
    ASSERT_TRUE(host.IsActive());
    HWND wrapper = FindWindowExW(window.Get(), nullptr, kFlashWindowClass, kFlashWindowName);
    ASSERT_TRUE(wrapper);
    EXPECT_GE(stage.Find("OnInPlaceActivate windowed ok"), 0);
    EXPECT_GE(stage.Find("SetObjectRects 0 0 480 360"), 0);
    // Only windowless controls are drawn into frames.
    std::vector<uint8_t> frame = PatternFrame(480, 360);
    const std::vector<uint8_t> before = frame;
    host.DrawInto(frame.data(), 480, 360);
    EXPECT_EQ(before, frame);
    host.SetPlacement(30, 40, 130, 140);
    RECT placed = {};
    GetWindowRect(wrapper, &placed);
    EXPECT_EQ(100, placed.right - placed.left);
    EXPECT_GE(stage.Find("SetObjectRects 0 0 100 100"), 0) << "windowed rectangles start at 0, 0";
}

// ---- Effects, holder, thumbnails ----

TEST_F(FlashHost, EffectTableKeepsOnePlayerPerMovie)
{
    FlashStage stage(L"effects");
    ASSERT_TRUE(stage.Register());
    const std::wstring a = Movie(stage, L"a.swf", {{0, 0, 10, 10, 0xFF0000}});
    const std::wstring b = Movie(stage, L"b.swf", {{0, 0, 10, 10, 0x00FF00}});
    CFlashEffectTable table;
    EXPECT_FALSE(table.Clear()) << "no effect yet";
    EXPECT_TRUE(table.Select(a, window.Get()));
    EXPECT_TRUE(table.Select(b, window.Get()));
    EXPECT_EQ(1, stage.Count("Stop")) << "selecting B stopped A";
    stage.ClearJournal();
    EXPECT_TRUE(table.Select(a, window.Get()));
    EXPECT_EQ(2u, table.PlayerCount());
    EXPECT_EQ(a, table.Current());
    const int rewind = stage.Find("Rewind"), play = stage.Find("Play");
    EXPECT_GE(rewind, 0);
    EXPECT_GT(play, rewind);
    EXPECT_EQ(0, stage.Count("create")) << "the kept player is used";
    EXPECT_TRUE(table.Clear());
    EXPECT_FALSE(table.Clear());
    EXPECT_TRUE(table.Current().empty());
}

TEST_F(FlashHost, EndedEffectIsNotDrawn)
{
    FlashStage stage(L"ended");
    ASSERT_TRUE(stage.Register());
    const std::wstring movie = Movie(stage, L"short.swf", {{0, 0, 40, 40, 0xFF0000}, {0, 0, 40, 40, 0x00FF00}}, 100);
    CFlashEffectTable table;
    ASSERT_TRUE(table.Select(movie, window.Get()));
    CFlashPlayerHost* player = table.Player(movie);
    ASSERT_TRUE(player);
    const DWORD start = GetTickCount();
    while (player->IsPlaying() && GetTickCount() - start < 10000)
        Sleep(5);
    ASSERT_FALSE(player->IsPlaying()) << "a movie that does not loop ends";
    std::vector<uint8_t> frame = PatternFrame(480, 360);
    const std::vector<uint8_t> before = frame;
    table.Draw(frame.data(), 480, 360);
    EXPECT_EQ(before, frame);

    // Selected again it starts over and is drawn.
    ASSERT_TRUE(table.Select(movie, window.Get()));
    table.Draw(frame.data(), 480, 360);
    EXPECT_NE(before, frame);
}

TEST_F(FlashHost, HolderPlaysOneMovieAtATime)
{
    FlashStage stage(L"holder");
    ASSERT_TRUE(stage.Register());
    const std::wstring movie = Movie(stage, L"m.swf", {{0, 0, 40, 40, 0xFF0000}});
    CFlashHolder holder;
    EXPECT_FALSE(holder.Stop()) << "no movie";
    EXPECT_TRUE(holder.Play(movie, "abc", window.Get()));
    EXPECT_TRUE(holder.Play(movie, "", window.Get()));
    EXPECT_EQ(1, stage.Count("destroy")) << "the first movie is gone";
    std::vector<uint8_t> frame = PatternFrame(640, 480);
    const std::vector<uint8_t> before = frame;
    holder.Draw(frame.data(), 640, 480);
    ExpectRectangleDrawn(before, frame, 640, 480, RECT{0, 0, 40, 40}, 0xFF0000);
    EXPECT_TRUE(holder.Stop());
    EXPECT_FALSE(holder.Stop());
}

// The host's listener, built by hand as another compiler would lay it out.
struct ThumbnailReceiver {
    void* const* table;
    int calls = 0;
    std::wstring movie, thumbnail, name;
};
void TQ_THISCALL OnThumbnail(ThumbnailReceiver* self, const std::wstring& movie, std::wstring thumbnail,
                             std::wstring name)
{
    ++self->calls;
    self->movie = movie;
    self->thumbnail = thumbnail;
    self->name = name;
}
void* const kReceiverTable[] = {reinterpret_cast<void*>(&OnThumbnail)};

TEST_F(FlashHost, ThumbnailIsTheMiddleFrameOverWhite)
{
    FlashStage stage(L"thumb");
    ASSERT_TRUE(stage.Register());
    const std::wstring movie = Movie(stage, L"m.swf", kTenFrames);
    const std::wstring thumbnail = stage.Folder() + L"\\heart_thumb.bmp";
    DeleteFileW(thumbnail.c_str());
    ThumbnailReceiver receiver{kReceiverTable};
    CFlashThumbnailJob job(reinterpret_cast<IFlashThumbnailListener*>(&receiver));
    ASSERT_TRUE(job.Run(movie, L"heart_thumb", window.Get()));

    EXPECT_EQ(1, receiver.calls);
    EXPECT_EQ(movie, receiver.movie);
    EXPECT_EQ(thumbnail, receiver.thumbnail);
    EXPECT_EQ(L"heart_thumb", receiver.name);

    const std::vector<uint8_t> file = ReadBytes(Narrow(thumbnail));
    ASSERT_EQ(518454u, file.size());
    auto u32 = [&](size_t at) { uint32_t v; memcpy(&v, &file[at], 4); return v; };
    auto u16 = [&](size_t at) { return uint16_t(file[at] | file[at + 1] << 8); };
    EXPECT_EQ('B', file[0]);
    EXPECT_EQ('M', file[1]);
    EXPECT_EQ(518454u, u32(2));
    EXPECT_EQ(54u, u32(10));
    EXPECT_EQ(40u, u32(14));
    EXPECT_EQ(480u, u32(18));
    EXPECT_EQ(360u, u32(22));  // positive: bottom-up
    EXPECT_EQ(1, u16(26));
    EXPECT_EQ(24, u16(28));
    std::vector<uint8_t> white(480 * 360 * 3, 255);
    const std::vector<uint8_t> pixels(file.begin() + 54, file.end());
    // Frame 5 of ten: the rectangle (100, 50) 60 x 40 in 0x123456.
    ExpectRectangleDrawn(white, pixels, 480, 360, RECT{100, 50, 160, 90}, 0x123456);
}

TEST_F(FlashHost, ThumbnailWithoutAFolderWritesAndTellsNothing)
{
    FlashStage stage(L"nothumb");
    ASSERT_TRUE(stage.Register());
    const std::wstring movie = Movie(stage, L"m.swf", kTenFrames);
    const std::wstring missing = stage.Folder() + L"\\missing\\m.swf";
    const std::wstring noFolder = L"m.swf";
    for (const std::wstring& path : {noFolder, missing}) {
        ThumbnailReceiver receiver{kReceiverTable};
        CFlashThumbnailJob job(reinterpret_cast<IFlashThumbnailListener*>(&receiver));
        EXPECT_FALSE(job.Run(path, L"heart_thumb", window.Get()));
        EXPECT_EQ(0, receiver.calls);
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((stage.Folder() + L"\\missing\\heart_thumb.bmp").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"heart_thumb.bmp"));
    EXPECT_EQ(0, stage.Count("create")) << "no player was made";
}

// ---- The site as the control calls it ----

// COM calls by table position (stdcall on i686, like the control's calls).
template <typename... Args>
HRESULT ComSlot(void* object, size_t slot, Args... args)
{
    using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, Args...);
    void* const* table = *static_cast<void* const* const*>(object);
    return reinterpret_cast<Fn>(table[slot])(object, args...);
}

TEST(FlashSiteSlots, AnswersByTablePosition)
{
    CFlashControl control;
    CFlashSite* site = new CFlashSite(&control);
    void* client = static_cast<IOleClientSite*>(site);
    void* inPlace = static_cast<IOleInPlaceSiteWindowless*>(site);
    void* controlSite = static_cast<IOleControlSite*>(site);
    void* container = static_cast<IOleContainer*>(site);
    const struct {
        const char* name;
        void* object;
        size_t slot;
        HRESULT expected;
    } noArguments[] = {
        {"SaveObject", client, 3, E_NOTIMPL},
        {"ShowObject", client, 6, S_OK},
        {"RequestNewObjectLayout", client, 8, E_NOTIMPL},
        {"CanInPlaceActivate", inPlace, 5, S_OK},
        {"OnUIActivate", inPlace, 7, S_OK},
        {"DiscardUndoState", inPlace, 12, E_NOTIMPL},
        {"DeactivateAndUndo", inPlace, 13, E_NOTIMPL},
        {"RequestUIActivate", inPlace, 17, S_OK},
        {"CanWindowlessActivate", inPlace, 18, S_OK},
        {"GetCapture", inPlace, 19, S_FALSE},
        {"GetFocus", inPlace, 21, S_FALSE},
        {"OnControlInfoChanged", controlSite, 3, S_OK},
        {"ShowPropertyFrame", controlSite, 9, E_NOTIMPL},
    };
    for (const auto& c : noArguments)
        EXPECT_EQ(c.expected, ComSlot(c.object, c.slot)) << c.name;
    const struct {
        const char* name;
        void* object;
        size_t slot;
        HRESULT expected;
    } boolArgument[] = {
        {"OnShowWindow", client, 7, E_NOTIMPL},
        {"ContextSensitiveHelp", inPlace, 4, S_OK},
        {"OnUIDeactivate", inPlace, 10, S_OK},
        {"LockInPlaceActive", controlSite, 4, S_OK},
        {"OnFocus", controlSite, 8, S_OK},
        {"LockContainer", container, 5, S_OK},
    };
    for (const auto& c : boolArgument)
        EXPECT_EQ(c.expected, ComSlot(c.object, c.slot, BOOL(TRUE))) << c.name;
    // OnFocus(TRUE) above: the focus flag answers now.
    EXPECT_EQ(S_OK, ComSlot(inPlace, 21));
    HDC dc = reinterpret_cast<HDC>(1);
    EXPECT_EQ(E_FAIL, ComSlot(inPlace, 23, static_cast<LPCRECT>(nullptr), DWORD(0), &dc)) << "GetDC";
    EXPECT_EQ(nullptr, dc);
    EXPECT_EQ(E_NOTIMPL, ComSlot(inPlace, 14, static_cast<LPCRECT>(nullptr))) << "OnPosRectChange";
    RECT r = {1, 2, 3, 4};
    EXPECT_EQ(S_OK, ComSlot(inPlace, 28, &r)) << "AdjustRect";

    // The frame from GetWindowContext.
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT position, clip;
    OLEINPLACEFRAMEINFO info = {};
    ASSERT_EQ(S_OK, ComSlot(inPlace, 8, &frame, &document, &position, &clip, &info));
    EXPECT_EQ(20u, info.cb);
    EXPECT_EQ(1u, info.cAccelEntries);
    EXPECT_TRUE(info.haccel) << "a table of one empty entry";
    EXPECT_FALSE(info.fMDIApp);
    ASSERT_TRUE(frame);
    IOleInPlaceUIWindow* ui = nullptr;
    EXPECT_EQ(S_OK, frame->QueryInterface(IID_IOleInPlaceUIWindow, reinterpret_cast<void**>(&ui)));
    if (ui)
        ui->Release();
    EXPECT_EQ(S_OK, frame->SetStatusText(L"x"));
    frame->Release();

    // The object-with-site keeps what it is given.
    void* withSite = static_cast<IObjectWithSite*>(site);
    void* none = nullptr;
    EXPECT_EQ(E_FAIL, ComSlot(withSite, 4, static_cast<const IID*>(&IID_IUnknown), &none)) << "GetSite before SetSite";
    EXPECT_EQ(S_OK, ComSlot(withSite, 3, static_cast<IUnknown*>(static_cast<IOleClientSite*>(site))));
    IUnknown* got = nullptr;
    EXPECT_EQ(S_OK, site->GetSite(IID_IOleClientSite, reinterpret_cast<void**>(&got)));
    if (got)
        got->Release();
    EXPECT_EQ(S_OK, ComSlot(withSite, 3, static_cast<IUnknown*>(nullptr)));
    site->Release();
}

// ---- Lifetime ----

// Kernel handles this process holds (0 when the table cannot be read).
long OwnHandleCount() { return long(tqtest::OwnHandles().size()); }

// GDI objects are counted neither by Wine's GetGuiResources nor anywhere
// else we can read: allocate far more brushes than are free and take the
// highest handle slot. It grows by one for every object left alive.
long GdiSlotFrontier()
{
    std::vector<HBRUSH> brushes;
    long highest = 0;
    for (int i = 0; i < 3000; ++i) {
        HBRUSH brush = CreateSolidBrush(RGB(i & 255, 0, 0));
        if (!brush)
            break;
        brushes.push_back(brush);
        highest = std::max(highest, long(reinterpret_cast<uintptr_t>(brush) & 0xFFFF) >> 2);
    }
    for (HBRUSH brush : brushes)
        DeleteObject(brush);
    return highest;
}

// Handles Wine's loader itself keeps for every load and unload of a library:
// none under wine64, two (a file and its mapping) under 32-bit Wine. Counted
// with bare loads of the stand-in, so a host's own leak still shows.
long HandlesKeptPerLibraryLoad()
{
    const std::wstring library = BinFolder() + L"\\testflash.dll";
    FreeLibrary(LoadLibraryW(library.c_str()));
    constexpr long kLoads = 20;
    const long before = OwnHandleCount();
    for (long i = 0; i < kLoads; ++i)
        FreeLibrary(LoadLibraryW(library.c_str()));
    return (OwnHandleCount() - before) / kLoads;
}

TEST_F(FlashHost, TwoHundredHostsLeaveNothingBehind)
{
    const long keptPerLoad = HandlesKeptPerLibraryLoad();
    FlashIni ini(L"testflash_rounds.dll", true);
    FlashStage movies(L"rounds");
    const std::wstring movie = Movie(movies, L"m.swf", {{10, 10, 20, 20, 0xFF0000}});
    std::vector<uint8_t> frame = PatternFrame(480, 360);
    auto round = [&] {
        CFlashPlayerHost host;
        host.PlayMovie(window.Get(), movie.c_str(), 480, 360, 0, 0, true, "x");
        host.DrawInto(frame.data(), 480, 360);
        return host.IsActive();
    };
    ASSERT_TRUE(round());
    const long gdiBefore = GdiSlotFrontier();
    const long handlesBefore = OwnHandleCount();
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(round()) << "round " << i;
    const long handlesAfter = OwnHandleCount();
    const long gdiAfter = GdiSlotFrontier();
    ASSERT_GT(handlesBefore, 0) << "the handle table is readable";
    ASSERT_GT(gdiBefore, 100) << "the brushes were made";
    EXPECT_LE(gdiAfter, gdiBefore + 2) << "GDI objects left by 200 hosts";
    // Each host loads the library once.
    EXPECT_LE(handlesAfter, handlesBefore + 2 + 200 * keptPerLoad) << keptPerLoad << " kept by each bare load";
    EXPECT_FALSE(GetModuleHandleW(L"testflash_rounds.dll")) << "the library is unloaded";
    std::ifstream journal(ini.Journal().c_str());
    std::string text((std::istreambuf_iterator<char>(journal)), std::istreambuf_iterator<char>());
    size_t unloads = 0, clean = 0;
    for (size_t at = text.find("unload live="); at != std::string::npos; at = text.find("unload live=", at + 1)) {
        ++unloads;
        clean += text.compare(at, 14, "unload live=0\n") == 0;
    }
    EXPECT_EQ(201u, unloads);
    EXPECT_EQ(unloads, clean) << "every object of the stand-in was released before it was unloaded";
}

} // namespace
