#include "SetupCleanup.h"

#include "LinkCheck.h"

#include "SetupLog.h"
#include "SystemUtils.h"
#include "XmlDocument.h"

#include <windows.h>

namespace {

std::wstring withBackslash(std::wstring path)
{
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path;
}

// The attributes of the entry itself as its folder lists it: a link shows as
// a reparse point there even where the path's own query follows the link.
DWORD attributesOf(const std::wstring& path)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(path.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return GetFileAttributesW(path.c_str());
    FindClose(search);
    return entry.dwFileAttributes | GetFileAttributesW(path.c_str());
}

bool isLink(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring registryInstallDir(HKEY hive)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, L"Software\\brenlo\\tqsorva", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::wstring();
    wchar_t value[1024] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    DWORD type = 0;
    std::wstring result;
    if (RegQueryValueExW(key, L"InstallDir", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ))
        result.assign(value, wcsnlen(value, size / sizeof(wchar_t)));
    RegCloseKey(key);
    return result;
}

// Removes a product item: a file or a folder tree. Links and junctions stay
// where they are: some systems resolve a link handed to DeleteFile,
// RemoveDirectory or even to an open of the link itself, and would remove
// what it points to.
void removeItem(const std::wstring& path)
{
    DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (isLink(attributes) || isLinkItself(path)) {
        writeLog(L"SorvaSetupCore::cleanUpFile, link %s left in place.", path.c_str());
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0)
                removeItem(path + L"\\" + entry.cFileName);
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

// A folder an earlier install of ours left: readable "Launcher.xml", not a
// folder that must never be emptied, not itself a link.
bool isEarlierInstall(const std::wstring& folder)
{
    if (folder.empty() || isProtectedFolder(folder) || isLinkItself(folder))
        return false;
    // Nor reached through a link above it.
    std::wstring resolved;
    if (!isLinkFreePath(folder, &resolved)) {
        writeLog(L"SorvaSetupCore::_cleanOldVersionFolders, %s leads to %s.", folder.c_str(), resolved.c_str());
        return false;
    }
    std::wstring xml = folder;
    if (!pathAppend(xml, L"Launcher.xml"))
        return false;
    CXmlDocument document;
    return document.Load(xml) && document.findElement(L"LauncherInfo");
}

} // namespace

void cleanOldClientFiles(const std::wstring& folder)
{
    const std::wstring base = withBackslash(folder);
    for (const std::wstring& name : oldClientFileNames()) {
        std::wstring path = base + name;
        if (DeleteFileW(path.c_str()))
            continue;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            continue;
        // A library in use can still be renamed.
        MoveFileExW(path.c_str(), (path + L".old").c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

bool readVersionFolders(const std::wstring& folder, std::vector<std::wstring>& list)
{
    list.clear();
    std::vector<std::wstring> names, ignored;
    readLauncherVersionNames(folder, names, &ignored);
    for (const std::wstring& name : ignored)
        writeLog(L"SorvaSetupCore::_readVersionFolders, ignored version folder %s.", name.c_str());
    for (const std::wstring& name : names) {
        std::wstring path = folder;
        if (pathAppend(path, name) && isPathExist(path))
            list.push_back(path);
    }
    return !list.empty();
}

void cleanOldVersionFolders(const std::wstring& folder)
{
    if (!isEarlierInstall(folder)) {
        writeLog(L"SorvaSetupCore::_cleanOldVersionFolders, %s is not an earlier install, left alone.", folder.c_str());
        return;
    }
    // The same rule the uninstaller follows: only what the product put there
    // goes, the version folders its "Launcher.xml" names included.
    const std::wstring base = withBackslash(folder);
    for (const std::wstring& name : productItemNames(folder))
        removeItem(base + name);
    // Only when nothing of anyone else's is left.
    std::wstring trimmed = folder;
    while (trimmed.size() > 3 && trimmed.back() == L'\\')
        trimmed.pop_back();
    RemoveDirectoryW(trimmed.c_str());
}

std::wstring readEarlierInstallFolder()
{
    std::wstring folder = registryInstallDir(HKEY_CURRENT_USER);
    if (folder.empty() || !isPathExist(folder))
        folder = registryInstallDir(HKEY_LOCAL_MACHINE);
    return !folder.empty() && isPathExist(folder) ? folder : std::wstring();
}

void cleanUpFile(const std::wstring& installPath)
{
    const std::wstring install = withBackslash(installPath);
    const std::wstring data = getInstallDataDir(install);
    if (!data.empty()) {
        std::wstring temp = data + L"temp";
        deleteDirectory(temp);
        writeLog(L"SorvaSetupCore::cleanUpFile, delete temp directory %s", temp.c_str());
        std::wstring updates = data + L"updatefiles";
        deleteDirectory(updates);
        writeLog(L"SorvaSetupCore::cleanUpFile, Delete temp directory %s", updates.c_str());
    }
    std::wstring oem = install + L"oem.txt";
    DeleteFileW(oem.c_str());
    writeLog(L"SorvaSetupCore::cleanUpFile, Delete temp directory %s", oem.c_str());
    if (!data.empty()) {
        std::wstring info = data + L"ProductInfo.txt";
        DeleteFileW(info.c_str());
        writeLog(L"SorvaSetupCore::cleanUpFile, Delete temp directory %s", info.c_str());
    }

    cleanOldClientFiles(install);
    writeLog(L"SorvaSetupCore::cleanUpFile, clean single directory old files.");

    std::wstring earlier = readEarlierInstallFolder();
    cleanOldVersionFolders(earlier.empty() ? install : earlier);
    writeLog(L"SorvaSetupCore::cleanUpFile, clean old directories before install.");
}
