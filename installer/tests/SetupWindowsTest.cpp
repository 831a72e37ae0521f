// The installer's windows on the display, driven by posted messages and
// mouse clicks: the check window's states, the wizard's pages and prompts
// with their texts, the refused closes of the install page, the failure
// messages, the prompt box's flash and close button, and the machine id in
// setup.ini. Each page is saved as a PNG from the window's backing store.
#include "SetupText.h"
#include "SetupTextBlock.h"
#include "SetupWindows.h"
#include "SorvaCheckWindow.h"
#include "SorvaMainWindow.h"
#include "SorvaMessageBox.h"

#include "SetupConstants.h"
#include "SorvaSetupCommands.h"
#include "SorvaSetupUI.h"
#include "SystemUtils.h"

#include "KqApplication.h"
#include "KqBasicItems.h"
#include "KqEvent.h"
#include "KqWidgetEventHandler.h"
#include "KqGraphicsScene.h"
#include "KqGraphicsView.h"
#include "KqPainter.h"
#include "KqProgressBar.h"
#include "KqPushButton.h"
#include "KqWindow.h"
#include "KqWindowAdapter.h"
#include "testing/KqPumpUntil.h"

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

KqApplication* g_app;
struct AppEnvironment : testing::Environment {
    void SetUp() override { g_app = new KqApplication; }
    void TearDown() override { delete g_app; }
};
testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new AppEnvironment);

using kqtest::pumpUntil;

// Records what the windows ask of the controller.
struct StubCommands : SorvaSetupCommands {
    std::vector<std::wstring> calls;
    std::wstring path;
    void restartCheck(int32_t param) override { calls.push_back(L"restartCheck " + std::to_wstring(param)); }
    void setPath(const std::wstring& p) override
    {
        path = p;
        calls.push_back(L"setPath");
    }
    void forceQuit() override { calls.push_back(L"forceQuit"); }
    void startDecompress(bool async) override { calls.push_back(async ? L"startDecompress async" : L"startDecompress"); }
    void stopDecompress() override { calls.push_back(L"stopDecompress"); }
    void runTqRun() override { calls.push_back(L"runTqRun"); }
    void openFullInstaller() override { calls.push_back(L"openFullInstaller"); }
    bool called(const std::wstring& name) const
    {
        for (const std::wstring& c : calls)
            if (c == name)
                return true;
        return false;
    }
};

std::wstring textOf(KqGraphicsSimpleTextItem* item) { return wideText(item->text()); }
std::wstring textOf(SetupTextBlock* block) { return wideText(block->text()); }
std::wstring captionOf(KqPushButton* button) { return button->text() ? wideText(button->text()->text()) : L""; }

// Visible all the way up.
bool shown(KqGraphicsItem* item)
{
    for (; item; item = item->parentItem())
        if (!item->isVisible())
            return false;
    return true;
}

void clickAt(KqFrameWindow* frame, double sceneX, double sceneY)
{
    frame->graphicsScene()->processUpdates();
    const KqPointF origin = frame->view()->mapToScene(KqPointF(0, 0));
    const LPARAM at = MAKELPARAM(int(sceneX - origin.x), int(sceneY - origin.y));
    HWND window = frame->winId();
    PostMessageW(window, WM_MOUSEMOVE, 0, at);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
}

void click(KqFrameWindow* frame, KqGraphicsItem* item)
{
    frame->graphicsScene()->processUpdates();
    const KqRectF r = item->sceneBoundingRect();
    clickAt(frame, r.x + r.width / 2, r.y + r.height / 2);
}

// Waits until the posted input was handled.
void settle(KqFrameWindow* frame)
{
    HWND window = frame->winId();
    const UINT marker = WM_USER + 900;
    bool seen = false;
    PostMessageW(window, marker, 0, 0);
    MSG msg;
    pumpUntil([&] {
        if (PeekMessageW(&msg, window, marker, marker, PM_NOREMOVE))
            return false;
        seen = true;
        return true;
    });
    (void)seen;
}

std::string outputFolder()
{
    std::string folder = TQ_TEST_OUTPUT;
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// Saves the backing store after a full repaint; false when it failed.
bool savePage(KqFrameWindow* frame, const std::string& name)
{
    frame->graphicsScene()->processUpdates();
    UpdateWindow(frame->winId());
    KqPaintEngine& store = frame->view()->window()->adapter()->backingStore();
    const KqSize size = store.size();
    if (!store.bits() || size.width <= 0)
        return false;
    const int stride = size.width * 4;
    BYTE* top = reinterpret_cast<BYTE*>(const_cast<uint32_t*>(store.bits())) + size_t(size.height - 1) * size_t(stride);
    Gdiplus::Bitmap bitmap(size.width, size.height, -stride, PixelFormat32bppPARGB, top);
    static const CLSID pngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    const std::string path = outputFolder() + "/" + name + ".png";
    std::wstring wide(path.begin(), path.end());
    if (bitmap.Save(wide.c_str(), &pngEncoder, nullptr) != Gdiplus::Ok)
        return false;
    std::ifstream in(path, std::ios::binary);
    char signature[8] = {};
    in.read(signature, 8);
    return in && std::string(signature + 1, 3) == "PNG";
}

std::wstring validInstallPath()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(temp) + L"tqsorva_windows_test";
    return path;
}

std::wstring setupIniPath() { return getAppDataDir() + L"\\setup.ini"; }

std::string readSetupIni()
{
    std::ifstream in(setupIniPath().c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeSetupIniText(const std::string& text)
{
    std::ofstream out(setupIniPath().c_str(), std::ios::binary | std::ios::trunc);
    out << text;
}

// Keeps the prefix's setup.ini as it was before the test.
struct SetupIniGuard {
    std::string before = readSetupIni();
    ~SetupIniGuard() { writeSetupIniText(before); }
};

SorvaMainWindow* openMain(StubCommands& stub, const std::wstring& path)
{
    SorvaMainWindow* window = new SorvaMainWindow(path, &stub);
    window->showWindow(SW_SHOW);
    settle(window);
    return window;
}

void closeAndWait(KqFrameWindow* frame)
{
    KqWeakPointer alive(frame);
    HWND window = frame->winId();
    if (IsWindow(window))
        frame->close();
    pumpUntil([&] { return !IsWindow(window) && alive.get() == nullptr; });
}

} // namespace

TEST(SetupWindowsTest, CheckWindowReportsARunningInstallerAndOpensTheWizard)
{
    SetupIniGuard ini;
    StubCommands stub;
    installSetupWindows();
    SorvaSetupUI* ui = SorvaSetupUI::instance();
    ui->setControl(&stub);
    ASSERT_TRUE(ui->showCheckUI());
    HWND checkHandle = ui->checkWindow();
    ASSERT_TRUE(IsWindow(checkHandle));
    wchar_t title[64] = {};
    GetWindowTextW(checkHandle, title, 64);
    EXPECT_EQ(std::wstring(L"Tq Sorva安装"), title);

    SorvaCheckWindow* check = static_cast<SorvaCheckWindow*>(setupWindowFor(checkHandle));
    ASSERT_NE(nullptr, check);
    settle(check);
    EXPECT_EQ(L"正在检测安装环境，请稍等...", textOf(check->messageText()));
    EXPECT_EQ(L"取消", captionOf(check->firstButton()));
    EXPECT_FALSE(shown(check->retryButton()));
    EXPECT_FALSE(shown(check->helpButton()));
    EXPECT_TRUE(savePage(check, "check_window"));

    ui->onShowSetupExist();
    ASSERT_TRUE(pumpUntil([&] { return textOf(check->messageText()) == L"TqNelu安装程序已经在运行。"; }));
    EXPECT_EQ(L"确定", captionOf(check->firstButton()));
    EXPECT_TRUE(savePage(check, "check_window_setup_exists"));

    // No program holds the filter: the check runs again instead of an empty list.
    ui->onShowAxUsing();
    ASSERT_TRUE(pumpUntil([&] { return stub.called(L"restartCheck 1"); }));
    EXPECT_FALSE(shown(check->listText()));

    // The check passed: the wizard opens with the path, the check window closes.
    const std::wstring path = validInstallPath();
    ui->onPrepareShowMainUI(path);
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(checkHandle) && ui->mainWindow() != nullptr; }));
    SorvaMainWindow* wizard = static_cast<SorvaMainWindow*>(setupWindowFor(ui->mainWindow()));
    ASSERT_NE(nullptr, wizard);
    EXPECT_EQ(path, wizard->installPath());
    EXPECT_EQ(SorvaMainWindow::OptionsPage, wizard->page());
    EXPECT_TRUE(IsWindowVisible(ui->mainWindow()));
    closeAndWait(wizard);
    SorvaSetupUI::release();
}

TEST(SetupWindowsTest, CheckWindowRetryButtonAsksForANewCheckAndCancelCloses)
{
    SetupIniGuard ini;
    StubCommands stub;
    SorvaCheckWindow* check = new SorvaCheckWindow(nullptr, &stub);
    check->showWindow(SW_SHOW);
    settle(check);
    // As after a listing: the retry and help buttons show.
    check->retryButton()->setVisible(true);
    click(check, check->retryButton());
    ASSERT_TRUE(pumpUntil([&] { return stub.called(L"restartCheck 1"); }));
    HWND handle = check->winId();
    click(check, check->firstButton());
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(handle); }));
}

TEST(SetupWindowsTest, OptionsPageShowsItsTextsAndNextFollowsTheLicenceBox)
{
    SetupIniGuard ini;
    StubCommands stub;
    SorvaMainWindow* wizard = openMain(stub, validInstallPath());
    const wchar_t* steps[3] = {L"选项", L"安装", L"完成"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(steps[i], textOf(wizard->stepLabel(i)));
    EXPECT_EQ(L"我已阅读并同意TqNelu的最终用户协议", captionOf(wizard->agreeBox()));
    EXPECT_EQ(L"安装视频解码器", captionOf(wizard->decoderBox()));
    EXPECT_TRUE(wizard->agreeBox()->isChecked());
    EXPECT_TRUE(wizard->decoderBox()->isChecked());
    const std::wstring licence = textOf(wizard->licenceText());
    EXPECT_EQ(0u, licence.find(L"使用协议\n--------------------------------------------------------\n"));
    EXPECT_NE(std::wstring::npos, licence.find(L"TqNelu")); // the built-in licence text follows
    EXPECT_TRUE(shown(wizard->pageItem(SorvaMainWindow::OptionsPage)));
    EXPECT_FALSE(shown(wizard->pageItem(SorvaMainWindow::InstallPage)));
    EXPECT_FALSE(shown(wizard->pageItem(SorvaMainWindow::FinishPage)));
    EXPECT_TRUE(wizard->nextButton()->isEnabled());
    EXPECT_TRUE(savePage(wizard, "main_options"));

    click(wizard, wizard->agreeBox());
    ASSERT_TRUE(pumpUntil([&] { return !wizard->agreeBox()->isChecked(); }));
    EXPECT_FALSE(wizard->nextButton()->isEnabled());
    click(wizard, wizard->nextButton());
    settle(wizard);
    EXPECT_EQ(SorvaMainWindow::OptionsPage, wizard->page());
    EXPECT_FALSE(stub.called(L"startDecompress async"));

    // The decoder box changes nothing.
    click(wizard, wizard->decoderBox());
    ASSERT_TRUE(pumpUntil([&] { return !wizard->decoderBox()->isChecked(); }));
    EXPECT_FALSE(wizard->nextButton()->isEnabled());

    click(wizard, wizard->agreeBox());
    ASSERT_TRUE(pumpUntil([&] { return wizard->agreeBox()->isChecked(); }));
    EXPECT_TRUE(wizard->nextButton()->isEnabled());
    closeAndWait(wizard);
}

TEST(SetupWindowsTest, AnInvalidPathShowsItsPromptAndKeepsTheOptionsPage)
{
    SetupIniGuard ini;
    // The last: a folder too long for the files the install puts below it.
    const std::wstring tooLong = L"C:\\" + std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e');
    const wchar_t* paths[] = {L"C:\\a*b", L"C:\\a\\\\b", L"Q:\\nowhere", tooLong.c_str()};
    for (const wchar_t* path : paths) {
        SCOPED_TRACE(testing::Message() << std::string(path, path + wcslen(path)));
        StubCommands stub;
        SorvaMainWindow* wizard = openMain(stub, path);
        click(wizard, wizard->nextButton());
        ASSERT_TRUE(pumpUntil([&] { return wizard->prompt() && wizard->prompt()->isVisible(); }));
        SorvaMessageBox* box = wizard->prompt();
        EXPECT_EQ(L"安装路径非法", wideText(box->text()));
        EXPECT_EQ(L"确定", captionOf(box->button(1)));
        EXPECT_FALSE(box->button(0)->isVisible());
        EXPECT_FALSE(box->button(2)->isEnabled());
        if (path == paths[0]) {
            EXPECT_TRUE(savePage(wizard, "prompt_invalid_path"));
        }
        click(wizard, box->button(1));
        ASSERT_TRUE(pumpUntil([&] { return wizard->prompt() == nullptr; }));
        EXPECT_EQ(SorvaMainWindow::OptionsPage, wizard->page());
        EXPECT_TRUE(stub.calls.empty());
        closeAndWait(wizard);
    }
}

TEST(SetupWindowsTest, InstallPageRefusesClosingShowsProgressAndTheRunningPrompt)
{
    SetupIniGuard ini;
    StubCommands stub;
    const std::wstring path = L"  " + validInstallPath() + L"  ";
    SorvaMainWindow* wizard = openMain(stub, path);
    HWND handle = wizard->winId();
    click(wizard, wizard->nextButton());
    ASSERT_TRUE(pumpUntil([&] { return wizard->page() == SorvaMainWindow::InstallPage; }));
    EXPECT_EQ((std::vector<std::wstring>{L"setPath", L"startDecompress async"}), stub.calls);
    EXPECT_EQ(validInstallPath(), stub.path); // blanks trimmed
    EXPECT_FALSE(wizard->nextButton()->isVisible());
    EXPECT_FALSE(wizard->closeButton()->isEnabled());
    EXPECT_TRUE(GetMenuState(GetSystemMenu(handle, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(shown(wizard->pageItem(SorvaMainWindow::InstallPage)));
    EXPECT_FALSE(shown(wizard->pageItem(SorvaMainWindow::OptionsPage)));

    // Alt+F4, the system close command and the greyed close button do nothing.
    PostMessageW(handle, WM_SYSKEYDOWN, VK_F4, 0x20000000);
    PostMessageW(handle, WM_SYSKEYUP, VK_F4, 0xE0000000);
    PostMessageW(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
    click(wizard, wizard->closeButton());
    settle(wizard);
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_EQ(nullptr, wizard->prompt());
    EXPECT_EQ(SorvaMainWindow::InstallPage, wizard->page());

    // Progress: the text and the clamped fraction; the payloads are the window's.
    PostMessageW(handle, setup::MSG_PROGRESS, reinterpret_cast<WPARAM>(new double(0.25)),
                 reinterpret_cast<LPARAM>(new std::wstring(L"正在解压 lumeo.dll")));
    ASSERT_TRUE(pumpUntil([&] { return textOf(wizard->progressText()) == L"正在解压 lumeo.dll"; }));
    EXPECT_DOUBLE_EQ(0.25, wizard->progressBar()->value());
    EXPECT_TRUE(savePage(wizard, "main_install"));
    PostMessageW(handle, setup::MSG_PROGRESS, reinterpret_cast<WPARAM>(new double(7.5)),
                 reinterpret_cast<LPARAM>(new std::wstring(L"x")));
    ASSERT_TRUE(pumpUntil([&] { return textOf(wizard->progressText()) == L"x"; }));
    EXPECT_DOUBLE_EQ(wizard->progressBar()->maximum(), wizard->progressBar()->value());

    // The product runs: "继续" lets the extraction close it.
    PostMessageW(handle, setup::MSG_TQ_RUNNING, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return wizard->prompt() && wizard->prompt()->isVisible(); }));
    SorvaMessageBox* box = wizard->prompt();
    EXPECT_EQ(L"检测到TqNelu正在运行，[继续]将关闭TqNelu，\n[取消]退出安装。", wideText(box->text()));
    EXPECT_EQ(L"继续", captionOf(box->button(0)));
    EXPECT_EQ(L"取消", captionOf(box->button(1)));
    EXPECT_TRUE(box->button(0)->isVisible());
    EXPECT_FALSE(box->button(2)->isEnabled());
    EXPECT_TRUE(savePage(wizard, "prompt_product_running"));
    click(wizard, box->button(0));
    ASSERT_TRUE(pumpUntil([&] { return stub.called(L"forceQuit"); }));
    EXPECT_TRUE(IsWindow(handle));

    // Finished: the finish page, then "完成" runs the product and ends.
    PostMessageW(handle, setup::MSG_DECOMPRESS_FINISH, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return wizard->page() == SorvaMainWindow::FinishPage; }));
    EXPECT_TRUE(wizard->nextButton()->isVisible());
    EXPECT_TRUE(wizard->closeButton()->isEnabled());
    EXPECT_EQ(L"立即运行TqNelu", captionOf(wizard->runNowBox()));
    EXPECT_TRUE(wizard->runNowBox()->isChecked());
    EXPECT_TRUE(shown(wizard->pageItem(SorvaMainWindow::FinishPage)));
    EXPECT_TRUE(savePage(wizard, "main_finish"));
    // The system close command is ignored here too.
    PostMessageW(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
    settle(wizard);
    EXPECT_EQ(nullptr, wizard->prompt());
    click(wizard, wizard->nextButton());
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(handle); }));
    EXPECT_TRUE(stub.called(L"runTqRun"));
}

TEST(SetupWindowsTest, RunningPromptCancelStopsTheExtractionAndEnds)
{
    SetupIniGuard ini;
    StubCommands stub;
    SorvaMainWindow* wizard = openMain(stub, validInstallPath());
    HWND handle = wizard->winId();
    click(wizard, wizard->nextButton());
    ASSERT_TRUE(pumpUntil([&] { return wizard->page() == SorvaMainWindow::InstallPage; }));
    PostMessageW(handle, setup::MSG_TQ_RUNNING, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return wizard->prompt() && wizard->prompt()->isVisible(); }));
    click(wizard, wizard->prompt()->button(1));
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(handle); }));
    EXPECT_TRUE(stub.called(L"stopDecompress"));
    EXPECT_FALSE(stub.called(L"forceQuit"));
}

TEST(SetupWindowsTest, FailuresShowTheirMessageAndAComponentFailureOpensTheFullInstaller)
{
    struct Case {
        int code;
        const wchar_t* text;
        bool full;
    } cases[] = {
        {setup::DR_DecompressInstallFailed, L"解压文件失败，请检查安装目录是否有写入权限。", false},
        {setup::DR_DecompressComponentFailed, L"解压文件失败，请检查安装目录是否有写入权限。", false},
        {setup::DR_DownloadComponentFailed, L"组件下载失败，请手动下载完整版安装程序。", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        SetupIniGuard ini;
        writeSetupIniText("macId=KEEP\r\n");
        StubCommands stub;
        SorvaMainWindow* wizard = openMain(stub, validInstallPath());
        HWND handle = wizard->winId();
        click(wizard, wizard->nextButton());
        ASSERT_TRUE(pumpUntil([&] { return wizard->page() == SorvaMainWindow::InstallPage; }));
        PostMessageW(handle, setup::MSG_QUIT_SETUP, c.code, 0);
        ASSERT_TRUE(pumpUntil([&] { return wizard->prompt() && wizard->prompt()->isVisible(); }));
        SorvaMessageBox* box = wizard->prompt();
        EXPECT_EQ(c.text, wideText(box->text()));
        EXPECT_EQ(L"确定", captionOf(box->button(0)));
        EXPECT_FALSE(box->button(1)->isVisible());
        EXPECT_FALSE(box->button(2)->isEnabled());
        EXPECT_EQ(c.full, wizard->componentFailed());
        if (c.full) {
            EXPECT_TRUE(savePage(wizard, "message_component_failed"));
        }
        click(wizard, box->button(0));
        ASSERT_TRUE(pumpUntil([&] { return !IsWindow(handle); }));
        EXPECT_EQ(c.full, stub.called(L"openFullInstaller"));
        EXPECT_NE(std::string::npos, readSetupIni().find("IfInstalled=1\r\n"));
    }
    // Other codes show nothing.
    SetupIniGuard ini;
    StubCommands stub;
    SorvaMainWindow* wizard = openMain(stub, validInstallPath());
    PostMessageW(wizard->winId(), setup::MSG_QUIT_SETUP, 9, 0);
    settle(wizard);
    EXPECT_EQ(nullptr, wizard->prompt());
    closeAndWait(wizard);
}

TEST(SetupWindowsTest, QuitQuestionAnswersAndTheBoxCloseButtonIsButtonTwo)
{
    SetupIniGuard ini;
    StubCommands stub;
    SorvaMainWindow* wizard = openMain(stub, validInstallPath());
    HWND handle = wizard->winId();
    // The system close command asks on the options page.
    PostMessageW(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(pumpUntil([&] { return wizard->prompt() && wizard->prompt()->isVisible(); }));
    SorvaMessageBox* box = wizard->prompt();
    EXPECT_EQ(L"确定要退出安装吗？", wideText(box->text()));
    EXPECT_EQ(L"确定", captionOf(box->button(0)));
    EXPECT_EQ(L"取消", captionOf(box->button(1)));
    EXPECT_TRUE(box->button(2)->isEnabled());
    EXPECT_TRUE(savePage(wizard, "message_quit_question"));

    int result = -1;
    struct Listener : KqTrackable {
        int* result;
        void answered(KqGraphicsItem*, KqEvent* event) { *result = static_cast<KqMessageBoxEvent*>(event)->result; }
    } listener;
    listener.result = &result;
    box->eventSignalDispatch()->connect(KqMessageBoxEvent::classInfo(), &listener, &Listener::answered);
    click(wizard, box->button(2));
    ASSERT_TRUE(pumpUntil([&] { return wizard->prompt() == nullptr; })); // deleted later
    EXPECT_EQ(2, result);
    EXPECT_TRUE(IsWindow(handle));

    // "取消" keeps the wizard too; the close button asks again; "确定" ends.
    click(wizard, wizard->closeButton());
    ASSERT_TRUE(pumpUntil([&] { return wizard->prompt() && wizard->prompt()->isVisible(); }));
    click(wizard, wizard->prompt()->button(1));
    ASSERT_TRUE(pumpUntil([&] { return wizard->prompt() == nullptr; }));
    EXPECT_TRUE(IsWindow(handle));
    click(wizard, wizard->closeButton());
    ASSERT_TRUE(pumpUntil([&] { return wizard->prompt() && wizard->prompt()->isVisible(); }));
    click(wizard, wizard->prompt()->button(0));
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(handle); }));
    EXPECT_TRUE(stub.calls.empty());
}

TEST(SetupWindowsTest, TwoQuickOutsideClicksGiveOneFlashEndingVisible)
{
    SetupIniGuard ini;
    StubCommands stub;
    SorvaMainWindow* wizard = openMain(stub, validInstallPath());
    wizard->_showMessage(0, KqString(u"确定要退出安装吗？"));
    SorvaMessageBox* box = wizard->prompt();
    ASSERT_NE(nullptr, box);
    settle(wizard);
    EXPECT_TRUE(box->border()->isVisible());
    EXPECT_EQ(0, box->flashValue());
    EXPECT_EQ(0, box->property(KqString(u"flash")).toInt());

    // Both clicks land before the first tick of the animation; the second
    // one is on the licence box, which the prompt covers.
    clickAt(wizard, 8, 8);
    click(wizard, wizard->agreeBox());
    settle(wizard);
    EXPECT_EQ(1, box->animationCount());
    EXPECT_TRUE(wizard->agreeBox()->isChecked());
    // A click inside the dialog starts nothing.
    const KqRectF dialog = box->dialog()->sceneBoundingRect();
    clickAt(wizard, dialog.x + 40, dialog.y + 60);
    settle(wizard);
    EXPECT_LE(box->animationCount(), 1);

    bool sawHidden = false;
    ASSERT_TRUE(pumpUntil([&] {
        sawHidden = sawHidden || !box->border()->isVisible();
        return box->animationCount() == 0;
    }));
    EXPECT_TRUE(sawHidden);
    EXPECT_EQ(30, box->flashValue());
    EXPECT_TRUE(box->border()->isVisible());
    EXPECT_TRUE(box->isVisible());
    closeAndWait(wizard);
}

TEST(SetupWindowsTest, FlashPropertyShowsTheBorderOnEvenValues)
{
    SetupIniGuard ini;
    StubCommands stub;
    SorvaMainWindow* wizard = openMain(stub, validInstallPath());
    SorvaMessageBox* box = new SorvaMessageBox(wizard);
    for (int value : {1, 2, 7, 30, 0}) {
        EXPECT_TRUE(box->setProperty(KqString(u"flash"), KqVariant(int32_t(value))));
        EXPECT_EQ(value, box->property(KqString(u"flash")).toInt());
        EXPECT_EQ(value % 2 == 0, box->border()->isVisible()) << value;
    }
    // Other names are the item's own dynamic properties.
    box->setProperty(KqString(u"other"), KqVariant(int32_t(5)));
    EXPECT_EQ(5, box->property(KqString(u"other")).toInt());
    EXPECT_EQ(nullptr, box->button(3));
    EXPECT_EQ(nullptr, box->button(-1));
    box->setButtonText(3, KqString(u"x")); // ignored
    EXPECT_EQ(L"OK", captionOf(box->button(0)));
    EXPECT_EQ(L"Cancle", captionOf(box->button(1)));
    EXPECT_EQ(KqString(u"closed"), box->button(2)->objectName());
    closeAndWait(wizard);
}

TEST(SetupWindowsTest, MachineIdIsWrittenOnlyWhenMissing)
{
    SetupIniGuard ini;
    StubCommands stub;
    writeSetupIniText("macId=KEEP\r\nRaVerePluginInstalled=0\r\n");
    SorvaMainWindow* first = openMain(stub, validInstallPath());
    EXPECT_EQ("macId=KEEP\r\nRaVerePluginInstalled=1\r\n", readSetupIni());
    closeAndWait(first);

    writeSetupIniText("IfInstalled=0\r\n");
    const std::string adapter = getMacId();
    SorvaMainWindow* second = openMain(stub, validInstallPath());
    const std::string written = readMacIdFromSetupIni();
    ASSERT_GT(written.size(), adapter.size());
    EXPECT_EQ(adapter, written.substr(0, adapter.size()));
    EXPECT_EQ(std::string::npos, written.find_first_not_of("0123456789", adapter.size()));
    EXPECT_NE(std::string::npos, readSetupIni().find("RaVerePluginInstalled=1\r\n"));
    closeAndWait(second);
}

namespace {
struct FoundWindow {
    DWORD pid;
    HWND window;
};

BOOL CALLBACK findSetupWindow(HWND window, LPARAM param)
{
    FoundWindow* found = reinterpret_cast<FoundWindow*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t className[64] = {}, title[64] = {};
    GetClassNameW(window, className, 64);
    GetWindowTextW(window, title, 64);
    if (pid == found->pid && IsWindowVisible(window) && std::wstring(className) == L"DUI_HOST_WINDOW" &&
        std::wstring(title) == L"Tq Sorva安装") {
        RECT r;
        GetWindowRect(window, &r);
        // The wizard is the larger of the two windows.
        if (r.right - r.left == SorvaMainWindow::kWidth) {
            found->window = window;
            return FALSE;
        }
    }
    return TRUE;
}
} // namespace

TEST(SetupWindowsTest, AnInteractiveStartShowsTheWizardAndItsQuitQuestionEndsWithZero)
{
    SetupIniGuard ini;
    // Held by us: the installer's start-up pause ends at once.
    HANDLE startEvent = CreateEventW(nullptr, TRUE, TRUE, setup::kStartEventName);
    ASSERT_NE(nullptr, startEvent);
    std::wstring line = L"\"" + std::wstring(TQ_SETUP_EXE) + L"\"";
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    FoundWindow found = {pi.dwProcessId, nullptr};
    const bool shownWizard = pumpUntil([&] {
        EnumWindows(findSetupWindow, reinterpret_cast<LPARAM>(&found));
        return found.window != nullptr;
    }, 60000);
    if (shownWizard) {
        // The quit question, then its first button ("确定", in the middle of the
        // box's bottom bar, left of the second).
        PostMessageW(found.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        const int dialogX = (SorvaMainWindow::kWidth - 10 - SorvaMessageBox::kDialogWidth) / 2;
        const int dialogY = (SorvaMainWindow::kHeight - 10 - SorvaMessageBox::kDialogHeight) / 2;
        const int right = dialogX + SorvaMessageBox::kDialogWidth - 13 - 70 - 8;
        const LPARAM at = MAKELPARAM(5 + right - 35, 5 + dialogY + SorvaMessageBox::kDialogHeight - 22);
        DWORD waited = WAIT_TIMEOUT;
        pumpUntil([&] {
            PostMessageW(found.window, WM_MOUSEMOVE, 0, at);
            PostMessageW(found.window, WM_LBUTTONDOWN, MK_LBUTTON, at);
            PostMessageW(found.window, WM_LBUTTONUP, 0, at);
            waited = WaitForSingleObject(pi.hProcess, 500);
            return waited == WAIT_OBJECT_0;
        }, 60000);
    }
    DWORD code = 1234;
    if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, 10000);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(startEvent);
    ASSERT_TRUE(shownWizard);
    EXPECT_EQ(0u, code);
    EXPECT_NE(std::string::npos, readSetupIni().find("IfInstalled=1\r\n"));
}
