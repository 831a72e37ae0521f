// Stand-in for the outside statistics reporter. It records how it was started
// so the installer's and the uninstaller's starts can be checked:
//   TQ_TALLYO_LOG       file to append to (default "tallyo.log" in the temp
//                       folder: the program's own folder may be deleted by the
//                       uninstaller right after it ends)
//   TQ_TALLYO_DELAY_MS  time to spend before ending (default 0)
// Each run appends, as UTF-8 lines:
//   "tallyo cmdline=<the command line exactly as received>"
//   "tallyo arg=<argument>"            one per argument after the program
//   "tallyo cwd=<current folder>"
//   "tallyo exe=<this program's path>"
//   "tallyo end"                       when it ends
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[1024];
    DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

std::wstring DefaultLog()
{
    wchar_t path[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, path);
    std::wstring folder = n > 0 && n <= MAX_PATH ? std::wstring(path, n) : std::wstring(L".\\");
    if (folder.back() != L'\\')
        folder += L'\\';
    return folder + L"tallyo.log";
}

void Append(const std::wstring& file, const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    // Another run may be appending at the same moment: retry while it is held.
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            CloseHandle(h);
            return;
        }
        Sleep(10);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring log = Variable(L"TQ_TALLYO_LOG");
    if (log.empty())
        log = DefaultLog();

    std::wstring text = L"tallyo cmdline=" + std::wstring(GetCommandLineW()) + L"\r\n";
    for (int i = 1; i < argc; ++i)
        text += L"tallyo arg=" + std::wstring(argv[i]) + L"\r\n";
    wchar_t cwd[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, cwd);
    text += L"tallyo cwd=" + std::wstring(cwd, n < MAX_PATH ? n : 0) + L"\r\n";
    wchar_t exe[MAX_PATH];
    DWORD e = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    text += L"tallyo exe=" + std::wstring(exe, e < MAX_PATH ? e : 0) + L"\r\n";
    Append(log, text);

    int delay = _wtoi(Variable(L"TQ_TALLYO_DELAY_MS").c_str());
    if (delay > 0)
        Sleep(delay);
    Append(log, L"tallyo end\r\n");
    return 0;
}
