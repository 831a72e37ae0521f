// Processes that hold a module, and the top-level window of a process.
#include "SystemUtils.h"

#include <tlhelp32.h>

namespace {

bool sameTextIgnoringCase(const wchar_t* a, const wchar_t* b)
{
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// Lets the module walk reach processes of other accounts where allowed.
void enableDebugPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        OutputDebugStringW(L"enable_privilege");
        return;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)
        || !AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr))
        OutputDebugStringW(L"enable_token_privilege");
    CloseHandle(token);
}

// A snapshot can fail with ERROR_BAD_LENGTH while the process loads modules.
HANDLE takeSnapshot(DWORD flags, DWORD pid)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        HANDLE snapshot = CreateToolhelp32Snapshot(flags, pid);
        if (snapshot != INVALID_HANDLE_VALUE || GetLastError() != ERROR_BAD_LENGTH)
            return snapshot;
    }
    return INVALID_HANDLE_VALUE;
}

struct WindowSearch {
    DWORD pid;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid)
        return TRUE;
    wchar_t name[256] = {};
    if (GetClassNameW(window, name, ARRAYSIZE(name)) && sameTextIgnoringCase(name, search->className)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool processHasModule(DWORD pid, const std::wstring& moduleName)
{
    enableDebugPrivilege();
    HANDLE snapshot = takeSnapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid);
    if (snapshot == INVALID_HANDLE_VALUE) {
        OutputDebugStringW(L"CreateToolhelp32Snapshot() failed!");
        return false;
    }
    bool found = false;
    MODULEENTRY32W module = {};
    module.dwSize = sizeof module;
    if (!Module32FirstW(snapshot, &module)) {
        OutputDebugStringW(L"Module32First");
    } else {
        do {
            if (sameTextIgnoringCase(module.szModule, moduleName.c_str())) {
                found = true;
                break;
            }
        } while (Module32NextW(snapshot, &module));
    }
    CloseHandle(snapshot);
    return found;
}

bool findProcessesUsingModule(const std::wstring& moduleName, std::vector<std::wstring>& list)
{
    list.clear();
    HANDLE snapshot = takeSnapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        OutputDebugStringW(L"CreateToolhelp32Snapshot (of processes)");
        return false;
    }
    PROCESSENTRY32W process = {};
    process.dwSize = sizeof process;
    if (!Process32FirstW(snapshot, &process)) {
        OutputDebugStringW(L"Process32First");
        CloseHandle(snapshot);
        return true;
    }
    do {
        if (process.th32ProcessID != 0 && processHasModule(process.th32ProcessID, moduleName))
            list.push_back(process.szExeFile);
    } while (Process32NextW(snapshot, &process));
    CloseHandle(snapshot);
    return true;
}

HWND findProcessWindow(DWORD pid, const std::wstring& className)
{
    WindowSearch search = {pid, className.c_str(), nullptr};
    EnumWindows(&matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
