#include "KqApplication.h"
#include "KqCommandLine.h"
#include "KqServices.h"
#include "KqTimer.h"
#include "platform/KqNativeWindowBase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::u16string> split(const char16_t* text)
{
    KqCommandLine line(KqString(reinterpret_cast<const KqChar*>(text)));
    std::vector<std::u16string> out;
    for (int i = 0; i < line.words().count(); ++i) {
        const KqString& w = line.words().at(i);
        out.emplace_back(reinterpret_cast<const char16_t*>(w.data()), size_t(w.length()));
    }
    return out;
}

TEST(KqCommandLineTest, Splitting)
{
    struct Row {
        const char16_t* text;
        std::vector<std::u16string> words;
    } rows[] = {
        {u"", {}},
        {u"  \t\n ", {}},
        {u"\"C:\\Program Files\\setup.exe\" -silence \"D:\\My Apps\"",
         {u"C:\\Program Files\\setup.exe", u"-silence", u"D:\\My Apps"}},
        {u"a \"\" b", {u"a", u"", u"b"}},
        {u"a \"b c", {u"a", u"b", u"c"}},       // unclosed quote dropped
        {u"a\"b\" c", {u"a\"b\"", u"c"}},        // a quote inside a word stays
        {u"-path=C:\\x\t-y\n", {u"-path", u"C:\\x", u"-y"}},
        {u"==a==", {u"a"}},
        {u"\"", {}},
        {u"\"\"", {u""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.text, row.text + std::char_traits<char16_t>::length(row.text)));
        EXPECT_EQ(row.words, split(row.text));
    }
}

TEST(KqCommandLineTest, OptionQueries)
{
    KqCommandLine line(KqString(u"setup.exe -silence \"D:\\My Apps\" -Path x -last"));
    KqString fallback(u"none");
    struct Row {
        const char16_t* option;
        int index;
        const char16_t* value;
    } rows[] = {
        {u"-silence", 1, u"D:\\My Apps"},
        {u"-SILENCE", -1, u"none"}, // case matters
        {u"-path", -1, u"none"},
        {u"-Path", 3, u"x"},
        {u"-last", 5, u"none"},     // last word: the default
        {u"setup", -1, u"none"},
    };
    for (const Row& row : rows) {
        KqString option(reinterpret_cast<const KqChar*>(row.option));
        EXPECT_EQ(row.index, line.indexOf(option));
        EXPECT_EQ(row.index != -1, line.hasOption(option));
        EXPECT_TRUE(line.optionValue(option, fallback) == KqString(reinterpret_cast<const KqChar*>(row.value)));
    }
}

TEST(KqTimerTest, IdsRestartsAndTheServiceWindow)
{
    KqTimerServiceWindow* service = KqTimerServiceWindow::instance();
    KqTimer first, second, third;
    EXPECT_FALSE(first.isActive());
    EXPECT_EQ(-1, first.interval());
    EXPECT_EQ(nullptr, service->window());

    first.start(100);
    int32_t id = first.timerId();
    ASSERT_NE(nullptr, service->window());
    first.start(100); // same interval: same timer
    EXPECT_EQ(id, first.timerId());
    EXPECT_EQ(1, service->count());
    first.start(200); // another interval: a new id
    EXPECT_EQ(id + 1, first.timerId());
    EXPECT_EQ(200, first.interval());
    EXPECT_EQ(1, service->count());

    second.start(50);
    EXPECT_EQ(id + 2, second.timerId());
    first.stop();
    EXPECT_EQ(-1, first.timerId());
    EXPECT_EQ(-1, first.interval());
    third.start(50); // the counter does not go back
    EXPECT_EQ(id + 3, third.timerId());

    HWND window = service->window();
    second.stop();
    third.stop();
    EXPECT_EQ(nullptr, service->window());
    EXPECT_FALSE(IsWindow(window));
    first.start(10);
    EXPECT_NE(nullptr, service->window());
    first.stop();
    EXPECT_EQ(nullptr, service->window());
}

// Refuses the creation of windows of one class on this thread.
HHOOK g_cbtHook;
const wchar_t* g_refusedClass;
LRESULT CALLBACK refuseWindows(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const CBT_CREATEWNDW* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        const LPCWSTR name = create->lpcs->lpszClass;
        if (!IS_INTRESOURCE(name) && g_refusedClass && wcscmp(name, g_refusedClass) == 0)
            return 1;
    }
    return CallNextHookEx(g_cbtHook, code, wParam, lParam);
}

std::vector<std::string> g_debugLines;
void keepDebugLine(const KqString& message)
{
    std::string line;
    for (int i = 0; i < message.length(); ++i)
        line += char(message.data()[i]);
    g_debugLines.push_back(line);
}

struct TickCount : KqTrackable {
    int ticks = 0;
    void tick() { ++ticks; }
};

TEST(KqTimerTest, ATimerWithoutItsServiceWindowSaysSoAndDoesNotRun)
{
    KqTimerServiceWindow* service = KqTimerServiceWindow::instance();
    ASSERT_EQ(nullptr, service->window());
    g_refusedClass = L"KqTimerServiceWindow";
    g_cbtHook = SetWindowsHookExW(WH_CBT, &refuseWindows, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, g_cbtHook);
    g_debugLines.clear();
    kqSetDebugCapture(&keepDebugLine);
    KqTimer timer;
    TickCount count;
    timer.timeout.connect(&count, &TickCount::tick);
    timer.start(5);
    kqSetDebugCapture(nullptr);
    UnhookWindowsHookEx(g_cbtHook);
    EXPECT_EQ(nullptr, service->window());
    // Never firing, it must not pass for a running timer.
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(-1, timer.timerId());
    EXPECT_EQ(0, service->count());
    ASSERT_EQ(1u, g_debugLines.size());
    EXPECT_NE(std::string::npos, g_debugLines[0].find("KqTimer::start"));

    // With the window to be had again, the same timer runs and fires.
    timer.start(5);
    ASSERT_TRUE(timer.isActive());
    ASSERT_NE(nullptr, service->window());
    const DWORD started = GetTickCount();
    while (count.ticks < 2 && GetTickCount() - started < 10000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    EXPECT_GE(count.ticks, 2);
    timer.stop();
    EXPECT_EQ(nullptr, service->window());
}

struct Counter : KqTrackable {
    KqTimer* timer = nullptr;
    int ticks = 0;
    int stopAt = 0;
    void tick()
    {
        if (++ticks == stopAt) {
            timer->stop(); // its own timer, from inside its timeout
            KqApplication::quit();
        }
    }
};

TEST(KqTimerTest, ReceiverStopsItsOwnTimerUnderARealLoop)
{
    KqApplication app;
    KqTimer timer;
    Counter counter;
    counter.timer = &timer;
    counter.stopAt = 3;
    timer.timeout.connect(&counter, &Counter::tick);
    timer.start(5);
    EXPECT_EQ(0, app.exec());
    EXPECT_EQ(3, counter.ticks);
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(nullptr, KqTimerServiceWindow::instance()->window());
}

class TestWindow : public KqNativeWindowBase {
public:
    bool open()
    {
        static const KqWindowClassSpec windowClass = {L"KqTestWindow", 0, IDC_ARROW, nullptr};
        return create(windowClass, WS_POPUP, 0, L"test", 0, 0, 50, 50, nullptr) != nullptr;
    }
    int finals = 0;

protected:
    bool processMessage(UINT message, WPARAM, LPARAM, LRESULT& result) override
    {
        if (message == WM_CREATE)
            KqApplication::instance()->addWindow(this);
        else if (message == WM_DESTROY)
            KqApplication::instance()->removeWindow(this);
        result = 0;
        return false;
    }
    void onFinalMessage() override { ++finals; }
};

struct Closer : KqTrackable {
    std::vector<TestWindow*> windows;
    const bool* ready = nullptr;
    void tick()
    {
        // One window per tick once ready; the loop must survive the first and end after the last.
        if (*ready && !windows.empty()) {
            windows.back()->destroy();
            windows.pop_back();
        }
    }
};

struct Doomed : KqRttiObject {
    explicit Doomed(bool* flag_) : flag(flag_) {}
    ~Doomed() override { *flag = true; }
    bool* flag;
};

TEST(KqApplicationTest, ExecEndsWithTheLastWindow)
{
    KqApplication app;
    EXPECT_EQ(&app, KqApplication::instance());
    TestWindow one, two;
    ASSERT_TRUE(one.open());
    ASSERT_TRUE(two.open());
    EXPECT_EQ(2, app.windowCount());
    EXPECT_EQ(&one, reinterpret_cast<KqNativeWindowBase*>(GetWindowLongPtrW(one.hwnd(), GWLP_USERDATA)));

    // A deferred deletion runs on a later tick of the same loop.
    bool deleted = false;
    KqDeferredDeleter::instance()->append(new Doomed(&deleted));
    EXPECT_FALSE(deleted);

    Closer closer;
    closer.windows = {&one, &two};
    closer.ready = &deleted;
    KqTimer timer;
    timer.timeout.connect(&closer, &Closer::tick);
    timer.start(20);
    EXPECT_EQ(0, app.exec());
    EXPECT_EQ(0, app.windowCount());
    EXPECT_EQ(1, one.finals);
    EXPECT_EQ(nullptr, one.hwnd());
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(KqDeferredDeleter::instance()->wantsTicks());
}

TEST(KqApplicationTest, ShutdownDestroysRemainingWindows)
{
    TestWindow left;
    {
        KqApplication app;
        ASSERT_TRUE(left.open());
        EXPECT_EQ(1, app.windowCount());
    }
    EXPECT_EQ(nullptr, left.hwnd());
    EXPECT_EQ(nullptr, KqApplication::instance());
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {} // the posted quit
}

} // namespace
