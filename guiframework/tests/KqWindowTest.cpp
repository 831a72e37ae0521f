// Framework windows driven by messages posted to a real window: the
// adapter's events, the default scene and view handlers and delivery that
// survives handlers deleting items or closing the window.
#include "KqApplication.h"
#include "KqDefaultEventHandlers.h"
#include "KqEvent.h"
#include "KqGraphicsItem.h"
#include "KqGraphicsScene.h"
#include "KqGraphicsView.h"
#include "KqWindow.h"
#include "KqWindowAdapter.h"
#include "testing/KqPumpUntil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

KqApplication* g_app;
struct AppEnvironment : testing::Environment {
    void SetUp() override { g_app = new KqApplication; }
    void TearDown() override { delete g_app; }
};
testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new AppEnvironment);

std::vector<std::string> g_log;

std::string ansi(const KqString& text)
{
    std::string out;
    for (int i = 0; i < text.length(); ++i)
        out += char(text.data()[i]);
    return out;
}

std::string shortName(KqEvent* event)
{
    std::string name = ansi(event->dynamicClassInfo()->name);
    // "KqMouseDownEvent" -> "MouseDown"
    if (name.compare(0, 2, "Kq") == 0)
        name = name.substr(2);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, "Event") == 0)
        name.resize(name.size() - 5);
    if (KqMouseEvent* mouse = kq_cast<KqMouseEvent>(static_cast<KqRttiObject*>(event))) {
        if (mouse->nonClient)
            name += "(nc)";
    }
    return name;
}

std::string joined()
{
    std::string out;
    for (const std::string& s : g_log)
        out += (out.empty() ? "" : " ") + s;
    return out;
}

// Logs the mouse and window events the view receives, then handles them as usual.
class LoggingViewHandler : public KqDefaultViewEventHandler {
public:
    using KqDefaultViewEventHandler::KqDefaultViewEventHandler;
    void handle(KqEvent* event) override
    {
        if (logging && (kq_cast<KqMouseEvent>(static_cast<KqRttiObject*>(event)) ||
                        event->dynamicClassInfo() == KqMouseNcToClientEvent::classInfo()))
            g_log.push_back(shortName(event));
        KqDefaultViewEventHandler::handle(event);
    }
    bool logging = true;
};

// Item callbacks: log "name:Event".
void logItemEvent(void* target, KqEvent* event)
{
    g_log.push_back(ansi(static_cast<KqGraphicsItem*>(target)->objectName()) + ":" + shortName(event));
}

void acceptItemEvent(void* target, KqEvent* event)
{
    logItemEvent(target, event);
    event->setAccepted(true);
}

using kqtest::pumpUntil;

// Posts the messages, then a marker, and runs the loop until the marker came.
const UINT kMarker = WM_USER + 99;
bool g_marked;
void markerCallback(void*, KqEvent* event)
{
    KqWindowEvent* e = static_cast<KqWindowEvent*>(event);
    if (e->message == kMarker) {
        g_marked = true;
        e->setAccepted(true);
    }
}

struct Posted {
    UINT message;
    WPARAM wParam;
    int x, y;
};

class WindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_log.clear();
        scene = new KqGraphicsScene;
        scene->setEventHandler(new KqDefaultSceneEventHandler);
        scene->setSceneRect(KqRectF(0, 0, 200, 150));
        view = new KqGraphicsView(scene);
        handler = new LoggingViewHandler(view);
        view->setEventHandler(handler);
        handler->setCallback(KqWindowEvent::classInfo(), &markerCallback);
        view->showWindow(SW_SHOWNOACTIVATE, KqRect(100, 100, 200, 150));
        window = view->window()->winId();
        ASSERT_NE(nullptr, window);
        pumpUntil([&] { return !GetUpdateRect(window, nullptr, FALSE); });
        g_log.clear();
    }
    void TearDown() override
    {
        delete view;
        delete scene;
        kqSetKeyStateSource(nullptr);
    }
    KqGraphicsItem* item(const char* name, double x, double y, double w, double h, KqGraphicsItem* parent = nullptr)
    {
        KqGraphicsItem* it = new KqGraphicsItem(parent, parent ? nullptr : scene);
        it->setObjectName(KqString::fromAnsi(name));
        it->setGeometry(x, y, w, h);
        it->setAcceptedMouseButtons(1, true);
        it->setEventHandler(new KqItemEventHandler);
        return it;
    }
    void post(std::initializer_list<Posted> messages)
    {
        for (const Posted& m : messages) {
            LPARAM lParam = MAKELPARAM(m.x, m.y);
            PostMessageW(window, m.message, m.wParam, lParam);
        }
        g_marked = false;
        PostMessageW(window, kMarker, 0, 0);
        ASSERT_TRUE(pumpUntil([] { return g_marked; }));
    }

    KqGraphicsScene* scene = nullptr;
    KqGraphicsView* view = nullptr;
    LoggingViewHandler* handler = nullptr;
    HWND window = nullptr;
};

} // namespace

TEST_F(WindowTest, MouseMessagesBecomeEventsInOrder)
{
    struct Row {
        const char* name;
        std::vector<Posted> messages;
        const char* log;
    } rows[] = {
        {"left double-click", {{WM_LBUTTONDOWN, 0, 5, 5}, {WM_LBUTTONUP, 0, 5, 5}, {WM_LBUTTONDBLCLK, 0, 5, 5}, {WM_LBUTTONUP, 0, 5, 5}},
         "MouseDown MouseUp MouseDbClick MouseDown MouseUp"},
        {"right double-click is a second press", {{WM_RBUTTONDOWN, 0, 5, 5}, {WM_RBUTTONUP, 0, 5, 5}, {WM_RBUTTONDBLCLK, 0, 5, 5}},
         "MouseDown MouseUp MouseDown"},
        {"non-client press, move without release",
         {{WM_NCLBUTTONDOWN, HTNOWHERE, 105, 105}, {WM_NCMOUSEMOVE, HTNOWHERE, 106, 106}, {WM_NCMOUSEMOVE, HTNOWHERE, 107, 107}},
         "MouseDown(nc) MouseUp(nc) MouseMove(nc)"},
        {"a real non-client release ends the press",
         {{WM_NCLBUTTONDOWN, HTNOWHERE, 105, 105}, {WM_NCLBUTTONUP, HTNOWHERE, 105, 105}, {WM_NCMOUSEMOVE, HTNOWHERE, 106, 106}},
         "MouseDown(nc) MouseUp(nc) MouseMove(nc)"},
        {"non-client into client", {{WM_NCMOUSEMOVE, HTNOWHERE, 105, 105}, {WM_MOUSEMOVE, 0, 6, 6}},
         "MouseMove(nc) MouseNcToClient MouseMove"},
        {"timer messages are swallowed", {{WM_TIMER, 1, 0, 0}}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_log.clear();
        for (const Posted& m : row.messages)
            PostMessageW(window, m.message, m.wParam, MAKELPARAM(m.x, m.y));
        post({});
        EXPECT_EQ(row.log, joined());
    }
}

TEST_F(WindowTest, PointsAreSignedAndMovesCarryTheDistance)
{
    KqPoint seen;
    static KqPoint* s_seen;
    s_seen = &seen;
    handler->setCallback(KqMouseDownEvent::classInfo(), [](void*, KqEvent* e) {
        *s_seen = static_cast<KqMouseEvent*>(e)->windowPos;
    });
    post({{WM_LBUTTONDOWN, 0, -3, -4}, {WM_LBUTTONUP, 0, -3, -4}});
    EXPECT_EQ(KqPoint(-3, -4), seen);

    static KqPoint s_move;
    handler->setCallback(KqMouseMoveEvent::classInfo(), [](void*, KqEvent* e) {
        KqMouseMoveEvent* move = static_cast<KqMouseMoveEvent*>(e);
        s_move = KqPoint(move->word1, move->word2);
    });
    post({{WM_MOUSEMOVE, 0, 10, 10}, {WM_MOUSEMOVE, 0, 17, 5}});
    EXPECT_EQ(KqPoint(7, -5), s_move);

    // Hit tests read the screen point as signed: a window left of the screen.
    SetWindowPos(window, nullptr, -50, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    static KqPoint s_hit;
    handler->setCallback(KqNcHitTestEvent::classInfo(), [](void*, KqEvent* e) {
        s_hit = static_cast<KqNcHitTestEvent*>(e)->windowPos;
    });
    LRESULT code = SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(-40, 20));
    EXPECT_EQ(KqPoint(10, 10), s_hit);
    EXPECT_EQ(HTCAPTION, code); // nothing answered: the window drags from anywhere
}

TEST_F(WindowTest, AnswersOfTheMessageMap)
{
    static int s_user;
    handler->setCallback(KqWindowEvent::classInfo(), [](void*, KqEvent* event) {
        KqWindowEvent* e = static_cast<KqWindowEvent*>(event);
        if (e->message == WM_USER + 5) {
            e->result = 42;
            e->setAccepted(true);
            ++s_user;
        }
    });
    struct Row {
        UINT message;
        WPARAM wParam;
        LRESULT expected;
    } rows[] = {
        {WM_USER + 5, 0, 42},   // accepted window event: its result
        {WM_USER + 6, 0, 0},    // nobody: default processing
        {WM_ERASEBKGND, 0, 1},
        {WM_TIMER, 7, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        EXPECT_EQ(row.expected, SendMessageW(window, row.message, row.wParam, 0));
    }
    EXPECT_EQ(1, s_user);
    // A posted one arrives through the loop the same way.
    PostMessageW(window, WM_USER + 5, 0, 0);
    ASSERT_TRUE(pumpUntil([] { return s_user == 2; }));
}

TEST_F(WindowTest, MaximisingCoversTheWorkAreaPlusTwo)
{
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    MINMAXINFO info = {};
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(area.left - 2, info.ptMaxPosition.x);
    EXPECT_EQ(area.top - 2, info.ptMaxPosition.y);
    EXPECT_EQ(area.right - area.left + 4, info.ptMaxSize.x);
    EXPECT_EQ(area.bottom - area.top + 4, info.ptMaxTrackSize.y);
    ShowWindow(window, SW_MAXIMIZE);
    RECT r;
    ASSERT_TRUE(pumpUntil([&] {
        GetWindowRect(window, &r);
        return r.right - r.left == area.right - area.left + 4;
    }));
    EXPECT_EQ(area.left - 2, r.left);
    EXPECT_EQ(area.bottom + 2, r.bottom);
    ShowWindow(window, SW_RESTORE);
}

TEST_F(WindowTest, MinimisedSizeKeepsTheBackingStore)
{
    KqWindowAdapter* adapter = view->window()->adapter();
    ASSERT_EQ(200, adapter->backingStore().size().width);
    static int s_sizeType = -1;
    handler->setCallback(KqResizeEvent::classInfo(), [](void*, KqEvent* e) {
        s_sizeType = static_cast<KqResizeEvent*>(e)->sizeType;
    });
    SendMessageW(window, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(SIZE_MINIMIZED, s_sizeType);
    EXPECT_EQ(200, adapter->backingStore().size().width);
    EXPECT_EQ(150, adapter->backingStore().size().height);
    EXPECT_NE(nullptr, adapter->backingStore().bits());
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(120, 80));
    EXPECT_EQ(120, adapter->backingStore().size().width);
    EXPECT_EQ(KqRectF(0, 0, 120, 80), view->sceneRect()); // the view handler follows the client
}

TEST_F(WindowTest, ClickVersusPressMoveRelease)
{
    KqGraphicsItem* a = item("a", 10, 10, 50, 50);
    KqGraphicsItem* b = item("b", 100, 10, 50, 50);
    for (KqGraphicsItem* it : {a, b}) {
        it->setFlag(KqGraphicsItem::Focusable, true);
        it->setFocusPolicy(KqGraphicsItem::ClickFocus);
        it->eventHandler()->connectEvent(KqMouseDownEvent::classInfo(), &acceptItemEvent);
        it->eventHandler()->connectEvent(KqMouseUpEvent::classInfo(), &acceptItemEvent);
        it->eventHandler()->connectEvent(KqMouseClickedEvent::classInfo(), &acceptItemEvent);
    }
    handler->logging = false;
    post({{WM_LBUTTONDOWN, 0, 20, 20}, {WM_LBUTTONUP, 0, 25, 25}});
    EXPECT_EQ("a:MouseDown a:MouseClicked a:MouseUp", joined());
    EXPECT_TRUE(a->hasFocus());
    g_log.clear();
    post({{WM_LBUTTONDOWN, 0, 20, 20}, {WM_MOUSEMOVE, 0, 110, 20}, {WM_LBUTTONUP, 0, 110, 20}});
    EXPECT_EQ("a:MouseDown a:MouseUp", joined()); // the pressed item hears the release; no click
    g_log.clear();
    // A release with no press before it clicks nothing.
    post({{WM_LBUTTONUP, 0, 20, 20}});
    EXPECT_EQ("a:MouseUp", joined());
}

TEST_F(WindowTest, DragsGoToTheItemThatAcceptedTheStart)
{
    KqGraphicsItem* d = item("d", 10, 10, 50, 50);
    d->setFlag(KqGraphicsItem::AcceptsDrag, true);
    for (const KqClassInfo* c : {KqDragStartEvent::classInfo(), KqDragMoveEvent::classInfo(), KqDragEndEvent::classInfo(),
                                 KqMouseClickedEvent::classInfo()})
        d->eventHandler()->connectEvent(c, &acceptItemEvent);
    KqGraphicsItem* target = item("t", 80, 90, 40, 40);
    target->setStateBits(KqGraphicsItem::AcceptsDrops, true);
    target->eventHandler()->connectEvent(KqDragDropEvent::classInfo(), &acceptItemEvent);
    handler->logging = false;
    post({{WM_LBUTTONDOWN, 0, 20, 20}, {WM_MOUSEMOVE, 0, 30, 25}, {WM_MOUSEMOVE, 0, 90, 100}, {WM_LBUTTONUP, 0, 90, 100}});
    EXPECT_EQ("d:DragStart d:DragMove d:DragMove d:DragEnd t:DragDrop", joined());
    // A click on the same spot after the drag is a click again.
    g_log.clear();
    d->setFlag(KqGraphicsItem::AcceptsDrag, false);
    d->setFocusPolicy(KqGraphicsItem::ClickFocus);
    d->setFlag(KqGraphicsItem::Focusable, true);
    post({{WM_LBUTTONDOWN, 0, 20, 20}, {WM_LBUTTONUP, 0, 20, 20}});
    EXPECT_EQ("d:MouseClicked", joined());
}

TEST_F(WindowTest, HoverEntersOutermostFirstAndLeavesInnermostFirst)
{
    KqGraphicsItem* outer = item("outer", 10, 10, 100, 100);
    KqGraphicsItem* inner = item("inner", 10, 10, 30, 30, outer);
    for (KqGraphicsItem* it : {outer, inner}) {
        it->setFlag(KqGraphicsItem::AcceptsHover, true);
        it->eventHandler()->connectEvent(KqHoverEnterEvent::classInfo(), &acceptItemEvent);
        it->eventHandler()->connectEvent(KqHoverLeaveEvent::classInfo(), &acceptItemEvent);
    }
    handler->logging = false;
    post({{WM_MOUSEMOVE, 0, 25, 25}});
    EXPECT_EQ("outer:HoverEnter inner:HoverEnter", joined());
    EXPECT_EQ(inner, scene->roleItem(KqGraphicsScene::HoverItem));
    g_log.clear();
    post({{WM_MOUSEMOVE, 0, 80, 80}});
    EXPECT_EQ("inner:HoverLeave", joined());
    g_log.clear();
    post({{WM_MOUSEMOVE, 0, 190, 140}});
    EXPECT_EQ("outer:HoverLeave", joined());
    EXPECT_EQ(nullptr, scene->roleItem(KqGraphicsScene::HoverItem));
    // A resize leaves every hovered item, innermost first.
    post({{WM_MOUSEMOVE, 0, 25, 25}});
    g_log.clear();
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(200, 150));
    EXPECT_EQ("inner:HoverLeave outer:HoverLeave", joined());
}

namespace {
int16_t g_keyState[256];
int16_t fakeKeyState(int key) { return g_keyState[key & 255]; }
}

TEST_F(WindowTest, TabWalksTheTreeAndWraps)
{
    KqGraphicsItem* root = item("root", 0, 0, 200, 150);
    KqGraphicsItem* one = item("one", 0, 0, 10, 10, root);
    KqGraphicsItem* off = item("off", 20, 0, 10, 10, root);
    KqGraphicsItem* two = item("two", 40, 0, 10, 10, root);
    KqGraphicsItem* three = item("three", 0, 0, 5, 5, two);
    for (KqGraphicsItem* it : {one, off, two, three}) {
        it->setFlag(KqGraphicsItem::Focusable, true);
        it->setFocusPolicy(KqGraphicsItem::TabFocus | KqGraphicsItem::ClickFocus);
    }
    off->setEnabled(false);
    scene->setRoleItem(KqGraphicsScene::TabStart, root);
    kqSetKeyStateSource(&fakeKeyState);
    memset(g_keyState, 0, sizeof g_keyState);
    struct Row {
        const char* name;
        int16_t shift, control;
        KqGraphicsItem* expected;
    } rows[] = {
        {"first", 0, 0, one},
        {"skips the disabled one", 0, 0, two},
        {"into the child", 0, 0, three},
        {"wraps", 0, 0, one},
        {"Shift goes back and wraps", int16_t(0x8000), 0, three},
        {"Shift again", int16_t(0x8000), 0, two},
        {"Control does nothing", 0, int16_t(0x8000), two},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_keyState[VK_SHIFT] = row.shift;
        g_keyState[VK_CONTROL] = row.control;
        post({{WM_KEYDOWN, VK_TAB, 0, 0}});
        EXPECT_EQ(row.expected, scene->focusItem());
    }
}

TEST_F(WindowTest, AClickThatClosesTheWindowEndsDeliverySafely)
{
    KqGraphicsItem* button = item("button", 10, 10, 50, 50);
    button->setFlag(KqGraphicsItem::Focusable, true);
    button->setFocusPolicy(KqGraphicsItem::ClickFocus);
    static HWND s_window;
    static bool s_final;
    s_window = window;
    s_final = false;
    struct Receiver : KqTrackable {
        void finalDestroyed() { s_final = true; }
    } receiver;
    view->window()->finalDestroyed.connect(&receiver, &Receiver::finalDestroyed);
    button->eventHandler()->connectEvent(KqMouseDownEvent::classInfo(), &acceptItemEvent);
    // The click deletes the item and destroys the window inside the message.
    button->eventHandler()->connectEvent(KqMouseClickedEvent::classInfo(), [](void* target, KqEvent* event) {
        event->setAccepted(true);
        delete static_cast<KqGraphicsItem*>(target);
        DestroyWindow(s_window);
    });
    handler->logging = false;
    PostMessageW(window, WM_LBUTTONDOWN, 0, MAKELPARAM(20, 20));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    ASSERT_TRUE(pumpUntil([] { return !IsWindow(s_window); }));
    EXPECT_TRUE(s_final);
    EXPECT_EQ(nullptr, view->window()->winId());
    EXPECT_EQ(0, scene->itemCount());
    // Shown again: a new native window.
    view->showWindow(SW_SHOWNOACTIVATE, KqRect(100, 100, 200, 150));
    EXPECT_NE(nullptr, view->window()->winId());
}
