// The engine's kqlog records and COM failure reports: standard output, the
// stand-in kqlog.dll's record file and the engine's log file.
#include "EngineLog.h"
#include "EngineLogTestSupport.h"
#include "EngineLogTesting.h"
#include "KqlogRecords.h"
#include "LumeoLog.h"

#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

using namespace enginelog_test;
using tq::kqlog::ReadRecords;

namespace {

std::wstring TempPath(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"tq_lumeolog_" + std::to_wstring(GetCurrentProcessId()) + L"_" + name;
}

// Runs the body with standard output sent to a file; returns what it printed.
template <class Body>
std::string CaptureStdout(Body body)
{
    const std::wstring path = TempPath(L"stdout.txt");
    fflush(stdout);
    const int saved = _dup(_fileno(stdout));
    FILE* capture = _wfopen(path.c_str(), L"wb");
    _dup2(_fileno(capture), _fileno(stdout));
    body();
    fflush(stdout);
    _dup2(saved, _fileno(stdout));
    _close(saved);
    fclose(capture);
    const std::string printed = ReadAll(path);
    DeleteFileW(path.c_str());
    return printed;
}

class LumeoLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_records = TempPath(L"kqlog.txt");
        DeleteFileW(m_records.c_str());
        SetEnvironmentVariableW(tq::kqlog::kFileVariable, m_records.c_str());
        m_folder = TempPath(L"log\\");
        SetEngineLogFolderForTest(m_folder);
    }
    void TearDown() override
    {
        StopLogger();
        CloseEngineLogForTest();
        SetEngineLogFolderForTest(std::wstring());
        SetEnvironmentVariableW(tq::kqlog::kFileVariable, nullptr);
        DeleteFileW(m_records.c_str());
        DeleteFileW((m_folder + L"tqsorva.log").c_str());
        RemoveDirectoryW(m_folder.c_str());
    }
    std::wstring m_records;
    std::wstring m_folder;
};

const HRESULT kNoInterface = HRESULT(0x80004002);  // E_NOINTERFACE

} // namespace

TEST_F(LumeoLogTest, ComFailureForm)
{
    EXPECT_EQ("ERROR - Could not get IMediaControl. , hr = 80004002",
              FormatComFailure("ERROR - Could not get IMediaControl.", kNoInterface));
    EXPECT_EQ("x , hr =        1", FormatComFailure("x", S_FALSE));
}

TEST_F(LumeoLogTest, ReportGoesToStandardOutputAndKqlog)
{
    unsigned line = 0;
    const std::string printed = CaptureStdout([&] {
        line = __LINE__ + 1;
        LUMEO_REPORT_COM_FAILURE("ERROR - m_pKalaokGraph->ConnectDirect failed.", kNoInterface);
    });
    EXPECT_EQ("ERROR - m_pKalaokGraph->ConnectDirect failed. , hr = 80004002\n", printed);
    const auto records = ReadRecords(m_records);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(1u, records[0].level);
    EXPECT_EQ("Lumeo", records[0].module);
    EXPECT_EQ(std::string(__FILE__), records[0].file);
    EXPECT_EQ(line, records[0].line);
    EXPECT_EQ(L"ERROR - m_pKalaokGraph->ConnectDirect failed. ,hr = -2147467262", records[0].text);
}

TEST_F(LumeoLogTest, EngineRecordsUseTheLumeoModule)
{
    const unsigned line = __LINE__ + 1;
    LUMEO_LOG_LINE().AppendWide(L"\u8b66\u544a\uff1a\u5f53\u524d\u6b63\u5728\u4f7f\u7528\u7684\u6444\u50cf\u5934\u88ab\u62d4\u6389\u4e86\uff01");
    LUMEO_LOG_LINE().AppendNarrow("CCaptureVideoOper::DealNewPicture this frame delay == ").AppendInt(41);
    const auto records = ReadRecords(m_records);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("Lumeo", records[0].module);
    EXPECT_EQ(1u, records[0].level);
    EXPECT_EQ(line, records[0].line);
    EXPECT_EQ(std::string(__FUNCTION__), records[0].function);
    EXPECT_EQ(L"\u8b66\u544a\uff1a\u5f53\u524d\u6b63\u5728\u4f7f\u7528\u7684\u6444\u50cf\u5934\u88ab\u62d4\u6389\u4e86\uff01", records[0].text);
    EXPECT_EQ(L"CCaptureVideoOper::DealNewPicture this frame delay == 41", records[1].text);
}

TEST_F(LumeoLogTest, FileFormsOfComFailures)
{
    StartLogger();
    const std::string printedByWrite = CaptureStdout([] { WriteComFailure("ERROR - Could not get IMediaControl.", kNoInterface); });
    const std::string printedByBoth = CaptureStdout([] { PrintAndWriteComFailure("ERROR - m_pOrigControl Run failed.", E_FAIL); });
    StopLogger();
    EXPECT_EQ("", printedByWrite);
    EXPECT_EQ("ERROR - m_pOrigControl Run failed. , hr = 80004005\n", printedByBoth);
    const auto lines = ReadLines(m_folder + L"tqsorva.log");
    EXPECT_GE(Find(lines, "info  - ", Escaped("ERROR - Could not get IMediaControl. , hr = 80004002")), 0);
    EXPECT_GE(Find(lines, "info  - ", Escaped("ERROR - m_pOrigControl Run failed. , hr = 80004005")), 0);
    EXPECT_TRUE(ReadRecords(m_records).empty());  // the file forms send no kqlog record
}
