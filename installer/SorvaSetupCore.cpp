#include "SorvaSetupCore.h"

#include "ServiceAddress.h"
#include "SetupConstants.h"
#include "SetupLog.h"
#include "SorvaSetupChecker.h"
#include "SorvaSetupDecompressor.h"
#include "SystemUtils.h"
#include "WinInetHttpBase.h"
#include "XmlDocument.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <ctime>
#include <map>
#include <vector>

using namespace setup;

namespace {

constexpr const wchar_t* kMakerHomePage = L"http://www.brenlo.com/";
constexpr const wchar_t* kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TqSorva";

std::wstring quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring join(std::wstring path, const std::wstring& more)
{
    if (pathAppend(path, more))
        return path;
    // Never the unchanged path: a step would write into the wrong folder.
    // Too long for the system, the joined path fails where it is used.
    writeLog(L"SorvaSetupCore, joining %s and %s exceeds the path limit.", path.c_str(), more.c_str());
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path + more;
}

bool setStringValue(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::wstring specialFolder(int csidl, const wchar_t* locateFail, const wchar_t* pathFail)
{
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || !list) {
        writeLog(locateFail);
        return std::wstring();
    }
    wchar_t path[MAX_PATH] = {};
    BOOL ok = SHGetPathFromIDListW(list, path);
    CoTaskMemFree(list);
    if (!ok) {
        writeLog(pathFail);
        return std::wstring();
    }
    return path;
}

struct ComScope {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~ComScope()
    {
        if (SUCCEEDED(hr))
            CoUninitialize();
    }
};

std::wstring fileNameOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring folderOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Puts a freshly loaded document's cursor inside "aurae" / section.
bool enterSection(CXmlDocument& document, const wchar_t* section)
{
    return document.findElement(L"aurae") && document.enterElement() && document.findElement(section) &&
           document.enterElement();
}
} // namespace

SorvaSetupCore::SorvaSetupCore(SorvaSetupListener* listener)
    : m_checker(new SorvaSetupChecker(listener)), m_decompressor(new SorvaSetupDecompressor(listener))
{
}

SorvaSetupCore::~SorvaSetupCore()
{
    finishRegistration();
    m_checker->stop();
    m_decompressor->stop();
    m_checker.reset();
    m_decompressor.reset();
}

void SorvaSetupCore::setPath(const std::wstring& path)
{
    m_installPath = path;
    if (m_installPath.empty() || m_installPath.back() != L'\\')
        m_installPath += L'\\';
    const std::wstring version = join(m_installPath, kProductVersion);
    m_paths[0] = m_installPath;
    m_paths[1] = version;
    m_paths[2] = join(m_installPath, L"Stable");
    m_paths[3] = getAppDataDir();
    m_paths[4] = join(version, kLauncherName);
    m_paths[5] = join(m_installPath, kLauncherName);
    m_paths[6] = join(m_installPath, L"Uninstall.exe");
    m_paths[7] = join(version, L"ReleaseNotes.txt");
    m_paths[8] = join(m_installPath, L"Check");
    m_checker->setPath(m_installPath);
    m_decompressor->setPath(m_installPath);
}

std::wstring SorvaSetupCore::getPath(int index) const
{
    return index >= 0 && index < kPathCount ? m_paths[index] : std::wstring();
}

bool SorvaSetupCore::startCheck(bool async, int32_t param) { return m_checker->start(async, param); }

void SorvaSetupCore::restartCheck(int32_t param)
{
    m_checker->stop();
    m_checker->start(true, param);
}

int SorvaSetupCore::checkFilterNow() { return m_checker->checkFilterNow(); }

bool SorvaSetupCore::startDecompress(bool async) { return m_decompressor->start(async); }

bool SorvaSetupCore::payloadFitsPath(const std::wstring& path) const { return m_decompressor->fitsPath(path); }

void SorvaSetupCore::stopDecompress() { m_decompressor->stop(); }

void SorvaSetupCore::removeCheckCopy() { m_checker->removeCheckCopy(); }

void SorvaSetupCore::forceQuit() { m_decompressor->forceQuit(); }

void SorvaSetupCore::setSilent(bool silent) { m_decompressor->setSilent(silent); }

void SorvaSetupCore::setResourceModule(HMODULE module)
{
    m_checker->setResourceModule(module);
    m_decompressor->setResourceModule(module);
}

void SorvaSetupCore::doAfterDecompress()
{
    writeLog(L"SorvaSetupCore::doAfterDecompress, decompress finished.");
    m_extracted = 1;
    _copyInstallFiles();
    mergeAuraeList();
    _createShortcut();
    _fixPinnedShortcuts();
    _do3XUpdate();
    runTallyo();
    sendInstallStastics();
    _writeSetupFlags();
}

void SorvaSetupCore::_copyInstallFiles()
{
    if (!isPathExist(m_paths[2]))
        createDirectories(m_paths[2]);
    copyFile(m_paths[4], m_paths[5]);
    copyDirectory(join(m_paths[1], L"Microsoft.VC90.CRT"), join(m_installPath, L"Microsoft.VC90.CRT"));
    static const wchar_t* const stableFiles[] = {L"TqVirtualCam.ax", L"mpasplitter.ax", L"avcodec-53.dll",
                                                 L"swscale-2.dll", L"avutil-51.dll"};
    for (const wchar_t* name : stableFiles)
        copyFile(join(m_paths[1], name), join(m_paths[2], name));
}

void SorvaSetupCore::mergeAuraeList()
{
    const std::wstring shipped = join(m_paths[1], L"res\\aurae\\auraelist.xml");
    const std::wstring dataAurae = join(m_paths[3], L"aurae");
    const std::wstring user = join(dataAurae, L"auraelist.xml");

    if (isPathExist(user)) {
        static const wchar_t* const musicKeys[] = {L"file_md5", L"duration", L"type", L"user", L"name"};
        static const wchar_t* const animationKeys[] = {L"file_path", L"file_md5", L"ico_path", L"ico_md5",
                                                       L"tip_path", L"type", L"user", L"name"};
        std::map<std::wstring, std::map<std::wstring, std::wstring>> music;
        std::vector<std::vector<std::wstring>> animations;
        CXmlDocument shippedMusic;
        if (shippedMusic.Load(shipped) && enterSection(shippedMusic, L"music")) {
            while (shippedMusic.findElement(L"file")) {
                auto& record = music[shippedMusic.getAttribute(L"file_path")];
                for (const wchar_t* key : musicKeys)
                    record[key] = shippedMusic.getAttribute(key);
            }
        }
        CXmlDocument shippedAnimation;
        if (shippedAnimation.Load(shipped) && enterSection(shippedAnimation, L"animation")) {
            while (shippedAnimation.findElement(L"file")) {
                std::vector<std::wstring> values;
                for (const wchar_t* key : animationKeys)
                    values.push_back(shippedAnimation.getAttribute(key));
                animations.push_back(values);
            }
        }

        CXmlDocument musicPass;
        if (musicPass.Load(user)) {
            if (enterSection(musicPass, L"music")) {
                while (musicPass.findElement(L"file")) {
                    auto found = music.find(musicPass.getAttribute(L"file_path"));
                    if (found == music.end())
                        continue;
                    for (const wchar_t* key : musicKeys)
                        musicPass.setAttributeAt(musicPass.currentPos(), key, found->second[key]);
                }
            }
            // The animation pass starts from the edited text with a fresh cursor.
            CXmlDocument animationPass;
            if (animationPass.setDoc(musicPass.text()) && enterSection(animationPass, L"animation")) {
                while (animationPass.findElement(L"file"))
                    animationPass.removeElement();
                while (animationPass.findElement(static_cast<const wchar_t*>(nullptr))) {
                }
                for (const auto& values : animations) {
                    animationPass.addElement(L"file", static_cast<const wchar_t*>(nullptr), 0);
                    for (size_t k = 0; k < values.size(); ++k)
                        animationPass.setAttributeAt(animationPass.currentPos(), animationKeys[k], values[k]);
                }
                animationPass.Save(user);
            } else {
                musicPass.Save(user);
            }
        }
    } else {
        copyDirectory(join(m_paths[1], L"res\\aurae\\music"), join(dataAurae, L"music"));
        // A first install starts from the shipped list itself.
        createDirectories(dataAurae);
        copyFile(shipped, user);
    }
    copyDirectory(join(m_paths[1], L"res\\aurae\\animation"), join(dataAurae, L"animation"));
}

void SorvaSetupCore::_createShortcut()
{
    ComScope com;
    std::wstring desktop = specialFolder(CSIDL_DESKTOPDIRECTORY, L"SorvaSetupCore::_createShortcut, SHGetSpecialFolderLocation fail.",
                                         L"SorvaSetupCore::_createShortcut, SHGetPathFromIDList fail.");
    if (desktop.empty())
        return;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        writeLog(L"SorvaSetupCore::_createShortcut, CoCreateInstance fail.");
        return;
    }
    link->SetPath(m_paths[5].c_str());
    link->SetWorkingDirectory(m_paths[3].c_str());
    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        writeLog(L"SorvaSetupCore::_createShortcut, QueryInterface fail.");
        link->Release();
        return;
    }
    file->Save((desktop + L"\\TqNelu.lnk").c_str(), TRUE);

    std::wstring programs = specialFolder(CSIDL_PROGRAMS, L"SorvaSetupCore::_createShortcut, SHGetSpecialFolderLocation fail after ppf->Save.",
                                          L"SorvaSetupCore::_createShortcut, SHGetPathFromIDList fail after ppf->Save.");
    std::wstring startMenu = programs.empty() ? std::wstring()
                             : specialFolder(CSIDL_STARTMENU, L"SorvaSetupCore::_createShortcut, SHGetSpecialFolderLocation fail after ppf->Save.",
                                             L"SorvaSetupCore::_createShortcut, SHGetPathFromIDList fail after ppf->Save.");
    if (!programs.empty() && !startMenu.empty()) {
        std::wstring folder = programs + L"\\TqNelu";
        CreateDirectoryW(folder.c_str(), nullptr);
        file->Save((folder + L"\\TqNelu.lnk").c_str(), TRUE);
        file->Save((startMenu + L"\\TqNelu.lnk").c_str(), TRUE);
        link->SetPath(m_paths[6].c_str());
        file->Save((folder + L"\\卸载TqNelu.lnk").c_str(), TRUE);
    }
    file->Release();
    link->Release();
}

void SorvaSetupCore::_fixPinnedShortcuts()
{
    wchar_t expanded[260] = {};
    if (!ExpandEnvironmentStringsW(L"%APPDATA%\\Microsoft\\Internet Explorer\\Quick Launch", expanded, 260))
        return;
    const std::wstring quickLaunch = expanded;
    const std::wstring launcher = m_installPath + L"tqsorva.exe";
    const std::wstring launcherFolder = folderOf(launcher);
    ComScope com;
    for (const std::wstring& folder : {quickLaunch, quickLaunch + L"\\User Pinned\\StartMenu",
                                       quickLaunch + L"\\User Pinned\\TaskBar"}) {
        if (!isPathExist(folder))
            continue;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\*.lnk").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            const std::wstring linkPath = folder + L"\\" + found.cFileName;
            IShellLinkW* link = nullptr;
            if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                        reinterpret_cast<void**>(&link))))
                continue;
            IPersistFile* file = nullptr;
            if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
                wchar_t target[MAX_PATH] = {};
                if (SUCCEEDED(file->Load(linkPath.c_str(), STGM_READWRITE)) &&
                    SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))) {
                    const std::wstring name = fileNameOf(target);
                    if ((_wcsicmp(name.c_str(), L"tqlauncher.exe") == 0 || _wcsicmp(name.c_str(), kLauncherName) == 0) &&
                        _wcsicmp(folderOf(target).c_str(), launcherFolder.c_str()) == 0) {
                        link->SetPath(launcher.c_str());
                        link->SetWorkingDirectory(m_paths[3].c_str());
                        file->Save(linkPath.c_str(), TRUE);
                    }
                }
                file->Release();
            }
            link->Release();
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
}

void SorvaSetupCore::_do3XUpdate()
{
    writeLog(L"SorvaSetupCore::_do3XUpdate begin.");
    std::wstring wizard = m_installPath + L"tqwizard.exe";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(wizard.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        writeLog(L"SorvaSetupCore::_do3XUpdate, wait finish.");
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    writeLog(L"SorvaSetupCore::_do3XUpdate finish.");
}

std::wstring SorvaSetupCore::commandLine(const std::wstring& program, const wchar_t* parameters)
{
    std::wstring line = quoted(program);
    if (parameters)
        line += L" " + quoted(parameters);
    return line;
}

bool SorvaSetupCore::runExe(const std::wstring& program, const wchar_t* parameters, const std::wstring& workingFolder,
                            bool wait)
{
    // Built whole: a long install path must not cut the parameters off.
    std::wstring line = commandLine(program, parameters);
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &process))
        return false;
    if (wait)
        WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

void SorvaSetupCore::runTallyo()
{
    const std::wstring program = join(m_paths[1], L"tallyo.exe");
    const std::wstring parameters = std::wstring(L"\"|") + kProductVersion + L"|1|i|\"";
    runExe(program, parameters.c_str(), m_installPath, false);
    writeLog(L"SorvaSetupCore::runTallyo, run %s parameter is %s.", program.c_str(), parameters.c_str());
}

void SorvaSetupCore::sendInstallStastics()
{
    const std::wstring base = serviceBaseUrl();
    if (base.empty()) {
        writeLog(L"SorvaSetupCore::sendInstallStastics, no service address, request skipped.");
        return;
    }
    const std::wstring url = base + L"/TqSorvaInstall.php?mac=" + machineIdForUrl() +
                             L"&version=" + kProductVersion + L"&installed=1";
    CWinInetHttpPtr http(new CWinInetHttpBase());
    http->SetUseCache(false);
    if (http->Open())
        http->Request(url.c_str(), nullptr, nullptr, 0, false);
    writeLog(L"SorvaSetupCore::sendInstallStastics, url %s.", url.c_str());
    http->Close();
}

void SorvaSetupCore::_writeSetupFlags()
{
    writeSetupIni("IfInstalled", "0");
    writeSetupIni("NeedCleanOldVersion", "1");
}

bool SorvaSetupCore::finishRegistration()
{
    if (!m_extracted)
        return true;
    if (!m_registered) {
        m_registered = 1;
        _writeRegedit();
        m_registrationFailed = RegsvrAxCom() ? 0 : 1;
    }
    return !m_registrationFailed;
}

void SorvaSetupCore::writeMachineIdIfMissing()
{
    if (readMacIdFromSetupIni().empty())
        writeSetupIni("macId", getMacId() + std::to_string(static_cast<long long>(_time64(nullptr))));
    writeSetupIni("RaVerePluginInstalled", "1");
}

void SorvaSetupCore::runTqRun()
{
    // The product finds its registry values and the registered camera on its first start.
    finishRegistration();
    runExe(m_paths[5], L"-reg", m_installPath, false);
    writeLog(L"SorvaSetupCore::runTqRun, run %s parameter is -reg.", m_paths[5].c_str());
}

void SorvaSetupCore::openFullInstaller()
{
    const std::wstring base = serviceBaseUrl();
    if (base.empty()) {
        writeLog(L"SorvaSetupCore::openFullInstaller, no service address.");
        return;
    }
    std::wstring url = base + L"/tqsorva/install/" + kProductVersion + L"/TqSorvaSetupFull" + kProductVersion + L".exe";
    // The shell opens whatever it is given, programs included, with this
    // program's rights: only a web address goes to the browser.
    if (!isHttpUrl(url)) {
        writeLog(L"SorvaSetupCore::openFullInstaller, %s is no http or https address, not opened.", url.c_str());
        return;
    }
    ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool SorvaSetupCore::RegsvrAxCom()
{
    // The system folder's own regsvr32: this program runs elevated, and a
    // bare name would find a planted copy beside it first.
    wchar_t system[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        writeLog(L"SorvaSetupCore::RegsvrAxCom, GetSystemDirectory fail, last error is %d.", static_cast<int>(GetLastError()));
        return false;
    }
    const std::wstring program = std::wstring(system) + L"\\regsvr32.exe";
    // Wide all the way: an install path outside the ANSI code page stays intact.
    std::wstring command = quoted(program) + L" -s " + quoted(m_paths[2] + L"\\TqVirtualCam.ax");
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    DWORD result = 0;
    bool registered = false;
    if (CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        // Its exit code is the registration's result: 0 when registered.
        if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.hProcess, &result))
            result = GetLastError();
        else
            registered = result == 0;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        result = GetLastError();
    }
    writeLog(L"SorvaSetupCore::RegsvrAxCom, run %s, result is %d.", command.c_str(), static_cast<int>(result));
    return registered;
}

void SorvaSetupCore::_writeRegedit()
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\brenlo\\tqsorva", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        setStringValue(key, L"InstallDir", m_installPath);
        RegCloseKey(key);
    } else {
        writeLog(L"SorvaSetupCore::_writeRegedit, RegCreateKey STR_TQ_REG_LOCATION fail.");
    }
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\brenlo\\com.tq.tqsorva", 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        setStringValue(key, L"InstallDir", m_paths[5]);
        RegCloseKey(key);
    } else {
        writeLog(L"SorvaSetupCore::_writeRegedit, RegCreateKey STR_TQSORVA_COM_REG_LOCATION fail.");
    }
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        // Quoted: the path may hold blanks ("C:\Program Files\...").
        setStringValue(key, L"UninstallString", quoted(m_paths[6]));
        setStringValue(key, L"DisplayName", L"TqSorva");
        setStringValue(key, L"DisplayIcon", m_paths[6]);
        setStringValue(key, L"Publisher", L"Brenlo游戏网");
        setStringValue(key, L"URLInfoAbout", kMakerHomePage);
        setStringValue(key, L"DisplayVersion", kProductVersion);
        RegCloseKey(key);
    } else {
        writeLog(L"SorvaSetupCore::_writeRegedit, RegCreateKey strUninstallKey fail.");
    }
}
