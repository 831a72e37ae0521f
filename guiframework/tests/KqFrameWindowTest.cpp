// Frame windows on the display: size, centring, title, the hit-test table at
// computed points, maximise and restore, the shadow ring and rounded corners
// in the backing store, window messages reaching the frame's signals, a
// click that closes the window, and open/close cycles that leak nothing.
#include "KqApplication.h"
#include "KqBasicItems.h"
#include "KqEvent.h"
#include "KqFrameWindow.h"
#include "KqGraphicsFrameItem.h"
#include "KqGraphicsScene.h"
#include "KqGraphicsView.h"
#include "KqImage.h"
#include "KqLabel.h"
#include "KqProgressBar.h"
#include "KqPushButton.h"
#include "KqWidgetEventHandler.h"
#include "KqWindow.h"
#include "KqWindowAdapter.h"
#include "MemPool.h"

#include "testing/SystemHandles.h"
#include "testing/KqPumpUntil.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include <string>

namespace {

KqApplication* g_app;
struct AppEnvironment : testing::Environment {
    void SetUp() override { g_app = new KqApplication; }
    void TearDown() override { delete g_app; }
};
testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new AppEnvironment);

using kqtest::pumpUntil;

RECT workArea()
{
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

bool centred(HWND window)
{
    RECT r, area = workArea();
    GetWindowRect(window, &r);
    return r.left == area.left + (area.right - area.left - 640) / 2 && r.top == area.top + (area.bottom - area.top - 480) / 2;
}

// Shown and painted (nothing pending).
void showAndSettle(KqFrameWindow* frame)
{
    frame->showWindow(SW_SHOWNOACTIVATE);
    HWND window = frame->winId();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(pumpUntil([&] { return !GetUpdateRect(window, nullptr, FALSE) && !frame->graphicsScene()->updatePending(); }));
}

int alphaOf(uint32_t argb) { return int(argb >> 24); }

// Alpha of one pixel of the skin's shadow picture, as drawn unscaled.
int shadowAlpha(int x, int y)
{
    KqImage shadow = KqImage::fromUrl(KqString(u"kqgui:shadow.png"));
    Gdiplus::Color colour;
    if (!shadow.bitmap() || shadow.bitmap()->GetPixel(x, y, &colour) != Gdiplus::Ok)
        return -1;
    return colour.GetA();
}

} // namespace

TEST(KqFrameWindowTest, ANewWindowIsCentred640x480WithItsTitleAndShadow)
{
    KqFrameWindow* frame = new KqFrameWindow;
    EXPECT_EQ(nullptr, frame->winId());
    EXPECT_TRUE(frame->windowFlag(KqFrameWindow::Resizable));
    showAndSettle(frame);
    HWND window = frame->winId();
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(640, r.right - r.left);
    EXPECT_EQ(480, r.bottom - r.top);
    EXPECT_TRUE(centred(window));
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_EQ(std::wstring(L"Ostravi Engine"), title);
    EXPECT_NE(0, GetWindowLongW(window, GWL_STYLE) & WS_THICKFRAME);

    // The store: the nine-grid shadow around the content, which starts 5 px
    // in with rounded corners, filled with the background colour.
    KqPaintEngine& store = frame->view()->window()->adapter()->backingStore();
    ASSERT_EQ(640, store.size().width);
    // The 60 x 60 shadow is drawn as a nine-grid with 12-px margins: its
    // corners unscaled, its edges stretched along the window, its middle
    // clear. Each store pixel below shows the picture pixel it came from.
    const int corner = shadowAlpha(4, 4), left = shadowAlpha(1, 30), bottom = shadowAlpha(30, 58);
    const int right = shadowAlpha(58, 30), contentCorner = shadowAlpha(5, 5);
    const int underContent = shadowAlpha(5, 30), lastEdgeColumn = shadowAlpha(11, 30);
    ASSERT_GT(corner, 0);
    ASSERT_GT(left, 0);
    ASSERT_GT(underContent, 0);
    EXPECT_EQ(0, shadowAlpha(12, 30)); // the stretched middle is clear
    EXPECT_EQ(0, shadowAlpha(30, 30));
    struct Row {
        const char* where;
        int x, y;
        int alpha;
    } rows[] = {
        {"shadow corner", 4, 4, corner},
        {"shadow left edge", 1, 240, left},
        {"shadow bottom edge", 320, 478, bottom},
        {"shadow right edge", 638, 240, right},
        {"content corner, clipped round", 5, 5, contentCorner},
        // The translucent content over the shadow's 12-px edge zone, then over its clear middle.
        {"content over the left edge zone", 5, 240, 245 + underContent * 10 / 255},
        {"last column of the edge zone", 11, 240, 245 + lastEdgeColumn * 10 / 255},
        {"first column past the ring", 12, 240, 245},
        {"content middle", 320, 240, 245},
        {"content just inside the bottom-right corner", 627, 467, 245},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.where);
        EXPECT_NEAR(row.alpha, alphaOf(store.pixel(row.x, row.y)), 2);
    }
    // Premultiplied background colour (143, 201, 151) at alpha 245.
    uint32_t middle = store.pixel(320, 240);
    EXPECT_NEAR(143 * 245 / 255, int((middle >> 16) & 255), 2);
    EXPECT_NEAR(201 * 245 / 255, int((middle >> 8) & 255), 2);
    frame->close();
    delete frame;
}

TEST(KqFrameWindowTest, HitTestsAtComputedPoints)
{
    struct Row {
        int x, y;
        int code;
    } table[] = {
        {0, 0, HTTOPLEFT},      {3, 3, HTTOPLEFT},       {0, 4, HTLEFT},          {0, 475, HTLEFT},
        {636, 0, HTTOPRIGHT},   {639, 100, HTRIGHT},     {4, 0, HTTOP},           {635, 3, HTTOP},
        {0, 476, HTBOTTOMLEFT}, {626, 466, HTBOTTOMRIGHT}, {625, 479, HTBOTTOM}, {4, 479, HTBOTTOM},
        {5, 5, HTCLIENT},       {626, 465, HTCLIENT},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(std::to_string(row.x) + "," + std::to_string(row.y));
        EXPECT_EQ(row.code, KqFrameWindow::hitTestCode(640, 480, row.x, row.y, 4, false));
        EXPECT_EQ(HTCLIENT, KqFrameWindow::hitTestCode(640, 480, row.x, row.y, 4, true)); // maximised
        EXPECT_EQ(HTCLIENT, KqFrameWindow::hitTestCode(640, 480, row.x, row.y, 0, false)); // not resizable
    }

    KqFrameWindow* frame = new KqFrameWindow;
    KqPushButton* button = new KqPushButton(frame);
    button->setGeometry(100, 100, 80, 30);
    showAndSettle(frame);
    HWND window = frame->winId();
    RECT r;
    GetWindowRect(window, &r);
    auto hit = [&](int x, int y) { return int(SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(r.left + x, r.top + y))); };
    struct Live {
        const char* where;
        int x, y;
        int resizable, fixed;
    } live[] = {
        {"top-left corner", 1, 1, HTTOPLEFT, HTCLIENT},
        {"bottom-right grip", 630, 470, HTBOTTOMRIGHT, HTCAPTION},
        {"right border", 638, 240, HTRIGHT, HTCLIENT},
        {"the window's free area drags it", 320, 240, HTCAPTION, HTCAPTION},
        {"a push button does not", 5 + 100 + 10, 5 + 100 + 10, HTCLIENT, HTCLIENT},
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (const Live& row : live) {
            SCOPED_TRACE(std::string(row.where) + (pass ? " (fixed size)" : ""));
            EXPECT_EQ(pass ? row.fixed : row.resizable, hit(row.x, row.y));
        }
        frame->setWindowFlag(KqFrameWindow::Resizable, false);
        frame->showWindow(SW_SHOWNOACTIVATE); // styled at every show
        EXPECT_EQ(0, GetWindowLongW(window, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX));
    }
    frame->close();
    delete frame;
}

TEST(KqFrameWindowTest, MaximiseDropsTheShadowAndRestoreBringsItBack)
{
    KqFrameWindow* frame = new KqFrameWindow;
    showAndSettle(frame);
    HWND window = frame->winId();
    ShowWindow(window, SW_MAXIMIZE);
    ASSERT_TRUE(pumpUntil([&] { return !frame->border()->isVisible(); }));
    RECT area = workArea();
    EXPECT_EQ(area.right - area.left + 4, frame->fullLayer()->width());
    EXPECT_EQ(0, frame->contentLayer()->x());
    EXPECT_EQ(frame->fullLayer()->width(), frame->contentLayer()->width());
    EXPECT_FALSE(frame->contentLayer()->testFlag(KqGraphicsItem::ClipsChildren));
    ShowWindow(window, SW_RESTORE);
    ASSERT_TRUE(pumpUntil([&] { return frame->border()->isVisible(); }));
    EXPECT_EQ(640, frame->fullLayer()->width());
    EXPECT_EQ(5, frame->contentLayer()->x());
    EXPECT_EQ(630, frame->contentLayer()->width());
    EXPECT_TRUE(frame->contentLayer()->testFlag(KqGraphicsItem::ClipsChildren));
    EXPECT_EQ(640, frame->geometry().right - frame->geometry().left + 1);
    frame->close();
    delete frame;
}

TEST(KqFrameWindowTest, EveryShowCentresAgain)
{
    KqFrameWindow* frame = new KqFrameWindow;
    showAndSettle(frame);
    HWND window = frame->winId();
    SetWindowPos(window, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(pumpUntil([&] { return frame->geometry().left == 10; })); // moves update the geometry
    frame->hide();
    EXPECT_FALSE(IsWindowVisible(window));
    frame->showWindow(SW_SHOWNOACTIVATE);
    EXPECT_TRUE(centred(window));
    frame->setWindowTitle(KqString(u"Sorva"));
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_EQ(std::wstring(L"Sorva"), title);
    frame->close();
    delete frame;
}

namespace {
struct Receiver : KqTrackable {
    void windowMessage(KqGraphicsItem* item, KqEvent* event)
    {
        KqWindowEvent* e = static_cast<KqWindowEvent*>(event);
        if (e->message == WM_USER + 7) {
            source = item;
            e->result = 77;
            e->setAccepted(true);
        }
    }
    void clicked(KqGraphicsItem*, KqEvent* event)
    {
        ++clicks;
        frame->close();
        event->setAccepted(true);
    }
    KqGraphicsItem* source = nullptr;
    KqFrameWindow* frame = nullptr;
    int clicks = 0;
};
}

TEST(KqFrameWindowTest, WindowMessagesReachTheFrameAndAClickClosesIt)
{
    KqFrameWindow* frame = new KqFrameWindow;
    frame->setWindowFlag(KqFrameWindow::DeleteOnClose, true);
    KqPushButton* button = new KqPushButton(frame);
    button->setGeometry(100, 100, 80, 30);
    Receiver receiver;
    receiver.frame = frame;
    frame->eventSignalDispatch()->connect(KqWindowEvent::classInfo(), &receiver, &Receiver::windowMessage);
    button->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), &receiver, &Receiver::clicked);
    showAndSettle(frame);
    HWND window = frame->winId();
    EXPECT_EQ(77, SendMessageW(window, WM_USER + 7, 0, 0));
    EXPECT_EQ(frame, receiver.source);

    KqWeakPointer alive(frame);
    PostMessageW(window, WM_LBUTTONDOWN, 0, MAKELPARAM(5 + 110, 5 + 110));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(5 + 110, 5 + 110));
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(window); }));
    EXPECT_EQ(1, receiver.clicks);
    // Deleted later by the deferred deleter.
    ASSERT_TRUE(pumpUntil([&] { return alive.get() == nullptr; }));
}

namespace {
int guiObjects(DWORD kind) { return int(GetGuiResources(GetCurrentProcess(), kind)); }
}

TEST(KqFrameWindowTest, OpeningAndClosingAHundredTimesLeaksNothing)
{
    // The windows are made and painted but not mapped: hiding a mapped
    // window waits two seconds for a window manager under Xvfb.
    auto cycle = [] {
        KqFrameWindow* frame = new KqFrameWindow;
        KqLabel* label = new KqLabel(frame);
        label->setText(KqString(u"Label"));
        label->setGeometry(20, 20, 100, 20);
        KqPushButton* button = new KqPushButton(frame);
        button->setText(KqString(u"Push"));
        button->setGeometry(20, 50, 80, 30);
        KqProgressBar* bar = new KqProgressBar(frame);
        bar->setGeometry(20, 90, 200, 20);
        bar->setValue(0.5);
        frame->showWindow(SW_HIDE);
        HWND window = frame->winId();
        SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480)); // paints the store at once
        frame->close();
        pumpUntil([&] { return !IsWindow(window); });
        delete frame;
    };
    cycle(); // caches, classes and fonts made on first use stay
    cycle();
    const int gdiBefore = guiObjects(GR_GDIOBJECTS), userBefore = guiObjects(GR_USEROBJECTS);
    const size_t handlesBefore = tqtest::OwnHandles().size();
    const int itemsBefore = KqItemRegistry::instance()->count();
    const size_t poolBefore = mp_bytes_in_use();
    for (int i = 0; i < 100; ++i)
        cycle();
    EXPECT_EQ(poolBefore, mp_bytes_in_use());
    EXPECT_EQ(gdiBefore, guiObjects(GR_GDIOBJECTS));
    EXPECT_EQ(userBefore, guiObjects(GR_USEROBJECTS));
    EXPECT_EQ(handlesBefore, tqtest::OwnHandles().size());
    EXPECT_EQ(itemsBefore, KqItemRegistry::instance()->count());
}
