// Stands in for a system DLL planted beside a setup program (version.dll,
// wininet.dll, ...): when some process loads it, it appends its own path to
// C:\planted.log, so a test sees that it was loaded.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    char line[3 * MAX_PATH + 2] = {};
    int bytes = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), line, 3 * MAX_PATH, nullptr, nullptr);
    line[bytes] = '\r';
    line[bytes + 1] = '\n';
    HANDLE log = CreateFileW(L"C:\\planted.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(log, line, static_cast<DWORD>(bytes + 2), &written, nullptr);
        CloseHandle(log);
    }
    return TRUE;
}
