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

std::wstring downloadsFolder()
{
    static const GUID downloads = {0x374de290, 0x123f, 0x4565, {0x91, 0x64, 0x39, 0xc4, 0x92, 0x5e, 0x46, 0x7b}};
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(downloads, 0, nullptr, &path)) && path)
        result = path;
    CoTaskMemFree(path);
    return result;
}

std::wstring parentOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring lowerWithSlashes(std::wstring path)
{
    CharLowerBuffW(&path[0], static_cast<DWORD>(path.size()));
    for (wchar_t& c : path)
        if (c == L'\\')
            c = L'/';
    return path;
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

// The user's known folders and every folder above one, in every form a
// path can take, and device paths; a folder below one is free.
TEST(SetupPaths, KnownFoldersTheirParentsAndOtherFormsAreProtected)
{
    const std::wstring documents = folderOf(CSIDL_PERSONAL);
    const std::wstring downloads = downloadsFolder();
    const std::wstring roaming = folderOf(CSIDL_APPDATA);
    const std::wstring local = folderOf(CSIDL_LOCAL_APPDATA);
    const std::wstring profile = folderOf(CSIDL_PROFILE);
    ASSERT_FALSE(downloads.empty());
    ASSERT_EQ(0, downloads.compare(0, profile.size(), profile)) << "Downloads outside the profile";
    const std::wstring planted = profile + L"\\tq_protected_probe";
    CreateDirectoryW(planted.c_str(), nullptr);
    struct Case {
        std::wstring path;
        bool isProtected;
    };
    const Case cases[] = {
        {downloads, true},
        {downloads + L"\\", true},
        {roaming, true},
        {local, true},
        {parentOf(roaming), true},  // "AppData", above Roaming and Local
        {roaming + L"\\brenlo", true},  // above the product's per-user folder
        {folderOf(CSIDL_PROGRAMS), true},
        {folderOf(CSIDL_STARTMENU), true},
        {folderOf(CSIDL_PROGRAM_FILESX86), true},
        {parentOf(profile), true},
        // Other forms of Documents.
        {L"\\\\.\\" + documents, true},
        {L"\\\\?\\" + documents, true},
        {L"\\??\\" + documents, true},
        {L"//?/" + lowerWithSlashes(documents), true},
        {lowerWithSlashes(documents), true},
        {documents + L".", true},
        {documents + L". . ", true},
        {documents + L"\\.\\", true},
        {profile + L"\\tq_protected_probe\\..\\" + documents.substr(profile.size() + 1), true},
        {shortName(profile), true},
        // Devices and volumes.
        {L"\\\\.\\C:", true},
        {L"\\\\.\\PhysicalDrive0", true},
        {L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\", true},
        {L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1", true},
        {L"C:\\Tools\\NUL", true},
        // Below a known folder is no longer one.
        {downloads + L"\\TqSorva", false},
        {planted, false},
        {L"\\\\?\\" + planted, false},
        {L"\\\\.\\" + planted + L"\\", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.isProtected, isProtectedFolder(c.path)) << wideToNarrow(c.path, CP_UTF8);
    RemoveDirectoryW(planted.c_str());
}

TEST(SetupPaths, OneFolderWrittenManyWaysIsTheSameFolder)
{
    const std::wstring profile = folderOf(CSIDL_PROFILE);
    const std::wstring folder = profile + L"\\tq_same_probe";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring forms[] = {
        folder, folder + L"\\", L"\\\\?\\" + folder, L"\\\\.\\" + folder, L"\\??\\" + folder,
        lowerWithSlashes(folder) + L"/", folder + L". ", shortName(folder), folder + L"\\x\\..",
    };
    for (const std::wstring& form : forms) {
        EXPECT_TRUE(isSameFolder(folder, form)) << wideToNarrow(form, CP_UTF8);
        const std::wstring full = fullLongPath(form);
        EXPECT_EQ(CSTR_EQUAL, CompareStringOrdinal(folder.c_str(), -1, full.c_str(), -1, TRUE))
            << wideToNarrow(form, CP_UTF8) << " -> " << wideToNarrow(full, CP_UTF8);
    }
    EXPECT_FALSE(isSameFolder(folder, profile));
    EXPECT_FALSE(isSameFolder(folder, folder + L"\\sub"));
    EXPECT_FALSE(isSameFolder(L"", L""));
    for (const wchar_t* device : {L"\\\\.\\C:", L"\\\\.\\CON", L"C:\\x\\con.txt", L"\\\\?\\Volume{1}\\x"})
        EXPECT_EQ(L"", fullLongPath(device)) << wideToNarrow(device, CP_UTF8);
    RemoveDirectoryW(folder.c_str());
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
        // The user's folders and those above them.
        {downloadsFolder(), false},
        {parentOf(folderOf(CSIDL_APPDATA)), false},
        {folderOf(CSIDL_LOCAL_APPDATA), false},
        {folderOf(CSIDL_PERSONAL), false},
        {downloadsFolder() + L"\\TqSorva", true},
        // Names the system cuts or opens as devices.
        {L"C:\\Tools\\X.", false},
        {L"C:\\Tools\\X..", false},
        {L"C:\\Tools.\\X", false},
        {L"C:\\Tools \\X", false},
        {L"C:\\Tools\\X. \\", false},
        {L"C:\\Tools\\CON", false},
        {L"C:\\Tools\\con.txt", false},
        {L"C:\\Tools\\Nul", false},
        {L"C:\\aux.x.y\\Tools", false},
        {L"C:\\Tools\\PRN", false},
        {L"C:\\Tools\\COM1", false},
        {L"C:\\Tools\\com9.log", false},
        {L"C:\\Tools\\LPT1", false},
        {L"C:\\Tools\\lpt9", false},
        {L"C:\\Tools\\CONIN$", false},
        {L"C:\\Tools\\conout$.x", false},
        {L"C:\\Tools\\CON .txt", false},
        {L"C:\\Tools\\COM10", true},
        {L"C:\\Tools\\LPT0", true},
        {L"C:\\Tools\\CONSOLE", true},
        {L"C:\\Tools\\x.CON", true},
        {L"C:\\Tools\\1.0", true},
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
