// Uninstall.exe as the user and the system start it: the silent chain from
// the install folder through the relocated copy, hostile command lines, and
// a copy started inside the folder it deletes.
#include "LoopbackHttpServer.h"  // Winsock before windows.h

#include "UninstallTestSupport.h"

#include <gtest/gtest.h>

using namespace uninstalltest;

namespace {

const std::wstring kInstall = L"C:\\Program Files\\TqSorva\\";

// Runs a program and waits for it (bounded); its exit code, or -1.
int runAndWait(const std::wstring& program, const std::wstring& commandLine, DWORD boundMs = 60000)
{
    PROCESS_INFORMATION process = startProgram(program, commandLine);
    if (!process.hProcess)
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, boundMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    closeProcess(process);
    return static_cast<int>(code);
}

// The confirmation window of process id, or null.
HWND promptOf(DWORD id)
{
    for (HWND window = FindWindowW(L"DUI_HOST_WINDOW", nullptr); window;
         window = FindWindowExW(nullptr, window, L"DUI_HOST_WINDOW", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t title[64] = {};
        GetWindowTextW(window, title, 64);
        if (owner == id && std::wstring(title) == L"TqSorva \u5378\u8f7d" && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

// As runAndWait; a program that falls back to asking the user gets its
// question cancelled (prompted is set).
int runCancellingPrompt(const std::wstring& program, const std::wstring& commandLine, bool& prompted)
{
    prompted = false;
    PROCESS_INFORMATION process = startProgram(program, commandLine);
    if (!process.hProcess)
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    for (int i = 0; i < 6000; ++i) {
        if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.hProcess, &code);
            break;
        }
        if (HWND prompt = prompted ? nullptr : promptOf(process.dwProcessId)) {
            prompted = true;
            // Cancel: 74 x 32, 80 px from the right and 20 px from the bottom
            // of the content, which lies 5 px inside the 330 x 190 window.
            const LPARAM cancel = MAKELPARAM(5 + 320 - 80 - 37, 5 + 180 - 20 - 16);
            PostMessageW(prompt, WM_LBUTTONDOWN, MK_LBUTTON, cancel);
            PostMessageW(prompt, WM_LBUTTONUP, 0, cancel);
        }
    }
    closeProcess(process);
    return static_cast<int>(code);
}

void setVariable(const wchar_t* name, const std::wstring& value)
{
    SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

std::wstring pendingRenames()
{
    wchar_t data[32768] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager",
                     L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::wstring();
    std::wstring text(data, size / sizeof(wchar_t));
    for (wchar_t& c : text)
        if (c == 0)
            c = L'|';
    return text;
}

// The registry values of the install fixture, as one comparable text.
std::wstring registryState()
{
    std::wstring state;
    const struct {
        HKEY root;
        const wchar_t* key;
        const wchar_t* value;
    } values[] = {
        {HKEY_CURRENT_USER, L"Software\\brenlo\\tqsorva", L"InstallDir"},
        {HKEY_CURRENT_USER, L"Software\\brenlo\\com.tq.tqsorva", L"InstallDir"},
        {HKEY_LOCAL_MACHINE, kUninstallEntry, L"UninstallString"},
        {HKEY_LOCAL_MACHINE, kUninstallEntry, L"DisplayName"},
        {HKEY_CURRENT_USER, kRunKey, L"TqSorva"},
    };
    for (const auto& v : values)
        state += valueExists(v.root, v.key, v.value) ? L"1" : L"0";
    return state;
}

}  // namespace

TEST(UninstallChain, SilentUninstallRemovesTheInstallAndLeavesTheUsersFiles)
{
    // The fixture made "C:\Program Files\TqSorva\link" -> the canary beside it.
    const std::wstring canary = L"C:\\Program Files\\TqSorva_canary";
    ASSERT_TRUE(exists(canary + L"\\keep.txt")) << "fixture missing";
    const auto canaryBefore = snapshotTree(canary);
    makeInstallFiles(kInstall);
    writeInstallRegistry(kInstall);
    ASSERT_TRUE(writeInstallLinks(kInstall, dataFolder()));
    writeFile(dataFolder() + L"\\setup.ini", "[setup]\r\nmacId=00AABBCCDDEEFF\r\n");
    writeFile(dataFolder() + L"\\aurae\\music\\song.mp3", "ID3");
    writeFile(dataFolder() + L"\\setup\\setupV2.log", "\xFF\xFE");

    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([](const LoopbackRequest&, size_t) { return LoopbackResponse::ok("ok"); }));
    setVariable(L"TQ_SERVICE_URL", server.url(""));
    const std::wstring records = L"C:\\tq_chain_records\\";
    removeTree(records);
    CreateDirectoryW(records.c_str(), nullptr);
    setVariable(L"TQ_HELPER_RECORD", records + L"tallyo.txt");
    setVariable(L"TQ_FILTER_RECORD", records + L"filter.txt");

    ASSERT_EQ(0, runAndWait(kInstall + L"Uninstall.exe", L"\"" + kInstall + L"Uninstall.exe\" -silence"));
    // The first uninstaller started its copy before it ended: wait for the copy.
    ASSERT_TRUE(waitForProcessesNamed(L"uninstall.exe", 120000));

    // Both starts reported the uninstall.
    ASSERT_TRUE(server.waitForRequests(2, 30000));
    std::vector<LoopbackRequest> requests = server.requests();
    ASSERT_EQ(2u, requests.size());
    for (const LoopbackRequest& request : requests)
        EXPECT_EQ("/TqSorvaInstall.php?mac=00AABBCCDDEEFF&version=1.0.3.0&installed=0", request.target);
    server.stop();

    std::wstring log = readUninstallLog();
    EXPECT_NE(std::wstring::npos, log.find(L"] \r\n\r\nUninstall start, command line is \"" + kInstall
                                           + L"Uninstall.exe\" -silence\r\n"));
    EXPECT_NE(std::wstring::npos, log.find(L"SorvaUninstallControl::uninstall, run model is 1."));
    // The copy gets only its parameters: the folder without its final backslash, quoted.
    EXPECT_NE(std::wstring::npos,
              log.find(L"] \r\n\r\nUninstall start, command line is -silencedelete -path \"C:\\Program Files\\TqSorva\"\r\n"))
        << toUtf8(log);
    EXPECT_NE(std::wstring::npos, log.find(L"SorvaUninstallControl::uninstall, run model is 3."));
    EXPECT_NE(std::wstring::npos, log.find(L"End delete files."));

    EXPECT_NE(std::wstring::npos, fromUtf8(readFile(records + L"tallyo.txt")).find(L"cmdline=\"|1.0.3.0|7|u|\"\r\n"));
    EXPECT_TRUE(sameTextOf(fromUtf8(readFile(records + L"filter.txt")),
                           L"unregister " + kInstall + L"1.0.3.0\\TqVirtualCam.ax\r\n"));

    // The install is gone (Wine keeps a Unix link it cannot remove, and with
    // it the folder); what the link showed is untouched.
    std::map<std::wstring, std::string> left = snapshotTree(kInstall.substr(0, kInstall.size() - 1));
    for (const auto& entry : left)
        EXPECT_EQ(0, entry.first.compare(0, 5, L"link\\")) << toUtf8(entry.first);
    EXPECT_EQ(canaryBefore, snapshotTree(canary));

    // Nothing points at the deleted files any more.
    EXPECT_EQ(L"00000", registryState());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, L"Software\\brenlo"));
    for (const std::wstring& link : installLinkPaths())
        EXPECT_FALSE(exists(link)) << toUtf8(link);

    // The user's files stay; the setup folder holds the log and the copy,
    // which the system removes at its next start.
    EXPECT_TRUE(exists(dataFolder() + L"\\setup.ini"));
    EXPECT_TRUE(exists(dataFolder() + L"\\aurae\\music\\song.mp3"));
    std::map<std::wstring, std::string> setup = snapshotTree(dataFolder() + L"\\setup");
    std::wstring copyFolder;
    for (const auto& entry : setup) {
        if (entry.first == L"unistV2.log")
            continue;
        if (entry.first.size() == 39 && entry.first[0] == L'{')
            copyFolder = entry.first;
        else
            EXPECT_EQ(copyFolder + L"uninstall.exe", entry.first);
    }
    ASSERT_FALSE(copyFolder.empty());
    const std::wstring copy = dataFolder() + L"\\setup\\" + copyFolder + L"uninstall.exe";
    std::wstring pending = pendingRenames();
    EXPECT_NE(std::wstring::npos, pending.find(copy + L"|")) << toUtf8(pending);
    EXPECT_NE(std::wstring::npos, pending.find(copy.substr(0, copy.size() - 14) + L"|")) << toUtf8(pending);
    removeTree(records);
}

TEST(UninstallChain, HostileCommandLinesDeleteAndChangeNothing)
{
    const std::wstring profile = specialFolder(CSIDL_PROFILE);
    const std::wstring windows = windowsFolder();
    const std::wstring documents = specialFolder(CSIDL_PERSONAL);
    const std::wstring downloads = profile + L"\\Downloads";
    const std::wstring appData = profile + L"\\AppData";
    const std::vector<std::wstring> canaries = {L"C:\\tq_canary",          windows + L"\\tq_canary",
                                                profile + L"\\tq_canary",   L"C:\\Program Files\\tq_canary",
                                                documents + L"\\tq_canary", downloads + L"\\tq_canary",
                                                appData + L"\\tq_canary"};
    for (const std::wstring& canary : canaries)
        makeCanary(canary);
    // Ours in all but Launcher.xml.
    const std::wstring notOurs = L"C:\\tq_nolauncher\\";
    makeInstallFiles(notOurs);
    DeleteFileW((notOurs + L"Launcher.xml").c_str());
    // Ours in all but place: the profile holds a launcher list and the uninstaller.
    // So do the user's folders.
    const std::vector<std::wstring> lookalikes = {profile, documents, downloads, appData};
    for (const std::wstring& folder : lookalikes) {
        writeFile(folder + L"\\Launcher.xml", kLauncherXml);
        writeFile(folder + L"\\Uninstall.exe", "MZ");
    }
    writeInstallRegistry(L"C:\\Program Files\\TqSorva\\");
    ASSERT_TRUE(writeInstallLinks(L"C:\\Program Files\\TqSorva\\", dataFolder()));

    std::vector<std::map<std::wstring, std::string>> before;
    for (const std::wstring& canary : canaries)
        before.push_back(snapshotTree(canary));
    const auto notOursBefore = snapshotTree(notOurs);
    const std::wstring registryBefore = registryState();

    wchar_t shortName[MAX_PATH] = {};
    GetShortPathNameW(L"C:\\Program Files", shortName, MAX_PATH);
    const std::wstring program = programFolder() + L"Uninstall.exe";
    const std::vector<std::wstring> lines = {
        L"-silencedelete -path C:\\",
        L"-silencedelete -path \"" + windows + L"\"",
        L"-delete -path \"" + windows + L"\"",
        L"-silencedelete -path \"" + profile + L"\"",
        L"-silencedelete -path C:\\x\\..\\" + windows.substr(3),
        L"-silencedelete -path " + std::wstring(shortName),
        L"-silencedelete -path C:\\tq_nolauncher",
        L"-silencedelete -path \"\\\\.\\" + documents + L"\"",
        L"-silencedelete -path \"\\\\?\\" + documents + L"\"",
        L"-silencedelete -path \"\\??\\" + documents + L"\"",
        L"-silencedelete -path \"" + documents + L". \"",
        L"-delete -path \"\\\\.\\" + documents + L"\"",
        L"-silencedelete -path \"" + downloads + L"\"",
        L"-silencedelete -path \"" + appData + L"\"",
        L"-silencedelete -path \"" + windows + L"\" " + std::wstring(40000, L'a'),
        L"-silencedelete -path \"C:\\tq_canary\\" + std::wstring(40000, L'b') + L"\"",
    };
    // A path that does not exist falls back to asking the user (cancelled
    // here, exit 0); every refused folder ends with -3.
    const size_t askingLine = lines.size() - 1;
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::wstring& line = lines[n];
        bool prompted = false;
        int code = runCancellingPrompt(program, line, prompted);
        if (line.size() > 32767 && code == -1) {
            // The system takes no longer command line; the longest it takes must do.
            std::wstring cut = line.substr(0, 32000);
            if (cut.back() != L'"' && line.back() == L'"')
                cut.back() = L'"';
            code = runCancellingPrompt(program, cut, prompted);
        }
        EXPECT_EQ(n == askingLine ? 0 : -3, code) << toUtf8(line.substr(0, 120));
        EXPECT_EQ(n == askingLine, prompted) << toUtf8(line.substr(0, 120));
        for (size_t i = 0; i < canaries.size(); ++i)
            EXPECT_EQ(before[i], snapshotTree(canaries[i])) << toUtf8(line.substr(0, 120));
        EXPECT_EQ(notOursBefore, snapshotTree(notOurs)) << toUtf8(line.substr(0, 120));
        for (const std::wstring& folder : lookalikes)
            EXPECT_TRUE(exists(folder + L"\\Launcher.xml")) << toUtf8(folder);
        EXPECT_EQ(registryBefore, registryState()) << toUtf8(line.substr(0, 120));
        for (const std::wstring& link : installLinkPaths())
            EXPECT_TRUE(exists(link)) << toUtf8(link);
    }
    std::wstring log = readUninstallLog();
    EXPECT_NE(std::wstring::npos, log.find(L"is not an install folder (a protected folder), nothing deleted."));
    EXPECT_NE(std::wstring::npos, log.find(L"is not an install folder (no Launcher.xml), nothing deleted."));
    for (const std::wstring& folder : lookalikes) {
        DeleteFileW((folder + L"\\Launcher.xml").c_str());
        DeleteFileW((folder + L"\\Uninstall.exe").c_str());
    }
}

// A decoy (a copy of the uninstaller and a short launcher list) removed
// silently takes only its own files: the real install's registry values,
// links and files stay.
TEST(UninstallChain, DecoyRemovalLeavesTheRealInstall)
{
    const std::wstring real = L"C:\\tq_real\\TqSorva\\";
    const std::wstring decoy = L"C:\\tq_decoy\\";
    makeInstallFiles(real);
    writeInstallRegistry(real);
    ASSERT_TRUE(writeInstallLinks(real, dataFolder()));
    copyProgram(L"Uninstall.exe", decoy + L"Uninstall.exe");
    writeFile(decoy + L"Launcher.xml", "<LauncherInfo>\r\n<VersionInfo No=\"1.0.3.0\" Path=\"1.0.3.0\"/>\r\n"
                                       "</LauncherInfo>\r\n\r\n");
    writeFile(decoy + L"mine.txt", "the decoy folder's own file");
    const auto realBefore = snapshotTree(real.substr(0, real.size() - 1));
    const std::wstring registryBefore = registryState();
    ASSERT_EQ(L"11111", registryBefore);

    EXPECT_EQ(0, runAndWait(decoy + L"Uninstall.exe", L"-silencedelete -path \"C:\\tq_decoy\""));

    EXPECT_FALSE(exists(decoy + L"Launcher.xml"));
    EXPECT_EQ("the decoy folder's own file", readFile(decoy + L"mine.txt"));
    EXPECT_EQ(realBefore, snapshotTree(real.substr(0, real.size() - 1)));
    EXPECT_EQ(registryBefore, registryState());
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
    for (const std::wstring& link : installLinkPaths())
        EXPECT_TRUE(exists(link)) << toUtf8(link);
    EXPECT_NE(std::wstring::npos, readUninstallLog().find(L"SorvaUninstallCore, the registered install is " + real
                                                          + L", not C:\\tq_decoy\\: its entries stay."));

    // The real install's own removal still takes them.
    EXPECT_EQ(0, runAndWait(real + L"Uninstall.exe", L"-silencedelete -path \"C:\\tq_real\\TqSorva\""));
    EXPECT_EQ(L"00000", registryState());
    for (const std::wstring& link : installLinkPaths())
        EXPECT_FALSE(exists(link)) << toUtf8(link);
    EXPECT_FALSE(exists(real + L"Launcher.xml"));
    removeTree(L"C:\\tq_real");
    removeTree(decoy);
}

TEST(UninstallChain, CopyStartedInsideTheFolderItDeletesFinishes)
{
    const std::wstring install = L"C:\\tq_self\\TqSorva\\";
    makeInstallFiles(install);
    writeInstallRegistry(install);
    EXPECT_EQ(0, runAndWait(install + L"Uninstall.exe", L"-silencedelete -path \"C:\\tq_self\\TqSorva\""));
    EXPECT_FALSE(exists(install + L"Launcher.xml"));
    EXPECT_FALSE(exists(install + L"1.0.3.0"));
    EXPECT_EQ(L"00000", registryState());
    // Not a copy of ours: it schedules nothing for the next start.
    EXPECT_EQ(std::wstring::npos, pendingRenames().find(L"tq_self"));
    removeTree(L"C:\\tq_self");
}

TEST(UninstallChain, CopyWithProgressDeletesReportsAndEndsWhenItsFinishedWindowCloses)
{
    // Model 2 shows the progress window; after the finish (registry and links
    // gone) the enabled "完成" button closes it, which ends the program.
    const std::wstring install = L"C:\\tq_model2\\TqSorva\\";
    makeInstallFiles(install);
    writeInstallRegistry(install);
    ASSERT_TRUE(writeInstallLinks(install, dataFolder()));
    const size_t logBefore = readUninstallLog().size();
    PROCESS_INFORMATION copy = startProgram(programFolder() + L"Uninstall.exe", L"-delete -path \"C:\\tq_model2\\TqSorva\"");
    ASSERT_NE(nullptr, copy.hProcess);
    HWND window = nullptr;
    bool finished = false;
    for (int i = 0; i < 6000 && !finished; ++i) {
        if (WaitForSingleObject(copy.hProcess, 10) == WAIT_OBJECT_0)
            break;
        window = FindWindowW(L"DUI_HOST_WINDOW", L"TqSorva\u5378\u8f7d");
        finished = window && readUninstallLog().find(L"Clean finish, stop timer.", logBefore) != std::wstring::npos;
    }
    ASSERT_TRUE(finished) << "no finished progress window";
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(copy.hProcess, 0)) << "ended before its window was closed";
    // The button: 74 x 32, 130 px from the right and 20 px from the bottom of
    // the window's content, which lies 5 px inside the 330 x 190 window.
    const LPARAM button = MAKELPARAM(5 + 320 - 130 - 37, 5 + 180 - 20 - 16);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, button);
    PostMessageW(window, WM_LBUTTONUP, 0, button);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(copy.hProcess, 60000));
    DWORD code = 1;
    GetExitCodeProcess(copy.hProcess, &code);
    closeProcess(copy);
    EXPECT_EQ(0u, code);
    EXPECT_FALSE(exists(install));
    EXPECT_EQ(L"00000", registryState());
    for (const std::wstring& link : installLinkPaths())
        EXPECT_FALSE(exists(link)) << toUtf8(link);
    std::wstring log = readUninstallLog();
    EXPECT_NE(std::wstring::npos, log.find(L"SorvaUninstallControl::uninstall, run model is 2."));
    removeTree(L"C:\\tq_model2");
}

namespace {

// A visible framework window titled title, or null.
HWND visibleWindowTitled(const std::wstring& title)
{
    for (HWND window = FindWindowW(L"DUI_HOST_WINDOW", nullptr); window;
         window = FindWindowExW(nullptr, window, L"DUI_HOST_WINDOW", nullptr)) {
        wchar_t text[64] = {};
        GetWindowTextW(window, text, 64);
        if (title == text && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

void clickAt(HWND window, int x, int y)
{
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

}  // namespace

TEST(UninstallChain, InteractiveUninstallAsksDeletesWithProgressAndRemovesEverything)
{
    const std::wstring root = L"C:\\tq_interactive\\";
    const std::wstring install = root + L"TqSorva\\";
    makeInstallFiles(install);
    writeInstallRegistry(install);
    ASSERT_TRUE(writeInstallLinks(install, dataFolder()));
    setVariable(L"TQ_FILTER_RECORD", root + L"filter.txt");

    // The uninstaller in the install folder asks; OK (74 x 32, 10 px left of
    // cancel, in the content 5 px inside the window) starts the check.
    const size_t logBefore = readUninstallLog().size();
    PROCESS_INFORMATION first = startProgram(install + L"Uninstall.exe", L"");
    ASSERT_NE(nullptr, first.hProcess);
    HWND prompt = nullptr;
    for (int i = 0; i < 6000 && !prompt; ++i) {
        if (WaitForSingleObject(first.hProcess, 10) == WAIT_OBJECT_0)
            break;
        prompt = promptOf(first.dwProcessId);
    }
    ASSERT_NE(nullptr, prompt) << "no question";
    EXPECT_FALSE(exists(root + L"filter.txt")) << "unregistered before the user confirmed";
    clickAt(prompt, 5 + 320 - 80 - 74 - 10 - 37, 5 + 180 - 20 - 16);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first.hProcess, 60000)) << "the first uninstaller did not end";
    closeProcess(first);

    // The copy shows its progress and, once finished, waits for "完成".
    HWND progress = nullptr;
    for (int i = 0; i < 6000; ++i) {
        progress = visibleWindowTitled(L"TqSorva\u5378\u8f7d");
        if (progress && readUninstallLog().find(L"Clean finish, stop timer.", logBefore) != std::wstring::npos)
            break;
        progress = nullptr;
        Sleep(10);
    }
    ASSERT_NE(nullptr, progress) << "no finished progress window";
    EXPECT_FALSE(exists(install));
    EXPECT_EQ(1u, processesNamed(L"uninstall.exe").size());
    clickAt(progress, 5 + 320 - 130 - 37, 5 + 180 - 20 - 16);
    EXPECT_TRUE(waitForProcessesNamed(L"uninstall.exe", 60000));
    EXPECT_TRUE(processesNamed(L"uninstall.exe").empty());

    EXPECT_NE(std::string::npos, readFile(root + L"filter.txt").find("unregister "));
    EXPECT_EQ(L"00000", registryState());
    for (const std::wstring& link : installLinkPaths())
        EXPECT_FALSE(exists(link)) << toUtf8(link);
    const std::wstring log = readUninstallLog().substr(logBefore);
    EXPECT_NE(std::wstring::npos, log.find(L"para is -delete -path \"C:\\tq_interactive\\TqSorva\""));
    EXPECT_NE(std::wstring::npos, log.find(L"SorvaUninstallControl::uninstall, run model is 2."));
    setVariable(L"TQ_FILTER_RECORD", L"");
    removeTree(root);
}
