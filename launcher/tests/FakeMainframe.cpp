// Test stand-in for "mainframe.dll": records what sorvaMain received and the
// state the launcher prepared, then returns the code the test chose.
//   TQ_FAKE_MAINFRAME_LOG     file to append to (default "mainframe.log" beside this DLL)
//   TQ_FAKE_MAINFRAME_RESULT  sorvaMain's result (default 0)
#include "SorvaMain.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[2048];
    DWORD n = GetEnvironmentVariableW(name, value, 2048);
    return n > 0 && n < 2048 ? std::wstring(value, n) : std::wstring();
}

std::wstring OwnPath()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnPath), &self);
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    return std::wstring(path, n);
}

std::string Utf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

} // namespace

extern "C" __declspec(dllexport) int sorvaMain(int argc, char** argv, std::wstring version)
{
    std::string lines;
    auto add = [&](const std::string& key, const std::string& value) { lines += "mainframe " + key + "=" + value + "\r\n"; };
    add("argc", std::to_string(argc));
    for (int i = 0; i < argc; ++i)
        add("argv" + std::to_string(i), argv[i]);
    add("version", Utf8(version));
    add("module", Utf8(OwnPath()));
    add("root", Utf8(Variable(L"APPLICATION_ROOT_PATH")));
    const wchar_t* crtRoot = _wgetenv(L"APPLICATION_ROOT_PATH");
    add("crtroot", crtRoot ? Utf8(crtRoot) : "");
    wchar_t buffer[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
    add("cwd", Utf8(std::wstring(buffer, n)));
    n = GetDllDirectoryW(MAX_PATH, buffer);
    add("dlldir", Utf8(std::wstring(buffer, n)));

    std::wstring log = Variable(L"TQ_FAKE_MAINFRAME_LOG");
    if (log.empty()) {
        std::wstring own = OwnPath();
        log = own.substr(0, own.find_last_of(L'\\') + 1) + L"mainframe.log";
    }
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE h = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(h, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
            CloseHandle(h);
            break;
        }
        Sleep(10);
    }
    return _wtoi(Variable(L"TQ_FAKE_MAINFRAME_RESULT").c_str());
}
