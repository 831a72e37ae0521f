// CSetupLog: the file's exact bytes, its size rule, bounded lines, lines
// from several threads and programs, and a file that cannot be opened.
#include "SetupLog.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <thread>
#include <vector>

namespace {

std::wstring utf16Text(const std::string& bytes, size_t from)
{
    std::wstring text((bytes.size() - from) / 2, L'\0');
    if (!text.empty())
        memcpy(&text[0], bytes.data() + from, text.size() * 2);
    return text;
}

// Lines of a log file after its byte-order mark (each without its CR LF).
std::vector<std::wstring> logLines(const std::string& bytes)
{
    std::vector<std::wstring> lines;
    std::wstring text = utf16Text(bytes, 2);
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find(L"\r\n", begin);
        if (end == std::wstring::npos) {
            lines.push_back(L"<unterminated>" + text.substr(begin));
            break;
        }
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 2;
    }
    return lines;
}

const std::wregex kLinePattern(L"\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] (.*)");

std::wstring messageOf(const std::wstring& line)
{
    std::wsmatch match;
    if (!std::regex_match(line, match, kLinePattern))
        return L"<malformed>" + line;
    return match[1];
}

std::wstring startLogProgram(const std::wstring& exe, const std::wstring& args, PROCESS_INFORMATION& pi)
{
    std::wstring commandLine = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return L"CreateProcess failed " + std::to_wstring(GetLastError());
    return std::wstring();
}

std::wstring besideThisProgram(const wchar_t* name)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

} // namespace

TEST(SetupLog, WritesByteOrderMarkThenTimeStampedLines)
{
    TestFolder folder(L"log_bytes");
    CSetupLog log(folder.path());
    log.setFileName(L"setupV2.log");
    EXPECT_EQ(folder / L"setupV2.log", log.filePath());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(log.filePath().c_str())) << "opened before the first line";

    log.writeLine(L"SorvaSetupCore::doAfterDecompress, decompress finished.");
    log.writeLine(L"second \u5b89\u88c5");
    std::string bytes = readFileBytes(log.filePath());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ('\xFF', bytes[0]);
    EXPECT_EQ('\xFE', bytes[1]);
    std::wstring text = utf16Text(bytes, 2);
    std::wregex whole(L"\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] "
                      L"SorvaSetupCore::doAfterDecompress, decompress finished\\.\r\n"
                      L"\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] second \u5b89\u88c5\r\n");
    EXPECT_TRUE(std::regex_match(text, whole));
    // The stamp is the local time: this year's number is in it.
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    EXPECT_EQ(0u, text.find(L"[" + std::to_wstring(now.wYear) + L"-"));
}

TEST(SetupLog, StartsAfreshOnlyAboveTheLimitOrWhenEmpty)
{
    struct Case {
        const char* what;
        size_t existingBytes;
        bool keepsOldContent;
    };
    const Case cases[] = {
        {"empty file gets a byte-order mark", 0, false},
        {"exactly at the limit is appended to", 1048576, true},
        {"one byte above the limit starts afresh", 1048577, false},
        {"small file is appended to", 10, true},
    };
    for (const Case& c : cases) {
        TestFolder folder(L"log_size");
        std::string old;
        if (c.existingBytes > 0) {
            old = std::string("\xFF\xFE", 2);
            old.append(c.existingBytes - 2, 'A');
        }
        ASSERT_TRUE(writeFileBytes(folder / L"x.log", old));
        {
            CSetupLog log(folder.path());
            log.setFileName(L"x.log");
            log.writeLine(L"new line");
        }
        std::string bytes = readFileBytes(folder / L"x.log");
        if (c.keepsOldContent) {
            EXPECT_EQ(old, bytes.substr(0, old.size())) << c.what;
            EXPECT_EQ(L"new line", messageOf(logLines(std::string("\xFF\xFE", 2) + bytes.substr(old.size())).at(0)))
                << c.what;
        } else {
            auto lines = logLines(bytes);
            ASSERT_EQ(1u, lines.size()) << c.what;
            EXPECT_EQ('\xFF', bytes[0]) << c.what;
            EXPECT_EQ('\xFE', bytes[1]) << c.what;
            EXPECT_EQ(L"new line", messageOf(lines[0])) << c.what;
        }
    }
}

TEST(SetupLog, LongMessageBecomesOneBoundedLine)
{
    std::wstring name = L"bounded_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    setLogFileName(name.c_str());
    std::wstring path = setupLog().filePath();
    DeleteFileW(path.c_str());
    std::wstring longText(40000, L'x');
    longText[0] = L'S';
    writeLog(L"uninstall command line %s", longText.c_str());
    writeLog(L"after %d", 5);
    std::string bytes = readFileBytes(path);
    DeleteFileW(path.c_str());
    auto lines = logLines(bytes);
    ASSERT_EQ(2u, lines.size());
    EXPECT_LE(lines[0].size() + 2, CSetupLog::kMaxLineChars);
    EXPECT_GT(lines[0].size() + 2, CSetupLog::kMaxLineChars - 8) << "filled up to the bound";
    EXPECT_EQ(0u, messageOf(lines[0]).find(L"uninstall command line Sxxx"));
    EXPECT_EQ(L"after 5", messageOf(lines[1]));
}

TEST(SetupLog, ThreadsAndProgramsLoseNoLine)
{
    TestFolder folder(L"log_many");
    const std::wstring file = L"unistV2.log";
    const int perThread = 150;
    const int perProgram = 300;
    const std::wstring eventName = L"tq_setup_log_go_" + std::to_wstring(GetCurrentProcessId());
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_NE(nullptr, go);

    PROCESS_INFORMATION programs[2] = {};
    for (int p = 0; p < 2; ++p) {
        std::wstring args = L"\"" + folder.path().substr(0, folder.path().size() - 1) + L"\" " + file + L" program"
                            + std::to_wstring(p) + L" " + std::to_wstring(perProgram) + L" " + eventName;
        ASSERT_EQ(L"", startLogProgram(besideThisProgram(L"setup_log_writer.exe"), args, programs[p]));
    }
    CSetupLog log(folder.path());
    log.setFileName(file);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            WaitForSingleObject(go, INFINITE);
            for (int i = 0; i < perThread; ++i)
                log.writeLine((L"thread" + std::to_wstring(t) + L" line " + std::to_wstring(i)).c_str());
        });
    SetEvent(go);
    for (auto& t : threads)
        t.join();
    for (auto& pi : programs) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 60000));
        DWORD code = 99;
        GetExitCodeProcess(pi.hProcess, &code);
        EXPECT_EQ(0u, code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(go);

    std::string bytes = readFileBytes(folder / file);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(std::string("\xFF\xFE", 2), bytes.substr(0, 2));
    EXPECT_EQ(std::string::npos, bytes.find(std::string("\xFF\xFE", 2), 2)) << "a second byte-order mark";
    std::map<std::wstring, int> seen;
    for (const std::wstring& line : logLines(bytes))
        ++seen[messageOf(line)];
    std::map<std::wstring, int> expected;
    for (int t = 0; t < 8; ++t)
        for (int i = 0; i < perThread; ++i)
            expected[L"thread" + std::to_wstring(t) + L" line " + std::to_wstring(i)] = 1;
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < perProgram; ++i)
            expected[L"program" + std::to_wstring(p) + L" line " + std::to_wstring(i)] = 1;
    EXPECT_EQ(expected.size(), seen.size());
    EXPECT_TRUE(expected == seen) << "lines lost, broken or doubled";
}

TEST(SetupLog, DropsLinesWhileTheFileCannotBeOpenedThenWrites)
{
    TestFolder folder(L"log_locked");
    HANDLE holder = CreateFileW((folder / L"x.log").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    CSetupLog log(folder.path());
    log.setFileName(L"x.log");
    log.writeLine(L"dropped one");
    log.writeLine(L"dropped two");
    CloseHandle(holder);
    log.writeLine(L"written");
    auto lines = logLines(readFileBytes(folder / L"x.log"));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(L"written", messageOf(lines[0]));
}
