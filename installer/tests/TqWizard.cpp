// Stand-in for the older client's wizard "tqwizard.exe": appends its start
// and, after TQ_WIZARD_DELAY_MS, its end to the file TQ_TALLYO_LOG names
// (the reporter's log, so the order of the two programs shows).
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

void append(const std::wstring& file, const char* line)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(h, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
            CloseHandle(h);
            return;
        }
        Sleep(10);
    }
}

} // namespace

int wmain()
{
    wchar_t log[1024];
    DWORD n = GetEnvironmentVariableW(L"TQ_TALLYO_LOG", log, 1024);
    if (n == 0 || n >= 1024)
        return 1;
    append(log, "tqwizard start\r\n");
    wchar_t delay[32];
    if (GetEnvironmentVariableW(L"TQ_WIZARD_DELAY_MS", delay, 32))
        Sleep(_wtoi(delay));
    append(log, "tqwizard end\r\n");
    return 0;
}
