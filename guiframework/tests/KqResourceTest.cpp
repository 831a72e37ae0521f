#include "KqAssignLib.h"
#include "KqImage.h"
#include "KqResourceLib.h"
#include "KqServices.h"
#include "KqUrl.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string utf8(const KqString& s)
{
    KqByteArray b = s.toUtf8();
    return std::string(b.data(), size_t(b.size()));
}

KqString text(const char* s) { return KqString::fromUtf8(s); }

TEST(KqUrlTest, ParseAndCompose)
{
    struct Row {
        const char* input;
        const char *scheme, *userInfo, *host, *port, *path, *fragment, *query, *composed;
    } rows[] = {
        {"dll:///theme/gui/shadow.png", "dll", "", "", "", "theme/gui/shadow.png", "", "", "dll:///theme/gui/shadow.png"},
        {"C:\\dir\\a.png", "file", "", "", "", "C:/dir/a.png", "", "", "file:///C:/dir/a.png"},
        {"C:/dir/a.png", "file", "", "", "", "C:/dir/a.png", "", "", "file:///C:/dir/a.png"},
        {"relative/a.png", "file", "", "", "", "relative/a.png", "", "", "file:///relative/a.png"},
        {"http://user@host:8080/p/q#frag?x=1", "http", "user", "host", "8080", "p/q", "frag", "x=1", "http://user@host:8080/p/q#frag?x=1"},
        {"http://host:8080/p", "http", "", "host:8080", "", "p", "", "", "http://host:8080/p"},
        {"http://host", "http", "", "host", "", "", "", "", "http://host"},
        {"http://h/p?q#notfrag", "http", "", "h", "", "p", "", "q#notfrag", "http://h/p?q#notfrag"},
        {"mailto:someone", "mailto", "", "", "", "", "", "", "mailto://"},
        {"dll:///", "dll", "", "", "", "", "", "", "dll://"}, // trailing slashes go: "dll:"
        {"kqgui:btn_4word_normal.png", "dll", "", "", "", "theme/gui/btn_4word_normal.png", "", "",
         "dll:///theme/gui/btn_4word_normal.png"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        KqUrl url(row.input);
        EXPECT_EQ(row.scheme, utf8(url.scheme()));
        EXPECT_EQ(row.userInfo, utf8(url.userInfo()));
        EXPECT_EQ(row.host, utf8(url.host()));
        EXPECT_EQ(row.port, utf8(url.port()));
        EXPECT_EQ(row.path, utf8(url.path()));
        EXPECT_EQ(row.fragment, utf8(url.fragment()));
        EXPECT_EQ(row.query, utf8(url.query()));
        EXPECT_EQ(row.composed, utf8(url.toString()));
    }
}

TEST(KqAssignLibTest, Expansion)
{
    KqAssignLib* lib = KqAssignLib::instance();
    lib->setAssign({text("skin"), text("kqgui:")});      // ends with ":": joined directly
    lib->setAssign({text("deep"), text("skin:sub:/")});  // ends with ":/": joined directly
    lib->setAssign({text("gone"), KqString()});
    lib->setAssign({text("loop"), text("loop:x")});      // refers to itself
    lib->setAssign({text("ping"), text("pong:")});
    lib->setAssign({text("pong"), text("ping:")});
    lib->setAssign({text("Skin"), text("file:///D:/other")});
    struct Row {
        const char* input;
        const char* expanded;
    } rows[] = {
        {"kqgui:btn_4word_normal.png", "dll:///theme/gui/btn_4word_normal.png"},
        {"skin:a.png", "dll:///theme/gui/a.png"},
        {"Skin:a.png", "file:///D:/other/a.png"},          // names are case-sensitive
        {"deep:b.png", "dll:///theme/gui/sub:/b.png"},
        {"gone:anything", ""},
        {"C:\\Program Files\\x\\\\", "C:/Program Files/x"},
        {"k:thing", "k:thing"},                           // one letter: never an assign
        {"unknown:thing/", "unknown:thing"},
        {"dll:///", "dll:"},
        {":x", ":x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(row.expanded, utf8(lib->expand(text(row.input))));
    }
    // Loops end: the expansion stops after a bounded number of rounds.
    EXPECT_EQ(0, utf8(lib->expand(text("loop:y"))).rfind("loop:", 0));
    EXPECT_EQ(0, utf8(lib->expand(text("ping:y"))).find("p"));

    // Replacing keeps one entry; clear forgets everything but reloads the defaults.
    lib->setAssign({text("skin"), text("file:///E:/x")});
    EXPECT_EQ("file:///E:/x/a", utf8(lib->expand(text("skin:a"))));
    lib->clear();
    EXPECT_FALSE(lib->contains(text("skin")));
    EXPECT_EQ("dll:///theme/gui/a", utf8(lib->expand(text("kqgui:a"))));
    EXPECT_TRUE(lib->contains(text("bin")));
}

TEST(KqAssignLibTest, HomeSkipsBuildFolders)
{
    struct Row {
        const char* module;
        const char* bin;
        const char* home;
    } rows[] = {
        {"C:\\app\\Release\\setup.exe", "C:/app/Release", "C:/app"},
        {"C:\\app\\release\\setup.exe", "C:/app/release", "C:/app"},
        {"C:\\app\\Releases\\setup.exe", "C:/app/Releases", "C:/app"},
        {"C:\\app\\Debug\\setup.exe", "C:/app/Debug", "C:/app"},
        {"C:\\app\\Deb\\setup.exe", "C:/app/Deb", "C:/app"},
        {"C:\\app\\WIN32\\setup.exe", "C:/app/WIN32", "C:/app"},
        {"C:\\app\\W\\setup.exe", "C:/app/W", "C:/app"},
        {"C:\\app\\Relax\\setup.exe", "C:/app/Relax", "C:/app/Relax"},
        {"C:\\Program Files\\TqSorva\\setup.exe", "C:/Program Files/TqSorva", "C:/Program Files/TqSorva"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.module);
        EXPECT_EQ(row.bin, utf8(kqExecutableFolder(text(row.module))));
        EXPECT_EQ(row.home, utf8(kqHomeFolder(text(row.module))));
    }
}

std::wstring wide(const KqString& s) { return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), size_t(s.length())); }

std::string runAndRead(const std::wstring& program)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return "";
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = L"\"" + program + L"\"";
    BOOL started = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string out;
    if (started) {
        char buffer[512];
        DWORD got;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got)
            out.append(buffer, got);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return out;
}

TEST(KqAssignLibTest, CopiedIntoAReleaseFolderHomeIsTheFolderAbove)
{
    std::wstring here = wide(applicationDirPath());
    std::wstring top = here + L"\\assign_home_case";
    std::wstring release = top + L"\\Release";
    CreateDirectoryW(top.c_str(), nullptr);
    CreateDirectoryW(release.c_str(), nullptr);
    std::wstring copy = release + L"\\probe.exe";
    ASSERT_TRUE(CopyFileW((here + L"\\resource_home_probe.exe").c_str(), copy.c_str(), FALSE));
    std::string out = runAndRead(copy);
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(release.c_str());
    RemoveDirectoryW(top.c_str());
    std::string topSlashes = utf8(KqString(reinterpret_cast<const KqChar*>(top.c_str())));
    for (char& c : topSlashes)
        if (c == '\\')
            c = '/';
    std::string expected = "file:///" + topSlashes + "\n" + "file:///" + topSlashes + "/Release\n" + "file:///" +
                           topSlashes + "/Release\n";
    std::string got = out;
    got.erase(std::remove(got.begin(), got.end(), '\r'), got.end());
    EXPECT_EQ(expected, got);
}

TEST(KqResourceLibTest, MappingsByScheme)
{
    kqRegisterFrameworkClasses();
    KqResourceLib* lib = KqResourceLib::instance();
    KqResourceMapping* dll = lib->mapping(text("dll"));
    ASSERT_NE(nullptr, dll);
    EXPECT_TRUE(dll->isKindOf(KqResourceMappingDLL::classInfo()));
    EXPECT_FALSE(lib->registerMapping(text("dll"), KqResourceMappingFile::classInfo()));
    EXPECT_EQ(dll, lib->mapping(text("dll")));
    EXPECT_FALSE(lib->registerMapping(text("mem"), nullptr));
    EXPECT_FALSE(lib->registerMapping(text("mem"), KqAssignLib::classInfo()));
    EXPECT_TRUE(lib->registerMapping(text("mem"), KqResourceMappingDLL::classInfo()));
    EXPECT_TRUE(lib->mapping(text("mem"))->isKindOf(KqResourceMappingDLL::classInfo()));
    EXPECT_TRUE(lib->read(KqUrl("none:///x")).isEmpty());
}

TEST(KqResourceLibTest, TablesSkipEmptyEntriesAndKeepOffsets)
{
    const char* const names[] = {"t/a.txt", "t/empty.txt", "t/c.txt", "t/a.txt"};
    const unsigned char data[] = {'A', 'A', 'C', 'C', 'C', 'Z'};
    const int32_t sizes[] = {2, 0, 3, 1};
    EXPECT_TRUE(kqRegisterResourceData(3, names, data, sizes));
    KqResourceLib* lib = KqResourceLib::instance();
    EXPECT_EQ(KqByteArray("AA"), lib->read(KqUrl("dll:///t/a.txt")));
    EXPECT_EQ(KqByteArray("CCC"), lib->read(KqUrl("dll:///t/c.txt")));
    EXPECT_FALSE(lib->mapping(text("dll"))->contains(KqUrl("dll:///t/empty.txt")));
    EXPECT_TRUE(kqRegisterResourceData(0, names, data, sizes));
    // A later table with the same name replaces the bytes.
    const unsigned char later[] = {'Z'};
    const int32_t oneSize[] = {1};
    const char* const oneName[] = {"t/a.txt"};
    kqRegisterResourceData(1, oneName, later, oneSize);
    EXPECT_EQ(KqByteArray("Z"), lib->read(KqUrl("dll:///t/a.txt")));
}

// A 16 x 16 icon (type 1) or cursor (type 2) of 32-bit pixels in one colour.
std::vector<unsigned char> iconFile(uint16_t type, uint32_t argb)
{
    std::vector<unsigned char> f;
    auto u16 = [&](uint32_t v) { f.push_back(uint8_t(v)); f.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    const uint32_t imageBytes = 40 + 16 * 16 * 4 + 16 * 4;
    u16(0), u16(type), u16(1);                                  // directory: reserved, type, count
    f.push_back(16), f.push_back(16), f.push_back(0), f.push_back(0); // 16 x 16, no palette
    u16(type == 1 ? 1 : 8), u16(type == 1 ? 32 : 8);           // planes and bits, or the hot spot
    u32(imageBytes), u32(22);
    u32(40), u32(16), u32(32), u16(1), u16(32), u32(0), u32(16 * 16 * 4), u32(0), u32(0), u32(0), u32(0);
    for (int i = 0; i < 16 * 16; ++i)
        u32(argb);
    f.insert(f.end(), 16 * 4, 0); // the mask: every pixel shown
    return f;
}

} // namespace

TEST(KqResourceLibTest, RegisteredIconsAndCursorsKeepTheirLeadingZeroByte)
{
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&token, &input, nullptr));
    struct Row {
        const char* name;
        std::vector<unsigned char> bytes;
        bool decodes; // the picture library reads icons; cursors it need not
    } rows[] = {
        {"t/zero/app.ico", iconFile(1, 0xFF2080C0), true},
        {"t/zero/hand.cur", iconFile(2, 0xFFC08020), false},
        {"t/zero/one.bin", {0}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const char* const names[] = {row.name};
        const int32_t sizes[] = {int32_t(row.bytes.size())};
        ASSERT_TRUE(kqRegisterResourceData(1, names, row.bytes.data(), sizes));
        const KqString url = KqString(u"dll:///") + KqString::fromAnsi(row.name);
        const KqByteArray read = kqReadResource(url);
        ASSERT_EQ(int(row.bytes.size()), read.size());
        EXPECT_EQ(0, memcmp(row.bytes.data(), read.data(), row.bytes.size()));
        if (row.decodes) {
            KqImage image = KqImage::fromUrl(url);
            ASSERT_FALSE(image.isNull());
            EXPECT_EQ(16, image.size().width);
            EXPECT_EQ(16, image.size().height);
        }
    }
    KqImageCache::instance()->clear();
    Gdiplus::GdiplusShutdown(token);
}

namespace {

uint32_t be32(const KqByteArray& b, int at)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(b.data()) + at;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

TEST(KqResourceLibTest, FrameworkSkinsAreRegisteredOnFirstRead)
{
    struct Row {
        const char* url;
        uint32_t width, height;
        int colourType; // 6 RGBA, 2 RGB
    } rows[] = {
        {"kqgui:btn_4word_hover.png", 60, 20, 6},     {"kqgui:button_pressdown.png", 15, 22, 6},
        {"kqgui:checkbox_default_disable.png", 15, 15, 6}, {"kqgui:checkbox_selected_normal.png", 16, 16, 6},
        {"kqgui:head.png", 40, 40, 2},                 {"kqgui:mask_mainframe.png", 210, 510, 6},
        {"kqgui:shadow.png", 60, 60, 6},               {"kqgui:slider_normal.png", 12, 21, 6},
        {"dll:///theme/gui/scroll_bk.png", 12, 12, 6},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        KqByteArray png = kqReadResource(text(row.url));
        ASSERT_GT(png.size(), 33);
        EXPECT_EQ(0, memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8));
        EXPECT_EQ(row.width, be32(png, 16));
        EXPECT_EQ(row.height, be32(png, 20));
        EXPECT_EQ(row.colourType, png.data()[25]);
    }
    EXPECT_TRUE(kqReadResource(text("kqgui:missing.png")).isEmpty());
}

TEST(KqResourceLibTest, FilesAreReadFromDisk)
{
    std::wstring path = wide(applicationDirPath()) + L"\\resource_file_case.bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD wrote;
    WriteFile(file, "bytes\0here", 10, &wrote, nullptr);
    CloseHandle(file);
    KqString pathText(reinterpret_cast<const KqChar*>(path.c_str()));
    KqUrl url(pathText);
    EXPECT_EQ("file", utf8(url.scheme()));
    KqResourceMapping* files = KqResourceLib::instance()->mapping(text("file"));
    EXPECT_TRUE(files->contains(url));
    EXPECT_EQ(KqByteArray("bytes\0here", 10), KqResourceLib::instance()->read(url));
    EXPECT_EQ(KqByteArray("bytes\0here", 10), kqReadResource(KqString(u"file:///") + url.path()));
    DeleteFileW(path.c_str());
    EXPECT_FALSE(files->contains(url));
    EXPECT_TRUE(KqResourceLib::instance()->read(url).isEmpty());
}

// The "file" scheme returns each file's bytes exactly, whatever its first
// byte and size; a file another handle is writing is still read.
TEST(KqResourceLibTest, FileBytesAreReturnedExactly)
{
    std::string large(200003, '\0');
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    large[0] = '\0';
    struct Row { const char* what; std::string bytes; bool keepOpen; };
    const Row rows[] = {
        {"first byte 0", std::string("\0abc\0", 5), false},
        {"only a 0 byte", std::string(1, '\0'), false},
        {"one byte", "x", false},
        {"ICO header", std::string("\0\0\1\0\1\0\x10\x10", 8), false},
        {"200 KB, first byte 0", large, false},
        {"open for writing elsewhere", "still written", true},
    };
    KqResourceMapping* files = KqResourceLib::instance()->mapping(text("file"));
    ASSERT_TRUE(files);
    const std::wstring path = wide(applicationDirPath()) + L"\\resource_file_table.bin";
    const KqString pathText(reinterpret_cast<const KqChar*>(path.c_str()));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD wrote = 0;
        ASSERT_TRUE(WriteFile(file, row.bytes.data(), DWORD(row.bytes.size()), &wrote, nullptr));
        if (!row.keepOpen)
            CloseHandle(file);
        KqUrl url(pathText);
        EXPECT_TRUE(files->contains(url));
        KqByteArray read = KqResourceLib::instance()->read(url);
        ASSERT_EQ(int(row.bytes.size()), read.size());
        EXPECT_EQ(0, memcmp(row.bytes.data(), read.data(), row.bytes.size()));
        EXPECT_EQ(read, kqReadResource(KqString(u"file:///") + url.path()));
        if (row.keepOpen)
            CloseHandle(file);
    }
    // Empty and missing files read as nothing.
    CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(KqResourceLib::instance()->read(KqUrl(pathText)).isEmpty());
    DeleteFileW(path.c_str());
    EXPECT_FALSE(files->contains(KqUrl(pathText)));
    EXPECT_TRUE(KqResourceLib::instance()->read(KqUrl(pathText)).isEmpty());
}

} // namespace
