// The uninstaller's windows on the display, driven by posted messages and
// clicks: the confirmation's question and retry states, the progress
// window's list, bar and finish state, both sizes held against resizes, and
// the interactive start with a product that runs and then quits. A PNG of
// each state is saved from the window's store into the shots folder.
#include "KqApplication.h"
#include "KqBasicItems.h"
#include "KqFrameWindow.h"
#include "KqGraphicsScene.h"
#include "KqGraphicsView.h"
#include "KqImage.h"
#include "KqPositioner.h"
#include "KqProgressBar.h"
#include "KqScrollArea.h"
#include "KqTimer.h"
#include "KqPushButton.h"
#include "KqWindow.h"
#include "KqWindowAdapter.h"
#include "SetupLog.h"
#include "SorvaMainWindow.h"
#include "SorvaPromptWindow.h"
#include "SorvaUninstallChecker.h"
#include "SorvaUninstallControl.h"
#include "SorvaUninstallCore.h"
#include "SorvaUninstallUI.h"
#include "UninstallTestSupport.h"
#include "UninstallWindowParts.h"
#include "testing/KqPumpUntil.h"

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace uninstalltest;
using uninstallwindow::fromKq;

namespace {

KqApplication* g_app;
struct AppEnvironment : testing::Environment {
    void SetUp() override { g_app = new KqApplication; }
    void TearDown() override { delete g_app; }
};
testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new AppEnvironment);

const std::wstring kTestRoot = L"C:\\tq_uninstall_windows\\";

using kqtest::pumpUntil;

KqPaintEngine& storeOf(KqFrameWindow* window) { return window->view()->window()->adapter()->backingStore(); }

// Everything pending painted into the store.
bool settle(KqFrameWindow* window)
{
    HWND handle = window->winId();
    return pumpUntil([&] { return !GetUpdateRect(handle, nullptr, FALSE) && !window->graphicsScene()->updatePending(); });
}

void saveShot(KqFrameWindow* window, const wchar_t* name)
{
    ASSERT_TRUE(settle(window));
    KqPaintEngine& store = storeOf(window);
    const KqSize size = store.size();
    ASSERT_TRUE(store.bits() && size.width > 0);
    SHCreateDirectoryExW(nullptr, TQ_SHOT_DIR, nullptr);
    const int stride = size.width * 4;
    BYTE* top = reinterpret_cast<BYTE*>(const_cast<uint32_t*>(store.bits())) + size_t(size.height - 1) * size_t(stride);
    Gdiplus::Bitmap bitmap(size.width, size.height, -stride, PixelFormat32bppPARGB, top);
    static const CLSID pngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    std::wstring path = std::wstring(TQ_SHOT_DIR) + L"/" + name;
    EXPECT_EQ(Gdiplus::Ok, bitmap.Save(path.c_str(), &pngEncoder, nullptr)) << toUtf8(path);
}

KqPointF centreOf(KqGraphicsItem* item)
{
    KqRectF r = item->sceneBoundingRect();
    return KqPointF(r.x + r.width / 2, r.y + r.height / 2);
}

// How many of the picture's opaque pixels the store does not show, unscaled,
// at the item's place; -1 when the picture has too few opaque pixels to tell.
int opaquePixelsMissing(KqFrameWindow* window, KqGraphicsItem* item, const char16_t* url)
{
    const KqImage image = KqImage::fromUrl(KqString(url));
    Gdiplus::Bitmap* picture = image.bitmap();
    if (!picture)
        return -1;
    const KqRectF at = item->sceneBoundingRect();
    const KqPaintEngine& store = storeOf(window);
    int opaque = 0, missing = 0;
    for (UINT y = 0; y < picture->GetHeight(); ++y) {
        for (UINT x = 0; x < picture->GetWidth(); ++x) {
            Gdiplus::Color c;
            if (picture->GetPixel(int(x), int(y), &c) != Gdiplus::Ok || c.GetA() != 255)
                continue;
            ++opaque;
            missing += (store.pixel(int(at.x) + int(x), int(at.y) + int(y)) & 0xFFFFFF) != (c.GetValue() & 0xFFFFFF);
        }
    }
    return opaque < 100 ? -1 : missing;
}

void click(KqFrameWindow* window, KqGraphicsItem* item)
{
    KqPointF p = centreOf(item);
    LPARAM at = MAKELPARAM(int(p.x), int(p.y));
    PostMessageW(window->winId(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window->winId(), WM_LBUTTONUP, 0, at);
}

SIZE windowSize(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

bool sized330x190(HWND window)
{
    SIZE s = windowSize(window);
    return s.cx == 330 && s.cy == 190;
}

std::wstring titleOf(HWND window)
{
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    return text;
}

std::wstring buttonText(KqPushButton* button) { return fromKq(button->text()->text()); }

struct CountingCommand : SorvaUninstallCommand {
    void DeletingDestructor(unsigned) override {}
    void startCheck() override { ++checks; }
    int checks = 0;
};

void postProgress(HWND window, const std::wstring& path, double fraction)
{
    ASSERT_TRUE(PostMessageW(window, MSG_UNINSTALL_PROGRESS, reinterpret_cast<WPARAM>(new std::wstring(path)),
                             reinterpret_cast<LPARAM>(new double(fraction))));
}

// As the cleaner reports it: its folder ends in a separator and it adds one.
std::wstring fileName(int i) { return L"C:\\TqSorva\\\\f" + std::to_wstring(i) + L".dll"; }
// As the list shows it.
std::wstring shownName(int i) { return L"C:\\TqSorva\\f" + std::to_wstring(i) + L".dll"; }

KqGraphicsSimpleTextItem* listLine(SorvaMainWindow* window, int i)
{
    return static_cast<KqGraphicsSimpleTextItem*>(window->listColumn()->children().at(i));
}

void setVariable(const wchar_t* name, const std::wstring& value)
{
    SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

}  // namespace

class UninstallWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setLogFileName(L"unistV2.log"); }
};

TEST_F(UninstallWindowTest, PromptAsksThenAsksForTheRetryAndClosesWhenTold)
{
    CountingCommand command;
    SorvaPromptWindow* prompt = new SorvaPromptWindow;
    prompt->setControl(&command);
    prompt->showWindow(SW_SHOWNOACTIVATE);
    HWND window = prompt->winId();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(settle(prompt));
    EXPECT_TRUE(sized330x190(window));
    EXPECT_EQ(std::wstring(L"TqSorva \u5378\u8f7d"), titleOf(window));
    EXPECT_EQ(SorvaPromptWindow::Question, prompt->state());
    EXPECT_TRUE(prompt->questionGroup()->isVisible());
    EXPECT_FALSE(prompt->warningGroup()->isVisible());
    EXPECT_EQ(L"\u786e\u5b9a", buttonText(prompt->okButton()));
    EXPECT_EQ(L"\u53d6\u6d88", buttonText(prompt->cancelButton()));
    // The question picture is drawn where it stands.
    KqGraphicsItem* question = prompt->questionGroup()->children().at(0);
    EXPECT_EQ(0, opaquePixelsMissing(prompt, question, u"uninstall:xiezai_qustion.png"));
    saveShot(prompt, L"prompt_question.png");

    click(prompt, prompt->okButton());
    ASSERT_TRUE(pumpUntil([&] { return command.checks == 1; }));
    EXPECT_FALSE(IsWindowVisible(window));

    PostMessageW(window, MSG_UNINSTALL_RETRY, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return IsWindowVisible(window) && prompt->state() == SorvaPromptWindow::Retry; }));
    ASSERT_TRUE(pumpUntil([&] { return sized330x190(window); })) << windowSize(window).cy;
    EXPECT_EQ(L"\u91cd\u8bd5", buttonText(prompt->okButton()));
    EXPECT_FALSE(prompt->questionGroup()->isVisible());
    EXPECT_TRUE(prompt->warningGroup()->isVisible());
    std::wstring warning = fromKq(prompt->warningText()->text());
    EXPECT_EQ(0u, warning.find(L"\u68c0\u6d4b\u5230TqNelu\u6b63\u5728\u8fd0\u884c"));
    EXPECT_NE(std::wstring::npos, warning.find(L"\n\n\u8bf7\u5173\u95edTqNelu\uff0c\u5e76\u5355\u51fb[\u91cd\u8bd5]\u3002\n"));
    ASSERT_TRUE(settle(prompt));
    KqGraphicsItem* exclamation = prompt->warningGroup()->children().at(0);
    EXPECT_EQ(0, opaquePixelsMissing(prompt, exclamation, u"uninstall:xiezai_tanhao.png"));
    saveShot(prompt, L"prompt_retry.png");

    // Retry: hidden again and one more check; the check's end closes it.
    click(prompt, prompt->okButton());
    ASSERT_TRUE(pumpUntil([&] { return command.checks == 2; }));
    EXPECT_FALSE(IsWindowVisible(window));
    PostMessageW(window, MSG_UNINSTALL_CLOSE, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(window); }));
    EXPECT_EQ(2, command.checks);
    delete prompt;
}

TEST_F(UninstallWindowTest, CancelAndTheCloseButtonCloseThePromptWithoutACheck)
{
    for (int useClose = 0; useClose < 2; ++useClose) {
        SCOPED_TRACE(useClose ? "close button" : "cancel");
        CountingCommand command;
        SorvaPromptWindow* prompt = new SorvaPromptWindow;
        prompt->setControl(&command);
        prompt->showWindow(SW_SHOWNOACTIVATE);
        HWND window = prompt->winId();
        ASSERT_TRUE(settle(prompt));
        click(prompt, useClose ? prompt->closeButton() : prompt->cancelButton());
        ASSERT_TRUE(pumpUntil([&] { return !IsWindow(window); }));
        EXPECT_EQ(0, command.checks);
        delete prompt;
    }
}

TEST_F(UninstallWindowTest, BothWindowsKeep330x190AfterAResize)
{
    struct Case {
        const char* name;
        std::function<KqFrameWindow*()> make;
    } cases[] = {
        {"prompt", [] { return static_cast<KqFrameWindow*>(new SorvaPromptWindow); }},
        {"progress", [] { return static_cast<KqFrameWindow*>(new SorvaMainWindow); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KqFrameWindow* frame = c.make();
        frame->showWindow(SW_SHOWNOACTIVATE);
        HWND window = frame->winId();
        ASSERT_TRUE(settle(frame));
        EXPECT_TRUE(sized330x190(window));
        const SIZE sizes[] = {{500, 400}, {200, 100}, {330, 300}};
        for (const SIZE& s : sizes) {
            SetWindowPos(window, nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            EXPECT_TRUE(pumpUntil([&] { return sized330x190(window); })) << s.cx << "x" << s.cy;
            EXPECT_EQ(330, frame->fullLayer()->width());
        }
        frame->close();
        pumpUntil([&] { return !IsWindow(window); });
        delete frame;
    }
}

TEST_F(UninstallWindowTest, ProgressListsTwoPathsALineMovesTheBarAndFinishes)
{
    SorvaMainWindow* progress = new SorvaMainWindow;
    progress->showWindow(SW_SHOWNOACTIVATE);
    HWND window = progress->winId();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(settle(progress));
    EXPECT_EQ(std::wstring(L"TqSorva\u5378\u8f7d"), titleOf(window));
    EXPECT_EQ(L"\u6b63\u5728\u5378\u8f7dTqNelu... ...", fromKq(progress->statusText()->text()));
    EXPECT_TRUE(progress->statusText()->isVisible());
    EXPECT_TRUE(progress->progressBar()->isVisible());
    EXPECT_FALSE(progress->finishPicture()->isVisible());
    EXPECT_FALSE(progress->finishText()->isVisible());
    EXPECT_EQ(L"\u53d6\u6d88", buttonText(progress->button()));
    EXPECT_FALSE(progress->button()->isEnabled());
    EXPECT_FALSE(progress->closeButton()->isEnabled());
    EXPECT_EQ(280, progress->progressBar()->width());
    EXPECT_EQ(11, progress->progressBar()->height());
    EXPECT_TRUE(progress->timer()->isActive());

    for (int i = 0; i < 5; ++i)
        postProgress(window, fileName(i), (i + 1) / 200.0);
    ASSERT_TRUE(pumpUntil([&] { return progress->pendingText() == KqString(u"C:\\TqSorva\\f4.dll"); }));
    ASSERT_EQ(2, progress->listColumn()->children().count());
    EXPECT_EQ(shownName(0) + L"\n" + shownName(1), fromKq(listLine(progress, 0)->text()));
    EXPECT_EQ(shownName(2) + L"\n" + shownName(3), fromKq(listLine(progress, 1)->text()));
    // Two lines of text: taller than one.
    EXPECT_GT(listLine(progress, 0)->height(), progress->statusText()->height() * 1.5);
    EXPECT_GE(progress->progressBar()->value(), 5 / 200.0);
    // Clicks on the disabled buttons change nothing.
    click(progress, progress->button());
    ASSERT_TRUE(settle(progress));
    EXPECT_TRUE(IsWindow(window));
    saveShot(progress, L"progress_running.png");

    PostMessageW(window, MSG_UNINSTALL_FINISH, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return progress->finishText()->isVisible(); }));
    EXPECT_FALSE(progress->timer()->isActive());
    EXPECT_FALSE(progress->statusText()->isVisible());
    EXPECT_FALSE(progress->progressBar()->isVisible());
    EXPECT_TRUE(progress->finishPicture()->isVisible());
    EXPECT_EQ(L"\u5378\u8f7d\u5b8c\u6bd5", fromKq(progress->finishText()->text()));
    EXPECT_EQ(progress->progressBar()->maximum(), progress->progressBar()->value());
    EXPECT_EQ(L"\u5b8c\u6210", buttonText(progress->button()));
    EXPECT_TRUE(progress->button()->isEnabled());
    EXPECT_TRUE(progress->closeButton()->isEnabled());
    // The odd last path got its line.
    ASSERT_EQ(3, progress->listColumn()->children().count());
    EXPECT_EQ(shownName(4), fromKq(listLine(progress, 2)->text()));
    EXPECT_TRUE(progress->pendingText().isEmpty());
    ASSERT_TRUE(settle(progress));
    EXPECT_EQ(0, opaquePixelsMissing(progress, progress->finishPicture(), u"uninstall:xiezai_tanhao.png"));
    saveShot(progress, L"progress_finished.png");

    click(progress, progress->button());
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(window); }));
    delete progress;
}

TEST_F(UninstallWindowTest, ManyReportsFillTheBarAndKeepTheListAtTwoHundredLines)
{
    SorvaMainWindow* progress = new SorvaMainWindow;
    progress->showWindow(SW_SHOWNOACTIVATE);
    HWND window = progress->winId();
    ASSERT_TRUE(settle(progress));
    progress->timer()->stop(); // only the reports move the bar here
    for (int i = 0; i < 199; ++i)
        postProgress(window, fileName(i), (i + 1) / 200.0);
    ASSERT_TRUE(pumpUntil([&] { return progress->pendingText() == KqString(u"C:\\TqSorva\\f198.dll"); }));
    EXPECT_LT(progress->progressBar()->value(), progress->progressBar()->maximum());
    postProgress(window, fileName(199), 1.0);
    ASSERT_TRUE(pumpUntil([&] { return progress->pendingText().isEmpty(); }));
    EXPECT_EQ(progress->progressBar()->maximum(), progress->progressBar()->value());
    for (int i = 200; i < 450; ++i)
        postProgress(window, fileName(i), (i + 1) / 200.0);
    ASSERT_TRUE(pumpUntil([&] { return fromKq(listLine(progress, progress->listColumn()->children().count() - 1)->text())
                                           == shownName(448) + L"\n" + shownName(449); }));
    EXPECT_EQ(SorvaMainWindow::kMaxListItems, progress->listColumn()->children().count());
    EXPECT_EQ(shownName(396) + L"\n" + shownName(397), fromKq(listLine(progress, 198)->text()));
    EXPECT_EQ(progress->progressBar()->maximum(), progress->progressBar()->value());
    // Reports still queued when the window closes are freed with it.
    for (int i = 0; i < 20; ++i)
        postProgress(window, fileName(i), 0.5);
    progress->closeWindow();
    EXPECT_FALSE(IsWindow(window));
    delete progress;
}

TEST(UninstallWindowPartsTest, PathsAreShownOnceSeparated)
{
    struct Row {
        const wchar_t* reported;
        const wchar_t* shown;
    } rows[] = {
        {L"C:\\TqSorva\\\\f0.dll", L"C:\\TqSorva\\f0.dll"},
        {L"C:\\TqSorva\\\\1.0.3.0\\\\\\lumeo.dll", L"C:\\TqSorva\\1.0.3.0\\lumeo.dll"},
        {L"\\\\server\\share\\\\a.txt", L"\\\\server\\share\\a.txt"},
        {L"C:\\TqSorva\\UnInstall.exe", L"C:\\TqSorva\\UnInstall.exe"},
        {L"", L""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(std::wstring(row.shown), uninstallwindow::onceSeparated(row.reported)) << toUtf8(row.reported);
}

// No line of the list may reach the strip beside and below the button, and
// the newest line is in sight, while the deletion runs and once it is done.
TEST_F(UninstallWindowTest, TheListStaysAboveTheButtonAndShowsItsNewestLine)
{
    SorvaMainWindow* progress = new SorvaMainWindow;
    progress->showWindow(SW_SHOWNOACTIVATE);
    HWND window = progress->winId();
    ASSERT_TRUE(settle(progress));
    progress->timer()->stop();
    const KqRectF button = progress->button()->sceneBoundingRect();
    const KqRectF list = progress->listArea()->sceneBoundingRect();
    EXPECT_LE(list.y + list.height, button.y) << "the list reaches under the button";
    // The strip left of the button from its top edge down: only background.
    auto stripIsClear = [&](std::string& where) {
        KqPaintEngine& store = storeOf(progress);
        const int top = int(button.y), bottom = int(button.y + button.height) - 1;
        const uint32_t background = store.pixel(12, top);
        for (int y = top; y <= bottom; ++y)
            for (int x = 12; x < int(button.x) - 2; ++x)
                if (store.pixel(x, y) != background) {
                    where = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
                    return false;
                }
        return true;
    };
    const int counts[] = {2, 5, 9, 30};
    int posted = 0;
    for (int count : counts) {
        SCOPED_TRACE(std::to_string(count) + " paths");
        for (; posted < count; ++posted)
            postProgress(window, fileName(posted), (posted + 1) / 200.0);
        ASSERT_TRUE(pumpUntil([&] { return progress->listColumn()->children().count() == count / 2; }));
        ASSERT_TRUE(settle(progress));
        std::string where;
        EXPECT_TRUE(stripIsClear(where)) << "list pixels at " << where;
        // The newest line is in sight, and every line in sight is whole.
        const KqRectF area = progress->listArea()->sceneBoundingRect();
        for (int i = 0; i < count / 2; ++i) {
            SCOPED_TRACE("line " + std::to_string(i));
            const KqRectF line = listLine(progress, i)->sceneBoundingRect();
            const bool inSight = line.y + line.height > area.y + 0.5 && line.y < area.y + area.height - 0.5;
            EXPECT_TRUE(inSight || i < count / 2 - 1) << "the newest line is out of sight";
            if (inSight) {
                EXPECT_GE(line.y, area.y - 0.5) << "cut off at the top";
                EXPECT_LE(line.y + line.height, area.y + area.height + 0.5) << "cut off at the bottom";
            }
        }
    }
    PostMessageW(window, MSG_UNINSTALL_FINISH, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return progress->finishText()->isVisible(); }));
    ASSERT_TRUE(settle(progress));
    std::string where;
    EXPECT_TRUE(stripIsClear(where)) << "list pixels at " << where << " when finished";
    saveShot(progress, L"progress_list.png");
    progress->closeWindow();
    delete progress;
}

// The interactive start with the real controller and windows.
class UninstallWindowChainTest : public UninstallWindowTest {
protected:
    void SetUp() override
    {
        removeTree(m_root);
        makeInstallFiles(m_path);
        setVariable(L"TQ_FILTER_RECORD", m_root + L"filter.txt");
    }
    void TearDown() override
    {
        setVariable(L"TQ_FILTER_RECORD", L"");
        setVariable(L"TQ_HELPER_RECORD", L"");
        setVariable(L"GTEST_FILTER", L"");
        removeTree(m_root);
    }
    std::wstring m_root = kTestRoot + L"chain\\";
    std::wstring m_path = m_root + L"TqSorva\\";
};

TEST_F(UninstallWindowChainTest, CancelLeavesTheFilterRegisteredAndTheInstallInPlace)
{
    {
        SorvaUninstallControl control;
        control.uninstall(L"Uninstall.exe");
        ASSERT_EQ(kRunInteractive, control.runModel());
        control.core()->setPath(m_path);
        SorvaPromptWindow* prompt = control.ui()->promptFrame();
        ASSERT_NE(nullptr, prompt);
        HWND window = control.ui()->promptWindow();
        ASSERT_EQ(prompt->winId(), window);
        ASSERT_TRUE(settle(prompt));
        EXPECT_TRUE(IsWindowVisible(window));
        click(prompt, prompt->cancelButton());
        ASSERT_TRUE(pumpUntil([&] { return !IsWindow(window); }));
    }
    EXPECT_FALSE(exists(m_root + L"filter.txt")) << readFile(m_root + L"filter.txt");
    EXPECT_TRUE(exists(m_path + L"1.0.3.0\\TqVirtualCam.ax"));
    EXPECT_TRUE(exists(m_path + L"Launcher.xml"));
}

TEST_F(UninstallWindowChainTest, OkWhileTheProductRunsAsksForTheRetryAndTheRetryAfterItQuitRelocates)
{
    const std::wstring product = m_root + L"running\\TqSorva.exe";
    copyProgram(L"uninstall_test_helper.exe", product);
    setVariable(L"TQ_HELPER_RECORD", m_root + L"started.txt");
    PROCESS_INFORMATION running = startProgram(product, L"TqSorva.exe -wait");
    ASSERT_TRUE(pumpUntil([&] { return readFile(m_root + L"started.txt").find("cmdline=") != std::string::npos; }));
    setVariable(L"TQ_HELPER_RECORD", L"");
    // The relocated copy is this test program: it runs no test.
    setVariable(L"GTEST_FILTER", L"NoTestRunsInTheRelocatedCopy");
    {
        SorvaUninstallControl control;
        control.uninstall(L"Uninstall.exe");
        control.core()->setPath(m_path);
        SorvaPromptWindow* prompt = control.ui()->promptFrame();
        ASSERT_NE(nullptr, prompt);
        HWND window = prompt->winId();
        ASSERT_TRUE(settle(prompt));

        click(prompt, prompt->okButton());
        ASSERT_TRUE(pumpUntil([&] { return prompt->state() == SorvaPromptWindow::Retry && IsWindowVisible(window); }));
        EXPECT_EQ(L"\u91cd\u8bd5", buttonText(prompt->okButton()));
        EXPECT_FALSE(exists(m_root + L"filter.txt")) << "unregistered while the product runs";

        TerminateProcess(running.hProcess, 0);
        WaitForSingleObject(running.hProcess, 10000);
        click(prompt, prompt->okButton());
        ASSERT_TRUE(pumpUntil([&] { return !IsWindow(window); }, 60000));
        control.core()->checker()->join();
    }
    closeProcess(running);
    EXPECT_TRUE(waitForProcessesNamed(L"uninstall.exe", 60000));
    EXPECT_NE(std::string::npos, readFile(m_root + L"filter.txt").find("unregister "));
    const std::wstring log = readUninstallLog();
    EXPECT_NE(std::wstring::npos, log.find(L"para is -delete -path \"" + m_path.substr(0, m_path.size() - 1) + L"\""));
}
