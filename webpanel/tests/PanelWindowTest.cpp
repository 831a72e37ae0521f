// The panel's window logic, its commands, downloads and exports behaviour,
// against the scripted engine, a scripted download service and real MCI.
#include "BrowserWindow.h"
#include "FakeDownloads.h"
#include "FakeFrame.h"
#include "KqlogRecords.h"
#include "PanelHost.h"
#include "PanelSettings.h"
#include "PanelTestSupport.h"
#include "testing/SlotCall.h"

#include <shlobj.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

// What the host's callback heard, in order with the page's scripts.
std::vector<std::wstring>* g_order = nullptr;
std::vector<std::wstring> g_firstCallback;
std::vector<std::wstring> g_secondCallback;
// How many "downloadSuccess()" scripts the engine had when the host was called.
FakeBrowserEngine::Journal* g_engineJournal = nullptr;
size_t g_evalsAtCallback = 0;

void __cdecl firstCallback(const wchar_t* path, const wchar_t* md5, const wchar_t* name, int duration)
{
    std::wstring line = std::wstring(path) + L"|" + md5 + L"|" + name + L"|" + std::to_wstring(duration);
    g_firstCallback.push_back(line);
    if (g_engineJournal)
        g_evalsAtCallback = g_engineJournal->count(L"Eval downloadSuccess()");
    if (g_order)
        g_order->push_back(L"callback " + line);
}

void __cdecl secondCallback(const wchar_t* path, const wchar_t*, const wchar_t*, int)
{
    g_secondCallback.push_back(path);
}

std::wstring tempFolder(const wchar_t* name)
{
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + name + std::to_wstring(GetCurrentProcessId());
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return folder;
}

class PanelWindowTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        logFile = tempFolder(L"panel_log") + L"\\records.txt";
        DeleteFileW(logFile.c_str());
        SetEnvironmentVariableW(tq::kqlog::kFileVariable, logFile.c_str());
        appFolder = tempFolder(L"panel_app");
        PanelSettings::setAppFolderForTest(fromWide(appFolder));
        RegDeleteKeyW(HKEY_CURRENT_USER, kPanelConfigKey);
        BrowserWindow::resetCloseFlagForTest();
        g_firstCallback.clear();
        g_secondCallback.clear();
        g_order = &frameJournal;
        g_engineJournal = journal.get();
        g_evalsAtCallback = 0;

        services.window.createEngine = [this]() { return makeEngine(); };
        services.window.createDownload = [this]() { return downloads.create(); };
        services.window.openUrl = [this](const std::wstring& url) { openedUrls.push_back(url); };
        services.createFrame = [this](BrowserWindow*) {
            return std::unique_ptr<IBrowserWindowFrame>(new FakeFrame(&frameJournal));
        };
        services.stopEngine = [this]() { ++engineStops; };
        services.pageUrl = []() { return KqString("http://depot/qn_effect_depot/index.php"); };
        host.reset(new PanelHost(services));
    }
    void TearDown() override
    {
        host.reset();
        g_order = nullptr;
        g_engineJournal = nullptr;
        PanelSettings::setAppFolderForTest(KqString());
        SetEnvironmentVariableW(tq::kqlog::kFileVariable, nullptr);
        PanelTest::TearDown();
    }

    // The window shown, its browser created and the page loaded.
    BrowserWindow* openPanel()
    {
        host->showMoreAuraeBox(&firstCallback);
        BrowserWindow* window = host->window();
        EXPECT_NE(nullptr, window);
        engineListener()->OnEngineCreated();
        engineListener()->OnLoadingStateChanged(true);
        engineListener()->OnLoadingStateChanged(false);
        drain();
        return window;
    }
    void pageSends(const std::string& jsonArgs)
    {
        engineListener()->OnPageMessage(L"executeCmd", jsonArgs);
        drain();
    }
    std::wstring musicFolder() { return appFolder + L"\\aurae\\music"; }
    std::vector<tq::kqlog::Record> records() { return tq::kqlog::ReadRecords(logFile); }
    bool logged(const std::wstring& text)
    {
        for (const tq::kqlog::Record& r : records())
            if (r.text == text)
                return true;
        return false;
    }
    void setVolume(const wchar_t* value)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kPanelConfigKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                                 &key, nullptr));
        RegSetValueExW(key, L"CurrentAuraeVolumn", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

    std::wstring logFile;
    std::wstring appFolder;
    FakeDownloads downloads;
    std::vector<std::wstring> openedUrls;
    std::vector<std::wstring> frameJournal;
    PanelHost::Services services;
    int engineStops = 0;
    std::unique_ptr<PanelHost> host;
};

TEST_F(PanelWindowTest, ContentLoadsThePageBehindTheOverlayUntilTheFirstLoadFinishes)
{
    host->showMoreAuraeBox(&firstCallback);
    EXPECT_TRUE(journal->has(L"Create 733x568 http://depot/qn_effect_depot/index.php"));
    PanelWebView* view = host->window()->webView();
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ((std::vector<std::wstring>{L"title Browser", L"view hidden", L"loading text Loading", L"loading shown",
                                         L"show"}),
              frameJournal);
    frameJournal.clear();
    engineListener()->OnEngineCreated();
    engineListener()->OnLoadingStateChanged(true);
    drain();
    EXPECT_TRUE(frameJournal.empty());
    engineListener()->OnLoadingStateChanged(false);
    drain();
    EXPECT_EQ((std::vector<std::wstring>{L"loading hidden", L"view shown"}), frameJournal);
    EXPECT_TRUE(view->isVisible());
}

TEST_F(PanelWindowTest, CommandWordsAnyCaseVolumeFromTheConfiguration)
{
    openPanel();
    BrowserProxy* proxy = host->window()->proxy();
    pageSends(R"(["STARTPLAYMP3", "C:\\no\\such\\file.mp3"])");
    EXPECT_EQ(500, proxy->player().lastVolume()) << "no key: volume 1 x 500";
    EXPECT_TRUE(journal->has(L"Eval loadTotalLength(0)")) << "an unopened sound still answers";

    setVolume(L"0.5");
    pageSends(R"(["startplaymp3", "C:\\no\\such\\file.mp3"])");
    EXPECT_EQ(250, proxy->player().lastVolume());
    EXPECT_EQ(2u, journal->count(L"Eval loadTotalLength(0)"));

    pageSends(R"(["OpenUrl", "https://depot/page"])");
    pageSends(R"(["openUrl", "file:///C:/windows/system32/notepad.exe"])");
    pageSends(R"(["openUrl", "C:\\windows\\notepad.exe"])");
    EXPECT_EQ((std::vector<std::wstring>{L"https://depot/page"}), openedUrls);
    pageSends(R"(["stopPlayMp3"])");
    pageSends(R"(["unknownCommand", "x"])");
    EXPECT_EQ(0u, proxy->player().deviceId());
}

TEST_F(PanelWindowTest, ShortOrWrongKindArgumentListsAreIgnored)
{
    openPanel();
    const char* cases[] = {
        R"([])",
        R"([7])",
        R"(["startPlayMp3"])",
        R"(["startPlayMp3", 5])",
        R"(["openUrl"])",
        R"(["openUrl", ["http://x/"]])",
        R"(["startDownload", "http://depot/a.mp3", "md5", "a"])",
        R"(["startDownload", "http://depot/a.mp3", "md5", "a", "12"])",
        R"(["startDownload", "http://depot/a.mp3", null, "a", 12])",
        R"(["startDownload", "http://depot/a.mp3", "md5", "a", 1.5])",
        "not json",
    };
    for (const char* c : cases) {
        capturedDebugLines().clear();
        pageSends(c);
        EXPECT_EQ(1u, debugLinesContaining(L"BrowserWindow::on_handleJsMessage ignored")) << c;
    }
    EXPECT_EQ(0u, downloads.startedCount());
    EXPECT_TRUE(openedUrls.empty());
    EXPECT_EQ(0u, journal->count(L"Eval loadTotalLength"));
}

TEST_F(PanelWindowTest, DownloadNamesAndExtensions)
{
    openPanel();
    struct Case {
        const char* url;
        const char* name;
        std::wstring file;
    } cases[] = {
        {"http://depot/files/song.mp3", "x", L"x.mp3"},
        {"http://depot/get.php?file=a.exe", "y", L"y.php"},
        {"http://depot/files/song.MP3#frag.bat", "z", L"z.MP3"},
        {"abc123", "w", L"wabc123"},  // no dot: the whole URL
        {"http://localhost/nodot", "v", L"v"},
        {"http://depot/a.m p3", "u", L"u"},
    };
    size_t i = 0;
    for (const Case& c : cases) {
        pageSends(std::string(R"(["startDownload", ")") + c.url + R"(", "md5", ")" + c.name + R"(", 3])");
        ASSERT_EQ(++i, downloads.startedCount()) << c.url;
        FakeDownloads::Started s = downloads.started(i - 1);
        EXPECT_EQ(musicFolder() + L"\\" + c.file, s.savePath) << c.url;
        EXPECT_EQ(0, s.third);
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(musicFolder().c_str())) << "the folder is made";
    EXPECT_TRUE(logged(L"start download file:x, url:http://depot/files/song.mp3"));
}

TEST_F(PanelWindowTest, HostileNamesStartNothing)
{
    openPanel();
    for (const char* name : {R"(..\\x)", R"(C:\\x)", "con", "CON.mp3", "nul", "com1", "lpt9.txt", "a/b", "..", "",
                             "a:b", "x.", " x", "a?b", "a\\u0001b"}) {
        capturedDebugLines().clear();
        pageSends(std::string(R"(["startDownload", "http://depot/s.mp3", "m", ")") + name + R"(", 1])");
        EXPECT_EQ(0u, downloads.startedCount()) << name;
        EXPECT_FALSE(host->window()->proxy()->isDownloading(KqString("http://depot/s.mp3"))) << name;
    }
    pageSends(R"(["startDownload", "http://depot/s.mp3", "m", "console", 1])");
    EXPECT_EQ(1u, downloads.startedCount()) << "a name that only begins like a device is fine";
}

TEST_F(PanelWindowTest, RepeatRefusedWhileRunningAllowedAfterSuccessOrFailure)
{
    openPanel();
    const std::string start = R"(["startDownload", "http://depot/song.mp3", "abc", "x", 201])";
    pageSends(start);
    pageSends(start);
    EXPECT_EQ(1u, downloads.startedCount());
    EXPECT_TRUE(logged(L"http://depot/song.mp3 is in ths download list"));

    downloads.finish(0, true);
    drain();
    pageSends(start);
    EXPECT_EQ(2u, downloads.startedCount()) << "allowed again after success";

    downloads.finish(1, false);
    drain();
    EXPECT_TRUE(logged(L"Warning!Download file:http://depot/song.mp3, savapath:" + musicFolder() + L"\\x.mp3 failed!"));
    EXPECT_EQ(1u, g_firstCallback.size()) << "a failure reaches neither page nor host";
    pageSends(start);
    EXPECT_EQ(3u, downloads.startedCount()) << "a failed download can be tried again";
    EXPECT_EQ(2, downloads.released());

    std::vector<tq::kqlog::Record> all = records();
    ASSERT_FALSE(all.empty());
    for (const tq::kqlog::Record& r : all) {
        EXPECT_EQ("Browser", r.module);
        EXPECT_EQ(1u, r.level);
        EXPECT_EQ(".\\browserproxy.cpp", r.file);
    }
}

TEST_F(PanelWindowTest, CompletionFromTheServiceThreadReachesPageThenHostOnTheUiThread)
{
    openPanel();
    pageSends(R"(["startDownload", "http://depot/song.mp3", "d41d8", "x", 201])");
    std::thread service([this]() { downloads.finish(0, true); });
    service.join();
    EXPECT_TRUE(host->window()->proxy()->isDownloading(KqString("http://depot/song.mp3")))
        << "the list is only touched on the UI thread";
    EXPECT_TRUE(g_firstCallback.empty());
    size_t before = frameJournal.size();
    drain();
    EXPECT_FALSE(host->window()->proxy()->isDownloading(KqString("http://depot/song.mp3")));
    std::wstring expected = musicFolder() + L"\\x.mp3|d41d8|x|201";
    ASSERT_EQ((std::vector<std::wstring>{expected}), g_firstCallback);
    EXPECT_EQ(1u, g_evalsAtCallback) << "the page hears before the host";
    EXPECT_EQ(L"callback " + expected, frameJournal.back());
    EXPECT_EQ(before + 1, frameJournal.size());
}

TEST_F(PanelWindowTest, DownloadServiceCallsTheProxyBySlot)
{
    openPanel();
    pageSends(R"(["startDownload", "http://depot/song.mp3", "m", "x", 5])");
    auto* callback = static_cast<KqUtility::http::IDownloadDataCallback*>(host->window()->proxy());
    std::wstring path = musicFolder() + L"\\x.mp3";
    static const uint8_t data[1] = {0};
    CallSlot<void>(callback, 1, L"http://depot/song.mp3", data, uint32_t(1), true);  // nothing to do
    drain();
    EXPECT_TRUE(g_firstCallback.empty());
    CallSlot<void>(callback, 0, L"http://depot/song.mp3", path.c_str(), 0, true);
    drain();
    EXPECT_EQ((std::vector<std::wstring>{path + L"|m|x|5"}), g_firstCallback);
}

TEST_F(PanelWindowTest, SecondShowReusesTheWindowAndKeepsTheFirstCallback)
{
    openPanel();
    BrowserWindow* first = host->window();
    host->showMoreAuraeBox(&secondCallback);
    EXPECT_EQ(first, host->window());
    EXPECT_EQ(1u, journal->count(L"Create ")) << "the running engine is reused";
    EXPECT_EQ(2, static_cast<int>(std::count(frameJournal.begin(), frameJournal.end(), L"show")));
    pageSends(R"(["startDownload", "http://depot/song.mp3", "m", "x", 1])");
    downloads.finish(0, true);
    drain();
    EXPECT_EQ(1u, g_firstCallback.size());
    EXPECT_TRUE(g_secondCallback.empty());
}

TEST_F(PanelWindowTest, FirstCloseLeavesTheWindowWhileTheBrowserCloses)
{
    BrowserWindow* window = openPanel();
    frameJournal.clear();
    EXPECT_FALSE(window->closeRequest());
    EXPECT_TRUE(journal->has(L"Close"));
    EXPECT_TRUE(frameJournal.empty()) << "the window stays on screen";
    EXPECT_EQ(window, host->window());
    drain();  // the browser's close is reported, the window closes and goes
    drain();
    EXPECT_EQ((std::vector<std::wstring>{L"close", L"frame deleted"}), frameJournal);
    EXPECT_EQ(nullptr, host->window());
    EXPECT_EQ(nullptr, BrowserProxy::existingInstance()) << "the window takes the proxy with it";

    // A later call builds a new window with the new callback over the same engine service.
    host->showMoreAuraeBox(&secondCallback);
    ASSERT_NE(nullptr, host->window());
    EXPECT_EQ(&secondCallback, host->window()->callback());
    EXPECT_EQ(0, engineStops);
}

TEST_F(PanelWindowTest, NotifyBeforeProcessExitTwiceOrWithoutWindowIsHarmless)
{
    host->notifyBeforeProcessExit();
    EXPECT_EQ(1, engineStops);
    host->notifyBeforeProcessExit();
    EXPECT_EQ(1, engineStops);
    host->showMoreAuraeBox(&firstCallback);
    EXPECT_EQ(nullptr, host->window()) << "no panel once the host is quitting";
}

TEST_F(PanelWindowTest, NotifyBeforeProcessExitDeletesTheWindowThenStopsTheEngine)
{
    openPanel();
    pageSends(R"(["startDownload", "http://depot/song.mp3", "m", "x", 1])");
    host->notifyBeforeProcessExit();
    EXPECT_EQ(nullptr, host->window());
    EXPECT_TRUE(journal->has(L"Close"));
    EXPECT_TRUE(journal->has(L"Destroyed"));
    EXPECT_EQ(1, engineStops);
    EXPECT_EQ(1, downloads.released()) << "the running download is let go";
    host->notifyBeforeProcessExit();
    EXPECT_EQ(1, engineStops);
}

}  // namespace

namespace {

void writeText(const std::wstring& path, const std::string& text)
{
    std::ofstream out(path.c_str(), std::ios::binary);
    out << text;
}

std::string readText(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST_F(PanelWindowTest, ExitNoticeRemovesOnlyTheUnfinishedFilesOfPendingDownloads)
{
    openPanel();
    const std::wstring music = musicFolder();
    // The user's own files beside and in the place of the downloads.
    const std::vector<std::wstring> canaries = {
        music + L"\\y.mp3",              // the pending download's final name
        music + L"\\other.mp3.part",     // someone else's unfinished file
        appFolder + L"\\aurae\\y.mp3.part",  // the same name one folder up
        music + L"\\z.mp3.part\\inner.txt",  // a folder where a download's file would go
    };
    SHCreateDirectoryExW(nullptr, (music + L"\\z.mp3.part").c_str(), nullptr);
    DeleteFileW((music + L"\\y.mp3.part").c_str());
    for (const std::wstring& canary : canaries)
        writeText(canary, "canary " + toUtf8(fromWide(canary)));

    pageSends(R"(["startDownload", "http://depot/x.mp3", "m", "x", 1])");
    downloads.finish(0, true);
    drain();
    pageSends(R"(["startDownload", "http://depot/y.mp3", "m", "y", 1])");
    pageSends(R"(["startDownload", "http://depot/z.mp3", "m", "z", 1])");
    ASSERT_EQ(3u, downloads.startedCount());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((music + L"\\y.mp3.part").c_str()));

    host->notifyBeforeProcessExit();
    downloads.closeFiles();  // the transfers end with the process
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((music + L"\\y.mp3.part").c_str()))
        << "the pending download's unfinished file is gone";
    for (const std::wstring& canary : canaries)
        EXPECT_EQ("canary " + toUtf8(fromWide(canary)), readText(canary)) << toUtf8(fromWide(canary));
    EXPECT_EQ(1, engineStops);
}

}  // namespace

namespace {

size_t countOf(const std::vector<std::wstring>& lines, const std::wstring& line)
{
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

TEST_F(PanelWindowTest, EveryClosedWindowGoesWithItsPageAndTheNextShowBuildsANewOne)
{
    // The first close of the process waits for the browser; later ones are
    // accepted at once. Either way the window and its page go.
    for (int round = 0; round < 3; ++round) {
        BrowserWindow* window = openPanel();
        ASSERT_NE(nullptr, window) << round;
        EXPECT_EQ(1u, countOf(frameJournal, L"show")) << round;
        size_t closes = journal->count(L"Close");
        frameJournal.clear();
        EXPECT_EQ(round > 0, window->closeRequest()) << round;
        EXPECT_EQ(closes + 1, journal->count(L"Close")) << "the page closes with its window: " << round;
        drain();
        drain();
        EXPECT_EQ(nullptr, host->window()) << round;
        EXPECT_EQ(1u, countOf(frameJournal, L"frame deleted")) << round;
        EXPECT_EQ(size_t(round + 1), journal->count(L"Destroyed")) << "its engine, bridge and all: " << round;
        frameJournal.clear();
    }
    EXPECT_EQ(0, engineStops);
}

TEST_F(PanelWindowTest, TheFirstCloseReturnsAtOnceAndTheWindowStaysUntilTheBrowserClosed)
{
    BrowserWindow* window = openPanel();
    journal->holdClose = true;
    frameJournal.clear();
    EXPECT_FALSE(window->closeRequest());
    EXPECT_TRUE(journal->has(L"Close"));
    drain();
    drain();
    EXPECT_TRUE(frameJournal.empty()) << "the window stays on screen while the browser closes";
    EXPECT_EQ(window, host->window());
    host->showMoreAuraeBox(&secondCallback);
    EXPECT_EQ(window, host->window()) << "the window still exists: it is shown again";
    EXPECT_EQ(1u, countOf(frameJournal, L"show"));
    EXPECT_EQ(1u, journal->count(L"Create "));

    journal->releaseCloses();
    drain();
    drain();
    EXPECT_EQ((std::vector<std::wstring>{L"show", L"close", L"frame deleted"}), frameJournal);
    EXPECT_EQ(nullptr, host->window());
    host->showMoreAuraeBox(&secondCallback);
    ASSERT_NE(nullptr, host->window()) << "a new window once the old one is gone";
    EXPECT_EQ(2u, journal->count(L"Create "));
}

TEST_F(PanelWindowTest, AFirstLoadThatFailsOrNeverEndsGivesWayToTheView)
{
    const std::wstring page = L"http://depot/qn_effect_depot/index.php";
    struct Case {
        const char* what;
        unsigned limitMs;
        bool created;
        bool started;
        int errorCode;  // 0: the engine reports no error
        bool stopped;
        std::wstring line;
        bool stopAsked;
    } cases[] = {
        {"refused", 30000, true, true, -102, true,
         L"Failed to load URL " + page + L" with error net::ERR_CONNECTION_REFUSED (-102).", false},
        {"never answers", 50, true, true, 0, false,
         L"Failed to load URL " + page + L" with error net::ERR_TIMED_OUT (-7).", true},
        {"no engine", 50, false, false, 0, false,
         L"Failed to load URL " + page + L" with error net::ERR_TIMED_OUT (-7).", false},
    };
    for (const Case& c : cases) {
        BrowserWindow::resetCloseFlagForTest();
        services.window.loadLimitMs = c.limitMs;
        host.reset(new PanelHost(services));
        journal->calls.clear();
        frameJournal.clear();
        host->showMoreAuraeBox(&firstCallback);
        ASSERT_NE(nullptr, host->window()) << c.what;
        capturedDebugLines().clear();
        if (c.created)
            engineListener()->OnEngineCreated();
        if (c.started)
            engineListener()->OnLoadingStateChanged(true);
        if (c.errorCode)
            engineListener()->OnLoadError(c.errorCode, L"net::ERR_CONNECTION_REFUSED", page);
        if (c.stopped)
            engineListener()->OnLoadingStateChanged(false);
        ASSERT_TRUE(PumpMessagesUntil([&] { return countOf(frameJournal, L"loading hidden") > 0; }, 30000)) << c.what;
        drain();
        EXPECT_TRUE(host->window()->webView()->isVisible()) << c.what;
        EXPECT_EQ(1u, countOf(frameJournal, L"view shown")) << c.what;
        EXPECT_EQ(1u, debugLinesContaining(L"ClientHandler::OnLoadError")) << c.what;
        EXPECT_EQ(1u, debugLinesContaining(c.line)) << c.what;
        EXPECT_EQ(c.stopAsked, journal->has(L"Stop")) << c.what;
        // The load's late end tells nothing more.
        if (c.created) {
            engineListener()->OnLoadingStateChanged(false);
            drain();
        }
        EXPECT_EQ(1u, debugLinesContaining(L"ClientHandler::OnLoadError")) << c.what;
    }
}

}  // namespace
