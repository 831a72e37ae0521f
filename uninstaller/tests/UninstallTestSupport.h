// Fixtures of the uninstaller's tests: installs laid out as the installer
// leaves them (files, registry values, shortcuts), canary trees, processes
// and the uninstall log.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <map>
#include <string>
#include <vector>

namespace uninstalltest {

inline std::wstring programFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L'\\') + 1);
}

inline std::wstring specialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

inline std::wstring windowsFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetWindowsDirectoryW(path, MAX_PATH);
    return path;
}

inline bool sameTextOf(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE)
           == CSTR_EQUAL;
}

inline bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline bool writeFile(const std::wstring& path, const std::string& bytes)
{
    std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

inline std::string readFile(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

inline std::wstring fromUtf8(const std::string& bytes)
{
    if (bytes.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);
    return text;
}

inline std::string toUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

// Removes a tree the shell's way (test clean-up only).
inline void removeTree(const std::wstring& path)
{
    std::wstring from = path;
    if (!from.empty() && from.back() == L'\\')
        from.pop_back();
    from += L'\0';
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationW(&op);
}

// Every file below folder (relative name -> contents) and every folder
// (relative name + "\\" -> ""); links are listed, not entered.
inline void listTree(const std::wstring& folder, const std::wstring& prefix, std::map<std::wstring, std::string>& out)
{
    WIN32_FIND_DATAW entry = {};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring full = folder + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[prefix + name + L"\\"] = "";
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                listTree(full, prefix + name + L"\\", out);
        } else {
            out[prefix + name] = readFile(full);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

inline std::map<std::wstring, std::string> snapshotTree(const std::wstring& folder)
{
    std::map<std::wstring, std::string> tree;
    listTree(folder, L"", tree);
    return tree;
}

// A small tree of files and a sub-folder to watch.
inline void makeCanary(const std::wstring& folder)
{
    writeFile(folder + L"\\keep.txt", "canary");
    writeFile(folder + L"\\sub\\deep.bin", std::string(1000, '\x5a'));
    writeFile(folder + L"\\Launcher.xml", "<LauncherInfo/>");
}

inline void copyProgram(const wchar_t* name, const std::wstring& to)
{
    std::wstring folder = to.substr(0, to.find_last_of(L'\\'));
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    CopyFileW((programFolder() + name).c_str(), to.c_str(), FALSE);
}

constexpr const char* kLauncherXml =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<LauncherInfo>\r\n"
    "    <VersionInfo No=\"1.0.3.0\" Path=\"1.0.3.0\" Enable=\"1\" First=\"0\" Index=\"1\"/>\r\n</LauncherInfo>\r\n";

// An install as the installer leaves it in folder (with its final "\\"):
// the launcher and its copy, the uninstaller, "Launcher.xml", the version
// folder with the stand-in reporter and camera filter, "Stable", the runtime
// folder and "ProductInfo.txt".
inline void makeInstallFiles(const std::wstring& folder, const std::string& productInfo = "channel=7\r\n")
{
    writeFile(folder + L"Launcher.xml", kLauncherXml);
    copyProgram(L"uninstall_test_helper.exe", folder + L"TqSorva.exe");
    copyProgram(L"Uninstall.exe", folder + L"Uninstall.exe");
    copyProgram(L"uninstall_test_helper.exe", folder + L"1.0.3.0\\TqSorva.exe");
    copyProgram(L"uninstall_test_helper.exe", folder + L"1.0.3.0\\tallyo.exe");
    copyProgram(L"uninstall_test_filter.dll", folder + L"1.0.3.0\\TqVirtualCam.ax");
    copyProgram(L"uninstall_test_filter.dll", folder + L"Stable\\TqVirtualCam.ax");
    writeFile(folder + L"1.0.3.0\\lumeo.dll", std::string(4096, 'L'));
    writeFile(folder + L"1.0.3.0\\res\\aurae\\auraelist.xml", "<aurae/>");
    writeFile(folder + L"Microsoft.VC90.CRT\\msvcr90.dll", std::string(2048, 'M'));
    if (!productInfo.empty())
        writeFile(folder + L"ProductInfo.txt", productInfo);
}

inline bool setString(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
}

inline bool keyExists(HKEY root, const wchar_t* key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

inline bool valueExists(HKEY root, const wchar_t* key, const wchar_t* name)
{
    return RegGetValueW(root, key, name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

constexpr const wchar_t* kUninstallEntry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TqSorva";
constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The installer's registry values for installPath (with its final "\\"),
// and the Run value older versions wrote.
inline void writeInstallRegistry(const std::wstring& installPath)
{
    setString(HKEY_CURRENT_USER, L"Software\\brenlo\\tqsorva", L"InstallDir", installPath);
    setString(HKEY_CURRENT_USER, L"Software\\brenlo\\com.tq.tqsorva", L"InstallDir", installPath + L"TqSorva.exe");
    setString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"UninstallString", L"\"" + installPath + L"Uninstall.exe\"");
    setString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"DisplayName", L"TqSorva");
    setString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"DisplayIcon", installPath + L"Uninstall.exe");
    setString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"Publisher", L"Brenlo\u6e38\u620f\u7f51");
    setString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"URLInfoAbout", L"http://127.0.0.1/");
    setString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"DisplayVersion", L"1.0.3.0");
    setString(HKEY_CURRENT_USER, kRunKey, L"TqSorva", installPath + L"TqSorva.exe");
}

inline bool saveLink(const std::wstring& linkPath, const std::wstring& target, const std::wstring& workFolder)
{
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(workFolder.c_str());
    IPersistFile* file = nullptr;
    bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    if (ok) {
        ok = SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
        file->Release();
    }
    link->Release();
    return ok;
}

// The installer's four links; their paths.
inline std::vector<std::wstring> installLinkPaths()
{
    std::wstring programs = specialFolder(CSIDL_PROGRAMS) + L"\\TqNelu\\";
    return {specialFolder(CSIDL_DESKTOPDIRECTORY) + L"\\TqNelu.lnk", programs + L"TqNelu.lnk",
            specialFolder(CSIDL_STARTMENU) + L"\\TqNelu.lnk", programs + L"\u5378\u8f7dTqNelu.lnk"};
}

inline bool writeInstallLinks(const std::wstring& installPath, const std::wstring& dataFolder)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<std::wstring> links = installLinkPaths();
    SHCreateDirectoryExW(nullptr, (specialFolder(CSIDL_PROGRAMS) + L"\\TqNelu").c_str(), nullptr);
    bool ok = true;
    for (size_t i = 0; i < 3; ++i)
        ok = saveLink(links[i], installPath + L"TqSorva.exe", dataFolder) && ok;
    ok = saveLink(links[3], installPath + L"Uninstall.exe", dataFolder) && ok;
    CoUninitialize();
    return ok;
}

inline std::wstring dataFolder() { return specialFolder(CSIDL_APPDATA) + L"\\brenlo\\tqsorva"; }

// The uninstall log as text (UTF-16LE after its byte-order mark).
inline std::wstring readUninstallLog()
{
    std::string bytes = readFile(dataFolder() + L"\\setup\\unistV2.log");
    if (bytes.size() < 2)
        return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

inline PROCESS_INFORMATION startProgram(const std::wstring& program, const std::wstring& commandLine)
{
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        process = PROCESS_INFORMATION{};
    return process;
}

inline void closeProcess(PROCESS_INFORMATION& process)
{
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);
    process = PROCESS_INFORMATION{};
}

// Ids of the running processes whose program file is named name (any case).
inline std::vector<DWORD> processesNamed(const wchar_t* name)
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (lstrcmpiW(entry.szExeFile, name) == 0 && entry.th32ProcessID != GetCurrentProcessId())
            ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

// Waits for every process named name to end; false when one is still running at the bound.
inline bool waitForProcessesNamed(const wchar_t* name, DWORD boundMs)
{
    DWORD start = GetTickCount();
    for (DWORD id : processesNamed(name)) {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
        if (!process)
            continue;
        DWORD used = GetTickCount() - start;
        DWORD result = WaitForSingleObject(process, used < boundMs ? boundMs - used : 0);
        CloseHandle(process);
        if (result != WAIT_OBJECT_0)
            return false;
    }
    return true;
}

inline void terminateProcessesNamed(const wchar_t* name)
{
    for (DWORD id : processesNamed(name)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (process) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

}  // namespace uninstalltest
