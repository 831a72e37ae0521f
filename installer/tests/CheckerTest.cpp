// The environment check against the payload of the built installer (read
// from TqSorvaSetup.exe as a data file): first installs, installed filters of
// the same or another version, held or not, and the single-instance test.
#include "InstallerTestSupport.h"
#include "SetupConstants.h"
#include "SetupCleanup.h"
#include "SorvaSetupChecker.h"
#include "SorvaSetupDecompressor.h"
#include "SystemUtils.h"

#include <gtest/gtest.h>

using namespace setup;

namespace {

std::wstring binFolder()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

HMODULE payloadModule()
{
    static HMODULE module = LoadLibraryExW((binFolder() + L"TqSorvaSetup.exe").c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

// Writes the shipped filter into folder\Stable with another version.
void installFilterWithVersion(const std::wstring& stable, WORD minor)
{
    std::string bytes = readFileBytes(binFolder() + L"TqVirtualCam.ax");
    const char signature[] = {'\xBD', '\x04', '\xEF', '\xFE'};
    size_t at = bytes.find(std::string(signature, 4));
    ASSERT_NE(at, std::string::npos);
    DWORD ms = MAKELONG(minor, 1);  // 1.minor
    memcpy(&bytes[at + 8], &ms, 4);
    createDirectories(stable);
    ASSERT_TRUE(writeFileBytes(stable + L"\\TqVirtualCam.ax", bytes));
}

// Runs one interactive check (on the checker's own thread) and waits for its report.
std::vector<std::wstring> check(const std::wstring& installPath, int32_t param = 1)
{
    RecordingListener listener(false);
    SorvaSetupChecker checker(&listener);
    checker.setResourceModule(payloadModule());
    checker.setPath(installPath);
    checker.start(true, param);
    checker.join();
    return listener.events();
}

TEST(SetupChecker, AFirstInstallMayProceedAfterTheCheckCopyIsOut)
{
    ASSERT_NE(payloadModule(), nullptr);
    TestFolder folder(L"check_first");
    const DWORD start = GetTickCount();
    EXPECT_EQ(check(folder.path()), std::vector<std::wstring>{L"check 0"});
    EXPECT_GE(GetTickCount() - start, SorvaSetupChecker::kCompareDelayMs);
    uint16_t version[4] = {};
    ASSERT_TRUE(SorvaSetupChecker::getFileVersion(folder / L"Check\\TqVirtualCam.ax", version));
    EXPECT_EQ(std::vector<uint16_t>(version, version + 4), (std::vector<uint16_t>{1, 0, 3, 0}));
}

TEST(SetupChecker, AHeldFilterMattersOnlyWhenItsVersionDiffers)
{
    TestFolder folder(L"check_held");
    const std::wstring stable = folder / L"Stable";
    for (WORD minor : {WORD(0), WORD(2)}) {
        installFilterWithVersion(stable, minor);  // 1.0.3.0 (the same), then 1.2.3.0
        const std::wstring filter = stable + L"\\TqVirtualCam.ax";
        EXPECT_EQ(check(folder.path()), std::vector<std::wstring>{L"check 0"}) << minor << " not held";
        HMODULE held = LoadLibraryW(filter.c_str());
        ASSERT_NE(held, nullptr);
        const std::wstring expected = minor == 0 ? L"check 0" : L"check 2";
        EXPECT_EQ(check(folder.path()), std::vector<std::wstring>{expected}) << minor << " held";
        FreeLibrary(held);
    }
}

TEST(SetupChecker, ACheckCopyWithoutAVersionCountsAsDifferent)
{
    TestFolder folder(L"check_unreadable");
    installFilterWithVersion(folder / L"Stable", 0);
    HMODULE held = LoadLibraryW((folder / L"Stable\\TqVirtualCam.ax").c_str());
    ASSERT_NE(held, nullptr);
    RecordingListener listener;
    SorvaSetupChecker checker(&listener);
    checker.setPath(folder.path());
    createDirectories(folder / L"Check");
    ASSERT_TRUE(writeFileBytes(folder / L"Check\\TqVirtualCam.ax", "no version here"));
    EXPECT_EQ(checker.compareFilterVersionResult(), CR_SetupVirtualCamUsing);
    FreeLibrary(held);
}

TEST(SetupChecker, AnotherInstallerIsSeenUnlessTheRestartSkipsTheTest)
{
    TestFolder folder(L"check_instance");
    // A mutex of that name held by someone else, as a running installer holds it.
    HANDLE other = CreateMutexW(nullptr, FALSE, kSingleInstanceMutex);
    ASSERT_NE(other, nullptr);
    const bool someoneElse = GetLastError() != ERROR_ALREADY_EXISTS;
    if (someoneElse) {
        EXPECT_EQ(check(folder.path(), 0), std::vector<std::wstring>{L"check 1"});
    }
    EXPECT_EQ(check(folder.path(), 1), std::vector<std::wstring>{L"check 0"});
    CloseHandle(other);
}

TEST(SetupChecker, ProgramsAreShownByTheirDisplayNames)
{
    EXPECT_EQ(SorvaSetupChecker::displayName(L"tqsorva.exe"), L"TqNelu");
    EXPECT_EQ(SorvaSetupChecker::displayName(L"Tq.exe"), L"Tq语音");
    EXPECT_EQ(SorvaSetupChecker::displayName(L"Zm.exe"), L"Zm即时通");
    EXPECT_EQ(SorvaSetupChecker::displayName(L"obs64.exe"), L"obs64.exe");
}

} // namespace

namespace {

// The interactive extraction on the worker, with the built installer's payload:
// the earlier install's version folders go first, then the payload lands.
TEST(InteractiveExtraction, CleansTheEarlierInstallThenExtractsThePayload)
{
    ASSERT_NE(payloadModule(), nullptr);
    TestFolder folder(L"interactive");
    const std::wstring install = folder / L"TqSorva\\";
    createDirectories(install + L"1.0.2.0");
    createDirectories(install + L"1.0.3.0");
    ASSERT_TRUE(writeFileBytes(install + L"1.0.2.0\\old.dll", "old"));
    ASSERT_TRUE(writeFileBytes(install + L"1.0.3.0\\stale.dll", "stale"));
    ASSERT_TRUE(writeFileBytes(install + L"Launcher.xml",
                               "<LauncherInfo><VersionInfo No=\"1.0.2.0\" Path=\"1.0.2.0\"/>"
                               "<VersionInfo No=\"1.0.3.0\" Path=\"1.0.3.0\"/></LauncherInfo>"));
    ASSERT_TRUE(writeFileBytes(install + L"mine.txt", "the user's"));

    RecordingListener listener;
    SorvaSetupDecompressor decompressor(&listener);
    decompressor.setResourceModule(payloadModule());
    decompressor.setPath(install);
    SetEnvironmentVariableW(L"TQ_SERVICE_URL", nullptr);  // no component service
    ASSERT_TRUE(decompressor.start(true));
    decompressor.join();
    EXPECT_EQ(listener.events(), std::vector<std::wstring>{L"finish 0"});
    EXPECT_FALSE(fileExists(install + L"1.0.2.0"));
    EXPECT_FALSE(fileExists(install + L"1.0.3.0\\stale.dll"));
    EXPECT_TRUE(fileExists(install + L"1.0.3.0\\lumeo.dll"));
    EXPECT_TRUE(fileExists(install + L"Launcher.xml"));
    EXPECT_EQ(readFileBytes(install + L"mine.txt"), "the user's");
    ASSERT_FALSE(listener.fractions.empty());
    EXPECT_LT(listener.fractions.back(), 0.9);
}

// An earlier install named by the registry that is no install of ours, or a
// protected folder, is left as it is.
TEST(InteractiveExtraction, ARegistryFolderThatIsNoEarlierInstallIsLeftAlone)
{
    TestFolder folder(L"registry_folder");
    const std::wstring other = folder / L"Other\\";
    createDirectories(other + L"Stable");
    ASSERT_TRUE(writeFileBytes(other + L"TqSorva.exe", "someone else's"));
    ASSERT_TRUE(writeFileBytes(other + L"Stable\\keep.txt", "keep"));
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring windowsXml = std::wstring(windows) + L"\\Launcher.xml";
    ASSERT_TRUE(writeFileBytes(windowsXml, "<LauncherInfo><VersionInfo Path=\"system32\"/></LauncherInfo>"));

    bool present = false;
    const std::wstring saved = readInstallDirValue(present);
    for (const std::wstring& earlier : {other, std::wstring(windows), std::wstring(L"C:\\")}) {
        restoreInstallDirValue(earlier, true);
        cleanUpFile(folder / L"New\\");
    }
    restoreInstallDirValue(saved, present);
    EXPECT_EQ(readFileBytes(other + L"TqSorva.exe"), "someone else's");
    EXPECT_EQ(readFileBytes(other + L"Stable\\keep.txt"), "keep");
    EXPECT_TRUE(fileExists(std::wstring(windows) + L"\\system32\\kernel32.dll"));
    EXPECT_TRUE(fileExists(windowsXml));
    DeleteFileW(windowsXml.c_str());
}

} // namespace
