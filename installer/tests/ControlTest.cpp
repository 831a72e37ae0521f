// The controller's answers to the workers' reports: posted messages for the
// windows (with their payloads) in the interactive model, exit codes in the
// silent one; and a controller closed before any extraction writes nothing.
#include "InstallerTestSupport.h"
#include "SetupConstants.h"
#include "SorvaSetupControl.h"
#include "SorvaSetupCore.h"
#include "SorvaSetupUI.h"

#include <gtest/gtest.h>

using namespace setup;

namespace {

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A message-only window standing in for a setup window: it keeps what it
// receives and frees the payloads the way the windows do.
class TestWindow {
public:
    TestWindow()
    {
        static ATOM atom = [] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"TqSetupTestWindow";
            return RegisterClassW(&wc);
        }();
        (void)atom;
        m_window = CreateWindowExW(0, L"TqSetupTestWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
    }
    ~TestWindow() { DestroyWindow(m_window); }
    HWND handle() const { return m_window; }

    std::vector<Posted> take()
    {
        std::vector<Posted> all;
        MSG msg;
        while (PeekMessageW(&msg, m_window, WM_USER, WM_APP - 1, PM_REMOVE))
            all.push_back({msg.message, msg.wParam, msg.lParam});
        return all;
    }

private:
    HWND m_window;
};

bool takeQuit(int& code)
{
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return false;
    code = static_cast<int>(msg.wParam);
    return true;
}

TEST(SetupControl, InteractiveReportsBecomeWindowMessages)
{
    SorvaSetupControl control(L"TqSorvaSetup.exe");
    ASSERT_EQ(control._analyzeInstallModel(), 0);
    control.setPath(L"C:\\Program Files\\TqSorva");
    TestWindow checkWindow, mainWindow;
    SorvaSetupUI::instance()->setCheckWindow(checkWindow.handle());
    SorvaSetupUI::instance()->setMainWindow(mainWindow.handle());

    control.onCheckResult(CR_Success);
    control.onCheckResult(CR_SetupExist);
    control.onCheckResult(CR_SetupVirtualCamUsing);
    control.onCheckResult(7);
    auto check = checkWindow.take();
    ASSERT_EQ(check.size(), 3u);
    EXPECT_EQ(check[0].message, MSG_SHOW_MAIN_UI);
    std::wstring* path = reinterpret_cast<std::wstring*>(check[0].wParam);
    EXPECT_EQ(*path, L"C:\\Program Files\\TqSorva");
    delete path;
    EXPECT_EQ(check[1].message, MSG_SETUP_EXIST);
    EXPECT_EQ(check[2].message, MSG_AX_USIMG);

    control.onTqRunning();
    control.onProgress(0.25, L"正在解压文件：a.txt");
    control.onDecompressFinish(DR_DownloadComponentFailed);
    control.onDecompressFinish(DR_DecompressInstallFailed);
    control.onDecompressFinish(42);
    auto main = mainWindow.take();
    ASSERT_EQ(main.size(), 4u);
    EXPECT_EQ(main[0].message, MSG_TQ_RUNNING);
    EXPECT_EQ(main[1].message, MSG_PROGRESS);
    double* fraction = reinterpret_cast<double*>(main[1].wParam);
    std::wstring* text = reinterpret_cast<std::wstring*>(main[1].lParam);
    EXPECT_DOUBLE_EQ(*fraction, 0.25);
    EXPECT_EQ(*text, L"正在解压文件：a.txt");
    delete fraction;
    delete text;
    EXPECT_EQ(main[2].message, MSG_QUIT_SETUP);
    EXPECT_EQ(main[2].wParam, static_cast<WPARAM>(DR_DownloadComponentFailed));
    EXPECT_EQ(main[3].wParam, static_cast<WPARAM>(DR_DecompressInstallFailed));
    int code = 0;
    EXPECT_FALSE(takeQuit(code));
}

TEST(SetupControl, ReportsWithoutAWindowPostNothingToTheCaller)
{
    SorvaSetupControl control(L"TqSorvaSetup.exe");
    control.setPath(L"C:\\x");
    // No windows yet: nothing may land in this thread's queue as a thread message.
    control.onProgress(0.5, L"text");
    control.onTqRunning();
    control.onCheckResult(CR_Success);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
}

TEST(SetupControl, SilentReportsBecomeExitCodes)
{
    struct Case { int check; int decompress; int exitCode; };
    const Case cases[] = {{CR_SetupExist, -1, kExitSetupExist}, {CR_SetupVirtualCamUsing, -1, kExitFilterInUse},
                          {-1, DR_DecompressInstallFailed, kExitExtractFailed},
                          {-1, DR_DecompressComponentFailed, kExitExtractFailed},
                          {-1, DR_DownloadComponentFailed, kExitExtractFailed}};
    for (const Case& c : cases) {
        SorvaSetupControl control(L"TqSorvaSetup.exe -silence \"C:\\Program Files\\Tq Target\"");
        ASSERT_EQ(control._analyzeInstallModel(), 1);
        EXPECT_TRUE(control.isSilent());
        EXPECT_EQ(control.path(), L"C:\\Program Files\\Tq Target");
        if (c.check >= 0)
            control.onCheckResult(c.check);
        else
            control.onDecompressFinish(c.decompress);
        int code = 0;
        ASSERT_TRUE(takeQuit(code));
        EXPECT_EQ(code, c.exitCode);
    }
}

TEST(SetupControl, SilenceAsTheLastWordInstallsIntoTheDefaultFolder)
{
    SorvaSetupControl control(L"TqSorvaSetup.exe -silence");
    ASSERT_EQ(control._analyzeInstallModel(), 1);
    const std::wstring suffix = L"\\brenlo\\tqsorva";
    ASSERT_GT(control.path().size(), suffix.size());
    EXPECT_EQ(control.path().substr(control.path().size() - suffix.size()), suffix);
    EXPECT_EQ(control.core().getPath(0), control.path() + L"\\");
}

TEST(SetupControl, SilentInstallIntoAnInvalidPathExitsWithMinusThree)
{
    for (const wchar_t* line : {L"x -silence C:\\a\\\\b", L"x -silence C:\\a*b", L"x -silence C:\\",
                                L"x -silence Q:\\nodrive"}) {
        SorvaSetupControl control(line);
        control.startSetup();
        int code = 0;
        ASSERT_TRUE(takeQuit(code)) << line;
        EXPECT_EQ(code, kExitInvalidPath) << line;
    }
}

TEST(SetupControl, SilentInstallIntoAFolderTooLongForThePayloadExitsWithMinusThree)
{
    TestFolder parent(L"long_paths");
    ASSERT_TRUE(writeFileBytes(parent / L"canary.txt", "canary"));
    auto folderOf = [&](size_t length) {
        std::wstring path = parent.path() + L"d";
        while (path.size() < length)
            path += path.size() % 100 == 0 ? L'\\' : L'd';
        return path;
    };
    for (size_t length : {240u, 317u, 600u}) {
        const std::wstring path = folderOf(length);
        SorvaSetupControl control(L"x -silence \"" + path + L"\"");
        control.startSetup();
        int code = 0;
        ASSERT_TRUE(takeQuit(code)) << length;
        EXPECT_EQ(code, kExitInvalidPath) << length;
        EXPECT_FALSE(fileExists(parent / L"d")) << length;
        EXPECT_FALSE(fileExists(parent / L"Check")) << length;
    }
    EXPECT_EQ(readFileBytes(parent / L"canary.txt"), "canary");
}

TEST(SetupCore, PathsFollowTheInstallFolder)
{
    RecordingListener listener;
    SorvaSetupCore core(&listener);
    core.setPath(L"D:\\Tools\\Tq");
    EXPECT_EQ(core.getPath(0), L"D:\\Tools\\Tq\\");
    EXPECT_EQ(core.getPath(1), L"D:\\Tools\\Tq\\1.0.3.0");
    EXPECT_EQ(core.getPath(2), L"D:\\Tools\\Tq\\Stable");
    EXPECT_EQ(core.getPath(4), L"D:\\Tools\\Tq\\1.0.3.0\\TqSorva.exe");
    EXPECT_EQ(core.getPath(5), L"D:\\Tools\\Tq\\TqSorva.exe");
    EXPECT_EQ(core.getPath(6), L"D:\\Tools\\Tq\\Uninstall.exe");
    EXPECT_EQ(core.getPath(7), L"D:\\Tools\\Tq\\1.0.3.0\\ReleaseNotes.txt");
    EXPECT_EQ(core.getPath(8), L"D:\\Tools\\Tq\\Check");
    EXPECT_EQ(core.getPath(9), L"");
    EXPECT_EQ(core.getPath(-1), L"");
}

TEST(SetupCore, CommandLinesAreBuiltWhole)
{
    const std::wstring longFolder = L"C:\\" + std::wstring(1200, L'd');
    std::wstring line = SorvaSetupCore::commandLine(longFolder + L"\\tallyo.exe", L"\"|1.0.3.0|1|i|\"");
    EXPECT_EQ(line, L"\"" + longFolder + L"\\tallyo.exe\" \"\"|1.0.3.0|1|i|\"\"");
    EXPECT_EQ(SorvaSetupCore::commandLine(L"C:\\a b\\x.exe", nullptr), L"\"C:\\a b\\x.exe\"");
}

TEST(SetupCore, ClosingBeforeAnExtractionWritesNoRegistryValues)
{
    const std::wstring uninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TqSorva";
    bool present = false;
    const std::wstring before = readInstallDirValue(present);
    HKEY key = nullptr;
    const bool uninstallBefore = RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (uninstallBefore)
        RegCloseKey(key);
    {
        SorvaSetupControl control(L"TqSorvaSetup.exe");
        control.setPath(L"C:\\Program Files\\TqSorva closing test");
    }
    bool presentAfter = false;
    EXPECT_EQ(readInstallDirValue(presentAfter), before);
    EXPECT_EQ(presentAfter, present);
    const bool uninstallAfter = RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (uninstallAfter)
        RegCloseKey(key);
    EXPECT_EQ(uninstallAfter, uninstallBefore);
}

} // namespace

namespace {

TEST(SetupControl, WithoutSetupWindowsTheInteractiveModelEndsAtOnce)
{
    SorvaSetupControl control(L"TqSorvaSetup.exe");
    control.startSetup();
    int code = -100;
    ASSERT_TRUE(takeQuit(code));
    EXPECT_EQ(code, 0);
}

} // namespace
