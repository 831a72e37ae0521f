// Test helper run inside the Wine prefix: prepares what a case needs, runs
// the installer (or reads back what it wrote) and prints the results.
//   setup_runner run [--event] [--mutex] [--hold FILE] PROGRAM ARGS...
//       --event  creates and sets "DEF_SINGLE_ZAVOVA_EVENT_20140227" first
//       --mutex  holds the installer's single-instance mutex
//       --hold   keeps FILE loaded as a library (a program using the filter)
//       prints "exit=<signed exit code>"
//   setup_runner cut SOURCE TARGET   copies SOURCE with its resource ZIP 101 cut to half
//   setup_runner link FILE           prints "target=<path>" and "workdir=<folder>" of a shell link
//   setup_runner reg HKCU|HKLM KEY VALUE   prints "value=<text>" of a string value (UTF-8)
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::wstring quoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            out.append(backslashes * 2 + 1, L'\\');
        else
            out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

int run(int argc, wchar_t** argv)
{
    int i = 2;
    HANDLE event = nullptr, mutex = nullptr;
    HMODULE held = nullptr;
    for (; i < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; ++i) {
        std::wstring option = argv[i];
        if (option == L"--event") {
            event = CreateEventW(nullptr, TRUE, TRUE, L"DEF_SINGLE_ZAVOVA_EVENT_20140227");
        } else if (option == L"--mutex") {
            mutex = CreateMutexW(nullptr, FALSE, L"{0980E678-72D2-484b-B983-D4E17598D5B7}");
        } else if (option == L"--hold" && i + 1 < argc) {
            held = LoadLibraryW(argv[++i]);
            if (!held) {
                printf("hold failed %lu\n", GetLastError());
                return 2;
            }
        }
    }
    if (i >= argc)
        return 2;
    std::wstring line;
    for (int k = i; k < argc; ++k)
        line += (k > i ? L" " : L"") + quoteArgument(argv[k]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        printf("start failed %lu\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    printf("exit=%d\n", static_cast<int>(code));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (held)
        FreeLibrary(held);
    if (mutex)
        CloseHandle(mutex);
    if (event)
        CloseHandle(event);
    return 0;
}

int cut(const wchar_t* source, const wchar_t* target)
{
    if (!CopyFileW(source, target, FALSE))
        return 2;
    HMODULE module = LoadLibraryExW(source, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC resource = module ? FindResourceW(module, MAKEINTRESOURCEW(101), L"ZIP") : nullptr;
    if (!resource)
        return 3;
    DWORD size = SizeofResource(module, resource);
    std::vector<char> half(static_cast<const char*>(LockResource(LoadResource(module, resource))),
                           static_cast<const char*>(LockResource(LoadResource(module, resource))) + size / 2);
    FreeLibrary(module);
    HANDLE update = BeginUpdateResourceW(target, FALSE);
    if (!update || !UpdateResourceW(update, L"ZIP", MAKEINTRESOURCEW(101), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                    half.data(), static_cast<DWORD>(half.size())) ||
        !EndUpdateResourceW(update, FALSE))
        return 4;
    printf("cut %lu to %lu\n", size, static_cast<unsigned long>(half.size()));
    return 0;
}

int readLink(const wchar_t* path)
{
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) ||
        FAILED(file->Load(path, STGM_READ)))
        return 2;
    wchar_t target[MAX_PATH] = {}, folder[MAX_PATH] = {};
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetWorkingDirectory(folder, MAX_PATH);
    printf("target=%s\nworkdir=%s\n", utf8(target).c_str(), utf8(folder).c_str());
    file->Release();
    link->Release();
    return 0;
}

int readValue(const wchar_t* hive, const wchar_t* key, const wchar_t* name)
{
    HKEY root = std::wstring(hive) == L"HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    wchar_t value[2048] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        printf("missing\n");
        return 1;
    }
    printf("value=%s\n", utf8(value).c_str());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2)
        return 2;
    std::wstring command = argv[1];
    if (command == L"run")
        return run(argc, argv);
    if (command == L"cut" && argc == 4)
        return cut(argv[2], argv[3]);
    if (command == L"reg" && argc == 5)
        return readValue(argv[2], argv[3], argv[4]);
    if (command == L"link" && argc == 3)
        return readLink(argv[2]);
    return 2;
}
