// Stand-in for the outside updater. It records each run and ends with the
// verdict its caller chose, so the launcher's protocol can be watched:
//   TQ_UPDATE_LOG       file to append to (default "update.log" beside this program)
//   TQ_UPDATE_VERDICT   exit code (default 0: nothing to update)
//   TQ_UPDATE_DELAY_MS  time to spend before ending (default 0)
// Each run appends "update start <arguments>", "update cwd=<current folder>"
// and "update root=<APPLICATION_ROOT_PATH>" and, when it ends,
// "update end <arguments>", as UTF-8 lines.
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
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L'\\') + 1) + L"update.log";
}

void Append(const std::wstring& file, const std::wstring& line)
{
    std::wstring text = line + L"\r\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    // Other recorders append to the same file: retry while it is held.
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
    std::wstring arguments;
    for (int i = 1; i < argc; ++i)
        arguments += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
    std::wstring log = Variable(L"TQ_UPDATE_LOG");
    if (log.empty())
        log = DefaultLog();

    wchar_t cwd[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, cwd);
    Append(log, L"update start " + arguments + L"\r\nupdate cwd=" + std::wstring(cwd, n) +
                    L"\r\nupdate root=" + Variable(L"APPLICATION_ROOT_PATH"));
    int delay = _wtoi(Variable(L"TQ_UPDATE_DELAY_MS").c_str());
    if (delay > 0)
        Sleep(delay);
    Append(log, L"update end " + arguments);
    return _wtoi(Variable(L"TQ_UPDATE_VERDICT").c_str());
}
