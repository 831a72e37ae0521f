// Files and folders: copies, trees, creation, deletion and renames.
#include "SystemUtils.h"

#include "SetupLog.h"
#include "XmlDocument.h"

#include <shellapi.h>
#include <shlwapi.h>

namespace {

// Names longer than the classic limit only work in the "\\?\" form, which
// takes the path exactly as given: so it gets the full, normalised path.
std::wstring extendedForm(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 12 || path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0)
        return path;
    std::wstring full(need, L'\0');
    DWORD got = GetFullPathNameW(path.c_str(), need, &full[0], nullptr);
    if (got == 0 || got >= need)
        return path;
    full.resize(got);
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name)
{
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        return folder + name;
    return folder + L"\\" + name;
}

// One folder name, nothing that could leave the folder it is joined to.
bool isPlainFolderName(std::wstring name)
{
    trimSpace(name);
    if (name.empty() || hasInvalidPathChar(name) || name.find(L'\\') != std::wstring::npos)
        return false;
    return name.find_first_not_of(L". ") != std::wstring::npos;
}

bool isDotEntry(const wchar_t* name)
{
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

// Removes a link found in a tree, never what it points at.
void removeTreeLink(const std::wstring& path)
{
    if (!removeLinkItself(path))
        writeLog(L"deleteDirectory, %s is a link that cannot be removed by itself, left in place", path.c_str());
}

void deleteTree(const std::wstring& folder)
{
    // Where this folder's entries really are: an entry resolving elsewhere is
    // a link the listing did not mark, and deleting it by name could delete
    // its target.
    const std::wstring resolvedFolder = resolvedPath(folder);
    WIN32_FIND_DATAW entry = {};
    HANDLE find = FindFirstFileW(joinPath(folder, L"*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (isDotEntry(entry.cFileName))
            continue;
        std::wstring child = joinPath(folder, entry.cFileName);
        std::wstring target;
        if (isReparseEntry(entry)) {
            removeTreeLink(child);
        } else if (resolvesElsewhere(resolvedFolder, child, entry.cFileName, &target)) {
            writeLog(L"deleteDirectory, %s leads to %s, left in place", child.c_str(), target.c_str());
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            deleteTree(child);
            RemoveDirectoryW(child.c_str());
        } else {
            DeleteFileW(child.c_str());
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

} // namespace

bool isPathExist(const std::wstring& path)
{
    return !path.empty() && PathFileExistsW(path.c_str()) != FALSE;
}

bool copyFile(const std::wstring& from, const std::wstring& to)
{
    bool ok = CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
    writeLog(L"copyFile [%s] to [%s] finished %s!", from.c_str(), to.c_str(), ok ? L"successfully" : L"failed");
    return ok;
}

bool copyDirectory(const std::wstring& from, const std::wstring& to)
{
    bool ok = createDirectories(to);
    WIN32_FIND_DATAW entry = {};
    HANDLE find = FindFirstFileW(joinPath(from, L"*.*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (isDotEntry(entry.cFileName) || isReparseEntry(entry))
                continue;  // links and junctions are not followed
            std::wstring source = joinPath(from, entry.cFileName);
            std::wstring target = joinPath(to, entry.cFileName);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!copyDirectory(source, target))
                    ok = false;
            } else if (!copyFile(source, target)) {
                ok = false;
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    writeLog(L"copyDirectory [%s] to [%s] finished %s!", from.c_str(), to.c_str(),
             ok ? L"successfully" : L"failed");
    return ok;
}

bool createDirectories(const std::wstring& path)
{
    std::vector<std::wstring> missing;
    std::wstring current = path;
    while (!isPathExist(extendedForm(current))) {
        missing.push_back(current);
        std::wstring parent;
        if (!parentPath(current, parent))
            return false;
        if (parent == current)
            return false;
        current = parent;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        if (!CreateDirectoryW(extendedForm(*it).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    return true;
}

void deleteDirectory(const std::wstring& path)
{
    if (path.empty() || PathIsRelativeW(path.c_str()) || isProtectedFolder(path))
        return;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    // A link above the folder (or an unmarked one in its place) would take
    // the deletion into another folder's files.
    std::wstring resolved;
    if (!isLinkFreePath(path, &resolved)) {
        writeLog(L"deleteDirectory, %s leads to %s, left in place", path.c_str(), resolved.c_str());
        return;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        removeTreeLink(path);
        return;
    }
    deleteTree(path);
    RemoveDirectoryW(path.c_str());
}

int renameFile(const std::wstring& from, const std::wstring& to)
{
    // The shell's operation takes classic-length names only; longer ones go
    // straight to the file system rather than being cut to another name.
    if (from.size() <= 258 && to.size() <= 258) {
        std::wstring source = from + L'\0';
        std::wstring target = to + L'\0';
        SHFILEOPSTRUCTW op = {};
        op.wFunc = FO_RENAME;
        op.pFrom = source.c_str();
        op.pTo = target.c_str();
        op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
        if (SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted)
            return 0;
    }
    if (MoveFileW(extendedForm(from).c_str(), extendedForm(to).c_str()))
        return 0;
    DWORD error = GetLastError();
    return error == 0 ? 1 : static_cast<int>(error);
}

bool readLauncherVersionNames(const std::wstring& installFolder, std::vector<std::wstring>& names,
                              std::vector<std::wstring>* ignored)
{
    names.clear();
    std::wstring xml = installFolder;
    if (!pathAppend(xml, L"Launcher.xml"))
        return false;
    CXmlDocument document;
    if (!document.Load(xml) || !document.findElement(L"LauncherInfo"))
        return false;
    document.enterElement();
    while (document.findElement(L"VersionInfo")) {
        std::wstring name = document.getAttribute(L"Path");
        if (name.empty())
            name = document.getAttribute(L"No");
        if (name.empty())
            name = document.getAttribute(L"version");
        if (name.empty())
            continue;
        if (isPlainFolderName(name))
            names.push_back(name);
        else if (ignored)
            ignored->push_back(name);
    }
    document.leaveElement();
    return !names.empty();
}

const std::vector<std::wstring>& oldClientFileNames()
{
    // The maker's older client kept these at the top of its folder.
    static const std::vector<std::wstring> names = {
        L"tqlauncher.exe", L"tqupdate.exe", L"TqSpeak.dll", L"tqpip.dll", L"TqVirtualCamOld.ax", L"oldclient.ini",
    };
    return names;
}

std::vector<std::wstring> productItemNames(const std::wstring& installFolder)
{
    // The payload's top entries, the folders and files the install steps and
    // the product write there, and what the older client left.
    std::vector<std::wstring> names = {L"TqSorva.exe", L"Launcher.xml", L"Uninstall.exe", L"Stable",
                                       L"Check",       L"Microsoft.VC90.CRT", L"ProductInfo.txt", L"oem.txt",
                                       L"tqwizard.exe"};
    for (const std::wstring& name : oldClientFileNames()) {
        names.push_back(name);
        names.push_back(name + L".old");
    }
    std::vector<std::wstring> versions;
    readLauncherVersionNames(installFolder, versions);
    for (const std::wstring& version : versions)
        if (!isProductItem(names, version))
            names.push_back(version);
    return names;
}

bool isProductItem(const std::vector<std::wstring>& names, const std::wstring& name)
{
    for (const std::wstring& item : names)
        if (CompareStringOrdinal(item.c_str(), static_cast<int>(item.size()), name.c_str(),
                                 static_cast<int>(name.size()), TRUE)
            == CSTR_EQUAL)
            return true;
    return false;
}
