#include "KqServices.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::u16string text(const KqString& s) { return std::u16string(s.data(), static_cast<size_t>(s.length())); }

uint32_t g_tick;
uint32_t fakeTick() { return g_tick; }

std::vector<std::u16string> g_messages;
void capture(const KqString& message) { g_messages.push_back(text(message)); }

TEST(KqServicesTest, ClockRisesAcrossTheTickWrap)
{
    kqSetTickSource(fakeTick);
    const uint32_t ticks[] = {0xFFFFFF00u, 0xFFFFFFFFu, 5u, 1000u, 0xFFFFFFF0u, 3u};
    int64_t last = -1;
    for (uint32_t tick : ticks) {
        g_tick = tick;
        int64_t now = kqClockNow();
        EXPECT_GT(now, last) << tick;
        last = now;
    }
    EXPECT_EQ((int64_t(2) << 32) + 3, last);
    g_tick = 100;
    kqSetTickSource(fakeTick);
    KqElapsedTimer timer;
    EXPECT_FALSE(timer.isValid());
    timer.start();
    EXPECT_TRUE(timer.isValid());
    EXPECT_EQ(0, timer.elapsed());
    g_tick = 350;
    EXPECT_EQ(250, timer.elapsed());
    timer.invalidate();
    EXPECT_FALSE(timer.isValid());
    kqSetTickSource(nullptr);
    EXPECT_GT(kqClockNow(), 0);
}

TEST(KqServicesTest, DebugMessagesAreCapturedWithBlanks)
{
    g_messages.clear();
    kqSetDebugCapture(capture);
    KqDebugStream() << "no file engine for file " << KqString(u"a.txt") << 42 << -7;
    KqDebugStream() << u"wide";
    kqSetDebugCapture(nullptr);
    ASSERT_EQ(2u, g_messages.size());
    EXPECT_EQ(u"no file engine for file  a.txt 42 -7 ", g_messages[0]);
    EXPECT_EQ(u"wide ", g_messages[1]);
}

TEST(KqServicesTest, ApplicationPaths)
{
    const struct { const char16_t* path; const char16_t* dir; } cases[] = {
        {u"C:\\a\\b\\setup.exe", u"C:\\a\\b"}, {u"C:/a\\b/x.exe", u"C:/a\\b"}, {u"plain.exe", u"plain.exe"}, {u"\\x", u""}};
    for (const auto& c : cases)
        EXPECT_EQ(c.dir, text(kqDirOfPath(KqString(c.path))));
    std::u16string path = text(applicationFilePath());
    EXPECT_NE(std::u16string::npos, path.find(u"guiframework_services_test.exe"));
    EXPECT_EQ(path.substr(0, path.find_last_of(u"\\/")), text(applicationDirPath()));
}

// A module's path is read whole however long it is.
TEST(KqServicesTest, ModulePathsLongerThan259Units)
{
    wchar_t here[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, here, MAX_PATH);
    ASSERT_GT(n, 0u);
    std::wstring dir(here, n);
    dir = dir.substr(0, dir.find_last_of(L"\\/"));
    std::wstring probe = dir + L"\\module_path_probe.dll";
    // Folders below the test's own until the library's path passes 300 units.
    std::vector<std::wstring> made;
    std::wstring deep = L"\\\\?\\" + dir;
    while (deep.size() - 4 + 22 <= 300) {
        deep += L"\\long_folder_name_" + std::to_wstring(made.size()) + L"_abcdefghijklmnopqrstuvwxyz";
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        made.push_back(deep);
    }
    std::wstring copy = deep + L"\\module_path_probe.dll";
    ASSERT_TRUE(CopyFileW(probe.c_str(), copy.c_str(), FALSE));
    HMODULE module = LoadLibraryW(copy.c_str());
    DWORD loadError = GetLastError();
    std::u16string path, expected;
    if (module) {
        path = text(kqModuleFileName(module));
        std::vector<wchar_t> whole(32768);
        DWORD length = GetModuleFileNameW(module, whole.data(), static_cast<DWORD>(whole.size()));
        expected.assign(reinterpret_cast<const char16_t*>(whole.data()), length);
        FreeLibrary(module);
    }
    DeleteFileW(copy.c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        RemoveDirectoryW(it->c_str());
    ASSERT_TRUE(module) << loadError;
    EXPECT_GT(expected.size(), 300u);
    EXPECT_EQ(expected, path);
    EXPECT_EQ(text(kqModuleFileName(nullptr)), text(applicationFilePath()));
}

struct Counted {
    Counted() { ++built; }
    static int built;
};
int Counted::built = 0;

TEST(KqServicesTest, SingletonIsBuiltOnce)
{
    Counted* a = KqSingleton<Counted>::instance();
    Counted* b = KqSingleton<Counted>::instance();
    EXPECT_EQ(a, b);
    EXPECT_EQ(1, Counted::built);
}

} // namespace
