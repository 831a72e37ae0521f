// The engine's log file in the product's folder under the user's application
// data. Other programs of the test run may log into the same file at the
// same time, so the test reads from where the file ended before it started
// and looks for its own lines in order, skipping lines of others.
#include "EngineLog.h"
#include "EngineLogTestSupport.h"
#include "EngineLogTesting.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>
#include <vector>

using namespace enginelog_test;

TEST(EngineLogAppData, HeaderAndLinesInTheProductFolder)
{
    wchar_t appData[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)));
    const std::wstring folder = std::wstring(appData) + L"\\brenlo\\tqsorva\\log\\";
    ASSERT_EQ(folder + L"tqsorva.log", EngineLogPath());
    ASSERT_EQ(folder + L"tqsorva.old.log", EngineLogOldPath());

    const int64_t before = FileSize(EngineLogPath());
    const std::string token = "appdata test " + std::to_string(GetCurrentProcessId()) + " " + std::to_string(GetTickCount());
    StartLogger();
    WriteLog(kLogInfo, "%s", token.c_str());
    WriteLog(kLogError, "%s error", token.c_str());
    StopLogger();
    CloseEngineLogForTest();

    const std::vector<std::string> lines = ReadLines(EngineLogPath(), before > 0 ? size_t(before) : 0);
    const std::string info = "info  - ";
    int at = Find(lines, info, "\\+{90}");
    ASSERT_GE(at, 0);
    const char* const ordered[][2] = {
        {"info  - ", "program start"},
        {"info  - ", "LogLimiter start Tid:[0-9]+"},
        {"info  - ", nullptr},  // the token
        {"ERROR - ", nullptr},  // the token + " error"
        {"info  - ", "exit logger thread"},
        {"info  - ", "LogLimiter end Tid:[0-9]+"},
        {"info  - ", "program end"},
    };
    int step = 0;
    for (const auto& expected : ordered) {
        std::string pattern = expected[1] ? expected[1] : Escaped(token) + (step == 3 ? " error" : "");
        const int found = Find(lines, expected[0], pattern, size_t(at) + 1);
        EXPECT_GT(found, at) << "line " << step << ": " << expected[0] << pattern;
        if (found > at)
            at = found;
        ++step;
    }
}
