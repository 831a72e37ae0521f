#include "Launcher.h"
#include "SorvaMain.h"
#include "XmlDocument.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

const wchar_t kMainLibrary[] = L"mainframe.dll";
const wchar_t kUpdater[] = L"update.exe";
const wchar_t kLauncherXml[] = L"Launcher.xml";
const wchar_t kFallbackVersion[] = L"1.0.3.0";
const char kRunAsSwitch[] = "-runas";
const wchar_t kRootPathVariable[] = L"APPLICATION_ROOT_PATH";

// Loaded once per process and never freed.
HMODULE g_mainLibrary = nullptr;
SorvaMainFunction g_sorvaMain = nullptr;

std::wstring updaterCommand(const wchar_t* command, const std::wstring& version)
{
    return std::wstring(command) + L" " + version;
}

} // namespace

bool isPlainFolderName(const std::wstring& name)
{
    return !name.empty() && name != L"." && name.find(L"..") == std::wstring::npos &&
           name.find_first_of(L"\\/:") == std::wstring::npos;
}

bool LauncherVersion::isValid() const
{
    // Path decides what is loaded (and what the installer later deletes).
    return !Path.empty() && Index != -1 && isPlainFolderName(Path);
}

std::wstring getExeDir()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool fileExists(const std::wstring& path)
{
    struct _stat info;
    return _wstat(path.c_str(), &info) == 0;
}

int runProgram(const std::wstring& file, const std::wstring& parameters, bool wait)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOW;
    if (!ShellExecuteExW(&info))
        return -1;
    int result = -1;
    if (info.hProcess) {
        if (wait) {
            WaitForSingleObject(info.hProcess, INFINITE);
            DWORD code = 0;
            if (GetExitCodeProcess(info.hProcess, &code))
                result = static_cast<int>(code);
        }
        CloseHandle(info.hProcess);
    }
    return result;
}

bool CLauncher::loadLauncherXml(const std::wstring& path)
{
    CXmlDocument document;
    if (!document.Load(path) || !document.findElement(L"LauncherInfo"))
        return false;
    document.enterElement();
    bool found = readVersionInfos(document);
    document.leaveElement();
    return found;
}

bool CLauncher::readVersionInfos(CXmlDocument& document)
{
    while (document.findElement(L"VersionInfo")) {
        LauncherVersion entry;
        if (readVersionInfo(document, entry) && fileExists(exeDir + entry.Path))
            versions.push_back(entry);
    }
    return !versions.empty();
}

bool CLauncher::readVersionInfo(CXmlDocument& document, LauncherVersion& entry)
{
    entry.reset();
    entry.No = document.getAttribute(L"No");
    entry.Path = document.getAttribute(L"Path");
    entry.First = _wtoi(document.getAttribute(L"First").c_str());
    entry.Enable = _wtoi(document.getAttribute(L"Enable").c_str());
    entry.Index = _wtoi(document.getAttribute(L"Index").c_str());
    return entry.isValid();
}

bool CLauncher::chooseVersion(LauncherVersion& entry) const
{
    entry.reset();
    bool taken = false;
    for (const LauncherVersion& candidate : versions) {
        if (candidate.Enable != 0 && candidate.Index > entry.Index) {
            entry = candidate;
            taken = true;
        }
    }
    return taken && entry.isValid();
}

void CLauncher::applyVersionDir()
{
    if (versionDir.empty())
        return;
    SetDllDirectoryW(versionDir.c_str());  // a failure only narrows the DLL search
    _wputenv((std::wstring(kRootPathVariable) + L"=" + versionDir).c_str());
    SetCurrentDirectoryW(versionDir.c_str());
}

int CLauncher::enterMainLibrary(int argc, char** argv)
{
    const std::wstring library = versionDir + kMainLibrary;
    if (!g_mainLibrary && fileExists(library))
        g_mainLibrary = LoadLibraryW(library.c_str());
    if (g_mainLibrary && !g_sorvaMain)
        g_sorvaMain = reinterpret_cast<SorvaMainFunction>(GetProcAddress(g_mainLibrary, "sorvaMain"));
    if (!g_sorvaMain)
        return 0;
    return g_sorvaMain(argc, argv, version);
}

int CLauncher::Run(int argc, char** argv)
{
    exeDir = getExeDir();
    LauncherVersion entry;
    if (loadLauncherXml(exeDir + kLauncherXml) && chooseVersion(entry)) {
        versionDir = exeDir + entry.Path + L"\\";
        version = entry.No;
    }
    if (versionDir.empty())
        versionDir = exeDir;
    if (version.empty())
        version = kFallbackVersion;
    applyVersionDir();

    if (!(argc > 1 && std::strcmp(argv[1], kRunAsSwitch) == 0)) {
        const std::wstring updater = versionDir + kUpdater;
        if (!fileExists(updater))
            return 0;
        switch (runProgram(updater, updaterCommand(L"-checkserver", version), true)) {
        case 1:
            runProgram(updater, updaterCommand(L"-normalupdate", version), true);
            break;
        case 2:
            runProgram(updater, updaterCommand(L"-forceupdate", version), false);
            return 0;
        case 3:
            runProgram(updater, updaterCommand(L"-silenceupdate", version), false);
            break;
        case 5:
            return 0;
        default:  // also -1: the updater could not be started
            runProgram(updater, updaterCommand(L"-checkserver", version), false);
            break;
        }
    }
    return enterMainLibrary(argc, argv);
}
