// Deleting trees that hold links to places outside them: the links never
// lead the deletion anywhere else, and ordinary content still goes.
#include "SetupLog.h"
#include "SystemUtils.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

std::string narrow(const std::wstring& text) { return wideToNarrow(text, CP_UTF8); }

std::wstring fullPath(const std::wstring& relative)
{
    wchar_t out[MAX_PATH] = {};
    GetFullPathNameW(relative.c_str(), MAX_PATH, out, nullptr);
    return out;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every entry below folder by relative path: folders as "name\" -> "",
// files with their content. Reparse points are listed, never entered.
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
        if (isReparseEntry(entry)) {
            out[prefix + name] = "<link>";
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
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

} // namespace

// Each tree (made by the test's fixture) holds "plain.txt", "sub\inner\file.txt"
// and at most one Unix link into the canary folder beside the trees.
TEST(SetupLinks, DeletingATreeNeverDeletesThroughItsLinks)
{
    const std::wstring root = fullPath(L"links") + L"\\";
    const std::wstring canary = root + L"canary";
    ASSERT_TRUE(exists(canary + L"\\full\\keep.txt")) << "fixture missing";
    const auto canaryBefore = tree(canary);
    ASSERT_EQ(8u, canaryBefore.size());
    const std::wstring logName = L"links_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    setLogFileName(logName.c_str());
    std::vector<std::wstring> linksLeft;

    struct Case {
        const wchar_t* tree;
        const wchar_t* link;  // the link inside the tree; empty: none
    };
    const Case cases[] = {
        {L"folder", L"link"},            // to a folder with files
        {L"empty", L"link"},             // to an empty folder
        {L"file", L"link.txt"},          // to a file
        {L"nested", L"sub\\inner\\link"},  // to an empty folder, deep inside
        {L"plain", L""},                 // ordinary nested content only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.tree));
        const std::wstring folder = root + c.tree;
        ASSERT_TRUE(exists(folder + L"\\sub\\inner\\file.txt")) << "fixture missing";
        if (*c.link) {
            ASSERT_TRUE(exists(folder + L"\\" + c.link)) << "fixture missing";
        }

        deleteDirectory(folder);

        EXPECT_EQ(canaryBefore, tree(canary)) << "deleting the tree changed what its link leads to";
        EXPECT_FALSE(exists(folder + L"\\plain.txt"));
        EXPECT_FALSE(exists(folder + L"\\sub\\inner\\file.txt"));
        if (!*c.link || !exists(folder + L"\\" + c.link)) {
            // Nothing held the tree: it is gone as a whole.
            EXPECT_FALSE(exists(folder));
            continue;
        }
        // A link the system would not remove by itself stays, and with it
        // only the folders that hold it.
        std::map<std::wstring, std::string> expected;
        for (size_t cut = std::wstring(c.link).find(L'\\'); cut != std::wstring::npos;
             cut = std::wstring(c.link).find(L'\\', cut + 1))
            expected[std::wstring(c.link).substr(0, cut + 1)] = "";
        std::map<std::wstring, std::string> left = tree(folder);
        left.erase(c.link);
        EXPECT_EQ(expected, left);
        linksLeft.push_back(folder + L"\\" + c.link);
    }

    // The folder given may itself be a link: only the link may go.
    const std::wstring top = root + L"top";
    ASSERT_TRUE(exists(top)) << "fixture missing";
    deleteDirectory(top);
    EXPECT_EQ(canaryBefore, tree(canary)) << "deleting a link to a folder changed the folder";

    // Every link left in place says so in the log.
    const std::string bytes = readFileBytes(setupLog().filePath());
    DeleteFileW(setupLog().filePath().c_str());
    std::wstring text(bytes.size() / 2, L'\0');
    if (!text.empty())
        memcpy(&text[0], bytes.data(), text.size() * 2);
    for (const std::wstring& link : linksLeft) {
        const size_t at = text.find(L"deleteDirectory, " + link + L" ");
        ASSERT_NE(std::wstring::npos, at) << narrow(link);
        const std::wstring line = text.substr(at, text.find(L"\r\n", at) - at);
        EXPECT_NE(std::wstring::npos, line.find(L"left in place")) << narrow(line);
    }
}

TEST(SetupLinks, HelpersTellLinksFromTheirOwnEntries)
{
    const std::wstring folder = fullPath(L"links\\probe");
    const std::wstring target = fullPath(L"links\\canary\\target.txt");
    ASSERT_TRUE(exists(folder + L"\\filelink.txt")) << "fixture missing";
    const std::wstring resolvedFolder = resolvedPath(folder);
    ASSERT_FALSE(resolvedFolder.empty());

    // Ordinary entries resolve where they are listed.
    EXPECT_FALSE(resolvesElsewhere(resolvedFolder, folder + L"\\plain.txt", L"plain.txt"));
    EXPECT_FALSE(resolvesElsewhere(resolvedFolder, folder + L"\\sub", L"sub"));
    EXPECT_FALSE(resolvesElsewhere(resolvedFolder, folder + L"\\SUB", L"sub")) << "letter case is not a place";
    // A folder that cannot be resolved tells nothing.
    EXPECT_FALSE(resolvesElsewhere(L"", folder + L"\\filelink.txt", L"filelink.txt"));
    EXPECT_TRUE(resolvedPath(folder + L"\\missing.txt").empty());

    // A link to a file, whether the listing marks it or not, is recognised:
    // by its mark or by where it resolves.
    WIN32_FIND_DATAW entry = {};
    HANDLE find = FindFirstFileW((folder + L"\\filelink.txt").c_str(), &entry);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    FindClose(find);
    std::wstring resolved;
    const bool elsewhere = resolvesElsewhere(resolvedFolder, folder + L"\\filelink.txt", L"filelink.txt", &resolved);
    printf("a Unix link to a file: reparse mark %s, resolves elsewhere %s (%s)\n", isReparseEntry(entry) ? "yes" : "no",
           elsewhere ? "yes" : "no", narrow(resolved).c_str());
    EXPECT_TRUE(isReparseEntry(entry) || elsewhere);
    if (elsewhere) {
        const std::wstring tail = L"\\links\\canary\\target.txt";
        ASSERT_GE(resolved.size(), tail.size());
        EXPECT_EQ(CSTR_EQUAL,
                  CompareStringOrdinal(resolved.c_str() + resolved.size() - tail.size(), -1, tail.c_str(), -1, TRUE))
            << narrow(resolved);
    }

    // An ordinary file is no link: it is not removed as one.
    EXPECT_FALSE(removeLinkItself(folder + L"\\plain.txt"));
    EXPECT_EQ("plain\n", readFileBytes(folder + L"\\plain.txt"));
    EXPECT_FALSE(removeLinkItself(folder + L"\\sub"));
    EXPECT_TRUE(exists(folder + L"\\sub\\inner\\file.txt"));
    // Removing a link either removes the link alone or leaves everything.
    for (const wchar_t* name : {L"filelink.txt", L"folderlink"}) {
        SCOPED_TRACE(narrow(name));
        const bool removed = removeLinkItself(folder + L"\\" + name);
        EXPECT_EQ(removed, !exists(folder + L"\\" + name));
        EXPECT_EQ("target\n", readFileBytes(target));
        EXPECT_EQ("keep\n", readFileBytes(fullPath(L"links\\canary\\full\\keep.txt")));
    }
}

// A link above the folder given leads the deletion into another folder just
// as well as one in its place: the folder is left alone and logged.
TEST(SetupLinks, ALinkAboveTheFolderLeavesItAlone)
{
    const std::wstring root = fullPath(L"links") + L"\\";
    const std::wstring canary = root + L"abovecanary";
    ASSERT_TRUE(exists(root + L"data\\setup\\keep.txt")) << "fixture missing";
    const auto canaryBefore = tree(canary);
    ASSERT_EQ(4u, canaryBefore.size());
    const std::wstring logName = L"above_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    setLogFileName(logName.c_str());

    struct Case {
        std::wstring path;
        bool linkFree;
    };
    const Case cases[] = {
        {root + L"data\\setup", false},
        {root + L"data\\setup\\", false},
        {root + L"data\\setup\\sub", false},
        {root + L"DATA\\.\\setup", false},
        {L"\\\\?\\" + root + L"data\\setup", false},
        {root + L"plaindata\\setup", true},
        {root + L"plaindata\\setup\\", true},
        {L"\\\\?\\" + root + L"plaindata\\setup", true},
        {root + L"plaindata\\missing", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.linkFree, isLinkFreePath(c.path)) << narrow(c.path);
    std::wstring resolved;
    EXPECT_FALSE(isLinkFreePath(root + L"data\\setup", &resolved));
    EXPECT_NE(std::wstring::npos, resolved.find(L"abovecanary")) << narrow(resolved);

    for (const Case& c : cases)
        if (!c.linkFree)
            deleteDirectory(c.path);
    EXPECT_EQ(canaryBefore, tree(canary)) << "deleting through a link above changed its target";

    // The same folder without a link above it goes.
    deleteDirectory(root + L"plaindata\\setup");
    EXPECT_FALSE(exists(root + L"plaindata\\setup"));

    const std::string bytes = readFileBytes(setupLog().filePath());
    DeleteFileW(setupLog().filePath().c_str());
    std::wstring text(bytes.size() / 2, L'\0');
    if (!text.empty())
        memcpy(&text[0], bytes.data(), text.size() * 2);
    EXPECT_NE(std::wstring::npos, text.find(L"deleteDirectory, " + root + L"data\\setup leads to ")) << narrow(text);
}
