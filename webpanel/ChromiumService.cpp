#include "ChromiumService.h"

#include "DevToolsHttp.h"
#include "KqServices.h"
#include "PanelSettings.h"
#include "PanelText.h"

#include <nlohmann/json.hpp>

#include <shlobj.h>
#include <windows.h>

#include <mutex>

namespace {

std::mutex g_lock;
bool g_started = false;  // this process started the engine
bool g_stopped = false;

const wchar_t kLinuxChromium[] = L"/usr/bin/chromium";
const wchar_t kEngineSwitches[] =
    L"--headless=new --remote-debugging-address=127.0.0.1 --remote-debugging-port=8088 "
    L"--no-first-run --no-default-browser-check --disable-gpu --hide-scrollbars --mute-audio";

bool answers(int timeoutMs)
{
    std::string body;
    return DevToolsHttp::request("GET", "/json/version", body, timeoutMs);
}

std::wstring profileFolder()
{
    std::wstring folder = toWide(PanelSettings::appFolder()) + L"\\browser-profile";
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return folder;
}

// The installed Chromium-based browser named in App Paths.
std::wstring windowsBrowser()
{
    for (const wchar_t* exe : {L"chrome.exe", L"msedge.exe", L"chromium.exe"}) {
        std::wstring key = std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + exe;
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            wchar_t path[MAX_PATH] = {};
            DWORD size = sizeof path - sizeof(wchar_t);
            if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) == ERROR_SUCCESS && path[0])
                return path;
        }
    }
    return std::wstring();
}

bool start()
{
    std::wstring commandLine = ChromiumService::startCommandLine();
    if (commandLine.empty())
        return false;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
        KqDebugStream() << (KqString("ChromiumService could not start ") + fromWide(commandLine));
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

}  // namespace

namespace ChromiumService {

std::wstring unixPathOf(const std::wstring& windowsPath)
{
    typedef char*(__cdecl * UnixNameFn)(const wchar_t*);
    auto toUnix = reinterpret_cast<UnixNameFn>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    if (!toUnix)
        return std::wstring();
    char* name = toUnix(windowsPath.c_str());
    if (!name)
        return std::wstring();
    std::wstring wide = toWide(fromUtf8(name));
    HeapFree(GetProcessHeap(), 0, name);
    return wide;
}

bool runningUnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::wstring quoteArgument(const std::wstring& argument)
{
    // Backslashes count only before a quote: doubled there, and before the
    // closing quote, so that they stay themselves.
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

std::wstring wineStartCommand(const std::wstring& unixProgram, const std::wstring& unixProfile)
{
    // The shell lets go of Wine's pipes and adds --no-sandbox only where the
    // user is root. The program and the profile reach it as positional
    // parameters, so no character of theirs is ever read as shell syntax.
    std::wstring script = L"if [ \"$(id -u)\" = 0 ]; then s=--no-sandbox; fi; exec \"$1\" $s " +
                          std::wstring(kEngineSwitches) + L" \"--user-data-dir=$2\" about:blank >/dev/null 2>&1";
    return L"Z:\\bin\\sh -c " + quoteArgument(script) + L" sh " + quoteArgument(unixProgram) + L" " +
           quoteArgument(unixProfile);
}

std::wstring startCommandLine()
{
    std::wstring profile = profileFolder();
    if (runningUnderWine()) {
        // The Linux browser through its Z: path.
        std::wstring unixProfile = unixPathOf(profile);
        if (unixProfile.empty())
            return std::wstring();
        return wineStartCommand(kLinuxChromium, unixProfile);
    }
    std::wstring browser = windowsBrowser();
    if (browser.empty())
        return std::wstring();
    return L"\"" + browser + L"\" " + kEngineSwitches + L" " + quoteArgument(L"--user-data-dir=" + profile) +
           L" about:blank";
}

bool ensureRunning(int timeoutMs, const std::atomic<bool>* cancel)
{
    if (answers(2000))
        return true;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (!g_started) {
            if (!start())
                return false;
            g_started = true;
            g_stopped = false;
        }
    }
    DWORD begin = GetTickCount();
    while (GetTickCount() - begin < static_cast<DWORD>(timeoutMs)) {
        if (cancel && *cancel)
            return false;
        if (answers(1000))
            return true;
        Sleep(50);  // the engine needs a second or two to open its port
    }
    return false;
}

void stop()
{
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (!g_started || g_stopped)
            return;
        g_stopped = true;
        g_started = false;
    }
    std::string body;
    if (!DevToolsHttp::request("GET", "/json/version", body, 2000))
        return;
    nlohmann::json version = nlohmann::json::parse(body, nullptr, false);
    if (version.is_object() && version.contains("webSocketDebuggerUrl"))
        DevToolsHttp::sendCommand(version["webSocketDebuggerUrl"].get<std::string>(), "Browser.close", "{}", 5000);
}

bool startedHere()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_started;
}

}  // namespace ChromiumService
