// The engine's log file in a folder of each test's own (the folder seam);
// EngineLogAppDataTest covers the product's folder.
#include "EngineLog.h"
#include "EngineLogTestSupport.h"
#include "EngineLogTesting.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace enginelog_test;

namespace {

class EngineLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"tq_enginelog_" + std::to_wstring(GetCurrentProcessId()) + L"_"
            + std::to_wstring(++s_counter) + L"\\sub\\log\\";
        SetEngineLogFolderForTest(m_folder);
        SetEngineLogLimitsForTest(0, 0);
    }
    void TearDown() override
    {
        StopLogger();
        CloseEngineLogForTest();
        SetEngineLogFolderForTest(std::wstring());
        SetEngineLogLimitsForTest(0, 0);
        std::wstring top = m_folder.substr(0, m_folder.size() - std::wstring(L"sub\\log\\").size());
        top.pop_back();
        top.push_back(L'\0');
        SHFILEOPSTRUCTW operation = {};
        operation.wFunc = FO_DELETE;
        operation.pFrom = top.c_str();
        operation.fFlags = FOF_NO_UI;
        SHFileOperationW(&operation);
    }

    std::wstring LogPath() const { return m_folder + L"tqsorva.log"; }
    std::wstring OldPath() const { return m_folder + L"tqsorva.old.log"; }
    std::vector<std::string> Lines() const { return ReadLines(LogPath()); }

    std::wstring m_folder;
    static int s_counter;
};
int EngineLogTest::s_counter = 0;

const std::string kInfo = "info  - ";

} // namespace

TEST_F(EngineLogTest, FileGetsHeaderPrefixesAndTexts)
{
    EXPECT_EQ(LogPath(), EngineLogPath());
    EXPECT_EQ(OldPath(), EngineLogOldPath());
    StartLogger();
    WriteLog(kLogDebug, "level %d is dropped", 0);  // dropped before the file is even opened
    EXPECT_EQ(-1, FileSize(LogPath()));
    WriteLog(kLogInfo, "info %d %s", 1, "one");
    WriteLog(kLogWarn, "warn %s", "two");
    WriteLog(kLogError, "error %05.1f", 3.5);
    WriteLog(kLogPlain, "plain");
    WriteLog(9, "above the last level");
    WriteLog(kLogDebug, "debug after opening");
    StopLogger();
    CloseEngineLogForTest();

    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(11u, lines.size());
    EXPECT_TRUE(IsLine(lines[0], kInfo, "\\+{90}")) << lines[0];
    EXPECT_TRUE(IsLine(lines[1], kInfo, "program start")) << lines[1];
    EXPECT_TRUE(IsLine(lines[2], kInfo, "LogLimiter start Tid:[0-9]+")) << lines[2];
    EXPECT_TRUE(IsLine(lines[3], "info  - ", "info 1 one")) << lines[3];
    EXPECT_TRUE(IsLine(lines[4], "WARN  - ", "warn two")) << lines[4];
    EXPECT_TRUE(IsLine(lines[5], "ERROR - ", "error 003\\.5")) << lines[5];
    EXPECT_TRUE(IsLine(lines[6], "      - ", "plain")) << lines[6];
    EXPECT_TRUE(IsLine(lines[7], "      - ", "above the last level")) << lines[7];
    EXPECT_TRUE(IsLine(lines[8], kInfo, "exit logger thread")) << lines[8];
    EXPECT_TRUE(IsLine(lines[9], kInfo, "LogLimiter end Tid:[0-9]+")) << lines[9];
    EXPECT_TRUE(IsLine(lines[10], kInfo, "program end")) << lines[10];
    // The same timer id at start and end.
    EXPECT_EQ(lines[2].substr(lines[2].find("Tid:")), lines[9].substr(lines[9].find("Tid:")));
}

TEST_F(EngineLogTest, DebugMarkerLetsLevelZeroThrough)
{
    for (bool markerIsFile : {false, true}) {
        SCOPED_TRACE(markerIsFile ? "marker file" : "marker folder");
        SHCreateDirectoryExW(nullptr, m_folder.c_str(), nullptr);
        const std::wstring marker = m_folder + L"debug";
        if (markerIsFile)
            CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        else
            CreateDirectoryW(marker.c_str(), nullptr);
        StartLogger();
        WriteLog(kLogInfo, "opens the file");
        WriteLog(kLogDebug, "debug line %d", 7);
        StopLogger();
        CloseEngineLogForTest();
        const std::vector<std::string> lines = Lines();
        const int start = Find(lines, kInfo, "program start");
        ASSERT_GE(start, 0);
        EXPECT_TRUE(IsLine(lines[size_t(start) + 1], kInfo, "open debug log mode")) << lines[size_t(start) + 1];
        EXPECT_GE(Find(lines, "debug - ", "debug line 7", size_t(start)), 0);
        if (markerIsFile)
            DeleteFileW(marker.c_str());
        else
            RemoveDirectoryW(marker.c_str());
        DeleteFileW(LogPath().c_str());
    }
    // Without the marker, the next opening is back at level 1.
    StartLogger();
    WriteLog(kLogInfo, "opens the file");
    WriteLog(kLogDebug, "not written");
    StopLogger();
    const std::vector<std::string> lines = Lines();
    EXPECT_EQ(-1, Find(lines, kInfo, "open debug log mode"));
    EXPECT_EQ(-1, Find(lines, "debug - ", ".*"));
}

TEST_F(EngineLogTest, LinesWithoutAWriterAreDropped)
{
    WriteLog(kLogInfo, "before the writer");  // opens the file, but is dropped
    StartLogger();
    WriteLog(kLogInfo, "while the writer runs");
    StopLogger();
    WriteLog(kLogInfo, "after the writer");
    StartLogger();
    WriteLog(kLogInfo, "with a new writer");
    StopLogger();
    const std::vector<std::string> lines = Lines();
    EXPECT_EQ(-1, Find(lines, kInfo, "before the writer"));
    EXPECT_EQ(-1, Find(lines, kInfo, "after the writer"));
    const int during = Find(lines, kInfo, "while the writer runs");
    ASSERT_GE(during, 0);
    EXPECT_GE(Find(lines, kInfo, "with a new writer", size_t(during)), 0);
    // One header only: the file is opened once.
    int headers = 0;
    for (const std::string& line : lines)
        headers += IsLine(line, kInfo, "program start") ? 1 : 0;
    EXPECT_EQ(1, headers);
}

TEST_F(EngineLogTest, LongLinesAreCutAt4095Characters)
{
    StartLogger();
    WriteLog(kLogInfo, "%s", std::string(10000, 'x').c_str());
    WriteLog(kLogInfo, "%s%s", std::string(3000, 'a').c_str(), std::string(3000, 'b').c_str());
    WriteLog(kLogInfo, "short after");
    StopLogger();
    const std::vector<std::string> lines = Lines();
    const int first = Find(lines, kInfo, "x+");
    ASSERT_GE(first, 0);
    EXPECT_EQ(4094u, lines[size_t(first)].size());  // plus its line feed: 4095
    EXPECT_TRUE(IsLine(lines[size_t(first) + 1], kInfo, "a{3000}b+"));
    EXPECT_EQ(4094u, lines[size_t(first) + 1].size());
    EXPECT_TRUE(IsLine(lines[size_t(first) + 2], kInfo, "short after"));
}

TEST_F(EngineLogTest, StopLoggerDrainsTheQueue)
{
    constexpr int kLines = 20000;
    StartLogger();
    for (int i = 0; i < kLines; ++i)
        WriteLog(kLogInfo, "queued %d", i);
    StopLogger();  // at once: most lines are still queued
    const std::vector<std::string> lines = Lines();
    const std::regex queued(std::string("^") + kStamp + ":info  - queued ([0-9]+)$");
    int next = 0;
    size_t lastQueued = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch match;
        if (std::regex_match(lines[i], match, queued)) {
            ASSERT_EQ(next, std::stoi(match[1].str()));
            ++next;
            lastQueued = i;
        }
    }
    EXPECT_EQ(kLines, next);
    ASSERT_LT(lastQueued + 1, lines.size());
    EXPECT_TRUE(IsLine(lines[lastQueued + 1], kInfo, "exit logger thread"));
}

// The product's limit: a file of exactly 20,971,520 bytes stays; one byte
// more is rotated at the next check.
TEST_F(EngineLogTest, RotatesOnlyAboveTheProductLimit)
{
    StartLogger();
    WriteLog(kLogInfo, "first run");
    StopLogger();
    int64_t size = FileSize(LogPath());
    ASSERT_GT(size, 0);
    {
        // Another writer (the file is shared) fills it to the limit exactly.
        HANDLE handle = CreateFileW(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, handle);
        std::string filler(size_t(20971520 - size), '.');
        for (size_t i = 1023; i < filler.size(); i += 1024)
            filler[i] = '\n';
        filler.back() = '\n';
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(handle, filler.data(), DWORD(filler.size()), &written, nullptr));
        CloseHandle(handle);
    }
    ASSERT_EQ(20971520, FileSize(LogPath()));

    CheckEngineLogSizeForTest();
    EXPECT_EQ(-1, FileSize(OldPath()));
    std::vector<std::string> lines = Lines();
    const std::string paths = Escaped(WideToAnsi(EngineLogPath().c_str())) + "  " + Escaped(WideToAnsi(EngineLogOldPath().c_str()));
    EXPECT_TRUE(IsLine(lines.back(), kInfo, "Timer!!!!" + paths + "Size:20971520")) << lines.back();

    CheckEngineLogSizeForTest();  // now above the limit by the timer's own line
    const std::vector<std::string> old = ReadLines(OldPath());
    ASSERT_FALSE(old.empty());
    EXPECT_TRUE(IsLine(old.back(), kInfo, "Timer!!!!" + paths + "Size:[0-9]+")) << old.back();
    EXPECT_GE(Find(old, kInfo, "first run"), 0);
    lines = Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(IsLine(lines[0], kInfo, std::string("log rotated: ") + kStamp)) << lines[0];

    StartLogger();
    WriteLog(kLogWarn, "after rotation");
    StopLogger();
    lines = Lines();
    EXPECT_GE(Find(lines, "WARN  - ", "after rotation"), 0);
}

TEST_F(EngineLogTest, RotationReplacesTheOldFile)
{
    SetEngineLogLimitsForTest(100, 0);
    StartLogger();
    WriteLog(kLogInfo, "generation one");
    StopLogger();
    CheckEngineLogSizeForTest();
    StartLogger();
    WriteLog(kLogInfo, "generation two");
    StopLogger();
    CheckEngineLogSizeForTest();
    const std::vector<std::string> old = ReadLines(OldPath());
    EXPECT_EQ(-1, Find(old, kInfo, "generation one"));
    EXPECT_GE(Find(old, kInfo, "generation two"), 0);
    EXPECT_EQ(-1, Find(Lines(), kInfo, "generation two"));
}

TEST_F(EngineLogTest, FailedRenameKeepsLoggingInTheTruncatedFile)
{
    SetEngineLogLimitsForTest(100, 0);
    SHCreateDirectoryExW(nullptr, OldPath().c_str(), nullptr);  // a folder in the old file's place
    StartLogger();
    WriteLog(kLogInfo, "before the check");
    StopLogger();  // written before the check
    CheckEngineLogSizeForTest();
    StartLogger();
    WriteLog(kLogInfo, "after the check");
    StopLogger();
    const std::vector<std::string> lines = Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(IsLine(lines[0], kInfo, "Failed to backup the old log file:" + Escaped(WideToAnsi(EngineLogPath().c_str()))))
        << lines[0];
    EXPECT_EQ(-1, Find(lines, kInfo, "before the check"));
    EXPECT_GE(Find(lines, kInfo, "after the check"), 0);
}

// Writers on several threads while the check rotates the file: every line
// lands whole in exactly one of the two files, in each thread's order. Each
// writer goes on until the rotation has happened and then some, so lines are
// written both before and after it.
TEST_F(EngineLogTest, RotationUnderConcurrentWritersLosesNothing)
{
    constexpr int kThreads = 8, kMinimumLines = 2000, kLinesAfterRotation = 500;
    SetEngineLogLimitsForTest(300 * 1024, 0);
    StartLogger();
    WriteLog(kLogInfo, "start");
    std::atomic<bool> rotated{false};
    std::thread checker([&] {
        const DWORD until = GetTickCount() + 60000;
        while (!rotated.load() && GetTickCount() < until) {
            CheckEngineLogSizeForTest();
            if (GetFileAttributesW(OldPath().c_str()) != INVALID_FILE_ATTRIBUTES)
                rotated = true;
            Sleep(1);
        }
    });
    std::vector<int> written(kThreads, 0);
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&, t] {
            int i = 0;
            for (; i < kMinimumLines || !rotated.load(); ++i) {
                WriteLog(kLogInfo, "thread %d line %d %s", t, i, std::string(size_t(i % 50), '-').c_str());
                if (i % 64 == 0)
                    Sleep(0);
                if (i > 2000000)
                    break;  // no rotation at all: the assertion below says so
            }
            for (int more = 0; more < kLinesAfterRotation; ++more, ++i)
                WriteLog(kLogInfo, "thread %d line %d %s", t, i, std::string(size_t(i % 50), '-').c_str());
            written[size_t(t)] = i;
        });
    for (std::thread& writer : writers)
        writer.join();
    checker.join();
    StopLogger();
    ASSERT_TRUE(rotated.load()) << "the file never passed the limit during the writes";

    std::vector<std::string> lines = ReadLines(OldPath());
    const size_t oldCount = lines.size();
    const std::vector<std::string> current = Lines();
    lines.insert(lines.end(), current.begin(), current.end());
    const std::regex stamped(std::string("^") + kStamp + ":info  - (.*)$");
    const std::regex record("^thread ([0-9]+) line ([0-9]+) (-*)$");
    std::map<int, int> next;
    size_t recordsInOld = 0, recordsInNew = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch outer, inner;
        ASSERT_TRUE(std::regex_match(lines[i], outer, stamped)) << "torn line: " << lines[i];
        const std::string text = outer[1].str();
        if (!std::regex_match(text, inner, record))
            continue;
        const int thread = std::stoi(inner[1].str()), line = std::stoi(inner[2].str());
        ASSERT_EQ(next[thread], line) << "thread " << thread;
        ASSERT_EQ(size_t(line % 50), size_t(inner[3].length()));
        ++next[thread];
        (i < oldCount ? recordsInOld : recordsInNew)++;
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(written[size_t(t)], next[t]) << "thread " << t;
    EXPECT_GT(recordsInOld, 0u);
    EXPECT_GT(recordsInNew, 0u);
    EXPECT_GE(Find(current, kInfo, std::string("log rotated: ") + kStamp), 0);
}

// The check runs on a window-less timer of the first WriteLog's thread.
TEST_F(EngineLogTest, TimerOfTheFirstWriterRunsTheCheck)
{
    SetEngineLogLimitsForTest(0, 100);
    StartLogger();
    WriteLog(kLogInfo, "opens the file and starts the timer");
    const DWORD until = GetTickCount() + 5000;
    int ticks = 0;
    while (GetTickCount() < until && ticks < 2) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(20);
        ticks = 0;
        for (const std::string& line : Lines())
            ticks += line.find(":info  - Timer!!!!") != std::string::npos ? 1 : 0;
    }
    EXPECT_GE(ticks, 2);
}

TEST(EngineLogStrings, WideAndAnsi)
{
    EXPECT_EQ("abc", WideToAnsi(L"abc"));
    EXPECT_EQ("ab", WideToAnsi(L"abc", 2));
    EXPECT_EQ("", WideToAnsi(nullptr));
    EXPECT_EQ("", WideToAnsi(L"abc", -2));
    EXPECT_EQ("", WideToAnsi(L"abc", 0));
    EXPECT_EQ(L"abc", AnsiToWide("abc"));
    EXPECT_EQ(L"\u8b66\u544a", AnsiToWide("\xe8\xad\xa6\xe5\x91\x8a", CP_UTF8));
    EXPECT_EQ(L"", AnsiToWide(""));
}
