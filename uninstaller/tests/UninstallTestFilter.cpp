// Stand-in camera filter: records each (un)registration in the file that
// TQ_FILTER_RECORD names, with the module's own path.
#include <windows.h>

#include <string>

namespace {

HMODULE g_module;

HRESULT recordCall(const wchar_t* what)
{
    wchar_t file[1024] = {};
    DWORD got = GetEnvironmentVariableW(L"TQ_FILTER_RECORD", file, 1024);
    if (got == 0 || got >= 1024)
        return S_OK;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(g_module, self, MAX_PATH);
    std::wstring text = std::wstring(what) + L" " + self + L"\r\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], size, nullptr, nullptr);
    HANDLE out = CreateFileW(file, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(out, bytes.data(), static_cast<DWORD>(size - 1), &written, nullptr);
        CloseHandle(out);
    }
    return S_OK;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() { return recordCall(L"register"); }
extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() { return recordCall(L"unregister"); }
