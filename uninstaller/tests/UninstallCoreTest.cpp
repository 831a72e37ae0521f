// The uninstaller's parts in process: run models, the install-folder rule,
// the cleaner (reports, processes, reporter, locked files), the check, the
// registry and shortcut removal, the statistics request, the unregistration
// and the bridge's messages.
#include "LoopbackHttpServer.h"  // Winsock before windows.h

#include "SetupLog.h"
#include "SlotCall.h"
#include "SorvaFileCleaner.h"
#include "SorvaUninstallChecker.h"
#include "SorvaUninstallControl.h"
#include "SorvaUninstallCore.h"
#include "SorvaUninstallUI.h"
#include "SystemUtils.h"
#include "UninstallHelpers.h"
#include "UninstallTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace uninstalltest;

namespace {

const std::wstring kTestRoot = L"C:\\tq_uninstall_core\\";

// A fresh install of ours under the test root; removed afterwards.
class TestInstall {
public:
    explicit TestInstall(const std::wstring& name, const std::string& productInfo = "channel=7\r\n")
        : m_root(kTestRoot + name + L"\\"), m_path(m_root + L"TqSorva\\")
    {
        removeTree(m_root);
        makeInstallFiles(m_path, productInfo);
    }
    ~TestInstall() { removeTree(m_root); }
    const std::wstring& path() const { return m_path; }
    const std::wstring& root() const { return m_root; }

private:
    std::wstring m_root;
    std::wstring m_path;
};

struct RecordingListener : SorvaUninstallListener {
    void DeletingDestructor(unsigned) override {}
    void onProductRunning() override { note([this] { ++running; }); }
    void onCheckPassed() override { note([this] { ++passed; }); }
    void onProgress(const wchar_t* path, int32_t done, int32_t total) override
    {
        note([&] {
            reports.emplace_back(path, static_cast<double>(done) / total);
            totals.push_back(total);
        });
    }
    void onCleanFinish() override { note([this] { finishedAfterReports = static_cast<int>(reports.size()); ++finished; }); }

    template <typename F>
    void note(F change)
    {
        std::lock_guard<std::mutex> guard(lock);
        change();
        changed.notify_all();
    }
    template <typename P>
    bool waitFor(P condition, int boundMs = 30000)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::milliseconds(boundMs), condition);
    }

    std::mutex lock;
    std::condition_variable changed;
    int running = 0, passed = 0, finished = 0, finishedAfterReports = -1;
    std::vector<std::pair<std::wstring, double>> reports;
    std::vector<int32_t> totals;
};

void setVariable(const wchar_t* name, const std::wstring& value)
{
    SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

// Waits until the helpers have recorded their start count times in record.
bool waitForStarts(const std::wstring& record, size_t count)
{
    for (int i = 0; i < 2000; ++i) {
        std::string text = readFile(record);
        size_t starts = 0;
        for (size_t at = text.find("cmdline="); at != std::string::npos; at = text.find("cmdline=", at + 1))
            ++starts;
        if (starts >= count)
            return true;
        Sleep(10);
    }
    return false;
}

}  // namespace

class UninstallCoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setLogFileName(L"unistV2.log"); }
    void SetUp() override
    {
        setVariable(L"TQ_HELPER_RECORD", L"");
        setVariable(L"TQ_HELPER_SLEEP_MS", L"");
        setVariable(L"TQ_SERVICE_URL", L"");
        SorvaFileCleaner::resetProgressCount();
    }
};

TEST_F(UninstallCoreTest, RunModelTable)
{
    TestInstall install(L"models");
    const std::wstring folder = install.path().substr(0, install.path().size() - 1);
    const std::wstring quoted = L"\"" + folder + L"\"";
    const std::wstring missing = L"\"C:\\tq_uninstall_core\\no such folder\"";
    struct Case {
        std::wstring line;
        int model;
        bool takesPath;
    } cases[] = {
        {L"Uninstall.exe", 0, false},
        {L"Uninstall.exe -silence", 1, false},
        {L"Uninstall.exe -silence -delete -path " + quoted, 1, false},
        {L"Uninstall.exe -delete", 0, false},
        {L"Uninstall.exe -delete -path", 0, false},
        {L"Uninstall.exe -delete -path " + missing, 0, false},
        {L"-delete -path " + quoted, 2, true},
        {L"-silencedelete -path " + quoted, 3, true},
        {L"-path " + quoted, 0, false},
        {L"-Delete -path " + quoted, 0, false},
        {L"-silencedelete -path " + quoted + L" -delete", 2, true},
        {L"-silencedelete -path \"" + std::wstring(40000, L'x') + L"\"", 0, false},
    };
    for (const Case& c : cases) {
        std::wstring path;
        EXPECT_EQ(c.model, uninstallRunModel(c.line, path)) << toUtf8(c.line.substr(0, 200));
        EXPECT_EQ(c.takesPath ? folder : std::wstring(), path) << toUtf8(c.line.substr(0, 200));
    }
}

TEST_F(UninstallCoreTest, RelocatedCopyGetsTheFolderWithoutItsFinalBackslashQuoted)
{
    EXPECT_EQ(L"-silencedelete -path \"C:\\Program Files\\TqSorva\"",
              SorvaUninstallCore::relocationParameters(L"C:\\Program Files\\TqSorva\\", true));
    EXPECT_EQ(L"-delete -path \"D:\\a b\\TqSorva\"", SorvaUninstallCore::relocationParameters(L"D:\\a b\\TqSorva\\", false));
    // The copy's core gets its backslash back.
    SorvaUninstallCore core(nullptr);
    core.setPath(L"C:\\Program Files\\TqSorva");
    EXPECT_EQ(L"C:\\Program Files\\TqSorva\\", core.path());
    core.setPath(L"C:\\x\\");
    EXPECT_EQ(L"C:\\x\\", core.path());
}

TEST_F(UninstallCoreTest, OnlyAVerifiedCopyHeldAgainstChangesIsStarted)
{
    const std::wstring folder = kTestRoot + L"verified\\";
    removeTree(folder);
    const std::string program(300000, 'P');
    std::string flipped = program;
    flipped[123456] = 'Q';
    struct Case { const char* name; const std::string* copy; bool writerHoldsIt; bool accepted; };
    const std::string cut = program.substr(0, program.size() - 1), longer = program + "X";
    const Case cases[] = {{"same bytes", &program, false, true},
                          {"one byte changed", &flipped, false, false},
                          {"cut short", &cut, false, false},
                          {"longer", &longer, false, false},
                          {"missing", nullptr, false, false},
                          {"same bytes, another writer holds it", &program, true, false}};
    ASSERT_TRUE(writeFile(folder + L"source.exe", program));
    for (const Case& c : cases) {
        const std::wstring copy = folder + L"copy.exe";
        DeleteFileW(copy.c_str());
        if (c.copy)
            ASSERT_TRUE(writeFile(copy, *c.copy)) << c.name;
        HANDLE writer = c.writerHoldsIt ? CreateFileW(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                      nullptr, OPEN_EXISTING, 0, nullptr)
                                        : INVALID_HANDLE_VALUE;
        HANDLE held = SorvaUninstallCore::holdVerifiedCopy(folder + L"source.exe", copy);
        EXPECT_EQ(c.accepted, held != INVALID_HANDLE_VALUE) << c.name;
        if (held != INVALID_HANDLE_VALUE) {
            // Nobody swaps it before it has started: no writing, renaming or deleting.
            EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                        nullptr, OPEN_EXISTING, 0, nullptr)) << c.name;
            EXPECT_FALSE(MoveFileW(copy.c_str(), (folder + L"moved.exe").c_str())) << c.name;
            EXPECT_FALSE(DeleteFileW(copy.c_str())) << c.name;
            CloseHandle(held);
            EXPECT_EQ(program, readFile(copy)) << c.name;
        }
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
    }
    removeTree(folder);
}

TEST_F(UninstallCoreTest, OnlyAnInstallOfOursMayBeDeleted)
{
    TestInstall install(L"rule");
    const std::wstring base = install.root();
    // Variants of a folder beside the install.
    writeFile(base + L"noxml\\TqSorva.exe", "MZ");
    writeFile(base + L"noxml\\Uninstall.exe", "MZ");
    writeFile(base + L"otherroot\\Launcher.xml", "<Other><VersionInfo No=\"1\"/></Other>");
    writeFile(base + L"otherroot\\TqSorva.exe", "MZ");
    writeFile(base + L"broken\\Launcher.xml", "<LauncherInfo><VersionInfo");
    writeFile(base + L"broken\\TqSorva.exe", "MZ");
    writeFile(base + L"noexe\\Launcher.xml", kLauncherXml);
    writeFile(base + L"uninstallonly\\Launcher.xml", kLauncherXml);
    writeFile(base + L"uninstallonly\\Uninstall.exe", "MZ");
    SHCreateDirectoryExW(nullptr, (base + L"xmlfolder\\Launcher.xml").c_str(), nullptr);
    writeFile(base + L"xmlfolder\\TqSorva.exe", "MZ");
    // Ours in every way but protected: the profile and the Windows folder.
    const std::wstring profile = specialFolder(CSIDL_PROFILE);
    const std::wstring windows = windowsFolder();
    for (const std::wstring& folder : {profile, windows}) {
        writeFile(folder + L"\\Launcher.xml", kLauncherXml);
        writeFile(folder + L"\\Uninstall.exe", "MZ");
    }
    const std::wstring documents = specialFolder(CSIDL_PERSONAL);
    const std::wstring downloads = specialFolder(CSIDL_PROFILE) + L"\\Downloads";
    const std::wstring appDataRoot = specialFolder(CSIDL_APPDATA).substr(0, specialFolder(CSIDL_APPDATA).find_last_of(L'\\'));
    const std::vector<std::wstring> planted = {documents, downloads, appDataRoot, specialFolder(CSIDL_APPDATA)};
    for (const std::wstring& folder : planted) {
        writeFile(folder + L"\\Launcher.xml", kLauncherXml);
        writeFile(folder + L"\\Uninstall.exe", "MZ");
    }
    wchar_t shortName[MAX_PATH] = {};
    GetShortPathNameW(specialFolder(CSIDL_PROGRAM_FILES).c_str(), shortName, MAX_PATH);
    writeFile(specialFolder(CSIDL_PROGRAM_FILES) + L"\\Launcher.xml", kLauncherXml);
    writeFile(specialFolder(CSIDL_PROGRAM_FILES) + L"\\Uninstall.exe", "MZ");

    struct Case {
        std::wstring path;
        bool removable;
    } cases[] = {
        {install.path(), true},
        {install.path().substr(0, install.path().size() - 1), true},
        {base + L"uninstallonly", true},
        {base + L"noxml", false},
        {base + L"otherroot", false},
        {base + L"broken", false},
        {base + L"noexe", false},
        {base + L"xmlfolder", false},
        {base + L"missing", false},
        {L"C:\\", false},
        {L"C:", false},
        {windows, false},
        {windows + L"\\system32", false},
        {profile, false},
        {L"C:\\x\\..\\" + windows.substr(3), false},
        {shortName, false},
        {specialFolder(CSIDL_PROGRAM_FILES), false},
        {L"TqSorva", false},
        {L"", false},
        // The user's folders and those above them, in any form.
        {documents, false},
        {L"\\\\.\\" + documents, false},
        {L"\\\\?\\" + documents, false},
        {L"\\??\\" + documents, false},
        {documents + L". ", false},
        {downloads, false},
        {appDataRoot, false},
        {specialFolder(CSIDL_APPDATA), false},
        {L"\\\\.\\" + install.path(), true},
        {L"\\\\?\\" + install.path(), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.removable, isRemovableInstallFolder(c.path)) << toUtf8(c.path);
    for (const std::wstring& folder : {profile, windows, specialFolder(CSIDL_PROGRAM_FILES)}) {
        DeleteFileW((folder + L"\\Launcher.xml").c_str());
        DeleteFileW((folder + L"\\Uninstall.exe").c_str());
    }
    for (const std::wstring& folder : planted) {
        DeleteFileW((folder + L"\\Launcher.xml").c_str());
        DeleteFileW((folder + L"\\Uninstall.exe").c_str());
    }
}

TEST_F(UninstallCoreTest, ProductInfoNumberTable)
{
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        const char* name;
        std::string text;  // "\x01" for no file at all
        int number;
    } cases[] = {
        {"plain", "k=7\r\n", 7},
        {"bom", bom + "k=7\r\n", 7},
        {"no line end", "k=7", 7},
        {"two digits after bom", bom + "channel=42\r\nother=9\r\n", 42},
        {"first equals counts", "a=12=5\n", 12},
        {"short key without bom", "=9\n", 9},
        {"empty value", "k=\r\n8\r\n", 1},
        {"empty value with bom", bom + "k=", 1},
        {"zero", "k=0\r\n", 1},
        {"no equals", "k7\r\nk=3\r\n", 1},
        {"empty file", "", 1},
        {"no file", "\x01", 1},
        {"letters", "k=abc", 1},
        {"huge", "k=99999999999999999999", 2147483647},
    };
    for (const Case& c : cases) {
        TestInstall install(L"productinfo", c.text == "\x01" ? std::string() : c.text);
        if (c.text.empty())
            writeFile(install.path() + L"ProductInfo.txt", "");
        EXPECT_EQ(c.number, SorvaFileCleaner::productInfoNumber(install.path())) << c.name;
    }
}

TEST_F(UninstallCoreTest, CleanerReportsEveryFileAndFinishesAfterTheLast)
{
    TestInstall install(L"reports");
    removeTree(install.path());
    writeFile(install.path() + L"Launcher.xml", kLauncherXml);
    copyProgram(L"uninstall_test_helper.exe", install.path() + L"Uninstall.exe");
    for (int i = 0; i < 298; ++i)
        writeFile(install.path() + L"1.0.3.0\\data\\f" + std::to_wstring(i) + L".bin", "x");
    // 300 files in all; no reporter in this install.
    RecordingListener listener;
    SorvaFileCleaner cleaner(&listener);
    cleaner.setPath(install.path());
    cleaner.run(true);
    ASSERT_TRUE(listener.waitFor([&] { return listener.finished == 1; }, 60000));
    cleaner.join();
    std::lock_guard<std::mutex> guard(listener.lock);
    // The start, the reporter and one report per file.
    ASSERT_EQ(302u, listener.reports.size());
    EXPECT_EQ(302, listener.finishedAfterReports);
    EXPECT_EQ(install.path() + L"UnInstall.exe", listener.reports[0].first);
    EXPECT_EQ(install.path() + L"1.0.3.0\\tallyo.exe", listener.reports[1].first);
    for (size_t i = 0; i < listener.reports.size(); ++i) {
        EXPECT_DOUBLE_EQ((i + 1) / 200.0, listener.reports[i].second) << i;
        EXPECT_EQ(200, listener.totals[i]);
    }
    EXPECT_DOUBLE_EQ(1.0, listener.reports[199].second);
    EXPECT_EQ(302, SorvaFileCleaner::progressCount());
    EXPECT_FALSE(exists(install.path()));
}

TEST_F(UninstallCoreTest, LockedFileIsLoggedAndTheFinishStillComes)
{
    TestInstall install(L"locked");
    const std::wstring lockedPath = install.path() + L"1.0.3.0\\locked.dat";
    writeFile(lockedPath, "held");
    HANDLE held = CreateFileW(lockedPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    RecordingListener listener;
    SorvaFileCleaner cleaner(&listener);
    cleaner.setPath(install.path());
    cleaner.run(false);
    CloseHandle(held);
    EXPECT_EQ(1, listener.finished);
    EXPECT_TRUE(exists(lockedPath));
    EXPECT_FALSE(exists(install.path() + L"Launcher.xml"));
    std::wstring log = readUninstallLog();
    EXPECT_NE(std::wstring::npos, log.find(L"delete file " + install.path() + L"\\1.0.3.0\\locked.dat fail, last error is 32"));
    EXPECT_NE(std::wstring::npos, log.find(L"RemoveDirectory " + install.path() + L" fail, last error is "));
    // The locked file was reported like every other.
    bool reported = false;
    for (const auto& report : listener.reports)
        reported = reported || report.first == install.path() + L"\\1.0.3.0\\locked.dat";
    EXPECT_TRUE(reported);
}

TEST_F(UninstallCoreTest, ProgramsOfTheInstallFolderEndButNotThoseOfItsSubFolders)
{
    TestInstall install(L"programs");
    // The launcher (the helper stands in for it) runs from the install folder.
    copyProgram(L"uninstall_test_helper.exe", install.path() + L"1.0.3.0\\Keeper.exe");
    const std::wstring started = install.root() + L"started.txt";
    setVariable(L"TQ_HELPER_RECORD", started);
    PROCESS_INFORMATION runner = startProgram(install.path() + L"TqSorva.exe", L"TqSorva.exe -wait");
    PROCESS_INFORMATION keeper = startProgram(install.path() + L"1.0.3.0\\Keeper.exe", L"Keeper.exe -wait");
    ASSERT_NE(nullptr, runner.hProcess);
    ASSERT_NE(nullptr, keeper.hProcess);
    ASSERT_TRUE(waitForStarts(started, 2));
    setVariable(L"TQ_HELPER_RECORD", L"");
    // A folder named in another letter case is the same folder.
    std::wstring path = install.path();
    CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    SorvaFileCleaner cleaner(nullptr);
    cleaner.setPath(path);
    cleaner.run(false);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(runner.hProcess, 10000));
    DWORD code = 1;
    GetExitCodeProcess(runner.hProcess, &code);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(keeper.hProcess, 0)) << "a sub-folder's program was ended";
    TerminateProcess(keeper.hProcess, 1);
    WaitForSingleObject(keeper.hProcess, 5000);
    closeProcess(runner);
    closeProcess(keeper);
    EXPECT_FALSE(exists(install.path() + L"TqSorva.exe"));
}

TEST_F(UninstallCoreTest, ReporterGetsItsParametersAndIsWaitedForTenSecondsAtMost)
{
    TestInstall install(L"tallyo", "\xEF\xBB\xBF" "channel=7\r\n");
    const std::wstring record = install.root() + L"tallyo.txt";
    setVariable(L"TQ_HELPER_RECORD", record);
    SorvaFileCleaner cleaner(nullptr);
    cleaner.setPath(install.path());
    cleaner.run(false);
    std::wstring seen = fromUtf8(readFile(record));
    EXPECT_NE(std::wstring::npos, seen.find(L"cmdline=\"|1.0.3.0|7|u|\"\r\n")) << toUtf8(seen);

    // A reporter that takes 15 s holds the deletion 10 s, then is left running.
    TestInstall slow(L"tallyoslow", "k=3");
    const std::wstring slowRecord = slow.root() + L"tallyo.txt";
    setVariable(L"TQ_HELPER_RECORD", slowRecord);
    setVariable(L"TQ_HELPER_SLEEP_MS", L"15000");
    SorvaFileCleaner slowCleaner(nullptr);
    slowCleaner.setPath(slow.path());
    DWORD start = GetTickCount();
    slowCleaner.run(false);
    DWORD used = GetTickCount() - start;
    EXPECT_GE(used, 9500u);
    EXPECT_LT(used, 14500u);
    EXPECT_NE(std::wstring::npos, fromUtf8(readFile(slowRecord)).find(L"cmdline=\"|1.0.3.0|3|u|\""));
    std::wstring log = readUninstallLog();
    EXPECT_NE(std::wstring::npos, log.find(L"runExeFile, WaitForSingleObject timeout."));
    EXPECT_NE(std::wstring::npos, log.find(L"SorvaFileCleaner::_startTallyo, path is " + slow.path()
                                           + L"1.0.3.0\\tallyo.exe, parameter is \"|1.0.3.0|3|u|\""));
    terminateProcessesNamed(L"tallyo.exe");
}

TEST_F(UninstallCoreTest, CleanerRefusesAForeignFolderAndTouchesNothing)
{
    const std::wstring canary = windowsFolder() + L"\\tq_cleaner_canary";
    makeCanary(canary);
    const auto before = snapshotTree(canary);
    RecordingListener listener;
    for (const std::wstring& path : {canary + L"\\", std::wstring(L"C:\\x\\..\\") + canary.substr(3) + L"\\"}) {
        SorvaFileCleaner cleaner(&listener);
        cleaner.setPath(path);
        cleaner.run(false);
        EXPECT_FALSE(cleaner.accepted());
    }
    EXPECT_EQ(0, listener.finished);
    EXPECT_TRUE(listener.reports.empty());
    EXPECT_EQ(before, snapshotTree(canary));
    removeTree(canary);
}

TEST_F(UninstallCoreTest, UnixLinkInsideTheInstallIsNotFollowed)
{
    // Made by the test's fixture: the install's "link" -> a canary folder
    // beside it, "emptylink" -> an empty folder, "filelink.txt" -> a canary file.
    const std::wstring root = L"C:\\tq_uninstall_link\\";
    const std::wstring canary = root + L"canary";
    ASSERT_TRUE(exists(canary + L"\\keep.txt")) << "fixture missing";
    ASSERT_TRUE(exists(root + L"TqSorva\\filelink.txt")) << "fixture missing";
    const auto before = snapshotTree(canary);
    makeInstallFiles(root + L"TqSorva\\");
    SorvaFileCleaner cleaner(nullptr);
    cleaner.setPath(root + L"TqSorva\\");
    cleaner.run(false);
    EXPECT_TRUE(cleaner.accepted());
    EXPECT_EQ(before, snapshotTree(canary));
    EXPECT_TRUE(exists(root + L"emptycanary")) << "an empty folder behind a link went";
    EXPECT_FALSE(exists(root + L"TqSorva\\Launcher.xml"));
}

TEST_F(UninstallCoreTest, CheckerWaitsForRetryOnOneThreadAndPassesOnceTheProductQuits)
{
    const std::wstring folder = kTestRoot + L"check\\";
    removeTree(folder);
    copyProgram(L"uninstall_test_helper.exe", folder + L"tqsorva.EXE");
    setVariable(L"TQ_HELPER_RECORD", folder + L"started.txt");
    PROCESS_INFORMATION product = startProgram(folder + L"tqsorva.EXE", L"tqsorva.EXE -wait");
    ASSERT_NE(nullptr, product.hProcess);
    ASSERT_TRUE(waitForStarts(folder + L"started.txt", 1));
    RecordingListener listener;
    {
        SorvaUninstallChecker checker(&listener);
        checker.requestCheck();
        ASSERT_TRUE(listener.waitFor([&] { return listener.running == 1; }));
        ASSERT_TRUE(listener.waitFor([&] { return checker.isWaitingForRetry(); }) || checker.isWaitingForRetry());
        const uint32_t thread = checker.threadId();
        checker.requestCheck();  // retry while it still runs
        ASSERT_TRUE(listener.waitFor([&] { return listener.running == 2; }));
        EXPECT_EQ(thread, checker.threadId()) << "the retry started a second thread";
        TerminateProcess(product.hProcess, 0);
        WaitForSingleObject(product.hProcess, 5000);
        for (int i = 0; i < 3000 && !checker.isWaitingForRetry(); ++i)
            Sleep(1);
        checker.requestCheck();
        ASSERT_TRUE(listener.waitFor([&] { return listener.passed == 1; }));
        EXPECT_EQ(2, listener.running);
    }
    closeProcess(product);

    // A checker destroyed while it waits ends its thread first.
    PROCESS_INFORMATION again = startProgram(folder + L"tqsorva.EXE", L"tqsorva.EXE -wait");
    ASSERT_TRUE(waitForStarts(folder + L"started.txt", 2));
    RecordingListener second;
    {
        SorvaUninstallChecker checker(&second);
        checker.requestCheck();
        ASSERT_TRUE(second.waitFor([&] { return second.running == 1; }));
    }
    EXPECT_EQ(0, second.passed);
    TerminateProcess(again.hProcess, 0);
    closeProcess(again);

    // Without a listener nothing is reported, running or not.
    SorvaUninstallChecker silent(nullptr);
    silent.run(false);
    removeTree(folder);
}

TEST_F(UninstallCoreTest, RegistryValuesAndShortcutsOfTheInstallGo)
{
    const std::wstring installPath = L"C:\\Program Files\\TqSorva\\";
    struct Case {
        bool otherProductKey;
    } cases[] = {{false}, {true}};
    for (const Case& c : cases) {
        writeInstallRegistry(installPath);
        setString(HKEY_CURRENT_USER, kRunKey, L"SomethingElse", L"C:\\other.exe");
        if (c.otherProductKey)
            setString(HKEY_CURRENT_USER, L"Software\\brenlo\\otherproduct", L"InstallDir", L"C:\\other\\");
        ASSERT_TRUE(writeInstallLinks(installPath, dataFolder()));
        for (const std::wstring& link : installLinkPaths())
            ASSERT_TRUE(exists(link)) << toUtf8(link);

        SorvaUninstallCore core(nullptr);
        core.setPath(installPath);
        core.deleteRegeditInfo();
        core.deleteShortcuts();

        EXPECT_FALSE(valueExists(HKEY_CURRENT_USER, kRunKey, L"TqSorva"));
        EXPECT_TRUE(valueExists(HKEY_CURRENT_USER, kRunKey, L"SomethingElse"));
        EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, L"Software\\brenlo\\com.tq.tqsorva"));
        EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, L"Software\\brenlo\\tqsorva"));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
        EXPECT_EQ(c.otherProductKey, keyExists(HKEY_CURRENT_USER, L"Software\\brenlo"));
        for (const std::wstring& link : installLinkPaths())
            EXPECT_FALSE(exists(link)) << toUtf8(link);
        EXPECT_FALSE(exists(specialFolder(CSIDL_PROGRAMS) + L"\\TqNelu"));
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\brenlo\\otherproduct");
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\brenlo");
        HKEY run = nullptr;
        RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &run);
        RegDeleteValueW(run, L"SomethingElse");
        RegCloseKey(run);
    }
}

// The registry values and links stay unless the folder removed is the one
// they point at, however either is written.
TEST_F(UninstallCoreTest, OnlyTheRegisteredFolderRemovesTheRegistryValuesAndShortcuts)
{
    const std::wstring installPath = L"C:\\tq_uninstall_core\\registered\\TqSorva\\";
    makeInstallFiles(installPath);
    wchar_t shortForm[MAX_PATH] = {};
    GetShortPathNameW(installPath.c_str(), shortForm, MAX_PATH);
    std::wstring lower = installPath;
    CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    for (wchar_t& c : lower)
        if (c == L'\\')
            c = L'/';
    struct Case {
        std::wstring removed;  // the folder being removed
        std::wstring registered;  // the product key's InstallDir ("": none, the uninstall entry then)
        bool entriesGo;
    } cases[] = {
        {installPath, installPath, true},
        {installPath.substr(0, installPath.size() - 1), installPath, true},
        {lower, installPath, true},
        {shortForm, installPath, true},
        {L"\\\\?\\" + installPath, installPath, true},
        {installPath, L"", true},                                           // found through the uninstall entry
        {L"C:\\tq_uninstall_core\\decoy\\TqSorva\\", installPath, false},   // a decoy copy
        {L"C:\\tq_uninstall_core\\decoy\\TqSorva\\", L"", false},
        {installPath + L"1.0.3.0\\", installPath, false},                   // a folder inside it
        {L"C:\\tq_uninstall_core\\registered\\", installPath, false},      // the folder holding it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.removed) + " / " + toUtf8(c.registered));
        writeInstallRegistry(installPath);
        if (c.registered.empty())
            RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\brenlo\\tqsorva");
        ASSERT_TRUE(writeInstallLinks(installPath, dataFolder()));

        SorvaUninstallCore core(nullptr);
        core.setPath(c.removed);
        core.deleteRegeditInfo();
        core.deleteShortcuts();

        EXPECT_EQ(!c.entriesGo, valueExists(HKEY_CURRENT_USER, kRunKey, L"TqSorva"));
        EXPECT_EQ(!c.entriesGo, keyExists(HKEY_CURRENT_USER, L"Software\\brenlo\\com.tq.tqsorva"));
        EXPECT_EQ(!c.entriesGo, keyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
        EXPECT_EQ(!c.entriesGo && !c.registered.empty(), keyExists(HKEY_CURRENT_USER, L"Software\\brenlo\\tqsorva"));
        for (const std::wstring& link : installLinkPaths())
            EXPECT_EQ(!c.entriesGo, exists(link)) << toUtf8(link);
    }
    // The real uninstall still removes them all.
    SorvaUninstallCore core(nullptr);
    core.setPath(installPath);
    core.deleteRegeditInfo();
    core.deleteShortcuts();
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
    for (const std::wstring& link : installLinkPaths())
        EXPECT_FALSE(exists(link)) << toUtf8(link);
    removeTree(L"C:\\tq_uninstall_core\\registered");
}

// The install folder may hold the user's own files: only what the product
// put there goes (its files, the version folders its list names), and the
// folder stays while anything else is in it.
TEST_F(UninstallCoreTest, CleanerRemovesOnlyWhatTheProductPutThere)
{
    TestInstall install(L"foreign");
    const std::wstring path = install.path();
    writeFile(path + L"Launcher.xml",
              "<LauncherInfo><VersionInfo No=\"1.0.2.0\"/><VersionInfo Path=\"1.0.3.0\"/>"
              "<VersionInfo Path=\"..\\outside\"/></LauncherInfo>");
    writeFile(path + L"1.0.2.0\\TqSorva.exe", "MZ old");
    writeFile(path + L"Check\\TqVirtualCam.ax", "MZ check");
    writeFile(path + L"tqupdate.exe.old", "MZ older client");
    // Someone else's: a document, a folder of photos, a folder named like a
    // version the list does not name, and what a listed name would reach
    // outside.
    const std::map<std::wstring, std::string> foreign = {
        {L"notes.txt", "the user's notes"},
        {L"Photos\\holiday.jpg", std::string(3000, '\x11')},
        {L"1.0.1.0\\keep.dat", "not listed"},
        {L"desktop.ini", "[.ShellClassInfo]"},
    };
    for (const auto& file : foreign)
        writeFile(path + file.first, file.second);
    writeFile(install.root() + L"outside\\keep.txt", "beside the install");
    const auto outsideBefore = snapshotTree(install.root() + L"outside");

    RecordingListener listener;
    SorvaFileCleaner cleaner(&listener);
    cleaner.setPath(path);
    cleaner.run(false);

    EXPECT_EQ(1, listener.finished);
    for (const auto& file : foreign)
        EXPECT_EQ(file.second, readFile(path + file.first)) << toUtf8(file.first);
    EXPECT_EQ(outsideBefore, snapshotTree(install.root() + L"outside"));
    for (const wchar_t* gone : {L"Launcher.xml", L"TqSorva.exe", L"Uninstall.exe", L"1.0.2.0", L"1.0.3.0", L"Stable",
                                L"Check", L"Microsoft.VC90.CRT", L"ProductInfo.txt", L"tqupdate.exe.old"})
        EXPECT_FALSE(exists(path + gone)) << toUtf8(gone);
    std::map<std::wstring, std::string> left = snapshotTree(path.substr(0, path.size() - 1));
    EXPECT_EQ(6u, left.size()) << "only the foreign files and their folders";
    std::wstring log = readUninstallLog();
    EXPECT_NE(std::wstring::npos, log.find(L"keep " + path + L"\\notes.txt, not put there by the product"));
    EXPECT_NE(std::wstring::npos, log.find(L"RemoveDirectory " + path + L" fail, last error is "));
}

// "-path" given as a link, or through a link above it, to a folder that
// looks like an install: nothing behind the link goes.
TEST_F(UninstallCoreTest, LinkAsOrAboveTheFolderDeletesNothing)
{
    // Made by the test's fixture: "pathlink" -> "lookalike", "parentlink" ->
    // "lookparent" (which holds "TqSorva").
    const std::wstring root = L"C:\\tq_uninstall_link\\";
    ASSERT_TRUE(exists(root + L"pathlink")) << "fixture missing";
    ASSERT_TRUE(exists(root + L"parentlink")) << "fixture missing";
    makeInstallFiles(root + L"lookalike\\");
    makeInstallFiles(root + L"lookparent\\TqSorva\\");
    writeFile(root + L"lookalike\\notes.txt", "the target's own");
    const auto lookalikeBefore = snapshotTree(root + L"lookalike");
    const auto parentBefore = snapshotTree(root + L"lookparent");
    const std::wstring paths[] = {root + L"pathlink", root + L"pathlink\\", root + L"parentlink\\TqSorva\\",
                                  L"\\\\?\\" + root + L"parentlink\\TqSorva"};
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(toUtf8(path));
        std::wstring reason;
        EXPECT_FALSE(isRemovableInstallFolder(path, &reason));
        SorvaFileCleaner cleaner(nullptr);
        cleaner.setPath(path);
        cleaner.run(false);
        EXPECT_FALSE(cleaner.accepted());
        EXPECT_EQ(lookalikeBefore, snapshotTree(root + L"lookalike"));
        EXPECT_EQ(parentBefore, snapshotTree(root + L"lookparent"));
    }
    // The real folders themselves are installs of ours.
    EXPECT_TRUE(isRemovableInstallFolder(root + L"lookalike"));
    EXPECT_TRUE(isRemovableInstallFolder(root + L"lookparent\\TqSorva"));
}

TEST_F(UninstallCoreTest, StatisticsRequestSaysUninstalled)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([](const LoopbackRequest&, size_t) { return LoopbackResponse::ok("ok"); }));
    writeSetupIni("macId", "01A0B1C2D3E4F5");
    SorvaUninstallCore core(nullptr);
    // No service address: nothing is sent.
    core.sendInstallStastics();
    EXPECT_NE(std::wstring::npos, readUninstallLog().find(L"no service address, request skipped."));
    setVariable(L"TQ_SERVICE_URL", server.url(""));
    core.sendInstallStastics();
    ASSERT_TRUE(server.waitForRequests(1, 30000));
    std::vector<LoopbackRequest> requests = server.requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/TqSorvaInstall.php?mac=01A0B1C2D3E4F5&version=1.0.3.0&installed=0", requests[0].target);
    EXPECT_NE(std::wstring::npos,
              readUninstallLog().find(L"SorvaSetupCore::sendInstallStastics, url " + server.url("")
                                      + L"/TqSorvaInstall.php?mac=01A0B1C2D3E4F5&version=1.0.3.0&installed=0."));
    server.stop();
}

TEST_F(UninstallCoreTest, StatisticsRequestNeverHoldsTheCaller)
{
    // The server answers only once the test lets it: a call that waited for
    // the answer would come back after the gate opened (or gave up).
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> answered{false};
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([&](const LoopbackRequest&, size_t) {
        WaitForSingleObject(gate, 60000);
        answered = true;
        return LoopbackResponse::ok("ok");
    }));
    // A machine id another program wrote into setup.ini travels escaped.
    writeSetupIni("macId", "01A0&installed#x y");
    setVariable(L"TQ_SERVICE_URL", server.url(""));
    {
        SorvaUninstallCore core(nullptr);
        core.sendInstallStastics();
        EXPECT_FALSE(answered.load()) << "the call waited for the server";
        SetEvent(gate);
        ASSERT_TRUE(server.waitForRequests(1, 30000));
    }
    EXPECT_TRUE(answered.load()) << "the core ended before its request";
    std::vector<LoopbackRequest> requests = server.requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("/TqSorvaInstall.php?mac=01A0%26installed%23x%20y&version=1.0.3.0&installed=0", requests[0].target);
    server.stop();
    CloseHandle(gate);

    // A server that never answers holds the core's end only for the short time-out.
    LoopbackHttpServer silent;
    ASSERT_TRUE(silent.start([](const LoopbackRequest&, size_t) {
        LoopbackResponse r;
        r.silent = true;
        return r;
    }));
    setVariable(L"TQ_SERVICE_URL", silent.url(""));
    const ULONGLONG start = GetTickCount64();
    {
        SorvaUninstallCore core(nullptr);
        core.sendInstallStastics();
        ASSERT_TRUE(silent.waitForRequests(1, 30000));
    }
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_LT(waited, 4 * SorvaUninstallCore::kStatisticsTimeoutMs + 2000) << "waited " << waited << " ms";
    silent.stop();
    writeSetupIni("macId", "01A0B1C2D3E4F5");
}

TEST_F(UninstallCoreTest, FilterIsUnregisteredThroughItsWidePathBeforeTheCallReturns)
{
    TestInstall install(L"\u6d4b\u8bd5 \u5b89\u88c5");  // a folder name no ANSI code page here holds
    const std::wstring record = install.root() + L"filter.txt";
    setVariable(L"TQ_FILTER_RECORD", record);
    SorvaUninstallCore core(nullptr);
    core.setPath(install.path());
    core.unRegsvrAxComM();
    std::wstring seen = fromUtf8(readFile(record));
    EXPECT_NE(std::wstring::npos, seen.find(L"unregister ")) << "not unregistered (or not waited for)";
    EXPECT_TRUE(sameTextIgnoringCase(L"unregister " + install.path() + L"1.0.3.0\\TqVirtualCam.ax\r\n", seen))
        << toUtf8(seen);
    setVariable(L"TQ_FILTER_RECORD", L"");

    // Without the filter file nothing runs.
    core.setPath(install.root() + L"empty\\");
    core.unRegsvrAxComM();
    EXPECT_NE(std::wstring::npos, readUninstallLog().find(L"TqUninstallCore::unRegsvrAxComM, file " + install.root()
                                                          + L"empty\\1.0.3.0\\TqVirtualCam.ax not exist."));
}

namespace {

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Collects what was posted to a message-only window of this thread.
class Receiver {
public:
    Receiver()
    {
        m_window = CreateWindowExW(0, L"STATIC", L"receiver", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    ~Receiver() { DestroyWindow(m_window); }
    HWND window() const { return m_window; }
    std::vector<Posted> take()
    {
        std::vector<Posted> out;
        MSG msg;
        while (PeekMessageW(&msg, m_window, WM_USER, WM_USER + 1000, PM_REMOVE))
            out.push_back({msg.message, msg.wParam, msg.lParam});
        return out;
    }

private:
    HWND m_window;
};

}  // namespace

TEST_F(UninstallCoreTest, BridgeSlotsPostTheirMessages)
{
    Receiver prompt, progress;
    SorvaUninstallUI* ui = new SorvaUninstallUI();
    ui->setWindows(prompt.window(), progress.window());
    struct Case {
        size_t slot;
        HWND target;
        UINT message;
    } cases[] = {
        {2, prompt.window(), MSG_UNINSTALL_RETRY},
        {3, prompt.window(), MSG_UNINSTALL_CLOSE},
        {6, progress.window(), MSG_UNINSTALL_FINISH},
    };
    for (const Case& c : cases) {
        CallSlot<void>(ui, c.slot);
        Receiver& to = c.target == prompt.window() ? prompt : progress;
        Receiver& other = c.target == prompt.window() ? progress : prompt;
        std::vector<Posted> got = to.take();
        ASSERT_EQ(1u, got.size()) << c.slot;
        EXPECT_EQ(c.message, got[0].message);
        EXPECT_EQ(0u, got[0].wParam);
        EXPECT_EQ(0, got[0].lParam);
        EXPECT_TRUE(other.take().empty());
    }
    // Slot 5: the path in wParam and the share in lParam, both for the window to free.
    CallSlot<void, const wchar_t*, int32_t, int32_t>(ui, 5, L"C:\\TqSorva\\\\a.dll", 50, 200);
    std::vector<Posted> got = progress.take();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(MSG_UNINSTALL_PROGRESS, got[0].message);
    std::wstring path;
    double share = 0;
    takeUninstallProgress(got[0].wParam, got[0].lParam, path, share);
    EXPECT_EQ(L"C:\\TqSorva\\\\a.dll", path);
    EXPECT_DOUBLE_EQ(0.25, share);
    // Slot 7 stores the controller; slot 0 with flag 1 frees the bridge.
    SorvaUninstallCommand* command = reinterpret_cast<SorvaUninstallCommand*>(0x1234);
    CallSlot<void, SorvaUninstallCommand*>(ui, 7, command);
    EXPECT_EQ(command, ui->control());
    static_assert(kSorvaUninstallUISlots == 8, "the bridge has eight slots");
    CallSlot<void, unsigned>(ui, 0, 1u);
}

TEST_F(UninstallCoreTest, ControllerListenerSlotsReachTheWindows)
{
    Receiver prompt, progress;
    SorvaUninstallControl control;
    control.ui()->setWindows(prompt.window(), progress.window());
    EXPECT_EQ(static_cast<SorvaUninstallCommand*>(&control), control.ui()->control());
    SorvaUninstallListener* listener = &control;
    static_assert(kSorvaUninstallListenerSlots == 5 && kSorvaUninstallCommandSlots == 2, "slot counts");
    CallSlot<void>(listener, 1);  // onProductRunning
    std::vector<Posted> got = prompt.take();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(MSG_UNINSTALL_RETRY, got[0].message);
    CallSlot<void, const wchar_t*, int32_t, int32_t>(listener, 3, L"x", 300, 200);  // onProgress
    got = progress.take();
    ASSERT_EQ(1u, got.size());
    std::wstring path;
    double share = 0;
    takeUninstallProgress(got[0].wParam, got[0].lParam, path, share);
    EXPECT_EQ(L"x", path);
    EXPECT_DOUBLE_EQ(1.5, share);
    setString(HKEY_CURRENT_USER, L"Software\\brenlo\\tqsorva", L"InstallDir", L"C:\\x\\");
    control.core()->setPath(L"C:\\x\\");  // the registered install is the one removed
    CallSlot<void>(listener, 4);  // onCleanFinish: registry first, then the window
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, L"Software\\brenlo\\tqsorva"));
    got = progress.take();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(MSG_UNINSTALL_FINISH, got[0].message);
}

TEST_F(UninstallCoreTest, OverlongCommandLineIsRefusedNotCut)
{
    EXPECT_FALSE(runExeFile(programFolder() + L"uninstall_test_helper.exe", std::wstring(40000, L'a'), true));
    EXPECT_NE(std::wstring::npos, readUninstallLog().find(L"runExeFile, command line of 40000 characters is too long."));
    const std::wstring record = kTestRoot + L"longline.txt";
    DeleteFileW(record.c_str());
    setVariable(L"TQ_HELPER_RECORD", record);
    // The longest line that fits arrives whole.
    std::wstring line = L"-x " + std::wstring(4092, L'b');
    ASSERT_EQ(4095u, line.size());
    EXPECT_TRUE(runExeFile(programFolder() + L"uninstall_test_helper.exe", line, true));
    EXPECT_NE(std::wstring::npos, fromUtf8(readFile(record)).find(L"cmdline=" + line + L"\r\n"));
    DeleteFileW(record.c_str());
}

TEST_F(UninstallCoreTest, ConfirmedUninstallRetriesWhileTheProductRunsThenUnregistersAndRelocates)
{
    TestInstall install(L"interactive");
    const std::wstring folder = kTestRoot + L"interactive_product\\";
    removeTree(folder);
    copyProgram(L"uninstall_test_helper.exe", folder + L"TqSorva.exe");
    setVariable(L"TQ_HELPER_RECORD", folder + L"started.txt");
    PROCESS_INFORMATION product = startProgram(folder + L"TqSorva.exe", L"TqSorva.exe -wait");
    ASSERT_TRUE(waitForStarts(folder + L"started.txt", 1));
    setVariable(L"TQ_HELPER_RECORD", L"");
    setVariable(L"TQ_FILTER_RECORD", install.root() + L"filter.txt");
    // The relocated copy is this test program: it runs no test.
    setVariable(L"GTEST_FILTER", L"NoTestRunsInTheRelocatedCopy");

    Receiver prompt, progress;
    {
        SorvaUninstallControl control;
        control.ui()->setWindows(prompt.window(), progress.window());
        control.core()->setPath(install.path());
        SorvaUninstallCommand* command = &control;
        auto waitForMessage = [&](UINT message) {
            for (int i = 0; i < 3000; ++i) {
                for (const Posted& posted : prompt.take())
                    if (posted.message == message)
                        return true;
                Sleep(10);
            }
            return false;
        };
        CallSlot<void>(command, 1);  // OK while the product runs
        ASSERT_TRUE(waitForMessage(MSG_UNINSTALL_RETRY));
        EXPECT_FALSE(exists(install.root() + L"filter.txt")) << "unregistered before the product quit";
        TerminateProcess(product.hProcess, 0);
        WaitForSingleObject(product.hProcess, 5000);
        CallSlot<void>(command, 1);  // retry after it quit
        ASSERT_TRUE(waitForMessage(MSG_UNINSTALL_CLOSE));
        control.core()->checker()->join();
    }
    closeProcess(product);
    setVariable(L"TQ_FILTER_RECORD", L"");
    EXPECT_TRUE(waitForProcessesNamed(L"uninstall.exe", 60000));
    setVariable(L"GTEST_FILTER", L"");

    EXPECT_NE(std::wstring::npos, fromUtf8(readFile(install.root() + L"filter.txt")).find(L"unregister "));
    std::wstring log = readUninstallLog();
    const std::wstring parameters = L"para is -delete -path \"" + install.path().substr(0, install.path().size() - 1) + L"\"";
    size_t relocated = log.rfind(parameters);
    size_t unregistered = log.rfind(L"TqUninstallCore::unRegsvrAxComM, ret is ");
    ASSERT_NE(std::wstring::npos, relocated);
    ASSERT_NE(std::wstring::npos, unregistered);
    EXPECT_LT(unregistered, relocated);
    // The copy lies in a folder of its own under the per-user setup folder.
    bool copied = false;
    for (const auto& entry : snapshotTree(dataFolder() + L"\\setup"))
        copied = copied || (entry.first.size() == 52 && entry.first.compare(38, 14, L"\\uninstall.exe") == 0);
    EXPECT_TRUE(copied);
    EXPECT_TRUE(exists(install.path() + L"Launcher.xml")) << "the first uninstaller deletes nothing itself";
    removeTree(folder);
}
