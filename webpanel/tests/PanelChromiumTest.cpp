// The panel against Debian's Chromium under Wine: a page served by a
// loopback server of the test is shown, its button starts a download that
// lands in the music folder and is reported to page and host, a sound
// preview answers with its length, and hostile names write nothing. The
// engine this test starts is stopped over the protocol at the end.
#include "ChromiumService.h"
#include "DevToolsEngine.h"
#include "DevToolsHttp.h"
#include "KqUtilityDownload.h"
#include "LoopbackHttpServer.h"
#include "PanelHost.h"
#include "PanelSettings.h"
#include "PanelTestSupport.h"

#include <nlohmann/json.hpp>
#include <shlobj.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace {

const DWORD kEngineMs = 120000;  // start, first load: the slow machine's bound

std::wstring binFolder()
{
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe);
    folder.resize(folder.rfind(L'\\'));
    return folder;
}

std::string readFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> g_callbacks;
void __cdecl hostCallback(const wchar_t* path, const wchar_t* md5, const wchar_t* name, int duration)
{
    g_callbacks.push_back(std::wstring(path) + L"|" + md5 + L"|" + name + L"|" + std::to_wstring(duration));
}

class FrameStub : public IBrowserWindowFrame {
public:
    void setTitle(const KqString&) override {}
    void showWindow() override {}
    void closeWindow() override { ++closes; }
    void setWebViewVisible(bool) override {}
    void setLoadingVisible(bool) override {}
    void setLoadingText(const KqString&) override {}
    void webViewChanged() override { ++frames; }
    int frames = 0;
    int closes = 0;
};

// Whether the engine still lists a page target of that id.
bool targetListed(const std::string& id)
{
    std::string body;
    if (!DevToolsHttp::request("GET", "/json/list", body, 5000))
        return false;
    nlohmann::json targets = nlohmann::json::parse(body, nullptr, false);
    if (!targets.is_array())
        return false;
    for (const nlohmann::json& target : targets)
        if (target.is_object() && target.value("id", std::string()) == id)
            return true;
    return false;
}

class PanelChromiumTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        appFolder = std::wstring(temp) + L"panel_chromium_" + std::to_wstring(GetCurrentProcessId());
        SHCreateDirectoryExW(nullptr, appFolder.c_str(), nullptr);
        PanelSettings::setAppFolderForTest(fromWide(appFolder));
        song = readFile(binFolder() + L"\\panel_song.mp3");
        ASSERT_GT(song.size(), 1000u);
        ASSERT_TRUE(server.start([this](const LoopbackRequest& request, size_t) {
            if (request.target == "/files/song.mp3")
                return LoopbackResponse::ok(song);
            if (request.target == "/qn_effect_depot/index.php") {
                LoopbackResponse page = LoopbackResponse::ok(pageHtml());
                page.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
                return page;
            }
            return LoopbackResponse::statusOnly(404, "Not Found");
        }));
        g_callbacks.clear();

        PanelHost::Services services;
        services.window.createEngine = [this]() {
            engine = new DevToolsEngine();
            return std::unique_ptr<IBrowserEngine>(engine);
        };
        services.window.createDownload = []() { return CreateDownloadHttpData(); };
        services.createFrame = [this](BrowserWindow*) { return std::unique_ptr<IBrowserWindowFrame>(frame = new FrameStub()); };
        services.stopEngine = []() { ChromiumService::stop(); };
        services.pageUrl = [this]() {
            return fromWide(pageOverride.empty() ? server.url("/qn_effect_depot/index.php") : pageOverride);
        };
        host.reset(new PanelHost(services));
    }
    void TearDown() override
    {
        if (host)
            host->notifyBeforeProcessExit();
        host.reset();
        ChromiumService::stop();
        server.stop();
        PanelSettings::setAppFolderForTest(KqString());
        PanelTest::TearDown();
    }

    std::string pageHtml()
    {
        std::string songUrl = "http://127.0.0.1:" + std::to_string(server.port()) + "/files/song.mp3";
        return "<!doctype html><html><head><title>Effect depot</title><style>"
               "html,body{margin:0;padding:0;width:100%;height:100%;background:#ff0000;overflow:hidden}"
               "#get{position:absolute;left:100px;top:200px;width:300px;height:150px;background:#0000ff;border:0}"
               "</style></head><body>"
               "<button id='get' onclick=\"executeCmd('startDownload', '" + songUrl + "', 'md5abc', 'x', 201)\"></button>"
               "<script>window.downloads = 0; function downloadSuccess() { window.downloads++; }"
               "function loadTotalLength(n) { window.songLength = n; }</script></body></html>";
    }

    // The page's answer to an expression, as JSON text ("" when none came).
    std::string evaluate(const std::string& expression)
    {
        std::mutex lock;
        std::string answer;
        bool done = false;
        nlohmann::json params = {{"expression", expression}, {"returnByValue", true}};
        engine->SendRaw("Runtime.evaluate", params.dump(), [&](const std::string& text) {
            std::lock_guard<std::mutex> hold(lock);
            answer = text;
            done = true;
        });
        PumpMessagesUntil([&]() { std::lock_guard<std::mutex> hold(lock); return done; }, 30000);
        std::lock_guard<std::mutex> hold(lock);
        nlohmann::json parsed = nlohmann::json::parse(answer, nullptr, false);
        if (!parsed.is_object())
            return std::string();
        return parsed["result"]["result"].value("value", nlohmann::json()).dump();
    }
    bool pageValueBecomes(const std::string& expression, const std::string& expected)
    {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 60000) {
            if (evaluate(expression) == expected)
                return true;
            PumpMessagesUntil([]() { return false; }, 50);
        }
        return false;
    }
    // Whether the page's latest picture has colour rgb at (x, y), JPEG-near.
    bool pixelIs(int x, int y, int r, int g, int b)
    {
        std::shared_ptr<const EngineFrame> f = host->window()->webView()->currentFrame();
        if (!f || x >= f->width || y >= f->height)
            return false;
        const uint8_t* p = &f->bgra[(static_cast<size_t>(y) * f->width + x) * 4];
        return abs(p[2] - r) < 40 && abs(p[1] - g) < 40 && abs(p[0] - b) < 40;
    }
    void click(int x, int y)
    {
        EngineMouseEvent e;
        e.x = x;
        e.y = y;
        host->window()->webView()->mouseEvent(e);
        e.type = EngineMouseEvent::Press;
        host->window()->webView()->mouseEvent(e);
        e.type = EngineMouseEvent::Release;
        host->window()->webView()->mouseEvent(e);
    }
    std::vector<std::wstring> musicFiles()
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((appFolder + L"\\aurae\\music\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
                names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return names;
    }
    std::string jsString(const std::wstring& text)
    {
        return nlohmann::json(toUtf8(fromWide(text))).dump();
    }

    std::wstring appFolder;
    std::wstring pageOverride;
    std::string song;
    LoopbackHttpServer server;
    DevToolsEngine* engine = nullptr;
    FrameStub* frame = nullptr;
    std::unique_ptr<PanelHost> host;
};

TEST_F(PanelChromiumTest, PageShownClickedDownloadedPlayedAndHostileNamesRefused)
{
    host->showMoreAuraeBox(&hostCallback);
    ASSERT_NE(nullptr, host->window());
    PanelWebView* view = host->window()->webView();
    ASSERT_TRUE(PumpMessagesUntil([&]() { return view->isVisible(); }, kEngineMs)) << "the page's first load finished";
    std::string version;
    EXPECT_TRUE(DevToolsHttp::request("GET", "/json/version", version, 5000));

    // The page is on screen: red around the blue button.
    ASSERT_TRUE(PumpMessagesUntil([&]() { return pixelIs(20, 20, 255, 0, 0) && pixelIs(250, 275, 0, 0, 255); }, 60000))
        << "a screencast frame shows the page";
    EXPECT_EQ(733, view->currentFrame()->width);
    EXPECT_EQ(568, view->currentFrame()->height);
    EXPECT_GT(frame->frames, 0);

    // The button starts the download; the page and the host hear of it.
    click(250, 275);
    ASSERT_TRUE(PumpMessagesUntil([&]() { return !g_callbacks.empty(); }, 60000)) << "the host's callback ran";
    std::wstring saved = appFolder + L"\\aurae\\music\\x.mp3";
    EXPECT_EQ((std::vector<std::wstring>{saved + L"|md5abc|x|201"}), g_callbacks);
    EXPECT_EQ(song, readFile(saved));
    EXPECT_TRUE(pageValueBecomes("window.downloads", "1")) << "downloadSuccess() ran in the page";

    // A sound preview answers with the file's length.
    std::wstring songPath = binFolder() + L"\\panel_song.mp3";
    evaluate("executeCmd('startPlayMp3', " + jsString(songPath) + ")");
    ASSERT_TRUE(PumpMessagesUntil([&]() { return host->window()->proxy()->player().deviceId() != 0; }, 30000));
    std::string length;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 60000 && (length = evaluate("window.songLength")) == "null")
        PumpMessagesUntil([]() { return false; }, 50);
    EXPECT_NEAR(2000, atoi(length.c_str()), 150) << length;
    evaluate("executeCmd('stopPlayMp3')");

    // Hostile names fetch and write nothing.
    size_t requests = server.requestCount();
    for (const char* name : {"..\\\\x", "C:\\\\x", "con"})
        evaluate(std::string("executeCmd('startDownload', 'http://127.0.0.1:") + std::to_string(server.port()) +
                 "/files/song.mp3?n=2', 'm', '" + name + "', 1)");
    evaluate("executeCmd('stopPlayMp3')");  // after the three: they were all handled
    PumpMessagesUntil([&]() { return host->window()->proxy()->player().deviceId() == 0; }, 30000);
    EXPECT_EQ(requests, server.requestCount());
    EXPECT_FALSE(exists(appFolder + L"\\aurae\\x.mp3"));
    EXPECT_FALSE(exists(L"C:\\x.mp3"));
    EXPECT_EQ((std::vector<std::wstring>{L"x.mp3"}), musicFiles()) << "only the one good download";
    EXPECT_EQ(1u, g_callbacks.size());

    // The first close closes the page, then the window goes; the next panel
    // opens a page of its own on the engine already running.
    // The close does not wait for the engine: its thread is held busy
    // while the UI thread closes, and the window stays until the page went.
    std::string firstTarget = engine->TargetId();
    BrowserWindow::resetCloseFlagForTest();
    HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::shared_ptr<std::atomic<bool>> gaveUp = std::make_shared<std::atomic<bool>>(false);
    engine->SendRaw("Runtime.evaluate", R"({"expression":"1"})", [entered, release, gaveUp](const std::string&) {
        SetEvent(entered);
        if (WaitForSingleObject(release, 60000) != WAIT_OBJECT_0)
            *gaveUp = true;
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(entered, 30000));
    EXPECT_FALSE(host->window()->closeRequest());
    EXPECT_FALSE(*gaveUp) << "the close returned while the engine was still busy";
    EXPECT_EQ(0, frame->closes) << "the window stays while its page is open";
    SetEvent(release);
    ASSERT_TRUE(PumpMessagesUntil([&]() { return host->window() == nullptr; }, 30000));
    EXPECT_TRUE(PumpMessagesUntil([&]() { return !targetListed(firstTarget); }, 30000)) << "its page closed";
    CloseHandle(entered);
    CloseHandle(release);
    bool started = ChromiumService::startedHere();
    host->showMoreAuraeBox(&hostCallback);
    ASSERT_TRUE(PumpMessagesUntil([&]() { return host->window()->webView()->isVisible(); }, kEngineMs));
    std::string secondTarget = engine->TargetId();
    EXPECT_NE(firstTarget, secondTarget);
    EXPECT_EQ(started, ChromiumService::startedHere()) << "no second engine";

    // The process's second close is accepted at once: the window and its
    // page go, and the next show builds a new window with a page of its own.
    EXPECT_TRUE(host->window()->closeRequest());
    ASSERT_TRUE(PumpMessagesUntil([&]() { return host->window() == nullptr; }, 30000));
    EXPECT_TRUE(PumpMessagesUntil([&]() { return !targetListed(secondTarget); }, 30000)) << "its page closed";
    host->showMoreAuraeBox(&hostCallback);
    ASSERT_NE(nullptr, host->window()) << "a new window after the old one went";
    ASSERT_TRUE(PumpMessagesUntil([&]() { return host->window()->webView()->isVisible(); }, kEngineMs));
    EXPECT_NE(secondTarget, engine->TargetId());
    EXPECT_TRUE(targetListed(engine->TargetId()));

    // The engine this process started goes with the exit notice.
    host->notifyBeforeProcessExit();
    if (started) {
        std::string body;
        DWORD begin = GetTickCount();
        while (GetTickCount() - begin < 30000 && DevToolsHttp::request("GET", "/json/version", body, 1000))
            Sleep(100);
        EXPECT_FALSE(DevToolsHttp::request("GET", "/json/version", body, 1000)) << "the engine was closed";
    }
}

// A page that cannot be reached: the overlay gives way to the view, and the
// failure is written once.
TEST_F(PanelChromiumTest, AnUnreachablePageEndsItsLoadAndIsReportedOnce)
{
    // A port that refuses: a server's, once it has stopped.
    LoopbackHttpServer gone;
    ASSERT_TRUE(gone.start([](const LoopbackRequest&, size_t) { return LoopbackResponse::statusOnly(404, "Not Found"); }));
    pageOverride = gone.url("/qn_effect_depot/index.php");
    gone.stop();
    host->showMoreAuraeBox(&hostCallback);
    ASSERT_NE(nullptr, host->window());
    PanelWebView* view = host->window()->webView();
    ASSERT_TRUE(PumpMessagesUntil([&]() { return view->isVisible(); }, kEngineMs)) << "the failed load ended";
    // Every report of the failed load has come once the next page shows.
    view->load(fromWide(server.url("/qn_effect_depot/index.php")));
    ASSERT_TRUE(PumpMessagesUntil([&]() { return pixelIs(20, 20, 255, 0, 0); }, 60000));
    EXPECT_EQ(1u, debugLinesContaining(L"ClientHandler::OnLoadError Failed to load URL " + pageOverride + L" with error "))
        << "written once";
}

}  // namespace

namespace {

// browser.dll as the host uses it: the page on the service address shows in
// the panel's window, and the exit notice closes the engine it started.
TEST(PanelChromiumDllTest, ShowMoreAuraeBoxShowsTheServicePageInItsWindow)
{
    std::string body;
    bool engineWasRunning = DevToolsHttp::request("GET", "/json/version", body, 2000);
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([](const LoopbackRequest& request, size_t) {
        if (request.target != "/qn_effect_depot/index.php")
            return LoopbackResponse::statusOnly(404, "Not Found");
        LoopbackResponse page = LoopbackResponse::ok(
            "<!doctype html><html><body style='margin:0;height:100vh;background:#00c000'></body></html>");
        page.headers.push_back({"Content-Type", "text/html"});
        return page;
    }));
    SetEnvironmentVariableW(L"TQ_SERVICE_URL", server.url("/").c_str());
    HMODULE module = LoadLibraryW(L"browser.dll");
    ASSERT_NE(nullptr, module);
    auto show = reinterpret_cast<void(__cdecl*)(void*, void*)>(GetProcAddress(module, "ShowMoreAuraeBox"));
    auto exitNotice = reinterpret_cast<void(__cdecl*)()>(GetProcAddress(module, "NotifyBeforeProcessExit"));
    ASSERT_TRUE(show && exitNotice);
    show(nullptr, nullptr);
    HWND window = FindWindowW(L"DUI_HOST_WINDOW", L"Browser");
    ASSERT_NE(nullptr, window);
    // The window is layered: what shows is read from the screen, 40 x 60
    // pixels into the page (past the shadow margin and the caption).
    auto pageOnScreen = [window]() {
        RECT r;
        GetWindowRect(window, &r);
        HDC dc = GetDC(nullptr);
        COLORREF c = GetPixel(dc, r.left + 5 + 1 + 40, r.top + 5 + 31 + 60);
        ReleaseDC(nullptr, dc);
        return GetRValue(c) < 40 && GetGValue(c) > 150 && GetBValue(c) < 40;
    };
    EXPECT_TRUE(PumpMessagesUntil(pageOnScreen, kEngineMs)) << "the page's green in the window";
    EXPECT_TRUE(server.requestCount() >= 1);
    exitNotice();
    EXPECT_FALSE(IsWindow(window));
    MSG quit;
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "the panel's window going does not end the host's message loop";
    exitNotice();
    if (!engineWasRunning) {
        DWORD begin = GetTickCount();
        while (GetTickCount() - begin < 30000 && DevToolsHttp::request("GET", "/json/version", body, 1000))
            Sleep(100);
        EXPECT_FALSE(DevToolsHttp::request("GET", "/json/version", body, 1000)) << "the engine was closed";
    }
    SetEnvironmentVariableW(L"TQ_SERVICE_URL", nullptr);
    server.stop();
}

}  // namespace
