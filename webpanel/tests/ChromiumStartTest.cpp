// The command that starts the engine under Wine: the profile folder's path,
// whatever characters it holds, reaches the browser as one argument and is
// never read as shell syntax.
#include "ChromiumService.h"
#include "PanelText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> splitCommandLine(const std::wstring& line)
{
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> args(argv, argv + count);
    LocalFree(argv);
    return args;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool waitFor(const std::wstring& path)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(20))
        if (exists(path))
            return true;
    return false;
}

bool run(const std::wstring& commandLine)
{
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

std::vector<std::wstring> readLines(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::vector<std::wstring> lines;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(toWide(fromUtf8(line)));
    return lines;
}

TEST(ChromiumStartTest, ProgramAndProfileAreSingleArgumentsOfTheShell)
{
    const wchar_t* const paths[] = {
        L"/home/u/.wine/drive_c/users/u/AppData/Roaming/brenlo/tqsorva/browser-profile",
        L"/home/o'brien/prefix/browser-profile",
        L"/tmp/a b/$(touch x)/`id`/;&|'\"'/browser-profile",
        L"/tmp/quote\"inside/back\\slash\\\"mix",
        L"/tmp/ends-with-backslashes\\\\",
        L"/tmp/\\\\\"",
    };
    for (const wchar_t* path : paths) {
        std::vector<std::wstring> args = splitCommandLine(ChromiumService::wineStartCommand(L"/usr/bin/chromium", path));
        ASSERT_EQ(6u, args.size()) << path;
        EXPECT_EQ(L"Z:\\bin\\sh", args[0]);
        EXPECT_EQ(L"-c", args[1]);
        EXPECT_EQ(std::wstring::npos, args[2].find(path)) << "the path is no part of the script";
        EXPECT_EQ(L"sh", args[3]);
        EXPECT_EQ(L"/usr/bin/chromium", args[4]);
        EXPECT_EQ(path, args[5]);
    }
}

// The real shell runs the command with a recorder in the browser's place;
// the profile's folder name is made of shell syntax.
TEST(ChromiumStartTest, TheShellHandsTheProfilePathOverUntouched)
{
    if (!ChromiumService::runningUnderWine())
        GTEST_SKIP() << "the Linux shell is reached under Wine only";
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring work = std::wstring(temp) + L"chromium_start_" + std::to_wstring(GetCurrentProcessId());
    std::wstring hostile = work + L"\\it's $(touch pwned1) `touch pwned2`; touch pwned3 & 'x' !y %TEMP%";
    ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExW(nullptr, hostile.c_str(), nullptr));
    const std::wstring canary = work + L"\\canary.txt";
    {
        std::ofstream out(canary.c_str(), std::ios::binary);
        out << "keep me";
    }

    // The recorder writes its arguments one a line beside itself.
    {
        std::ofstream script((work + L"\\recorder.txt").c_str(), std::ios::binary);
        script << "#!/bin/sh\nout=\"$(dirname \"$0\")/args.txt\"\n"
                  "for a do printf '%s\\n' \"$a\"; done > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n";
    }
    std::wstring recorderText = ChromiumService::unixPathOf(work + L"\\recorder.txt");
    std::wstring recorder = ChromiumService::unixPathOf(work) + L"/recorder";
    ASSERT_FALSE(recorderText.empty());
    ASSERT_TRUE(run(L"Z:\\bin\\sh -c " +
                    ChromiumService::quoteArgument(L"cp \"$1\" \"$2.tmp\" && chmod 755 \"$2.tmp\" && mv \"$2.tmp\" \"$2\"") +
                    L" sh " + ChromiumService::quoteArgument(recorderText) + L" " +
                    ChromiumService::quoteArgument(recorder)));
    ASSERT_TRUE(waitFor(work + L"\\recorder"));

    // Started from the work folder, so that an injected "touch" would land there.
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(work.c_str());
    std::wstring unixProfile = ChromiumService::unixPathOf(hostile);
    bool started = run(ChromiumService::wineStartCommand(recorder, unixProfile));
    SetCurrentDirectoryW(previous);
    ASSERT_TRUE(started);
    ASSERT_TRUE(waitFor(work + L"\\args.txt")) << "the recorder ran in the browser's place";

    std::vector<std::wstring> args = readLines(work + L"\\args.txt");
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(L"about:blank", args.back());
    EXPECT_EQ(1, std::count(args.begin(), args.end(), L"--user-data-dir=" + unixProfile));
    EXPECT_EQ(1, std::count(args.begin(), args.end(), L"--remote-debugging-port=8088"));
    for (const wchar_t* name : {L"pwned1", L"pwned2", L"pwned3"}) {
        EXPECT_FALSE(exists(work + L"\\" + name)) << name;
        EXPECT_FALSE(exists(hostile + L"\\" + name)) << name;
    }
    std::ifstream kept(canary.c_str(), std::ios::binary);
    std::stringstream text;
    text << kept.rdbuf();
    EXPECT_EQ("keep me", text.str());
    EXPECT_TRUE(exists(hostile)) << "the profile folder stays";
}

}  // namespace
