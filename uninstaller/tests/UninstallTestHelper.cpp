// Stand-in program of the uninstaller's tests, copied into test installs as
// the programs found there (tallyo.exe, TqSorva.exe, ...).
//   TQ_HELPER_RECORD   file that gets "cmdline=<command line>" and "cwd=<folder>" lines
//   TQ_HELPER_SLEEP_MS time to spend before ending
//   argument -wait     run until terminated
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring variable(const wchar_t* name)
{
    wchar_t value[1024] = {};
    DWORD got = GetEnvironmentVariableW(name, value, 1024);
    return got > 0 && got < 1024 ? std::wstring(value, got) : std::wstring();
}

void record(const std::wstring& file, const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    HANDLE out = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(out);
}

}  // namespace

int wmain()
{
    std::wstring line = GetCommandLineW();
    std::wstring recordFile = variable(L"TQ_HELPER_RECORD");
    if (!recordFile.empty()) {
        wchar_t cwd[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, cwd);
        record(recordFile, L"cmdline=" + line + L"\r\ncwd=" + cwd + L"\r\n");
    }
    if (line.find(L"-wait") != std::wstring::npos)
        for (;;)
            Sleep(INFINITE);
    int sleepMs = _wtoi(variable(L"TQ_HELPER_SLEEP_MS").c_str());
    if (sleepMs > 0)
        Sleep(static_cast<DWORD>(sleepMs));
    return 0;
}
