// The panel's framework window on the display: built from its layout files,
// the loading overlay until the page loads, a screencast picture in the
// window's store at the page's place, input at page coordinates, and closes
// (the system's and the close button's) that wait for the browser.
#include "BrowserFrameWindow.h"
#include "BrowserWindow.h"
#include "DuiXmlUI.h"
#include "KqApplication.h"
#include "KqGraphicsScene.h"
#include "KqGraphicsView.h"
#include "KqLabel.h"
#include "KqWindow.h"
#include "KqWindowAdapter.h"
#include "LoadingView.h"
#include "PanelHost.h"
#include "PanelTestSupport.h"
#include "WebViewItem.h"

namespace {

KqApplication* g_app;
struct AppEnvironment : testing::Environment {
    void SetUp() override { g_app = new KqApplication; }
    void TearDown() override { delete g_app; }
};
testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new AppEnvironment);

// The window item's origin inside the native window (the shadow ring).
const int kEdge = KqFrameWindow::kShadowMargin;

class BrowserFrameWindowTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        BrowserWindow::resetCloseFlagForTest();
        services.createEngine = [this]() { return makeEngine(); };
        logic.reset(new BrowserWindow(nullptr, queue.get(), services));
        frame = BrowserFrameWindow::create(logic.get());
        ASSERT_NE(nullptr, frame) << "layout/browserwindow.xml beside the program builds the window";
        logic->setFrame(frame);
        logic->setupContent(KqString("http://depot/"));
        frame->showWindow();
        window = frame->winId();
        ASSERT_NE(nullptr, window);
    }
    void TearDown() override
    {
        delete frame;
        logic.reset();
        PanelTest::TearDown();
    }
    void loadPage()
    {
        engineListener()->OnEngineCreated();
        engineListener()->OnLoadingStateChanged(true);
        engineListener()->OnLoadingStateChanged(false);
        drain();
    }
    // Everything painted into the store.
    void settle()
    {
        ASSERT_TRUE(PumpMessagesUntil(
            [&] { return !GetUpdateRect(window, nullptr, FALSE) && !frame->graphicsScene()->updatePending(); }, 10000));
    }
    uint32_t storePixel(int x, int y) { return frame->view()->window()->adapter()->backingStore().pixel(x, y) & 0xFFFFFF; }
    LPARAM pageClient(int x, int y)
    {
        return MAKELPARAM(kEdge + BrowserWindow::kWebViewX + x, kEdge + BrowserWindow::kWebViewY + y);
    }

    BrowserWindow::Services services;
    std::unique_ptr<BrowserWindow> logic;
    BrowserFrameWindow* frame = nullptr;
    HWND window = nullptr;
};

TEST_F(BrowserFrameWindowTest, TheLoadingOverlayGivesWayToThePagesPicture)
{
    KqLabel* status = frame->loadingView()->statusLabel();
    ASSERT_NE(nullptr, status) << "loadingwidget.xml holds the status label";
    EXPECT_EQ(KqString("Loading"), status->text());
    EXPECT_TRUE(frame->loadingView()->isVisible());
    EXPECT_FALSE(frame->webViewItem()->isVisible());
    EXPECT_EQ(KqString("Browser"), frame->windowTitle());
    wchar_t title[32] = {};
    GetWindowTextW(window, title, 32);
    EXPECT_EQ(std::wstring(L"Browser"), title);
    // The overlay is inset from the window by 2, 30, 2 and 2.
    KqRectF overlay = frame->loadingView()->geometry();
    EXPECT_EQ(2, overlay.x);
    EXPECT_EQ(30, overlay.y);
    EXPECT_EQ(BrowserFrameWindow::kWidth - 4, overlay.width);
    EXPECT_EQ(BrowserFrameWindow::kHeight - 32, overlay.height);

    loadPage();
    EXPECT_FALSE(frame->loadingView()->isVisible());
    EXPECT_TRUE(frame->webViewItem()->isVisible());

    EngineFrame picture;
    picture.width = BrowserWindow::kWebViewWidth;
    picture.height = BrowserWindow::kWebViewHeight;
    picture.bgra.resize(size_t(picture.width) * picture.height * 4);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            uint8_t* p = &picture.bgra[(size_t(y) * picture.width + x) * 4];
            // The left half one colour, the right half another: the picture
            // must land at the page's place, not shifted or scaled.
            const bool left = x < picture.width / 2;
            p[0] = left ? 0x30 : 0xE0;
            p[1] = 0x80;
            p[2] = left ? 0xC0 : 0x10;
            p[3] = 255;
        }
    engineListener()->OnFrame(picture);
    drain();
    settle();
    const int x0 = kEdge + BrowserWindow::kWebViewX, y0 = kEdge + BrowserWindow::kWebViewY;
    EXPECT_EQ(0xC08030u, storePixel(x0, y0));
    EXPECT_EQ(0xC08030u, storePixel(x0 + picture.width / 2 - 1, y0 + picture.height - 1));
    EXPECT_EQ(0x1080E0u, storePixel(x0 + picture.width / 2, y0));
    EXPECT_EQ(0x1080E0u, storePixel(x0 + picture.width - 1, y0 + picture.height - 1));
    EXPECT_NE(0x1080E0u, storePixel(x0 + picture.width, y0 + 10)) << "nothing drawn past the page";
    EXPECT_NE(0xC08030u, storePixel(x0 + 10, y0 - 1)) << "nothing drawn over the caption";
}

TEST_F(BrowserFrameWindowTest, APictureSmallerThanTheViewLeavesTheRestBlank)
{
    loadPage();
    const int x0 = kEdge + BrowserWindow::kWebViewX, y0 = kEdge + BrowserWindow::kWebViewY;
    const int viewWidth = BrowserWindow::kWebViewWidth, viewHeight = BrowserWindow::kWebViewHeight;
    struct Case {
        int width, height;
    } cases[] = {{viewWidth, viewHeight - 74}, {viewWidth - 100, viewHeight}, {400, 300}};
    for (const Case& c : cases) {
        EngineFrame picture;
        picture.width = c.width;
        picture.height = c.height;
        picture.bgra.assign(size_t(c.width) * c.height * 4, 0);
        for (size_t i = 0; i < picture.bgra.size(); i += 4) {
            picture.bgra[i + 1] = 0x80;
            picture.bgra[i + 2] = 0xC0;
            picture.bgra[i + 3] = 255;
        }
        engineListener()->OnFrame(picture);
        drain();
        settle();
        EXPECT_EQ(0xC08000u, storePixel(x0 + c.width - 1, y0 + c.height - 1)) << c.width << "x" << c.height;
        if (c.width < viewWidth) {
            EXPECT_EQ(0xFFFFFFu, storePixel(x0 + c.width, y0)) << c.width << "x" << c.height;
            EXPECT_EQ(0xFFFFFFu, storePixel(x0 + viewWidth - 1, y0 + viewHeight - 1)) << c.width << "x" << c.height;
        }
        if (c.height < viewHeight) {
            EXPECT_EQ(0xFFFFFFu, storePixel(x0, y0 + c.height)) << c.width << "x" << c.height;
            EXPECT_EQ(0xFFFFFFu, storePixel(x0 + c.width - 1, y0 + viewHeight - 1)) << c.width << "x" << c.height;
        }
    }
}

TEST_F(BrowserFrameWindowTest, InputInsideThePageReachesItAtPageCoordinates)
{
    loadPage();
    settle();
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, pageClient(100, 120));
    SendMessageW(window, WM_LBUTTONUP, 0, pageClient(100, 120));
    SendMessageW(window, WM_MOUSEMOVE, 0, pageClient(7, 9));
    SendMessageW(window, WM_CHAR, L'a', 0);
    SendMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
    POINT screen = {kEdge + BrowserWindow::kWebViewX + 50, kEdge + BrowserWindow::kWebViewY + 60};
    ClientToScreen(window, &screen);
    SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
    EXPECT_TRUE(journal->has(L"Mouse 1 100,120"));
    EXPECT_TRUE(journal->has(L"Mouse 2 100,120"));
    EXPECT_TRUE(journal->has(L"Mouse 0 7,9"));
    EXPECT_TRUE(journal->has(L"Mouse 3 50,60"));
    EXPECT_TRUE(journal->has(L"Key 97"));
    EXPECT_TRUE(journal->has(L"Key 13"));

    // A press in the caption strip is the window's, not the page's.
    size_t presses = journal->count(L"Mouse 1 ");
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(kEdge + 300, kEdge + 10));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(kEdge + 300, kEdge + 10));
    EXPECT_EQ(presses, journal->count(L"Mouse 1 "));
}

TEST_F(BrowserFrameWindowTest, TheSystemsFirstCloseWaitsForTheBrowser)
{
    loadPage();
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(journal->has(L"Close"));
    EXPECT_TRUE(IsWindow(window)) << "the window stays while the browser closes";
    drain();
    drain();
    EXPECT_FALSE(IsWindow(window)) << "the browser's close closes the window";
}

TEST_F(BrowserFrameWindowTest, ALaterCloseInTheProcessClosesWindowAndPageAtOnce)
{
    loadPage();
    struct Heard : KqTrackable {
        int closes = 0;
        void onClosed() { ++closes; }
    } heard;
    logic->closed.connect(&heard, &Heard::onClosed);
    BrowserWindow::markCloseBegunForTest();  // a window of this process closed before
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(journal->has(L"Close")) << "the page closes with its window";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(1, heard.closes) << "the host hears that the window went";
}

TEST_F(BrowserFrameWindowTest, TheCloseButtonAsksTheLogicToo)
{
    loadPage();
    settle();
    KqGraphicsItem* button = DuiXmlUI::findChild(frame, KqString("buttonClose"));
    ASSERT_NE(nullptr, button);
    KqRectF r = button->sceneBoundingRect();
    LPARAM at = MAKELPARAM(int(r.x + r.width / 2), int(r.y + r.height / 2));
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
    ASSERT_TRUE(PumpMessagesUntil([&] { return journal->has(L"Close"); }, 10000));
    drain();
    drain();
    EXPECT_FALSE(IsWindow(window));
}

TEST(BrowserFrameWindowHostTest, NoWindowFromTheLayoutMeansNothingShown)
{
    UiThreadQueue queue;
    PanelHost::Services services;
    int engines = 0;
    services.window.createEngine = [&]() {
        ++engines;
        return std::unique_ptr<IBrowserEngine>();
    };
    services.createFrame = [](BrowserWindow*) { return std::unique_ptr<IBrowserWindowFrame>(); };
    services.pageUrl = []() { return KqString("http://depot/"); };
    PanelHost host(services);
    host.showMoreAuraeBox(nullptr);
    EXPECT_EQ(nullptr, host.window());
    EXPECT_EQ(0, engines);
    host.showMoreAuraeBox(nullptr);
    EXPECT_EQ(nullptr, host.window());
}

}  // namespace
