// Stands in for the product's launcher "tqsorva.exe" next to a camera filter
// under test: notes that it was started, in "launched.txt" beside itself.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring marker(path);
    marker = marker.substr(0, marker.find_last_of(L'\\')) + L"\\launched.txt";
    HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, "started", 7, &written, nullptr);
    CloseHandle(file);
    return 0;
}
