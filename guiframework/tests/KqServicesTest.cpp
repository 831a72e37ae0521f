#include "KqServices.h"

#include <gtest/gtest.h>

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
