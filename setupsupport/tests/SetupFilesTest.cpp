// Files and folders: copies, trees, renames, links inside trees, and the
// folders deleteDirectory must leave alone.
#include "SystemUtils.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// Every file below folder by relative path, with its content.
void listTree(const std::wstring& folder, const std::wstring& prefix, std::map<std::wstring, std::string>& out)
{
    WIN32_FIND_DATAW entry = {};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[prefix + name + L"\\"] = "";
            listTree(folder + L"\\" + name, prefix + name + L"\\", out);
        } else {
            out[prefix + name] = readFileBytes(folder + L"\\" + name);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

std::map<std::wstring, std::string> tree(const std::wstring& folder)
{
    std::map<std::wstring, std::string> out;
    listTree(folder, L"", out);
    return out;
}

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void makeSampleTree(const std::wstring& root)
{
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW((root + L"\\sub").c_str(), nullptr);
    CreateDirectoryW((root + L"\\sub\\deeper").c_str(), nullptr);
    CreateDirectoryW((root + L"\\empty").c_str(), nullptr);
    writeFileBytes(root + L"\\a.txt", "alpha");
    writeFileBytes(root + L"\\sub\\b.bin", std::string("\0\1\2", 3));
    writeFileBytes(root + L"\\sub\\deeper\\\u5b89.txt", "wide name");
}

std::wstring fullPath(const std::wstring& relative)
{
    wchar_t out[MAX_PATH] = {};
    GetFullPathNameW(relative.c_str(), MAX_PATH, out, nullptr);
    return out;
}

} // namespace

TEST(SetupFiles, CopiesTrees)
{
    TestFolder folder(L"copy");
    makeSampleTree(folder / L"from");
    ASSERT_TRUE(copyDirectory(folder / L"from", folder / L"to\\nested"));
    EXPECT_EQ(tree(folder / L"from"), tree(folder / L"to\\nested"));
    EXPECT_EQ(6u, tree(folder / L"to\\nested").size());

    // Empty and missing sources give the target folder and success.
    CreateDirectoryW((folder / L"nothing").c_str(), nullptr);
    EXPECT_TRUE(copyDirectory(folder / L"nothing", folder / L"copy_of_nothing"));
    EXPECT_TRUE(exists(folder / L"copy_of_nothing"));
    EXPECT_TRUE(copyDirectory(folder / L"missing", folder / L"copy_of_missing"));

    // Overwrites, and reports a file that cannot be copied.
    ASSERT_TRUE(writeFileBytes(folder / L"target.txt", "old"));
    EXPECT_TRUE(copyFile(folder / L"from\\a.txt", folder / L"target.txt"));
    EXPECT_EQ("alpha", readFileBytes(folder / L"target.txt"));
    EXPECT_FALSE(copyFile(folder / L"from\\none.txt", folder / L"target2.txt"));
}

TEST(SetupFiles, CreatesAndDeletesTrees)
{
    TestFolder folder(L"create");
    EXPECT_TRUE(createDirectories(folder / L"x\\y\\z\\"));
    EXPECT_TRUE(exists(folder / L"x\\y\\z"));
    EXPECT_TRUE(createDirectories(folder / L"x\\y"));  // already there
    EXPECT_FALSE(createDirectories(L"no_parent_at_all_here"));

    makeSampleTree(folder / L"doomed");
    SetFileAttributesW((folder / L"doomed\\a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    deleteDirectory(folder / L"doomed\\");
    EXPECT_FALSE(exists(folder / L"doomed"));
    deleteDirectory(folder / L"never_was");  // nothing to do, nothing breaks
    EXPECT_TRUE(exists(folder.path()));
}

TEST(SetupFiles, RenamesFilesAndFolders)
{
    TestFolder folder(L"rename");
    ASSERT_TRUE(writeFileBytes(folder / L"one.txt", "1"));
    EXPECT_EQ(0, renameFile(folder / L"one.txt", folder / L"two.txt"));
    EXPECT_EQ("1", readFileBytes(folder / L"two.txt"));
    EXPECT_FALSE(exists(folder / L"one.txt"));

    makeSampleTree(folder / L"tree");
    auto before = tree(folder / L"tree");
    EXPECT_EQ(0, renameFile(folder / L"tree", folder / L"tree2"));
    EXPECT_EQ(before, tree(folder / L"tree2"));

    EXPECT_NE(0, renameFile(folder / L"missing.txt", folder / L"other.txt"));

    // A name beyond the classic limit lands exactly where asked.
    std::wstring longFolder = L"\\\\?\\" + folder.path() + std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e');
    ASSERT_TRUE(CreateDirectoryW(longFolder.substr(0, longFolder.size() - 121).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(longFolder.c_str(), nullptr));
    std::wstring target = longFolder.substr(4) + L"\\";
    target += std::wstring(300 - target.size() - 4, L'f') + L".txt";
    ASSERT_EQ(300u, target.size());
    EXPECT_EQ(0, renameFile(folder / L"two.txt", target));
    EXPECT_EQ("1", readFileBytes(L"\\\\?\\" + target));
    EXPECT_FALSE(exists(folder / L"two.txt"));
    DeleteFileW((L"\\\\?\\" + target).c_str());
    RemoveDirectoryW(longFolder.c_str());
}

TEST(SetupFiles, LinkInsideATreeIsRemovedNotFollowed)
{
    // Made by the test's fixture: link_tree\link -> ..\link_canary.
    const std::wstring treePath = fullPath(L"link_tree");
    const std::wstring canary = fullPath(L"link_canary\\keep.txt");
    ASSERT_TRUE(exists(canary)) << "fixture missing";
    WIN32_FIND_DATAW entry = {};
    HANDLE find = FindFirstFileW((treePath + L"\\link").c_str(), &entry);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    FindClose(find);
    const bool reportedAsLink = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    RecordProperty("link_reported_as_reparse_point", reportedAsLink ? "yes" : "no");
    printf("a Unix symbolic link to a folder has attributes 0x%lx (reparse point: %s)\n",
           entry.dwFileAttributes, reportedAsLink ? "yes" : "no");
    ASSERT_TRUE(reportedAsLink) << "this system does not report the link as a reparse point";

    TestFolder copy(L"linkcopy");
    EXPECT_TRUE(copyDirectory(treePath, copy / L"out"));
    EXPECT_TRUE(exists(copy / L"out\\sub\\file.txt"));
    EXPECT_FALSE(exists(copy / L"out\\link")) << "the link was followed by the copy";

    deleteDirectory(treePath);
    EXPECT_TRUE(exists(canary)) << "deleting the tree went through the link";
    EXPECT_EQ("keep\n", readFileBytes(canary));
    EXPECT_FALSE(exists(treePath + L"\\sub"));
    // Wine 8 lists the link as a reparse point but resolves it when asked to
    // remove it (or to open the link itself), so there the link, and with
    // it the tree's folder, stays; Windows removes the link and the folder.
    const bool linkLeft = exists(treePath + L"\\link");
    RecordProperty("link_removed", linkLeft ? "no" : "yes");
    if (linkLeft) {
        auto left = tree(treePath);
        EXPECT_EQ(2u, left.size()) << "only the link (and what it shows) may stay";
        EXPECT_EQ(1u, left.count(L"link\\"));
    } else {
        EXPECT_FALSE(exists(treePath));
    }
}

TEST(SetupFiles, DeleteDirectoryLeavesRootsSystemAndRelativePathsAlone)
{
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring drive = std::wstring(windows).substr(0, 3);
    const std::wstring rootCanary = drive + L"tq_root_canary_" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    ASSERT_TRUE(writeFileBytes(rootCanary, "root"));
    const std::wstring winIni = std::wstring(windows) + L"\\win.ini";
    const bool hadWinIni = exists(winIni);
    CreateDirectoryW(L"relative_tree", nullptr);
    ASSERT_TRUE(writeFileBytes(L"relative_tree\\file.txt", "rel"));

    const std::wstring untouchable[] = {drive, drive.substr(0, 2), L"", windows, L"relative_tree",
                                        drive + L"x\\..\\Windows"};
    for (const std::wstring& path : untouchable)
        deleteDirectory(path);

    EXPECT_EQ("root", readFileBytes(rootCanary));
    EXPECT_EQ(hadWinIni, exists(winIni));
    EXPECT_TRUE(exists(std::wstring(windows) + L"\\system32"));
    EXPECT_EQ("rel", readFileBytes(L"relative_tree\\file.txt"));
    DeleteFileW(rootCanary.c_str());
    DeleteFileW(L"relative_tree\\file.txt");
    RemoveDirectoryW(L"relative_tree");
}
