// The cleanup of earlier installs: only the product's own items go, and
// nothing outside the earlier install's folder is touched whatever its
// "Launcher.xml" says.
#include "InstallerTestSupport.h"
#include "SetupCleanup.h"
#include "SystemUtils.h"

#include <gtest/gtest.h>

namespace {

void writeLauncherXml(const std::wstring& folder, const std::string& versions)
{
    createDirectories(folder);
    ASSERT_TRUE(writeFileBytes(folder + L"Launcher.xml",
                               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<LauncherInfo>\r\n" + versions +
                                   "</LauncherInfo>\r\n"));
}

void makeFile(const std::wstring& path, const char* text = "x")
{
    std::wstring parent;
    parentPath(path, parent);
    createDirectories(parent);
    ASSERT_TRUE(writeFileBytes(path, text));
}

TEST(Cleanup, RemovesTheVersionFoldersAndOwnItemsOfAnEarlierInstall)
{
    TestFolder folder(L"cleanup_earlier");
    const std::wstring install = folder / L"TqSorva\\";
    writeLauncherXml(install, "<VersionInfo No=\"1.0.2.0\" Path=\"1.0.2.0\"/>\r\n<VersionInfo No=\"1.0.3.0\"/>\r\n"
                              "<VersionInfo version=\"0.9\"/>\r\n");
    makeFile(install + L"1.0.2.0\\lumeo.dll");
    makeFile(install + L"1.0.3.0\\res\\a.png");
    makeFile(install + L"0.9\\old.dll");
    makeFile(install + L"TqSorva.exe");
    makeFile(install + L"Uninstall.exe");
    makeFile(install + L"Stable\\TqVirtualCam.ax");
    makeFile(install + L"Check\\TqVirtualCam.ax");
    makeFile(install + L"tqlauncher.exe");

    std::vector<std::wstring> versions;
    ASSERT_TRUE(readVersionFolders(install, versions));
    EXPECT_EQ(versions.size(), 3u);

    cleanOldVersionFolders(install);
    EXPECT_FALSE(fileExists(install));  // nothing else was in it
}

TEST(Cleanup, KeepsWhatIsNotTheProductsAndTheFolderHoldingIt)
{
    TestFolder folder(L"cleanup_keep");
    const std::wstring install = folder / L"Shared\\";
    writeLauncherXml(install, "<VersionInfo No=\"1.0.3.0\" Path=\"1.0.3.0\"/>\r\n");
    makeFile(install + L"1.0.3.0\\lumeo.dll");
    makeFile(install + L"TqSorva.exe");
    makeFile(install + L"Documents\\letter.txt", "mine");
    makeFile(install + L"notes.txt", "mine too");

    cleanOldVersionFolders(install);
    EXPECT_FALSE(fileExists(install + L"1.0.3.0"));
    EXPECT_FALSE(fileExists(install + L"TqSorva.exe"));
    EXPECT_FALSE(fileExists(install + L"Launcher.xml"));
    EXPECT_EQ(readFileBytes(install + L"Documents\\letter.txt"), "mine");
    EXPECT_EQ(readFileBytes(install + L"notes.txt"), "mine too");
}

TEST(Cleanup, VersionPathsLeavingTheFolderAreIgnored)
{
    TestFolder folder(L"cleanup_paths");
    const std::wstring install = folder / L"inner\\deeper\\TqSorva\\";
    makeFile(folder / L"x\\canary.txt", "canary");
    makeFile(folder / L"inner\\canary.txt", "canary");
    makeFile(L"C:\\tq_cleanup_canary\\canary.txt", "canary");
    writeLauncherXml(install, "<VersionInfo Path=\"..\\..\\..\\x\"/>\r\n<VersionInfo Path=\"..\\..\"/>\r\n"
                              "<VersionInfo Path=\"C:\\tq_cleanup_canary\"/>\r\n<VersionInfo No=\"..\"/>\r\n"
                              "<VersionInfo Path=\"1.0.3.0\\..\\..\"/>\r\n<VersionInfo Path=\" . \"/>\r\n");
    std::vector<std::wstring> versions;
    EXPECT_FALSE(readVersionFolders(install, versions));
    cleanOldVersionFolders(install);
    EXPECT_EQ(readFileBytes(folder / L"x\\canary.txt"), "canary");
    EXPECT_EQ(readFileBytes(folder / L"inner\\canary.txt"), "canary");
    EXPECT_EQ(readFileBytes(L"C:\\tq_cleanup_canary\\canary.txt"), "canary");
    DeleteFileW(L"C:\\tq_cleanup_canary\\canary.txt");
    RemoveDirectoryW(L"C:\\tq_cleanup_canary");
}

TEST(Cleanup, FoldersThatAreNotAnEarlierInstallAreLeftAlone)
{
    TestFolder folder(L"cleanup_none");
    // No Launcher.xml: a folder the user chose that holds other things.
    const std::wstring chosen = folder / L"Chosen\\";
    makeFile(chosen + L"TqSorva.exe", "someone else's");
    makeFile(chosen + L"Stable\\file.txt", "keep");
    cleanOldVersionFolders(chosen);
    EXPECT_EQ(readFileBytes(chosen + L"TqSorva.exe"), "someone else's");
    EXPECT_EQ(readFileBytes(chosen + L"Stable\\file.txt"), "keep");

    // A Launcher.xml that cannot be read counts as none.
    makeFile(chosen + L"Launcher.xml", "<LauncherInfo><VersionInfo");
    cleanOldVersionFolders(chosen);
    EXPECT_EQ(readFileBytes(chosen + L"Stable\\file.txt"), "keep");

    // Protected folders, even with a Launcher.xml in them.
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring windowsXml = std::wstring(windows) + L"\\Launcher.xml";
    const std::wstring rootXml = L"C:\\Launcher.xml";
    const std::string xml = "<LauncherInfo><VersionInfo Path=\"system32\"/><VersionInfo Path=\"windows\"/></LauncherInfo>";
    ASSERT_TRUE(writeFileBytes(windowsXml, xml));
    ASSERT_TRUE(writeFileBytes(rootXml, xml));
    for (const std::wstring& protectedFolder : {std::wstring(windows), std::wstring(L"C:\\")})
        cleanOldVersionFolders(protectedFolder);
    EXPECT_TRUE(fileExists(std::wstring(windows) + L"\\system32\\kernel32.dll"));
    EXPECT_TRUE(fileExists(windowsXml));
    EXPECT_TRUE(fileExists(rootXml));
    DeleteFileW(windowsXml.c_str());
    DeleteFileW(rootXml.c_str());
}

TEST(Cleanup, LinksInAnEarlierInstallAreRemovedNeverFollowed)
{
    // Made by the test's fixture step: link_install/Launcher.xml naming the
    // version folders "1.0.3.0" (a link to link_canary) and "Stable" a link too.
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    const std::wstring install = std::wstring(cwd) + L"\\link_install\\";
    const std::wstring canary = std::wstring(cwd) + L"\\link_canary\\keep.txt";
    ASSERT_TRUE(fileExists(install + L"Launcher.xml"));
    ASSERT_EQ(readFileBytes(canary), "keep\n");
    cleanOldVersionFolders(install);
    EXPECT_EQ(readFileBytes(canary), "keep\n");
    EXPECT_FALSE(fileExists(install + L"Launcher.xml"));
    // Where the system cannot open a link as itself, the link stays; it is
    // never followed.
}

TEST(Cleanup, AnEarlierInstallReachedThroughALinkAboveItIsLeftAlone)
{
    // Made by the test's fixture step: link_above -> link_above_target, which
    // holds an install of ours in "TqSorva".
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    const std::wstring target = std::wstring(cwd) + L"\\link_above_target\\TqSorva\\";
    ASSERT_EQ(readFileBytes(target + L"1.0.3.0\\keep.txt"), "keep\n") << "fixture missing";
    for (const std::wstring& folder : {std::wstring(cwd) + L"\\link_above\\TqSorva\\",
                                       std::wstring(cwd) + L"\\link_above\\TqSorva"}) {
        cleanOldVersionFolders(folder);
        EXPECT_EQ(readFileBytes(target + L"1.0.3.0\\keep.txt"), "keep\n");
        EXPECT_EQ(readFileBytes(target + L"TqSorva.exe"), "mz\n");
        EXPECT_TRUE(fileExists(target + L"Launcher.xml"));
    }
    // The folder itself, named where it is, is an earlier install.
    cleanOldVersionFolders(target);
    EXPECT_FALSE(fileExists(target + L"1.0.3.0"));
}

TEST(Cleanup, OldClientFilesAreDeletedOrRenamedWhenHeld)
{
    TestFolder folder(L"cleanup_client");
    const std::wstring install = folder.path();
    const auto& names = oldClientFileNames();
    ASSERT_GE(names.size(), 2u);
    makeFile(install + names[0]);
    makeFile(install + names[1], "held");
    HANDLE held = CreateFileW((install + names[1]).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    // Wine lets a file open with delete sharing be deleted; hold it the way a
    // loaded library is held where that is refused.
    cleanOldClientFiles(install);
    CloseHandle(held);
    EXPECT_FALSE(fileExists(install + names[0]));
    EXPECT_FALSE(fileExists(install + names[1]));
}

} // namespace
