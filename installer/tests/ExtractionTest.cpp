// Payload extraction: routing of entry names, refused names with canary
// files where they would land, damaged archives, cancellation, files held
// open and the progress reports.
#include "DiskOutputer.h"
#include "InstallerTestSupport.h"
#include "SevenZipArchive.h"
#include "SystemUtils.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <atomic>

namespace {

std::wstring roamingFolder()
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring fullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return std::wstring(full, n);
}

TEST(DiskOutputerRoute, EntryNamesLandWhereTheirFirstFolderSays)
{
    const std::wstring root = L"C:\\Program Files\\TqSorva\\";
    CDiskOutputer outputer(L"C:/Program Files/TqSorva", nullptr);
    EXPECT_EQ(outputer.root(), root);
    std::wstring temp = environmentValue(L"TEMP");
    struct Case { const wchar_t* name; std::wstring target; bool skipped; };
    const Case cases[] = {
        {L"install/1.0.3.0/x.dll", root + L"1.0.3.0\\x.dll", false},
        {L"INSTALLDIR/a.txt", root + L"a.txt", false},
        {L"component/c.txt", root + L"c.txt", false},
        {L"other/deep/d.txt", root + L"deep\\d.txt", false},
        {L"plain.txt", root + L"plain.txt", false},
        {L"AppData/a.txt", getInstallDataDir(root) + L"a.txt", false},
        {L"TEMP/a.txt", temp + L"\\a.txt", false},
        {L"vqm/v.txt", roamingFolder() + L"\\brenlo\\tq\\tqpip\\v.txt", false},
        {L"install", root + L"install", false},
        {L"AppData", L"", true},
        {L"Temp", L"", true},
    };
    for (const Case& c : cases) {
        std::wstring target;
        bool skipped = false;
        ASSERT_TRUE(outputer.route(c.name, target, skipped)) << c.name;
        EXPECT_EQ(target, c.target) << c.name;
        EXPECT_EQ(skipped, c.skipped) << c.name;
    }
}

TEST(DiskOutputerRoute, NamesThatCouldLeaveTheirFolderAreRefused)
{
    CDiskOutputer outputer(L"C:\\Program Files\\TqSorva", nullptr);
    const wchar_t* refused[] = {L"../x", L"..\\x", L"TEMP/../../x", L"install/../../x", L"install/sub/../../../x",
                                L"C:\\x", L"C:x", L"/x", L"\\x", L"\\\\server\\share\\x", L"install/a:stream",
                                L"install/.. /x", L"install/.../x", L"install//x", L"AppData/../../x", L"."};
    for (const wchar_t* name : refused) {
        std::wstring target;
        bool skipped = false;
        EXPECT_FALSE(outputer.route(name, target, skipped)) << name;
        EXPECT_FALSE(isSafeRelativeName(name)) << name;
    }
    for (const wchar_t* name : {L"install/a..b.txt", L"install/.hidden", L"a b/c.txt"})
        EXPECT_TRUE(isSafeRelativeName(name)) << name;
}

TEST(DiskOutputerRoute, ComponentArchivesMayNotLeaveTheirFolder)
{
    CDiskOutputer outputer(L"C:\\data\\component", nullptr, false);
    for (const wchar_t* name : {L"AppData/a.txt", L"TEMP/a.txt", L"VQM/a.txt"}) {
        std::wstring target;
        bool skipped = false;
        EXPECT_FALSE(outputer.route(name, target, skipped)) << name;
    }
    std::wstring target;
    bool skipped = false;
    ASSERT_TRUE(outputer.route(L"sub/c.txt", target, skipped));
    EXPECT_EQ(target, L"C:\\data\\component\\c.txt");
}

TEST(Extraction, WritesTheArchiveTreeAndReportsProgress)
{
    TestFolder folder(L"extract_ok");
    RecordingListener listener;
    CDiskOutputer outputer(folder / L"install", &listener);
    ASSERT_TRUE(extractArchiveFile(fixturePath(L"ok.7z"), outputer, {}));
    EXPECT_EQ(readFileBytes(folder / L"install\\a.txt"), "alpha");
    EXPECT_EQ(readFileBytes(folder / L"install\\sub\\b.bin").size(), 200000u);
    EXPECT_EQ(readFileBytes(folder / L"install\\plain.txt"), "plain");
    DWORD attributes = GetFileAttributesW((folder / L"install\\empty").c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    // A folder entry "install" on its own is no marker: it makes that folder.
    EXPECT_TRUE(fileExists(folder / L"install\\install"));

    ASSERT_FALSE(listener.fractions.empty());
    for (size_t i = 0; i < listener.fractions.size(); ++i) {
        EXPECT_GE(listener.fractions[i], 0.0);
        EXPECT_LT(listener.fractions[i], 0.9);
        if (i) {
            EXPECT_GT(listener.fractions[i], listener.fractions[i - 1]);
        }
        EXPECT_EQ(listener.texts[i].rfind(L"正在解压文件：", 0), 0u);
    }
}

TEST(Extraction, DamagedArchivesFailAndWriteNothing)
{
    for (const wchar_t* name : {L"cut.7z", L"flipped.7z"}) {
        TestFolder folder(L"extract_damaged");
        CDiskOutputer outputer(folder / L"install", nullptr);
        EXPECT_FALSE(extractArchiveFile(fixturePath(name), outputer, {})) << name;
        EXPECT_FALSE(fileExists(folder / L"install\\sub\\b.bin")) << name;
    }
    TestFolder folder(L"extract_none");
    CDiskOutputer outputer(folder / L"install", nullptr);
    const char notAnArchive[] = "this is not a 7z archive at all";
    EXPECT_FALSE(extractArchive(notAnArchive, sizeof notAnArchive, outputer, {}));
    EXPECT_FALSE(extractArchive(nullptr, 0, outputer, {}));
}

TEST(Extraction, HostileEntryNamesFailTheExtractionAndLeaveCanariesAlone)
{
    TestFolder folder(L"extract_hostile");
    const std::wstring root = folder / L"case\\install\\";
    createDirectories(root);
    const std::wstring temp = environmentValue(L"TEMP");
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    // Where each hostile name would land if it were followed.
    const std::vector<std::wstring> canaries = {
        fullPath(folder / L"case\\x"), fullPath(temp + L"\\..\\..\\x"), L"C:\\x",
        std::wstring(windows) + L"\\tq_canary.txt"};
    for (const std::wstring& canary : canaries) {
        if (!fileExists(canary)) {
            ASSERT_TRUE(writeFileBytes(canary, "canary")) << (&canary - canaries.data());
        }
    }
    std::vector<std::string> before;
    for (const std::wstring& canary : canaries)
        before.push_back(readFileBytes(canary));

    for (int i = 1; i <= 8; ++i) {
        std::wstring name = L"hostile_" + std::to_wstring(i) + L".7z";
        CDiskOutputer outputer(root, nullptr);
        EXPECT_FALSE(extractArchiveFile(fixturePath(name.c_str()), outputer, {})) << i;
        for (size_t k = 0; k < canaries.size(); ++k)
            EXPECT_EQ(readFileBytes(canaries[k]), before[k]) << i;
        EXPECT_FALSE(fileExists(root + L"zz_evil.txt")) << i;
        // Every name is checked before the first write: the harmless entry
        // ahead of the hostile one is not written either.
        EXPECT_FALSE(fileExists(root + L"first.txt")) << i;
    }
    DeleteFileW(canaries[1].c_str());
    DeleteFileW(canaries[2].c_str());
    DeleteFileW(canaries[3].c_str());
}

TEST(Extraction, CancellingStopsAfterTheCurrentEntry)
{
    TestFolder folder(L"extract_cancel");
    CDiskOutputer outputer(folder / L"install", nullptr);
    std::atomic<int> asked{0};
    ArchiveExtractOptions options;
    options.cancelled = [&] { return ++asked >= 4; };  // after the fourth entry
    EXPECT_FALSE(extractArchiveFile(fixturePath(L"ok.7z"), outputer, options));
    EXPECT_EQ(asked.load(), 4);
    // Archive order: install, install/empty, install/sub, install/a.txt, install/sub/b.bin, plain.txt.
    EXPECT_TRUE(fileExists(folder / L"install\\a.txt"));
    EXPECT_FALSE(fileExists(folder / L"install\\plain.txt"));
    EXPECT_FALSE(fileExists(folder / L"install\\sub\\b.bin"));
}

TEST(DiskOutputer, AFileHeldOpenIsMovedAsideAndWrittenAfresh)
{
    TestFolder folder(L"extract_held");
    const std::wstring target = folder / L"install\\lib.dll";
    createDirectories(folder / L"install");
    ASSERT_TRUE(writeFileBytes(target, "old bytes"));
    // Another program has it open for reading, the way a loaded library is:
    // it can be renamed but not written.
    HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    CDiskOutputer outputer(folder / L"install", nullptr);
    const std::string fresh = "new bytes";
    EXPECT_TRUE(outputer.output(L"install/lib.dll", false, fresh.data(), fresh.size()));
    CloseHandle(held);
    EXPECT_EQ(readFileBytes(target), fresh);
    EXPECT_EQ(readFileBytes(target + L".old"), "old bytes");
}

TEST(DiskOutputer, AFolderWhereAFileShouldGoIsNotMovedAside)
{
    TestFolder folder(L"extract_folder");
    createDirectories(folder / L"install\\Stable\\keep");
    CDiskOutputer outputer(folder / L"install", nullptr);
    EXPECT_FALSE(outputer.output(L"install/Stable", false, "x", 1));
    EXPECT_TRUE(fileExists(folder / L"install\\Stable\\keep"));
    EXPECT_FALSE(fileExists(folder / L"install\\Stable.old"));
}

TEST(DiskOutputer, NothingIsWrittenThroughLinksInTheInstallFolder)
{
    // Made by the test's fixture step: link_extract\a.txt -> link_canary\keep.txt
    // and link_extract\sub -> link_canary.
    const std::wstring root = fullPath(L"link_extract");
    const std::wstring canary = fullPath(L"link_canary\\keep.txt");
    ASSERT_EQ(readFileBytes(canary), "keep\n");
    CDiskOutputer outputer(root, nullptr);
    EXPECT_FALSE(outputer.output(L"install/a.txt", false, "evil", 4));
    EXPECT_FALSE(outputer.output(L"install/sub/new.txt", false, "evil", 4));
    EXPECT_FALSE(outputer.output(L"install/sub/keep.txt", false, "evil", 4));
    EXPECT_EQ(readFileBytes(canary), "keep\n");
    EXPECT_FALSE(fileExists(fullPath(L"link_canary\\new.txt")));
}

TEST(DiskOutputer, ProgressTextStaysWithinItsBuffer)
{
    RecordingListener listener;
    CDiskOutputer outputer(L"C:\\x", &listener);
    outputer.progress(5, 10, std::wstring(5000, L'n'));
    outputer.progress(0, 0, L"none");  // no entries: nothing to divide by
    ASSERT_EQ(listener.texts.size(), 1u);
    EXPECT_EQ(listener.texts[0].size(), CDiskOutputer::kMaxProgressChars);
    EXPECT_DOUBLE_EQ(listener.fractions[0], 0.45);
}

} // namespace
