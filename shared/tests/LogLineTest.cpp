// CLogLine against the stand-in kqlog.dll, which sits beside the test program
// and appends what it receives to the file TQ_KQLOG_FILE names.
#include "KqlogRecords.h"
#include "LogLine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

using tq::kqlog::ReadRecords;
using tq::kqlog::Record;

namespace {

class LogLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_path = std::wstring(temp) + L"tq_logline_" + std::to_wstring(GetCurrentProcessId()) + L"_"
            + std::to_wstring(++s_counter) + L".txt";
        DeleteFileW(m_path.c_str());
        SetEnvironmentVariableW(tq::kqlog::kFileVariable, m_path.c_str());
        SetEnvironmentVariableW(tq::kqlog::kLevelVariable, nullptr);
        SetKqlogLibraryForTest(nullptr);
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(tq::kqlog::kFileVariable, nullptr);
        SetEnvironmentVariableW(tq::kqlog::kLevelVariable, nullptr);
        SetKqlogLibraryForTest(nullptr);
        DeleteFileW(m_path.c_str());
    }
    std::vector<Record> Records() const { return ReadRecords(m_path); }

    std::wstring m_path;
    static int s_counter;
};
int LogLineTest::s_counter = 0;

} // namespace

TEST_F(LogLineTest, StandInExportsTheDecoratedNames)
{
    HMODULE library = LoadLibraryW(L"kqlog.dll");
    ASSERT_NE(nullptr, library);
    EXPECT_NE(nullptr, GetProcAddress(library, "?IsLogLevelEnabled@@YA_NG@Z"));
    EXPECT_NE(nullptr, GetProcAddress(library, "?DoLog@@YAXGPBD0G0PBG@Z"));
    EXPECT_STREQ("?IsLogLevelEnabled@@YA_NG@Z", kKqlogIsLogLevelEnabled);
    EXPECT_STREQ("?DoLog@@YAXGPBD0G0PBG@Z", kKqlogDoLog);
    FreeLibrary(library);
}

TEST_F(LogLineTest, RecordCarriesEveryField)
{
    const unsigned line = __LINE__ + 1;
    TQ_LOG_LINE("Lumeo", 1)
        .AppendNarrow("ERROR - Could not get IMediaControl.")
        .AppendWide(L" ,hr = ")
        .AppendInt(-2147467259)
        .AppendWide(L" ")
        .AppendInt64(-1234567890123LL)
        .AppendWide(L" ")
        .AppendDouble(2.5)
        .AppendString(std::string(" tail"))
        .AppendWide(L" \u8b66\u544a\t\n");

    const std::vector<Record> records = Records();
    ASSERT_EQ(1u, records.size());
    const Record& r = records[0];
    EXPECT_EQ(1u, r.level);
    EXPECT_EQ("Lumeo", r.module);
    EXPECT_EQ(std::string(__FILE__), r.file);
    EXPECT_EQ(line, r.line);
    EXPECT_EQ(std::string(__FUNCTION__), r.function);
    EXPECT_EQ(L"ERROR - Could not get IMediaControl. ,hr = -2147467259 -1234567890123 2.500000 tail \u8b66\u544a\t\n",
              r.text);
}

TEST_F(LogLineTest, LongTextMovesToTheHeapAndArrivesWhole)
{
    const std::wstring text(600, L'x');
    {
        CLogLine record("Lumeo", 1, "file.cpp", 7, "Function");
        ASSERT_TRUE(record.Enabled());
        EXPECT_EQ(511u, record.Capacity());
        record.AppendWide(text.c_str());
        EXPECT_EQ(1023u, record.Capacity());
        EXPECT_EQ(600u, record.Length());
        record.AppendWide(std::wstring(1500, L'y').c_str());  // 2100 characters and the terminator
        EXPECT_EQ(4095u, record.Capacity());
    }
    const std::vector<Record> records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(text + std::wstring(1500, L'y'), records[0].text);
}

TEST_F(LogLineTest, ReserveGrowsByPowersOfTwo)
{
    CLogLine record("Lumeo", 1, "file.cpp", 7, "Function");
    wchar_t* inlineBuffer = record.Reserve(511);
    EXPECT_EQ(511u, record.Capacity());
    EXPECT_EQ(record.Text(), inlineBuffer);
    record.Reserve(512);
    EXPECT_EQ(1023u, record.Capacity());
    record.AppendWide(L"abc");
    record.Reserve(1020);  // 3 + 1020 characters fit in 1023
    EXPECT_EQ(1023u, record.Capacity());
    record.Reserve(1021);
    EXPECT_EQ(2047u, record.Capacity());
    EXPECT_STREQ(L"abc", record.Text());
    record.Reserve(5000);
    EXPECT_EQ(8191u, record.Capacity());
    EXPECT_STREQ(L"abc", record.Text());
}

TEST_F(LogLineTest, NumbersAreCutToThirtyTwoCharacters)
{
    {
        CLogLine record("Lumeo", 1, "f", 1, "g");
        record.AppendDouble(1e300);
        EXPECT_EQ(32u, record.Length());
    }
    ASSERT_EQ(1u, Records().size());
    EXPECT_EQ(32u, Records()[0].text.size());
}

TEST_F(LogLineTest, UnwantedLevelGoesOutEmpty)
{
    SetEnvironmentVariableW(tq::kqlog::kLevelVariable, L"2");
    {
        CLogLine record("Lumeo", 1, "f.cpp", 3, "F");
        EXPECT_FALSE(record.Enabled());
        record.AppendNarrow("not collected").AppendInt(5);
        EXPECT_EQ(0u, record.Length());
    }
    TQ_LOG_LINE("Lumeo", 2).AppendNarrow("wanted");
    const std::vector<Record> records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(1u, records[0].level);
    EXPECT_EQ(L"", records[0].text);
    EXPECT_EQ(2u, records[1].level);
    EXPECT_EQ(L"wanted", records[1].text);
}

TEST_F(LogLineTest, MissingLibraryDropsRecordsAndIsTriedAgain)
{
    SetKqlogLibraryForTest(L"tq_no_such_kqlog.dll");
    {
        CLogLine record("Lumeo", 1, "f.cpp", 3, "F");
        EXPECT_FALSE(record.Enabled());
        record.AppendNarrow("dropped");
    }
    EXPECT_TRUE(Records().empty());
    // A library without the exports (any system DLL) drops them as well.
    SetKqlogLibraryForTest(L"version.dll");
    TQ_LOG_LINE("Lumeo", 1).AppendNarrow("dropped too");
    EXPECT_TRUE(Records().empty());
    // Once the library can be found, the next record goes out.
    SetKqlogLibraryForTest(nullptr);
    TQ_LOG_LINE("Lumeo", 1).AppendNarrow("delivered");
    const std::vector<Record> records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"delivered", records[0].text);
}

TEST_F(LogLineTest, StandInIsSilentWithoutItsVariable)
{
    SetEnvironmentVariableW(tq::kqlog::kFileVariable, nullptr);
    {
        CLogLine record("Lumeo", 1, "f.cpp", 3, "F");
        EXPECT_FALSE(record.Enabled());
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(m_path.c_str()));
}

TEST_F(LogLineTest, RecordsOfManyThreadsArriveWhole)
{
    constexpr int kThreads = 8, kRecords = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kRecords; ++i)
                TQ_LOG_LINE("Lumeo", 1).AppendWide(L"thread ").AppendInt(t).AppendWide(L" record ").AppendInt(i)
                    .AppendWide(std::wstring(size_t(100 + i * 5), L'.').c_str());
        });
    for (std::thread& thread : threads)
        thread.join();
    std::set<std::wstring> seen;
    for (const Record& r : Records())
        seen.insert(r.text);
    EXPECT_EQ(size_t(kThreads * kRecords), seen.size());
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kRecords; ++i)
            EXPECT_EQ(1u, seen.count(L"thread " + std::to_wstring(t) + L" record " + std::to_wstring(i)
                                     + std::wstring(size_t(100 + i * 5), L'.')));
}
