#include "DiskOutputer.h"

#include "LinkCheck.h"
#include "SetupLog.h"
#include "SorvaSetupListener.h"
#include "SystemUtils.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cwctype>

namespace {

std::wstring withBackslash(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (path.empty() || path.back() != L'\\')
        path += L'\\';
    return path;
}

std::wstring specialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}

std::wstring environmentFolder(const wchar_t* name)
{
    wchar_t value[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(value, n) : std::wstring();
}

bool equalsNoCase(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

// Moves a file we could not create or write out of the way: delete the
// previous ".old", then rename the target to it.
void moveAside(const std::wstring& target)
{
    std::wstring old = target + L".old";
    DeleteFileW(old.c_str());
    int error = renameFile(target, old);
    writeLog(L"CDiskOutputer::output, move %s aside to %s, result %d.", target.c_str(), old.c_str(), error);
}

void createFolder(const std::wstring& path)
{
    int result = SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS && result != ERROR_FILE_EXISTS)
        writeLog(L"SHCreateDirectory fail, path is %s, last error is %d", path.c_str(), result);
}

bool writeAll(HANDLE file, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes, chunk, &written, nullptr) || written != chunk)
            return false;
        bytes += chunk;
        size -= chunk;
    }
    return true;
}

// True when a folder between base (excluded) and target (included) is a
// link or junction: writing there would land outside the routed folder.
bool passesThroughLink(const std::wstring& base, const std::wstring& target)
{
    if (target.compare(0, base.size(), base) != 0)
        return false;
    size_t pos = base.size();
    while (pos <= target.size()) {
        size_t end = target.find(L'\\', pos);
        if (end == std::wstring::npos)
            end = target.size();
        const std::wstring step = target.substr(0, end);
        if (GetFileAttributesW(step.c_str()) == INVALID_FILE_ATTRIBUTES)
            return false;  // nothing further exists yet
        if (isLinkItself(step))
            return true;
        pos = end + 1;
    }
    return false;
}

} // namespace

bool isSafeRelativeName(const std::wstring& name)
{
    if (name.empty() || name[0] == L'\\' || name[0] == L'/' || name.find(L':') != std::wstring::npos)
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of(L"\\/", start);
        if (end == std::wstring::npos)
            end = name.size();
        std::wstring part = name.substr(start, end - start);
        const bool last = end == name.size();
        if (part.empty() && !last)
            return false;
        // Windows drops trailing dots and blanks: "..", ". ." and "..." all name a parent or the folder itself.
        if (!part.empty() && part.find_first_not_of(L". ") == std::wstring::npos)
            return false;
        start = end + 1;
    }
    return true;
}

CDiskOutputer::CDiskOutputer(const std::wstring& root, SorvaSetupListener* listener, bool allowOutsideRoots)
    : m_root(withBackslash(root)), m_listener(listener), m_allowOutsideRoots(allowOutsideRoots)
{
}

bool CDiskOutputer::accept(const std::wstring& entryName)
{
    if (!m_measureOnly)
        return true;
    std::wstring name = entryName;
    std::replace(name.begin(), name.end(), L'/', L'\\');
    size_t separator = name.find(L'\\');
    std::wstring below = name;
    if (separator != std::wstring::npos) {
        const std::wstring first = name.substr(0, separator);
        // These go to folders of their own outside the root.
        if (equalsNoCase(first, L"AppData") || equalsNoCase(first, L"TEMP") || equalsNoCase(first, L"VQM"))
            return false;
        below = name.substr(separator + 1);
    }
    while (!below.empty() && below.back() == L'\\')
        below.pop_back();
    size_t folderEnd = below.find_last_of(L'\\');
    m_longestFile = std::max(m_longestFile, below.size());
    if (folderEnd != std::wstring::npos)
        m_longestFolder = std::max(m_longestFolder, folderEnd);
    return false;
}

bool CDiskOutputer::shouldContinue() { return true; }

void CDiskOutputer::progress(size_t index, size_t count, const std::wstring& shortName)
{
    if (!m_listener || count == 0)
        return;
    std::wstring text = L"正在解压文件：" + shortName;
    if (text.size() > kMaxProgressChars)
        text.resize(kMaxProgressChars);
    m_listener->onProgress(static_cast<double>(index) * 0.9 / static_cast<double>(count), text);
}

bool CDiskOutputer::route(const std::wstring& entryName, std::wstring& target, bool& skipped) const
{
    skipped = false;
    target.clear();
    std::wstring name = entryName;
    std::replace(name.begin(), name.end(), L'/', L'\\');
    if (!isSafeRelativeName(name))
        return false;

    size_t separator = name.find(L'\\');
    if (separator == std::wstring::npos) {
        static const wchar_t* const markers[] = {L"InstallDir", L"component", L"AppData", L"TEMP", L"VQM"};
        for (const wchar_t* marker : markers) {
            if (equalsNoCase(name, marker)) {
                skipped = true;
                return true;
            }
        }
        target = m_root + name;
        m_lastBase = m_root;
        return true;
    }

    std::wstring first = name.substr(0, separator);
    std::wstring rest = name.substr(separator + 1);
    std::wstring base = m_root;
    if (equalsNoCase(first, L"AppData") || equalsNoCase(first, L"TEMP") || equalsNoCase(first, L"VQM")) {
        if (!m_allowOutsideRoots)
            return false;
        if (equalsNoCase(first, L"AppData")) {
            base = getInstallDataDir(m_root);
        } else if (equalsNoCase(first, L"TEMP")) {
            base = environmentFolder(L"TEMP");
        } else {
            std::wstring roaming = specialFolder(CSIDL_APPDATA);
            base = roaming.empty() ? std::wstring() : roaming + L"\\brenlo\\tq\\tqpip";
        }
        if (base.empty())
            return false;
        base = withBackslash(base);
    }
    if (rest.empty()) {
        skipped = true;  // "install\" alone: the folder marker itself
        return true;
    }
    target = base + rest;
    m_lastBase = base;
    return true;
}

bool CDiskOutputer::output(const std::wstring& name, bool isDirectory, const void* data, size_t size)
{
    writeLog(L"CDiskOutputer::output, file is %s", name.c_str());
    std::wstring target;
    bool skipped = false;
    if (!route(name, target, skipped)) {
        writeLog(L"CDiskOutputer::output, refused entry name %s.", name.c_str());
        return false;
    }
    if (skipped)
        return true;
    if (passesThroughLink(m_lastBase, target)) {
        writeLog(L"CDiskOutputer::output, refused entry %s: its path passes through a link.", name.c_str());
        return false;
    }

    std::wstring trimmed = target;
    while (!trimmed.empty() && trimmed.back() == L'\\')
        trimmed.pop_back();
    std::wstring parent;
    if (parentPath(trimmed, parent) && !isPathExist(parent)) {
        noteMissingFolders(parent);
        createFolder(parent);
    }
    if (isDirectory) {
        noteMissingFolders(trimmed);
        createFolder(trimmed);
        return true;
    }
    const bool existed = GetFileAttributesW(trimmed.c_str()) != INVALID_FILE_ATTRIBUTES;
    const bool written = writeFile(trimmed, data, size);
    if (!existed && GetFileAttributesW(trimmed.c_str()) != INVALID_FILE_ATTRIBUTES)
        m_createdFiles.push_back({m_lastBase, trimmed});
    return written;
}

void CDiskOutputer::noteMissingFolders(const std::wstring& path)
{
    std::vector<std::wstring> missing;
    std::wstring folder = path;
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    while (!folder.empty() && GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        missing.push_back(folder);
        size_t cut = folder.find_last_of(L'\\');
        if (cut == std::wstring::npos)
            break;
        folder.resize(cut);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        m_createdFolders.push_back({m_lastBase, *it});
}

size_t CDiskOutputer::removeWritten()
{
    size_t removed = 0;
    for (auto it = m_createdFiles.rbegin(); it != m_createdFiles.rend(); ++it) {
        // A folder swapped for a link meanwhile would lead the delete elsewhere.
        if (passesThroughLink(it->base, it->path)) {
            writeLog(L"CDiskOutputer::removeWritten, %s passes through a link, kept.", it->path.c_str());
            continue;
        }
        if (DeleteFileW(it->path.c_str()))
            ++removed;
        else
            writeLog(L"CDiskOutputer::removeWritten, delete %s fail, last error is %d.", it->path.c_str(),
                     static_cast<int>(GetLastError()));
    }
    for (auto it = m_createdFolders.rbegin(); it != m_createdFolders.rend(); ++it) {
        if (isLinkItself(it->path))
            continue;
        RemoveDirectoryW(it->path.c_str());  // only when empty: what others put there stays
    }
    m_createdFiles.clear();
    m_createdFolders.clear();
    return removed;
}

bool CDiskOutputer::writeFile(const std::wstring& target, const void* data, size_t size)
{
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        writeLog(L"CDiskOutputer::output, %s is a folder, not written.", target.c_str());
        return false;
    }
    for (int attempt = 0; attempt < kMaxWriteAttempts; ++attempt) {
        HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            writeLog(L"CDiskOutputer::output, create %s fail, last error is %d.", target.c_str(), GetLastError());
            moveAside(target);
            continue;
        }
        const bool written = writeAll(file, data, size);
        // Our own handle is closed before the file is moved aside, so the
        // move never fights it.
        CloseHandle(file);
        if (written)
            return true;
        writeLog(L"CDiskOutputer::output, write %s fail, last error is %d.", target.c_str(), GetLastError());
        moveAside(target);
    }
    writeLog(L"CDiskOutputer::output, give up writing %s.", target.c_str());
    return false;
}
