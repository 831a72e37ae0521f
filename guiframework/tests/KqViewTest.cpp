#include "KqApplication.h"
#include "KqBasicItems.h"
#include "KqDefaultEventHandlers.h"
#include "KqGraphicsScene.h"
#include "KqGraphicsView.h"
#include "KqPainter.h"
#include "KqServices.h"
#include "KqWindow.h"
#include "KqWindowAdapter.h"
#include "testing/KqPumpUntil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

KqApplication* g_app;
struct AppEnvironment : testing::Environment {
    void SetUp() override { g_app = new KqApplication; }
    void TearDown() override { delete g_app; }
};
testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new AppEnvironment);

std::vector<std::string> g_messages;
void capture(const KqString& message)
{
    std::string text;
    for (int i = 0; i < message.length(); ++i)
        text += char(message.data()[i]);
    g_messages.push_back(text);
}

// Runs the loop until the condition holds (a generous bound for slow machines).
using kqtest::pumpUntil;

// Runs only timers, so pending paints stay pending for inspection.
template <class Condition> bool runTimersUntil(Condition condition, DWORD limitMs = 10000)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > limitMs)
            return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
            DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_TIMER);
    }
    return true;
}

bool noUpdate(HWND window) { return !GetUpdateRect(window, nullptr, FALSE); }

struct Shown {
    KqGraphicsScene scene;
    KqGraphicsView* view;
    HWND window = nullptr;
    std::vector<KqVector<KqRectF>> passes;
    Shown()
    {
        scene.setSceneRect(KqRectF(0, 0, 200, 150));
        view = new KqGraphicsView(&scene);
        view->setEventHandler(new KqDefaultViewEventHandler(view));
        view->showWindow(SW_SHOWNOACTIVATE, KqRect(100, 100, 200, 150));
        window = view->window()->winId();
    }
    ~Shown() { delete view; }
    // Paints everything pending, then forgets what the first paints left.
    void settle()
    {
        pumpUntil([&] { return noUpdate(window) && !scene.updatePending(); });
    }
};

} // namespace

TEST(KqViewTest, ShowCreatesTheWindowAndFitsTheRectangles)
{
    Shown shown;
    ASSERT_NE(nullptr, shown.window);
    wchar_t className[64] = {};
    GetClassNameW(shown.window, className, 64);
    EXPECT_EQ(std::wstring(L"DUI_HOST_WINDOW"), className);
    EXPECT_EQ(DWORD(WS_EX_LAYERED), GetWindowLongW(shown.window, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(200, shown.view->window()->clientWidth());
    EXPECT_EQ(KqRectF(0, 0, 200, 150), shown.view->sceneRect());
    EXPECT_EQ(KqRectF(0, 0, 200, 150), shown.view->viewportRect());
}

TEST(KqViewTest, DirtyRectanglesOfOnePassInvalidateTheirBoundingRectangle)
{
    Shown shown;
    shown.settle();
    ASSERT_TRUE(noUpdate(shown.window));
    shown.scene.invalidate(KqRectF(10, 10, 20, 20));
    shown.scene.invalidate(KqRectF(100.5, 60, 9, 9.5)); // edges widen to whole pixels
    ASSERT_TRUE(runTimersUntil([&] { return !shown.scene.updatePending(); }));
    EXPECT_EQ(KqRect::fromEdges(10, 10, 109, 69), shown.view->dirtyBounding());
    RECT update = {};
    ASSERT_TRUE(GetUpdateRect(shown.window, &update, FALSE));
    EXPECT_EQ(10, update.left);
    EXPECT_EQ(10, update.top);
    EXPECT_EQ(110, update.right);
    EXPECT_EQ(70, update.bottom);
    // Painting it clears the pending bounding rectangle.
    ASSERT_TRUE(pumpUntil([&] { return noUpdate(shown.window); }));
    EXPECT_TRUE(shown.view->dirtyBounding().isNull());

    // Outside the scene rectangle: nothing to invalidate.
    shown.scene.invalidate(KqRectF(300, 300, 10, 10));
    ASSERT_TRUE(runTimersUntil([&] { return !shown.scene.updatePending(); }));
    EXPECT_TRUE(shown.view->dirtyBounding().isNull());
    EXPECT_TRUE(noUpdate(shown.window));
}

TEST(KqViewTest, AWholeSceneInvalidationGivesOneFullRepaint)
{
    Shown shown;
    shown.settle();
    shown.scene.invalidate(KqRectF(-10, -10, 400, 400));
    shown.scene.invalidate(KqRectF(5, 5, 5, 5)); // dropped: the whole scene is coming
    ASSERT_TRUE(runTimersUntil([&] { return !shown.scene.updatePending(); }));
    RECT update = {};
    ASSERT_TRUE(GetUpdateRect(shown.window, &update, FALSE));
    EXPECT_EQ(0, update.left);
    EXPECT_EQ(0, update.top);
    EXPECT_EQ(200, update.right);
    EXPECT_EQ(150, update.bottom);
}

TEST(KqViewTest, APaintInsideThePendingBoundingRectanglePaintsAllOfItOnce)
{
    KqGraphicsScene scene;
    KqGraphicsRectItem* fill = new KqGraphicsRectItem(nullptr, &scene);
    fill->setGeometry(0, 0, 200, 150);
    fill->setColor(KqColor(0, 0, 255));
    KqGraphicsView view(&scene);
    view.setSceneRect(KqRectF(0, 0, 200, 150));
    view.setViewportRect(KqRectF(0, 0, 200, 150));
    KqWindow window; // never shown: invalidation only records the area
    view.setWindow(&window);
    KqVector<KqRectF> rects;
    rects.append(KqRectF(10, 10, 20, 20));
    rects.append(KqRectF(60, 40, 10, 10));
    view.updateScene(rects);
    ASSERT_EQ(KqRect::fromEdges(10, 10, 69, 49), view.dirtyBounding());

    KqPaintEngine store;
    ASSERT_TRUE(store.resize(200, 150));
    store.begin();
    KqPainter painter(&store);
    g_messages.clear();
    kqSetDebugCapture(&capture);
    view.drawViewPort(&painter, KqRectF(10, 10, 20, 20));
    view.drawViewPort(&painter, KqRectF(10, 10, 20, 20)); // nothing pending any more
    kqSetDebugCapture(nullptr);
    store.end();
    view.setWindow(nullptr);
    ASSERT_EQ(1u, g_messages.size());
    EXPECT_EQ(0u, g_messages[0].find("KqGraphicsView::drawViewPort hi jack upateRect: ( 10, 10, 29, 29 )  to "
                                     "( 10, 10, 69, 49 ) "));
    EXPECT_TRUE(view.dirtyBounding().isNull());
    // The whole bounding rectangle was painted, and nothing outside it.
    EXPECT_EQ(0xFF0000FFu, store.pixel(60, 45));
    EXPECT_EQ(0xFF0000FFu, store.pixel(10, 10));
    EXPECT_EQ(0u, store.pixel(70, 45));
    EXPECT_EQ(0u, store.pixel(5, 5));
}

TEST(KqViewTest, BackgroundIsFilledOnlyWhenItHasAlpha)
{
    struct Row {
        KqColor background;
        uint32_t expected;
    } rows[] = {{KqColor(0, 0, 0, 0), 0xFFFF0000u}, {KqColor(0, 255, 0, 255), 0xFF00FF00u}};
    for (const Row& row : rows) {
        KqGraphicsScene scene;
        KqGraphicsView view(&scene);
        view.setSceneRect(KqRectF(0, 0, 50, 50));
        view.setViewportRect(KqRectF(0, 0, 50, 50));
        view.setBackgroundColor(row.background);
        KqPaintEngine store;
        ASSERT_TRUE(store.resize(50, 50));
        store.begin();
        KqPainter painter(&store);
        painter.fillRect(KqRectF(0, 0, 50, 50), KqColor(255, 0, 0));
        view.drawViewPort(&painter, KqRectF());
        store.end();
        EXPECT_EQ(row.expected, store.pixel(25, 25));
    }
}

TEST(KqViewTest, TransformsFollowTheRectanglesBeyondTheTolerance)
{
    KqGraphicsView view;
    view.setSceneRect(KqRectF(0, 0, 100, 100));
    EXPECT_EQ(0, view.transformRecomputations()); // both rectangles are needed
    view.setViewportRect(KqRectF(0, 0, 100, 100));
    EXPECT_EQ(1, view.transformRecomputations());
    view.setSceneRect(KqRectF(0, 0, 100 + 1e-13, 100));
    EXPECT_EQ(1, view.transformRecomputations());
    view.setSceneRect(KqRectF(10, 20, 200, 100));
    EXPECT_EQ(2, view.transformRecomputations());
    // Smaller factor for both axes: scene 200 x 100 in a 100 x 100 viewport.
    EXPECT_EQ(KqPoint(10, 20), view.mapEventPoint(KqPoint(10, 20)));
    EXPECT_EQ(KqPointF(-10, -20), view.mapToScene(KqPointF(0, 0)));
    // An empty viewport does not divide by zero.
    view.setViewportRect(KqRectF(0, 0, 0, 100));
    EXPECT_EQ(2, view.transformRecomputations());
}

namespace {

// The scene drawn whole into a clean store of the window's size.
std::vector<uint32_t> fullRepaint(KqGraphicsView* view, const KqSize& size)
{
    KqPaintEngine fresh;
    if (!fresh.resize(size.width, size.height))
        return {};
    fresh.begin();
    {
        KqPainter painter(&fresh);
        view->drawViewPort(&painter, KqRectF());
    }
    fresh.pixel(0, 0); // finishes the drawing
    std::vector<uint32_t> pixels(fresh.bits(), fresh.bits() + size_t(size.width) * size_t(size.height));
    fresh.end();
    return pixels;
}

// Where the window's store differs from a full repaint, "" when nowhere.
std::string storeAgainstFullRepaint(KqGraphicsView* view)
{
    KqPaintEngine& store = view->window()->adapter()->backingStore();
    const KqSize size = store.size();
    store.pixel(0, 0);
    const std::vector<uint32_t> expected = fullRepaint(view, size);
    if (expected.empty() || !store.bits())
        return "no store";
    int differing = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            const size_t at = size_t(size.height - 1 - y) * size_t(size.width) + size_t(x);
            if (store.bits()[at] != expected[at] && differing++ == 0) {
                firstX = x;
                firstY = y;
            }
        }
    }
    if (!differing)
        return "";
    return std::to_string(differing) + " pixels differ, the first at (" + std::to_string(firstX) + ", " +
           std::to_string(firstY) + ")";
}

} // namespace

TEST(KqViewTest, TheStoreMatchesAFullRepaintWhilePagesAndTextsChange)
{
    Shown shown;
    // A translucent background, as the setup windows have: whatever is drawn
    // over old pixels instead of a cleared store blends differently.
    shown.view->setBackgroundColor(KqColor(246, 246, 246, 200));
    shown.scene.invalidate(KqRectF(-1, -1, 1000, 1000)); // with it from the start
    KqGraphicsItem* pages[2];
    KqGraphicsSimpleTextItem* pageTexts[2];
    for (int i = 0; i < 2; ++i) {
        // A page item smaller than what it holds: its children reach out of it.
        pages[i] = new KqGraphicsItem(nullptr, &shown.scene);
        pages[i]->setGeometry(20, 20, 10, 10);
        KqGraphicsRectItem* box = new KqGraphicsRectItem(pages[i]);
        box->setGeometry(i ? 60 : 0, 10, 70, 50);
        box->setColor(i ? KqColor(200, 40, 40, 255) : KqColor(40, 40, 200, 160));
        pageTexts[i] = new KqGraphicsSimpleTextItem(pages[i]);
        pageTexts[i]->setPos(KqPointF(i ? 10 : 90, 70));
        pageTexts[i]->setColor(KqColor(20, 20, 20, 255));
        pageTexts[i]->setText(KqString(i ? u"second page" : u"first page"));
        pages[i]->setVisible(i == 0);
    }
    KqGraphicsSimpleTextItem* caption = new KqGraphicsSimpleTextItem(nullptr, &shown.scene);
    caption->setPos(KqPointF(120, 120));
    caption->setColor(KqColor(0, 0, 0, 255));
    caption->setText(KqString(u"ab"));
    KqGraphicsRectItem* spare = nullptr;
    shown.settle();
    ASSERT_EQ("", storeAgainstFullRepaint(shown.view));

    struct Step {
        const char* name;
        std::function<void()> change;
    } steps[] = {
        {"second page", [&] { pages[0]->setVisible(false); pages[1]->setVisible(true); }},
        // The same glyphs in another order: the same size, other pixels.
        {"caption of the same size", [&] { caption->setText(KqString(u"ba")); }},
        {"first page", [&] { pages[1]->setVisible(false); pages[0]->setVisible(true); }},
        {"longer caption", [&] { caption->setText(KqString(u"abcdef")); }},
        {"shorter caption", [&] { caption->setText(KqString(u"ab")); }},
        {"page text of the same size", [&] { pageTexts[0]->setText(KqString(u"egap tsrif")); }},
        {"an item added", [&] {
             spare = new KqGraphicsRectItem(pages[0]);
             spare->setGeometry(150, 5, 30, 30);
             spare->setColor(KqColor(40, 160, 40, 255));
         }},
        {"the item deleted", [&] { delete spare; spare = nullptr; }},
        {"both pages hidden", [&] { pages[0]->setVisible(false); }},
        // A repaint the system asks for, with no change of ours pending.
        {"whole window redrawn", [&] {
             pages[0]->setVisible(true);
             shown.settle();
             RedrawWindow(shown.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
         }},
        {"back to the start", [&] { pageTexts[0]->setText(KqString(u"first page")); }},
    };
    for (int round = 0; round < 3; ++round) {
        for (const Step& step : steps) {
            SCOPED_TRACE(std::string(step.name) + ", round " + std::to_string(round));
            step.change();
            shown.settle();
            ASSERT_EQ("", storeAgainstFullRepaint(shown.view));
        }
    }
}
