#include "SorvaUninstallCore.h"

#include "SetupLog.h"
#include "SorvaFileCleaner.h"
#include "SorvaUninstallChecker.h"
#include "SystemUtils.h"
#include "UninstallHelpers.h"
#include "UninstallNames.h"
#include "WinInetHttpBase.h"

#include <objbase.h>
#include <process.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

namespace {

std::wstring specialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}

// A key holding neither sub-keys nor values.
bool isKeyEmpty(HKEY root, const wchar_t* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD subKeys = 0, values = 0;
    LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                                      nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && subKeys == 0 && values == 0;
}

bool looksLikeGuidName(const std::wstring& name)
{
    if (name.size() != 38 || name.front() != L'{' || name.back() != L'}')
        return false;
    for (size_t i = 1; i < 37; ++i) {
        wchar_t c = name[i];
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? c != L'-' : !iswxdigit(c))
            return false;
    }
    return true;
}

std::wstring readString(HKEY root, const wchar_t* key, const wchar_t* name)
{
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value, &size)
        != ERROR_SUCCESS)
        return std::wstring();
    return value;
}

std::wstring folderOfProgram(std::wstring program)
{
    if (program.size() >= 2 && program.front() == L'"') {
        size_t close = program.find(L'"', 1);
        program = program.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    size_t cut = program.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : program.substr(0, cut + 1);
}

unsigned __stdcall sendStatistics(void* parameter)
{
    std::unique_ptr<std::wstring> url(static_cast<std::wstring*>(parameter));
    CWinInetHttpPtr http(new CWinInetHttpBase());
    http->SetUseCache(false);
    http->SetTimeout(SorvaUninstallCore::kStatisticsTimeoutMs);
    if (!http->Open()) {
        writeLog(L"SorvaUninstallCore::sendInstallStastics, open fail.");
        return 1;
    }
    http->Request(url->c_str(), nullptr, nullptr, 0, false);
    http->Close();
    return 0;
}

}  // namespace

std::wstring SorvaUninstallCore::registeredInstallFolder()
{
    std::wstring folder = readString(HKEY_CURRENT_USER, uninstall::kProductKey, L"InstallDir");
    if (folder.empty())
        folder = folderOfProgram(readString(HKEY_LOCAL_MACHINE, uninstall::kUninstallEntryKey, L"UninstallString"));
    if (folder.empty())
        folder = folderOfProgram(readString(HKEY_CURRENT_USER, uninstall::kUninstallEntryKey, L"UninstallString"));
    if (folder.empty())
        folder = folderOfProgram(readString(HKEY_CURRENT_USER, uninstall::kComKey, L"InstallDir"));
    return folder;
}

bool SorvaUninstallCore::isRegisteredInstall()
{
    // Decided before the folder goes: a folder that no longer exists cannot
    // be told from another written in another form.
    if (m_registeredHere < 0) {
        std::wstring registered = registeredInstallFolder();
        m_registeredHere = registered.empty() || isSameFolder(registered, m_path) ? 1 : 0;
        if (!m_registeredHere)
            writeLog(L"SorvaUninstallCore, the registered install is %s, not %s: its entries stay.",
                     registered.c_str(), m_path.c_str());
    }
    return m_registeredHere == 1;
}

SorvaUninstallCore::SorvaUninstallCore(SorvaUninstallListener* listener)
    : m_checker(new SorvaUninstallChecker(listener)), m_cleaner(new SorvaFileCleaner(listener))
{
}

SorvaUninstallCore::~SorvaUninstallCore()
{
    waitForStatistics();
    m_checker->stop();
    m_cleaner->stop();
    delete m_checker;
    delete m_cleaner;
}

void SorvaUninstallCore::setPath(const std::wstring& path)
{
    writeLog(L"SorvaUninstallCore::setPath, path is %s", path.c_str());
    m_path = path;
    if (m_path.empty() || m_path.back() != L'\\')
        m_path += L'\\';
    m_registeredHere = -1;
}

void SorvaUninstallCore::setSilent(bool on)
{
    m_silent = on;
    if (on) {
        m_checker->setListener(nullptr);
        m_cleaner->setListener(nullptr);
    }
}

void SorvaUninstallCore::startCheck()
{
    m_checker->setPath(m_path);
    m_checker->requestCheck();
}

void SorvaUninstallCore::startClean(bool async)
{
    isRegisteredInstall();
    m_cleaner->setPath(m_path);
    m_cleaner->run(async);
}

bool SorvaUninstallCore::cleanAccepted() const { return m_cleaner->accepted(); }

std::wstring SorvaUninstallCore::statisticsUrl()
{
    std::wstring base = serviceBaseUrl();
    if (base.empty())
        return std::wstring();
    return base + L"/TqSorvaInstall.php?mac=" + machineIdForUrl() + L"&version=" + uninstall::kVersion + L"&installed=0";
}

void SorvaUninstallCore::sendInstallStastics()
{
    std::wstring url = statisticsUrl();
    if (url.empty()) {
        writeLog(L"SorvaUninstallCore::sendInstallStastics, no service address, request skipped.");
        return;
    }
    waitForStatistics();
    writeLog(L"SorvaSetupCore::sendInstallStastics, url %s.", url.c_str());
    // The thread owns its copy of the address: it may outlive this object
    // when the server keeps it past the bounded wait.
    auto* owned = new std::wstring(url);
    uintptr_t thread = _beginthreadex(nullptr, 0, sendStatistics, owned, 0, nullptr);
    if (!thread) {
        delete owned;
        writeLog(L"SorvaUninstallCore::sendInstallStastics, request not started.");
        return;
    }
    m_statistics = reinterpret_cast<void*>(thread);
}

void SorvaUninstallCore::waitForStatistics()
{
    if (!m_statistics)
        return;
    // Connect, send and receive each have the time-out; past that the
    // request is given up and the process may end with it.
    if (WaitForSingleObject(m_statistics, 4 * kStatisticsTimeoutMs) == WAIT_TIMEOUT)
        writeLog(L"SorvaUninstallCore::sendInstallStastics, no answer in time, request given up.");
    CloseHandle(m_statistics);
    m_statistics = nullptr;
}

void SorvaUninstallCore::unRegsvrAxComM()
{
    std::wstring file = m_path + uninstall::kVersion + L"\\" + uninstall::kFilterFile;
    DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        writeLog(L"TqUninstallCore::unRegsvrAxComM, file %s not exist.", file.c_str());
        return;
    }
    // The wide command itself: a detour through a code page would lose the
    // characters of a path it cannot hold.
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring order = L"\"" + std::wstring(system) + L"\\regsvr32.exe\" -s -u \"" + file + L"\"";
    writeLog(L"TqUninstallCore::unRegsvrAxComM, order is %s", order.c_str());
    // Waited for, so the filter is unregistered before any file goes.
    int result = runHiddenAndWait(order, uninstall::kHelperWaitMs);
    writeLog(L"TqUninstallCore::unRegsvrAxComM, ret is %d", result);
}

void SorvaUninstallCore::deleteRegeditInfo()
{
    // A copy or decoy of the install never removes the real one's entry.
    if (!isRegisteredInstall())
        return;
    HKEY run = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, uninstall::kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        RegDeleteValueW(run, uninstall::kRunValue);
        RegCloseKey(run);
    }
    if (RegDeleteKeyW(HKEY_CURRENT_USER, uninstall::kComKey) != ERROR_SUCCESS)
        writeLog(L"SorvaUninstallCore::deleteRegeditInfo, Failed to delete STR_TQSORVA_COM_REG_LOCATION");
    RegDeleteKeyW(HKEY_CURRENT_USER, uninstall::kProductKey);
    // The entry the installer writes lives under the machine's hive; an older
    // one under the user's hive goes as well.
    if (RegDeleteKeyW(HKEY_LOCAL_MACHINE, uninstall::kUninstallEntryKey) != ERROR_SUCCESS)
        writeLog(L"SorvaUninstallCore::deleteRegeditInfo, uninstall entry not deleted.");
    RegDeleteKeyW(HKEY_CURRENT_USER, uninstall::kUninstallEntryKey);
    if (isKeyEmpty(HKEY_CURRENT_USER, uninstall::kMakerKey))
        RegDeleteKeyW(HKEY_CURRENT_USER, uninstall::kMakerKey);
}

void SorvaUninstallCore::deleteShortcuts()
{
    if (!isRegisteredInstall())
        return;
    const std::wstring link = std::wstring(uninstall::kLinkName) + L".lnk";
    std::wstring desktop = specialFolder(CSIDL_DESKTOPDIRECTORY);
    if (desktop.empty())
        return;
    DeleteFileW((desktop + L"\\" + link).c_str());
    std::wstring programs = specialFolder(CSIDL_PROGRAMS);
    if (programs.empty())
        return;
    std::wstring folder = programs + L"\\" + uninstall::kLinkName;
    DeleteFileW((folder + L"\\" + link).c_str());
    DeleteFileW((folder + L"\\" + uninstall::kUninstallLinkName + L".lnk").c_str());
    RemoveDirectoryW(folder.c_str());
    std::wstring startMenu = specialFolder(CSIDL_STARTMENU);
    if (!startMenu.empty())
        DeleteFileW((startMenu + L"\\" + link).c_str());
}

std::wstring SorvaUninstallCore::relocationRoot() { return getAppDataDir() + L"\\setup\\"; }

std::wstring SorvaUninstallCore::relocationParameters(const std::wstring& installPath, bool silent)
{
    std::wstring folder = installPath;
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return std::wstring(silent ? L"-silencedelete" : L"-delete") + L" -path \"" + folder + L"\"";
}

void SorvaUninstallCore::prepareUninstall()
{
    std::wstring program = runningProgramPath();
    GUID guid = {};
    wchar_t guidText[64] = {};
    if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, guidText, 64) == 0) {
        writeLog(L"SorvaUninstallCore::prepareUninstall, no GUID.");
        return;
    }
    std::wstring setupFolder = relocationRoot();
    // Earlier copies and logs go; the open log file stays.
    deleteDirectory(setupFolder);
    SHCreateDirectoryExW(nullptr, setupFolder.c_str(), nullptr);
    // A folder of our own, made now: never one somebody prepared.
    std::wstring target = setupFolder + guidText;
    if (!CreateDirectoryW(target.c_str(), nullptr)) {
        writeLog(L"SorvaUninstallCore::prepareUninstall, create folder %s fail, last error is %d", target.c_str(),
                 static_cast<int>(GetLastError()));
        return;
    }
    std::wstring copy = target + L"\\" + uninstall::kRelocatedFile;
    if (!CopyFileW(program.c_str(), copy.c_str(), TRUE)) {
        writeLog(L"SorvaUninstallCore::prepareUninstall, copy file fail dest file is %s, last error is %d",
                 copy.c_str(), static_cast<int>(GetLastError()));
        return;
    }
    // The copy runs with this program's rights: it is started only when it
    // is this program byte for byte, and nobody can change it meanwhile.
    HANDLE held = holdVerifiedCopy(program, copy);
    if (held == INVALID_HANDLE_VALUE) {
        writeLog(L"SorvaUninstallCore::prepareUninstall, copy %s is not %s, not started.", copy.c_str(),
                 program.c_str());
        return;
    }
    std::wstring parameters = relocationParameters(m_path, m_silent);
    writeLog(L"para is %s", parameters.c_str());
    runExeFile(copy, parameters, false);
    CloseHandle(held);
}

HANDLE SorvaUninstallCore::holdVerifiedCopy(const std::wstring& source, const std::wstring& copy)
{
    // Others may read (and so start) the copy, never write, rename or delete it.
    HANDLE held = CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    HANDLE original = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    bool same = original != INVALID_HANDLE_VALUE;
    std::vector<char> a(65536), b(65536);
    while (same) {
        DWORD gotA = 0, gotB = 0;
        if (!ReadFile(original, a.data(), static_cast<DWORD>(a.size()), &gotA, nullptr) ||
            !ReadFile(held, b.data(), static_cast<DWORD>(b.size()), &gotB, nullptr) || gotA != gotB ||
            memcmp(a.data(), b.data(), gotA) != 0) {
            same = false;
            break;
        }
        if (gotA == 0)
            break;
    }
    if (original != INVALID_HANDLE_VALUE)
        CloseHandle(original);
    if (!same) {
        CloseHandle(held);
        return INVALID_HANDLE_VALUE;
    }
    return held;
}

bool SorvaUninstallCore::isRelocatedCopy(const std::wstring& program)
{
    size_t cut = program.find_last_of(L'\\');
    if (cut == std::wstring::npos || !sameTextIgnoringCase(program.substr(cut + 1), uninstall::kRelocatedFile))
        return false;
    std::wstring folder = program.substr(0, cut);
    size_t parentCut = folder.find_last_of(L'\\');
    if (parentCut == std::wstring::npos)
        return false;
    return looksLikeGuidName(folder.substr(parentCut + 1))
           && sameTextIgnoringCase(folder.substr(0, parentCut + 1), relocationRoot());
}

void SorvaUninstallCore::scheduleSelfRemoval()
{
    // A running program cannot delete itself: the system removes the copy and
    // then its folder at its next start. Only a copy we made is scheduled.
    std::wstring program = runningProgramPath();
    if (!isRelocatedCopy(program))
        return;
    std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    bool fileScheduled = MoveFileExW(program.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    bool folderScheduled = MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    writeLog(L"SorvaUninstallCore::scheduleSelfRemoval, %s removed at restart: %s, folder: %s.", program.c_str(),
             fileScheduled ? L"yes" : L"no", folderScheduled ? L"yes" : L"no");
}
