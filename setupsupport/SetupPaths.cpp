// Path texts, install-path checks and the per-user data folders.
#include "SystemUtils.h"

#include "Md5.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

namespace {

std::wstring upperCase(std::wstring text)
{
    if (!text.empty())
        CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring specialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}

std::wstring withoutTrailingSlash(std::wstring path)
{
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

// The long, absolute form of a path, upper case, without a trailing
// backslash (except a drive root). Parts that do not exist yet are kept as
// written behind the longest existing parent's long form.
std::wstring canonicalPath(const std::wstring& path)
{
    if (path.empty())
        return std::wstring();
    DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0)
        return std::wstring();
    std::vector<wchar_t> full(need + 1);
    DWORD got = GetFullPathNameW(path.c_str(), need + 1, full.data(), nullptr);
    if (got == 0 || got > need)
        return std::wstring();
    std::wstring head = withoutTrailingSlash(full.data());
    std::wstring tail;
    for (;;) {
        DWORD longNeed = GetLongPathNameW(head.c_str(), nullptr, 0);
        if (longNeed != 0) {
            std::vector<wchar_t> longName(longNeed + 1);
            DWORD longGot = GetLongPathNameW(head.c_str(), longName.data(), longNeed + 1);
            if (longGot != 0 && longGot <= longNeed) {
                head = withoutTrailingSlash(longName.data());
                break;
            }
        }
        size_t cut = head.find_last_of(L'\\');
        if (cut == std::wstring::npos || head.size() <= 3)
            break;
        tail = head.substr(cut) + tail;
        head.erase(cut);
        if (head.size() == 2 && head[1] == L':')
            head += L'\\';
    }
    std::wstring result = head;
    if (!tail.empty()) {
        if (!result.empty() && result.back() == L'\\')
            result.pop_back();
        result += tail;
    }
    return upperCase(withoutTrailingSlash(result));
}

bool isSameOrBelow(const std::wstring& path, const std::wstring& folder)
{
    if (folder.empty() || path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0)
        return false;
    return path.size() == folder.size() || path[folder.size()] == L'\\' || folder.back() == L'\\';
}

// "PROGRA~1", "PROG~FBU.TXT": the form of a short alias.
bool looksLikeShortAlias(const std::wstring& part)
{
    size_t dot = part.find(L'.');
    std::wstring base = part.substr(0, dot);
    std::wstring extension = dot == std::wstring::npos ? std::wstring() : part.substr(dot + 1);
    size_t tilde = base.find(L'~');
    return base.size() <= 8 && extension.size() <= 3 && tilde != std::wstring::npos && tilde > 0
           && tilde + 1 < base.size();
}

std::wstring perUserDataFolder()
{
    std::wstring appData = specialFolder(CSIDL_APPDATA);
    return appData.empty() ? appData : appData + L"\\brenlo\\tqsorva";
}

} // namespace

std::wstring normalizePath(const std::wstring& path)
{
    std::wstring text = upperCase(path);
    for (wchar_t& c : text)
        if (c == L'/')
            c = L'\\';
    std::wstring collapsed;
    collapsed.reserve(text.size());
    for (wchar_t c : text)
        if (!(c == L'\\' && !collapsed.empty() && collapsed.back() == L'\\'))
            collapsed += c;
    size_t first = collapsed.find_first_not_of(L'\\');
    if (first == std::wstring::npos)
        return std::wstring();
    size_t last = collapsed.find_last_not_of(L'\\');
    return collapsed.substr(first, last - first + 1);
}

std::wstring pathMd5Hex(const std::wstring& path)
{
    std::string ansi = wideToNarrow(normalizePath(path), CP_ACP);
    if (ansi.empty())
        return std::wstring();
    std::string hex = md5Hex(ansi.data(), ansi.size());
    return std::wstring(hex.begin(), hex.end());
}

void trimSpace(std::wstring& text)
{
    size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) {
        text.clear();
        return;
    }
    size_t last = text.find_last_not_of(L' ');
    text = text.substr(first, last - first + 1);
}

bool hasInvalidPathChar(const std::wstring& text)
{
    return text.find_first_of(L"/:*?\"<>|") != std::wstring::npos;
}

bool pathAppend(std::wstring& path, const std::wstring& more)
{
    if (path.size() >= MAX_PATH || more.size() >= MAX_PATH)
        return false;
    wchar_t buffer[MAX_PATH] = {};
    wmemcpy(buffer, path.c_str(), path.size());
    if (!PathAppendW(buffer, more.c_str()))
        return false;
    path = buffer;
    return true;
}

bool parentPath(const std::wstring& path, std::wstring& out)
{
    std::wstring text = path;
    if (!text.empty() && (text.back() == L'\\' || text.back() == L'/'))
        text.pop_back();
    size_t cut = text.find_last_of(L'\\');
    if (cut == std::wstring::npos)
        cut = text.find_last_of(L'/');
    if (cut == std::wstring::npos)
        return false;
    out = text.substr(0, cut + 1);
    return true;
}

bool isProtectedFolder(const std::wstring& path)
{
    // "C:" and "C:name" name the drive's current folder, whatever it is.
    if (path.size() >= 2 && path[1] == L':' && (path.size() == 2 || (path[2] != L'\\' && path[2] != L'/')))
        return true;
    std::wstring target = canonicalPath(path);
    if (target.empty())
        return true;  // nothing that cannot be named is safe to touch
    if (target.size() <= 3)
        return true;  // a drive root
    // "\\server" and "\\server\share" are roots as well.
    if (target.compare(0, 2, L"\\\\") == 0) {
        size_t share = target.find(L'\\', 2);
        if (share == std::wstring::npos || target.find(L'\\', share + 1) == std::wstring::npos)
            return true;
    }

    wchar_t windows[MAX_PATH] = {};
    if (GetWindowsDirectoryW(windows, MAX_PATH) && isSameOrBelow(target, canonicalPath(windows)))
        return true;

    std::vector<std::wstring> exact = {
        specialFolder(CSIDL_PROGRAM_FILES), specialFolder(CSIDL_PROGRAM_FILESX86),
        specialFolder(CSIDL_PROGRAM_FILES_COMMON), specialFolder(CSIDL_COMMON_APPDATA),
        specialFolder(CSIDL_PROFILE), specialFolder(CSIDL_DESKTOPDIRECTORY),
        specialFolder(CSIDL_COMMON_DESKTOPDIRECTORY), specialFolder(CSIDL_PERSONAL),
        specialFolder(CSIDL_COMMON_DOCUMENTS), specialFolder(CSIDL_APPDATA),
        specialFolder(CSIDL_LOCAL_APPDATA), perUserDataFolder()};
    // The folder that holds the profiles.
    std::wstring profiles;
    if (parentPath(specialFolder(CSIDL_PROFILE), profiles))
        exact.push_back(profiles);
    wchar_t programFiles[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ProgramW6432", programFiles, MAX_PATH))
        exact.push_back(programFiles);
    for (const std::wstring& folder : exact)
        if (!folder.empty() && target == canonicalPath(folder))
            return true;
    return false;
}

bool isValidInstallPath(const std::wstring& path)
{
    std::wstring p = path;
    trimSpace(p);
    for (wchar_t& c : p)
        if (c == L'/')
            c = L'\\';
    if (!p.empty() && p.back() == L'\\')
        p.pop_back();
    // "X:\" and a folder.
    if (p.size() < 4 || !iswalpha(p[0]) || p[1] != L':' || p[2] != L'\\')
        return false;
    std::wstring rest = p.substr(3);
    if (hasInvalidPathChar(rest))
        return false;
    // Every part, the last one too, must hold more than blanks; an empty
    // part ("C:\a\\b") is refused before anything collapses it.
    size_t begin = 0;
    for (;;) {
        size_t end = rest.find(L'\\', begin);
        std::wstring part = rest.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
        trimSpace(part);
        if (part.empty())
            return false;
        // An alias the system does not know would become a folder of that
        // very name, which on another machine means another folder.
        if (looksLikeShortAlias(part)
            && GetFileAttributesW(p.substr(0, 3 + (end == std::wstring::npos ? rest.size() : end)).c_str())
                   == INVALID_FILE_ATTRIBUTES)
            return false;
        if (end == std::wstring::npos)
            break;
        begin = end + 1;
    }
    if (getDiskFreeSpaceMB(p) <= 0)
        return false;
    return !isProtectedFolder(p);
}

double getDiskFreeSpaceMB(const std::wstring& path)
{
    if (path.size() < 3)
        return 0;
    std::wstring root = path.substr(0, 3);
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr))
        return 0;
    return static_cast<double>(available.QuadPart) / 1048576.0;
}

std::wstring getAppDataDir()
{
    std::wstring folder = perUserDataFolder();
    if (!folder.empty() && !PathFileExistsW(folder.c_str()))
        SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return folder;
}

std::wstring getInstallDataDir(const std::wstring& installPath)
{
    // Without an install path the result would be the per-user folder
    // itself, which callers empty or delete: give nothing instead.
    std::wstring hash = pathMd5Hex(installPath);
    if (hash.empty())
        return std::wstring();
    std::wstring folder = getAppDataDir() + hash + L"\\";
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return folder;
}

std::string wideToNarrow(const std::wstring& text, UINT codePage)
{
    if (text.empty())
        return std::string();
    int need = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    if (need <= 0)
        return std::string();
    std::string out(static_cast<size_t>(need), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], need, nullptr,
                        nullptr);
    return out;
}

std::wstring narrowToWide(const std::string& text, UINT codePage)
{
    if (text.empty())
        return std::wstring();
    int need = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (need <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(need), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], need);
    return out;
}
