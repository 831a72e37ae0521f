#include "UninstallHelpers.h"

#include <tlhelp32.h>

#include "SetupLog.h"
#include "SystemUtils.h"
#include "UninstallNames.h"
#include "XmlDocument.h"

#include <shlwapi.h>

#include <vector>

#ifndef TQ_SERVICE_URL_DEFAULT
#define TQ_SERVICE_URL_DEFAULT L""
#endif

namespace {

bool isRegularFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES
           && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

std::wstring withSlash(std::wstring path)
{
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path;
}

}  // namespace

bool runExeFile(const std::wstring& program, const std::wstring& commandLine, bool wait)
{
    // CreateProcessW may write into the command line, so it gets a buffer of
    // its own; a line that does not fit is refused, never cut or overrun.
    if (commandLine.size() >= uninstall::kCommandBufferChars) {
        writeLog(L"runExeFile, command line of %u characters is too long.",
                 static_cast<unsigned>(commandLine.size()));
        return false;
    }
    std::vector<wchar_t> buffer(uninstall::kCommandBufferChars, L'\0');
    commandLine.copy(buffer.data(), commandLine.size());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        writeLog(L"runExeFile, CreateProcess return false, last error is %d.", static_cast<int>(GetLastError()));
        return false;
    }
    if (wait && WaitForSingleObject(process.hProcess, uninstall::kHelperWaitMs) == WAIT_TIMEOUT)
        writeLog(L"runExeFile, WaitForSingleObject timeout.");
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

int runHiddenAndWait(const std::wstring& commandLine, DWORD timeoutMs)
{
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
        return -1;
    int result = -1;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code))
            result = static_cast<int>(code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

bool isRemovableInstallFolder(const std::wstring& path, std::wstring* reason)
{
    auto refuse = [reason](const wchar_t* why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (path.size() < 4 || PathIsRelativeW(path.c_str()))
        return refuse(L"not an absolute folder");
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return refuse(L"not an existing folder");
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return refuse(L"a link or junction");
    if (isProtectedFolder(path))
        return refuse(L"a protected folder");
    // A link above it (or an unmarked one in its place) leads elsewhere.
    if (!isLinkFreePath(path))
        return refuse(L"reached through a link");
    const std::wstring folder = withSlash(path);
    const std::wstring xmlPath = folder + uninstall::kLauncherXml;
    if (!isRegularFile(xmlPath))
        return refuse(L"no Launcher.xml");
    CXmlDocument launcherXml;
    if (!launcherXml.Load(xmlPath) || !launcherXml.findElement(L"LauncherInfo"))
        return refuse(L"Launcher.xml is not a launcher list");
    if (!isRegularFile(folder + uninstall::kLauncherFile) && !isRegularFile(folder + uninstall::kUninstallFile))
        return refuse(L"neither TqSorva.exe nor Uninstall.exe");
    return true;
}

bool sameTextIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE)
           == CSTR_EQUAL;
}

std::wstring runningProgramPath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD got = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == 0)
            return std::wstring();
        if (got < buffer.size())
            return std::wstring(buffer.data(), got);
        if (buffer.size() >= 32768)
            return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring runningProgramFolder()
{
    std::wstring path = runningProgramPath();
    size_t cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

std::wstring serviceBaseUrl()
{
    wchar_t value[1024] = {};
    DWORD got = GetEnvironmentVariableW(L"TQ_SERVICE_URL", value, ARRAYSIZE(value));
    std::wstring url = (got > 0 && got < ARRAYSIZE(value)) ? std::wstring(value, got) : std::wstring(TQ_SERVICE_URL_DEFAULT);
    while (!url.empty() && url.back() == L'/')
        url.pop_back();
    return url;
}

void takeUninstallProgress(WPARAM wParam, LPARAM lParam, std::wstring& path, double& fraction)
{
    std::wstring* text = reinterpret_cast<std::wstring*>(wParam);
    double* share = reinterpret_cast<double*>(lParam);
    path = text ? *text : std::wstring();
    fraction = share ? *share : 0.0;
    delete text;
    delete share;
}

std::wstring processProgramPath(DWORD pid)
{
    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (modules != INVALID_HANDLE_VALUE) {
        MODULEENTRY32W module = {};
        module.dwSize = sizeof module;
        bool found = Module32FirstW(modules, &module) != FALSE;
        CloseHandle(modules);
        if (found)
            return module.szExePath;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return std::wstring();
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    bool ok = QueryFullProcessImageNameW(process, 0, path, &size) != FALSE;
    CloseHandle(process);
    return ok ? std::wstring(path, size) : std::wstring();
}
