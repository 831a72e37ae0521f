// setup.ini: reading the machine id and rewriting keys, on files of every
// shape the programs meet.
#include "SystemUtils.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

TEST(SetupIni, WritesKeys)
{
    struct Case {
        const char* what;
        const char* before;  // nullptr: no file
        const char* key;
        const char* value;
        const char* after;
    };
    const Case cases[] = {
        {"missing file gets the one line", nullptr, "IfInstalled", "1", "IfInstalled=1\r\n"},
        {"empty file", "", "IfInstalled", "1", "IfInstalled=1\r\n"},
        {"value replaced, other lines kept", "macId=00AABB\r\nIfInstalled=0\r\nRaVerePluginInstalled=1\r\n",
         "IfInstalled", "1", "macId=00AABB\r\nIfInstalled=1\r\nRaVerePluginInstalled=1\r\n"},
        {"new key appended", "macId=00AABB\r\n", "NeedCleanOldVersion", "1",
         "macId=00AABB\r\nNeedCleanOldVersion=1\r\n"},
        {"key inside another key's name", "XIfInstalledY=7\r\n", "IfInstalled", "0",
         "XIfInstalledY=7\r\nIfInstalled=0\r\n"},
        {"key inside another key's value", "note=IfInstalled=0\r\n", "IfInstalled", "1",
         "note=IfInstalled=0\r\nIfInstalled=1\r\n"},
        {"lines after an empty line are kept and seen", "a=1\r\n\r\nIfInstalled=0\r\nz=9\r\n", "IfInstalled", "1",
         "a=1\r\n\r\nIfInstalled=1\r\nz=9\r\n"},
        {"new key goes before trailing empty lines", "a=1\r\n\r\n\r\n", "b", "2", "a=1\r\nb=2\r\n"},
        {"last line without its end", "a=1", "b", "2", "a=1\r\nb=2\r\n"},
        {"LF-only lines", "a=1\nIfInstalled=0\n", "IfInstalled", "1", "a=1\r\nIfInstalled=1\r\n"},
        {"UTF-8 byte-order mark kept", "\xEF\xBB\xBFmacId=01\r\n", "macId", "02", "\xEF\xBB\xBFmacId=02\r\n"},
        {"UTF-16 file rewritten as UTF-8", "\xFF\xFEm\0=\0" "1\0\r\0\n\0", "m", "2", "\xEF\xBB\xBFm=2\r\n"},
    };
    for (const Case& c : cases) {
        TestFolder folder(L"ini_write");
        const std::wstring file = folder / L"setup.ini";
        if (c.before) {
            size_t length = strlen(c.before);
            if (c.before[0] == '\xFF')
                length = 12;  // holds NULs
            ASSERT_TRUE(writeFileBytes(file, std::string(c.before, length)));
        }
        EXPECT_TRUE(writeIniFileValue(file, c.key, c.value)) << c.what;
        EXPECT_EQ(c.after, readFileBytes(file)) << c.what;
        EXPECT_FALSE(GetFileAttributesW((file + L".new").c_str()) != INVALID_FILE_ATTRIBUTES) << c.what;
    }
}

TEST(SetupIni, ReadsTheMachineId)
{
    struct Case {
        const char* what;
        const char* content;  // nullptr: no file
        size_t length;
        const char* macId;
    };
    const Case cases[] = {
        {"missing file", nullptr, 0, ""},
        {"no such line", "IfInstalled=1\r\n", 0, ""},
        {"plain", "IfInstalled=1\r\nmacId=0100E04C6812341234\r\n", 0, "0100E04C6812341234"},
        {"after an empty line", "a=1\r\n\r\nmacId=07\r\n", 0, "07"},
        {"key inside another key", "oldmacId=99\r\nmacId=42\r\n", 0, "42"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBFmacId=05\r\n", 0, "05"},
        {"UTF-16", "\xFF\xFEm\0a\0c\0I\0d\0=\0" "9\0\r\0\n\0", 20, "9"},
    };
    for (const Case& c : cases) {
        TestFolder folder(L"ini_read");
        const std::wstring file = folder / L"setup.ini";
        if (c.content) {
            ASSERT_TRUE(writeFileBytes(file, std::string(c.content, c.length ? c.length : strlen(c.content))));
        }
        EXPECT_EQ(c.macId, readMacIdFromIniFile(file)) << c.what;
    }
}

TEST(SetupIni, FilesOfTheOldRulesReadTheSame)
{
    // As written before: key=value lines, CR LF, no byte-order mark.
    TestFolder folder(L"ini_old");
    const std::wstring file = folder / L"setup.ini";
    ASSERT_TRUE(writeFileBytes(file, "macId=0A1B2C3D4E5F601\r\nRaVerePluginInstalled=1\r\nIfInstalled=0\r\n"
                                     "NeedCleanOldVersion=1\r\n"));
    EXPECT_EQ("0A1B2C3D4E5F601", readMacIdFromIniFile(file));
    EXPECT_TRUE(writeIniFileValue(file, "IfInstalled", "1"));
    EXPECT_EQ("macId=0A1B2C3D4E5F601\r\nRaVerePluginInstalled=1\r\nIfInstalled=1\r\nNeedCleanOldVersion=1\r\n",
              readFileBytes(file));
}

TEST(SetupIni, RewriteStoppedBeforeTheReplaceLeavesTheOldFileWhole)
{
    TestFolder folder(L"ini_stop");
    const std::wstring file = folder / L"setup.ini";
    const std::string old = "macId=01\r\nIfInstalled=0\r\n";
    ASSERT_TRUE(writeFileBytes(file, old));
    // Another program holds the file without letting it be replaced.
    HANDLE holder = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    EXPECT_FALSE(writeIniFileValue(file, "IfInstalled", "1"));
    CloseHandle(holder);
    EXPECT_EQ(old, readFileBytes(file));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((file + L".new").c_str()));
}

TEST(SetupIni, PerUserFileRoundTrip)
{
    const std::wstring file = setupIniPath();
    EXPECT_EQ(getAppDataDir() + L"\\setup.ini", file);
    const std::string saved = readFileBytes(file);
    const bool existed = GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
    writeSetupIni("macId", "0312AB");
    EXPECT_EQ("0312AB", readMacIdFromSetupIni());
    if (existed)
        writeFileBytes(file, saved);
    else
        DeleteFileW(file.c_str());
}

TEST(SetupIni, MachineIdIsEscapedForTheAddress)
{
    struct Case {
        std::string bytes;
        const wchar_t* escaped;
    };
    const Case cases[] = {
        {"00AABBCCDDEEFF", L"00AABBCCDDEEFF"},
        {"az-AZ_09.~", L"az-AZ_09.~"},
        {"a&b=c#d", L"a%26b%3Dc%23d"},
        {"x y/z?+%", L"x%20y%2Fz%3F%2B%25"},
        {"\r\n\"<>\\", L"%0D%0A%22%3C%3E%5C"},
        {std::string("a\0b", 3), L"a%00b"},
        {"\xC3\xA9\xFF", L"%C3%A9%FF"},
        {"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::wstring(c.escaped), escapeUrlQueryValue(c.bytes)) << c.bytes;

    const std::wstring file = setupIniPath();
    const std::string saved = readFileBytes(file);
    const bool existed = GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
    writeSetupIni("macId", "01&installed#1 x");
    EXPECT_EQ(L"01%26installed%231%20x", machineIdForUrl());
    if (existed)
        writeFileBytes(file, saved);
    else
        DeleteFileW(file.c_str());
}
