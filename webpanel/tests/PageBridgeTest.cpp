// The engine-independent rules of the page bridge and the web view, played
// against the scripted engine.
#include "ClientHandler.h"
#include "PanelTestSupport.h"
#include "PanelWebView.h"

#include <thread>

namespace {

// Collects the web view's signals in the order they came.
class ViewRecorder : public KqTrackable {
public:
    explicit ViewRecorder(PanelWebView& view)
    {
        view.jsMessage.connect(this, &ViewRecorder::onJsMessage);
        view.titleChanged.connect(this, &ViewRecorder::onTitle);
        view.loadStarted.connect(this, &ViewRecorder::onLoadStarted);
        view.loadFinished.connect(this, &ViewRecorder::onLoadFinished);
        view.urlChanged.connect(this, &ViewRecorder::onUrl);
    }
    void onJsMessage(const KqString& name, const PageValueList& args)
    {
        events.push_back(L"js " + toWide(name) + L" " + std::to_wstring(args.size()));
        lastArgs = args;
        threads.push_back(GetCurrentThreadId());
    }
    void onTitle(const KqString& title) { events.push_back(L"title " + toWide(title)); }
    void onUrl(const KqString& url) { events.push_back(L"url " + toWide(url)); }
    void onLoadStarted() { events.push_back(L"started"); }
    void onLoadFinished(bool ok) { events.push_back(ok ? L"finished ok" : L"finished failed"); }

    std::vector<std::wstring> events;
    std::vector<DWORD> threads;
    PageValueList lastArgs;
};

class PageBridgeTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        view.reset(new PanelWebView(makeEngine(), queue.get()));
        recorder.reset(new ViewRecorder(*view));
    }
    void TearDown() override
    {
        recorder.reset();
        view.reset();
        PanelTest::TearDown();
    }
    // A browser created and its first load of url done.
    void createdWith(const std::wstring& url)
    {
        view->setSize(733, 568);
        view->load(fromWide(url));
        ASSERT_NE(nullptr, engineListener());
        engineListener()->OnEngineCreated();
        drain();
        ASSERT_EQ(PanelWebView::Created, view->state());
    }

    std::unique_ptr<PanelWebView> view;
    std::unique_ptr<ViewRecorder> recorder;
};

TEST_F(PageBridgeTest, OnlyExecuteCmdReachesTheUiThreadAheadOfOtherNews)
{
    createdWith(L"http://page/");
    DWORD uiThread = GetCurrentThreadId();
    std::thread engineThread([this]() {
        engineListener()->OnTitleChanged(L"first");
        engineListener()->OnPageMessage(L"ExecuteCmd", R"(["openUrl","http://x/"])");
        engineListener()->OnPageMessage(L"executeCmd", R"(["startDownload", 7, [2.5], {"k": 1}])");
    });
    engineThread.join();
    EXPECT_TRUE(recorder->events.empty()) << "nothing is delivered outside the UI thread's loop";
    drain();
    ASSERT_EQ((std::vector<std::wstring>{L"js executeCmd 4", L"title first"}), recorder->events);
    EXPECT_EQ(uiThread, recorder->threads[0]);
    const PageValueList& args = recorder->lastArgs;
    EXPECT_EQ(KqString("startDownload"), args[0].scalar().asString());
    EXPECT_EQ(7, args[1].scalar().asInt());
    ASSERT_TRUE(args[2].isList());
    ASSERT_EQ(1u, args[2].list().size());
    EXPECT_EQ(2.5, args[2].list()[0].scalar().asDouble());
    EXPECT_FALSE(args[3].isValid());
}

TEST_F(PageBridgeTest, LoadErrorsOtherThanAbortAndTunesSchemeWriteTheDebugLine)
{
    createdWith(L"http://page/");
    struct Case {
        int code;
        const wchar_t* url;
        bool logged;
    } cases[] = {
        {-3, L"http://page/x", false},
        {-302, L"tunes:play?id=1", false},
        {-302, L"music:play?id=1", true},
        {-105, L"http://nowhere.invalid/", true},
        {-3, L"tunes:x", false},
    };
    for (const Case& c : cases) {
        capturedDebugLines().clear();
        engineListener()->OnLoadError(c.code, L"net::SOME_ERROR", c.url);
        drain();
        EXPECT_EQ(c.logged ? 1u : 0u, debugLinesContaining(L"ClientHandler::OnLoadError")) << c.url;
    }
    capturedDebugLines().clear();
    engineListener()->OnLoadError(-105, L"net::ERR_NAME_NOT_RESOLVED", L"http://nowhere.invalid/");
    drain();
    EXPECT_EQ(1u, debugLinesContaining(L"Failed to load URL http://nowhere.invalid/ with error "
                                       L"net::ERR_NAME_NOT_RESOLVED (-105)."));
    EXPECT_EQ(0u, journal->count(L"Load about:blank")) << "no error page is loaded";
}

TEST_F(PageBridgeTest, CrashedRendererReloadsTheStartPageUnlessAlreadyThere)
{
    createdWith(L"http://page/");
    struct Case {
        const wchar_t* address;
        bool reloads;
    } cases[] = {{L"http://page/index.php", true}, {L"about:blank", false}, {L"ABOUT:BLANK#x", false}, {L"", true}};
    for (const Case& c : cases) {
        size_t before = journal->count(L"Load about:blank");
        engineListener()->OnAddressChanged(c.address);
        engineListener()->OnRendererGone();
        EXPECT_EQ(before + (c.reloads ? 1 : 0), journal->count(L"Load about:blank")) << c.address;
    }
}

TEST_F(PageBridgeTest, ContextMenuOffersDevToolsOnceUntilTheirWindowCloses)
{
    createdWith(L"http://page/");
    ClientHandler& handler = view->handler();
    auto devToolsItem = [&handler]() {
        std::vector<ContextMenuItem> items = handler.contextMenu();
        EXPECT_EQ(2u, items.size());
        EXPECT_EQ(ClientHandler::kViewSourceCommand, items[0].command);
        EXPECT_EQ(KqString("&Show DevTools"), items[1].text);
        return items[1];
    };
    EXPECT_FALSE(devToolsItem().enabled) << "no tools to show";
    const std::wstring tools = L"http://127.0.0.1:8088/devtools/inspector.html?ws=x";
    journal->devToolsUrl = tools;
    EXPECT_TRUE(devToolsItem().enabled);

    EXPECT_TRUE(handler.onContextMenuCommand(ClientHandler::kShowDevToolsCommand));
    EXPECT_TRUE(journal->has(L"Eval window.open('" + tools + L"');"));
    engineListener()->OnPopupOpened(tools);
    EXPECT_FALSE(devToolsItem().enabled);
    handler.showDevTools();
    EXPECT_EQ(1u, journal->count(L"Eval window.open(")) << "open tools are not opened again";

    engineListener()->OnPopupClosed(tools);
    EXPECT_TRUE(devToolsItem().enabled);
    EXPECT_FALSE(handler.onContextMenuCommand(4242));
}

TEST_F(PageBridgeTest, PopupsAreCountedWithTheMainBrowser)
{
    createdWith(L"http://page/");
    ClientHandler& handler = view->handler();
    engineListener()->OnPopupOpened(L"http://page/a");
    engineListener()->OnPopupOpened(L"http://page/b");
    EXPECT_EQ(2, handler.popupCount());
    EXPECT_EQ(3, handler.liveBrowserCount());
    engineListener()->OnPopupClosed(L"http://page/a");
    engineListener()->OnPopupClosed(L"http://page/unknown");
    EXPECT_EQ(2, handler.liveBrowserCount());
    view->closeEvent();
    engineListener()->OnPopupClosed(L"http://page/b");
    drain();
    EXPECT_EQ(0, handler.liveBrowserCount());
    EXPECT_EQ(1u, debugLinesContaining(L"NotifyAllBrowserClosed"));
}

TEST(PageBridgeRules, QuotaGeolocationAndDrags)
{
    EXPECT_TRUE(ClientHandler::onQuotaRequest(20971520));
    EXPECT_FALSE(ClientHandler::onQuotaRequest(20971521));
    EXPECT_TRUE(ClientHandler::onQuotaRequest(0));
    EXPECT_TRUE(ClientHandler::onGeolocationRequest());
    EXPECT_TRUE(ClientHandler::onDragEnter(ClientHandler::kDragOperationLink | 1));
    EXPECT_FALSE(ClientHandler::onDragEnter(1 | 16));
}

TEST_F(PageBridgeTest, LoadDuringCreationShowsThatUrlAfterTheFirstLoad)
{
    view->setSize(733, 568);
    view->load(KqString("http://page/first"));
    EXPECT_TRUE(journal->has(L"Create 733x568 http://page/first"));
    EXPECT_EQ(PanelWebView::Creating, view->state());
    view->load(KqString("http://page/second"));
    EXPECT_TRUE(view->pendingLoad());
    EXPECT_EQ(0u, journal->count(L"Load ")) << "no load while the engine is being made";

    engineListener()->OnEngineCreated();
    engineListener()->OnLoadingStateChanged(true);
    engineListener()->OnLoadingStateChanged(false);
    drain();
    EXPECT_TRUE(journal->has(L"Load http://page/second"));
    EXPECT_TRUE(recorder->events.empty()) << "the first load is not announced";

    engineListener()->OnLoadingStateChanged(true);
    engineListener()->OnLoadingStateChanged(false);
    drain();
    EXPECT_EQ((std::vector<std::wstring>{L"started", L"finished ok"}), recorder->events);
}

TEST_F(PageBridgeTest, ResizeBeforeCreationSizesTheBrowserWhenItArrives)
{
    EXPECT_FALSE(view->createBrowser(0, 568)) << "no browser for an empty size";
    view->resizeEvent(0, 0);
    EXPECT_EQ(PanelWebView::NoBrowser, view->state());
    view->resizeEvent(640, 480);
    EXPECT_TRUE(journal->has(L"Create 640x480 about:blank"));
    view->resizeEvent(733, 568);
    EXPECT_TRUE(view->pendingResize());
    EXPECT_FALSE(view->createBrowser(733, 568)) << "one browser only";
    EXPECT_EQ(0u, journal->count(L"Resize"));
    engineListener()->OnEngineCreated();
    drain();
    EXPECT_TRUE(journal->has(L"Resize 733x568"));
    EXPECT_FALSE(view->pendingResize());
    view->resizeEvent(800, 600);
    EXPECT_TRUE(journal->has(L"Resize 800x600"));
}

TEST_F(PageBridgeTest, ScriptsAndNavigationNeedABrowser)
{
    EXPECT_FALSE(view->evaluateJavaScript(KqString("1")));
    view->back();
    view->reload();
    EXPECT_TRUE(journal->snapshot().empty());
    createdWith(L"http://page/");
    EXPECT_TRUE(view->evaluateJavaScript(KqString("downloadSuccess()")));
    view->back();
    view->forward();
    view->reload();
    view->stop();
    for (const wchar_t* call : {L"Eval downloadSuccess()", L"Back", L"Forward", L"Reload", L"Stop"})
        EXPECT_TRUE(journal->has(call)) << call;
}

TEST_F(PageBridgeTest, FramesReachTheViewAndNewsStopsWithTheView)
{
    createdWith(L"http://page/");
    EngineFrame frame;
    frame.width = 2;
    frame.height = 1;
    frame.bgra = {1, 2, 3, 255, 4, 5, 6, 255};
    engineListener()->OnFrame(frame);
    drain();
    ASSERT_NE(nullptr, view->currentFrame());
    EXPECT_EQ(frame.bgra, view->currentFrame()->bgra);

    IBrowserEngineListener* listener = engineListener();
    listener->OnTitleChanged(L"late");
    recorder.reset();
    view.reset();  // news already queued must not reach the deleted view
    drain();
    EXPECT_TRUE(journal->has(L"Close"));
    EXPECT_TRUE(journal->has(L"Destroyed"));
}

}  // namespace
