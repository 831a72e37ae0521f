// Path texts, per-install data folders, protected folders and install paths.
#include "SystemUtils.h"

#include "Md5.h"

#include <gtest/gtest.h>

#include <shlobj.h>

namespace {

std::wstring folderOf(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring windowsFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetWindowsDirectoryW(path, MAX_PATH);
    return path;
}

std::wstring shortName(const std::wstring& path)
{
    wchar_t out[MAX_PATH] = {};
    GetShortPathNameW(path.c_str(), out, MAX_PATH);
    return out;
}

} // namespace

TEST(SetupPaths, NormalizePath)
{
    struct Case {
        const wchar_t* in;
        const wchar_t* out;
    };
    const Case cases[] = {
        {L"c:/a//b/", L"C:\\A\\B"},
        {L"C:\\X\\", L"C:\\X"},
        {L"c:/x", L"C:\\X"},
        {L"\\\\\\server\\\\\\share\\", L"SERVER\\SHARE"},
        {L"", L""},
        {L"\\//\\", L""},
        {L"d:\\\u00e4\u00f6 b\\", L"D:\\\u00c4\u00d6 B"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.out, normalizePath(c.in)) << c.in;
}

TEST(SetupPaths, InstallDataFolderIsTheSameForOneFolderWrittenTwoWays)
{
    std::wstring appData = getAppDataDir();
    ASSERT_FALSE(appData.empty());
    EXPECT_NE(L'\\', appData.back());
    EXPECT_EQ(folderOf(CSIDL_APPDATA) + L"\\brenlo\\tqsorva", appData);

    std::string hash = md5Hex("C:\\X", 4);
    std::wstring expected = appData + std::wstring(hash.begin(), hash.end()) + L"\\";
    EXPECT_EQ(expected, getInstallDataDir(L"C:\\X\\"));
    EXPECT_EQ(expected, getInstallDataDir(L"c:/x"));
    EXPECT_EQ(std::wstring(hash.begin(), hash.end()), pathMd5Hex(L"c:/x"));
    DWORD attributes = GetFileAttributesW(expected.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    RemoveDirectoryW(expected.c_str());

    // No install path: no folder, never the per-user folder itself.
    EXPECT_EQ(L"", getInstallDataDir(L""));
    EXPECT_EQ(L"", getInstallDataDir(L"\\/"));
    EXPECT_EQ(L"", pathMd5Hex(L""));
}

TEST(SetupPaths, SmallTextHelpers)
{
    std::wstring text = L"  a b  ";
    trimSpace(text);
    EXPECT_EQ(L"a b", text);
    text = L"\t x \t";
    trimSpace(text);
    EXPECT_EQ(L"\t x \t", text) << "only blanks are trimmed";

    for (const wchar_t* bad : {L"a/b", L"a:b", L"a*", L"?", L"a\"b", L"<", L">", L"a|b"})
        EXPECT_TRUE(hasInvalidPathChar(bad)) << bad;
    EXPECT_FALSE(hasInvalidPathChar(L"Program Files\\Tq (x86)\\1.0"));

    std::wstring out;
    EXPECT_TRUE(parentPath(L"C:\\a\\b\\", out));
    EXPECT_EQ(L"C:\\a\\", out);
    EXPECT_TRUE(parentPath(L"x/y/z", out));
    EXPECT_EQ(L"x/y/", out);
    EXPECT_FALSE(parentPath(L"name", out));

    std::wstring path = L"C:\\a\\";
    EXPECT_TRUE(pathAppend(path, L"b"));
    EXPECT_EQ(L"C:\\a\\b", path);
    std::wstring tooLong = L"C:\\" + std::wstring(250, L'a');
    std::wstring before = tooLong;
    EXPECT_FALSE(pathAppend(tooLong, std::wstring(20, L'b')));
    EXPECT_EQ(before, tooLong);

    EXPECT_GT(getDiskFreeSpaceMB(L"C:\\anything"), 0.0);
    EXPECT_EQ(0.0, getDiskFreeSpaceMB(L"Q:\\x"));
}

TEST(SetupPaths, ProtectedFolders)
{
    const std::wstring windows = windowsFolder();
    const std::wstring drive = windows.substr(0, 2);
    struct Case {
        std::wstring path;
        bool isProtected;
    };
    const Case cases[] = {
        {drive + L"\\", true},
        {drive, true},
        {L"", true},
        {windows, true},
        {windows + L"\\system32", true},
        {windows + L"\\System32\\drivers\\", true},
        {drive + L"\\x\\..\\Windows", true},
        {L"c:/WINDOWS/", true},
        {folderOf(CSIDL_PROGRAM_FILES), true},
        {shortName(folderOf(CSIDL_PROGRAM_FILES)), true},
        {folderOf(CSIDL_COMMON_APPDATA), true},
        {folderOf(CSIDL_PROFILE), true},
        {folderOf(CSIDL_DESKTOPDIRECTORY), true},
        {folderOf(CSIDL_PERSONAL), true},
        {folderOf(CSIDL_APPDATA) + L"\\brenlo\\tqsorva\\", true},
        {folderOf(CSIDL_PROGRAM_FILES) + L"\\TqSorva", false},
        {folderOf(CSIDL_APPDATA) + L"\\brenlo\\tqsorva\\setup", false},
        {drive + L"\\Tools\\X", false},
        {drive + L"\\WindowsApps", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.isProtected, isProtectedFolder(c.path)) << std::string(c.path.begin(), c.path.end());
}

TEST(SetupPaths, ValidInstallPaths)
{
    // Find a drive letter that does not exist.
    std::wstring missing;
    for (wchar_t letter = L'Q'; letter <= L'Y' && missing.empty(); ++letter) {
        std::wstring root = std::wstring(1, letter) + L":\\";
        if (GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR)
            missing = root + L"Tools";
    }
    ASSERT_FALSE(missing.empty());
    struct Case {
        std::wstring path;
        bool valid;
    };
    const Case cases[] = {
        {L"C:\\Tools\\X", true},
        {L"  C:\\Tools\\X\\ ", true},
        {L"c:/Tools/X", true},
        {L"C:\\a\\\\b", false},
        {L"C:\\a\\ \\b", false},
        {L"C:\\a|b", false},
        {L"C:\\a\\b:c", false},
        {missing, false},
        {L"C:\\", false},
        {L"C:", false},
        {L"", false},
        {L"Tools\\X", false},
        {L"C:\\Windows\\x", false},
        {L"C:\\PROGRA~1", false},
        {L"C:\\Program Files", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.valid, isValidInstallPath(c.path)) << std::string(c.path.begin(), c.path.end());
}

TEST(SetupPaths, CodePageConversions)
{
    EXPECT_EQ("", wideToNarrow(L"", CP_UTF8));
    EXPECT_EQ(L"", narrowToWide("", CP_UTF8));
    const std::wstring text = L"\u5b89\u88c5 x";
    EXPECT_EQ("\xE5\xAE\x89\xE8\xA3\x85 x", wideToNarrow(text, CP_UTF8));
    EXPECT_EQ(text, narrowToWide(wideToNarrow(text, CP_UTF8), CP_UTF8));
    EXPECT_EQ("abc", wideToNarrow(L"abc"));
}
