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

// "\\?\", "\\.\" and "\??\" only change how a name reaches the system:
// without them a path is compared as what it names. What follows such a
// prefix must be a drive path or a share; anything else ("\\.\C:",
// "\\?\Volume{...}", "\\.\PhysicalDrive0") is a device.
std::wstring withoutNamespacePrefix(std::wstring path, bool& device)
{
    device = false;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    auto startsWith = [&path](const wchar_t* prefix) {
        size_t n = wcslen(prefix);
        return path.size() >= n && _wcsnicmp(path.c_str(), prefix, n) == 0;
    };
    if (startsWith(L"\\\\?\\UNC\\") || startsWith(L"\\??\\UNC\\"))
        return L"\\\\" + path.substr(8);
    if (!startsWith(L"\\\\?\\") && !startsWith(L"\\\\.\\") && !startsWith(L"\\??\\"))
        return path;
    std::wstring rest = path.substr(4);
    if (rest.size() >= 3 && iswalpha(rest[0]) && rest[1] == L':' && rest[2] == L'\\')
        return rest;
    device = true;
    return std::wstring();
}

// Drops the trailing dots and blanks of every part, as the system does when
// it opens a name; false when a part is left empty.
bool withoutTrailingDots(std::wstring& path)
{
    size_t begin = path.compare(0, 2, L"\\\\") == 0 ? 2 : 0;
    std::wstring out = path.substr(0, begin);
    while (begin <= path.size()) {
        size_t end = path.find(L'\\', begin);
        std::wstring part = path.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
        bool drive = begin == 0 && part.size() == 2 && part[1] == L':';
        if (!drive) {
            size_t keep = part.find_last_not_of(L". ");
            part.erase(keep == std::wstring::npos ? 0 : keep + 1);
        }
        bool last = end == std::wstring::npos;
        if (part.empty() && !(last && begin == path.size()))
            return false;
        out += part;
        if (last)
            break;
        out += L'\\';
        begin = end + 1;
    }
    path = out;
    return true;
}

// The long, absolute form of a path (letter case as given), without a
// trailing backslash (except a drive root). Parts that do not exist yet are
// kept as written behind the longest existing parent's long form.
std::wstring longFullPath(const std::wstring& path)
{
    if (path.empty())
        return std::wstring();
    bool device = false;
    std::wstring plain = withoutNamespacePrefix(path, device);
    if (device || plain.empty())
        return std::wstring();
    DWORD need = GetFullPathNameW(plain.c_str(), 0, nullptr, nullptr);
    if (need == 0)
        return std::wstring();
    std::vector<wchar_t> full(need + 1);
    DWORD got = GetFullPathNameW(plain.c_str(), need + 1, full.data(), nullptr);
    if (got == 0 || got > need)
        return std::wstring();
    std::wstring head = full.data();
    // "C:\x\CON" is the console, not a file in C:\x.
    if (head.compare(0, 4, L"\\\\.\\") == 0 || head.compare(0, 4, L"\\\\?\\") == 0)
        return std::wstring();
    head = withoutTrailingSlash(head);
    if (!withoutTrailingDots(head))
        return std::wstring();
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
    return withoutTrailingSlash(result);
}

// The same, upper case: the form every comparison of folders uses.
std::wstring canonicalPath(const std::wstring& path) { return upperCase(longFullPath(path)); }

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

std::wstring downloadsFolder()
{
    // FOLDERID_Downloads has no CSIDL.
    static const GUID downloads = {0x374de290, 0x123f, 0x4565, {0x91, 0x64, 0x39, 0xc4, 0x92, 0x5e, 0x46, 0x7b}};
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(downloads, 0, nullptr, &path)) && path)
        result = path;
    CoTaskMemFree(path);
    if (result.empty()) {
        std::wstring profile = specialFolder(CSIDL_PROFILE);
        if (!profile.empty())
            result = profile + L"\\Downloads";
    }
    return result;
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

std::wstring fullLongPath(const std::wstring& path) { return longFullPath(path); }

bool isSameFolder(const std::wstring& a, const std::wstring& b)
{
    std::wstring first = canonicalPath(a);
    return !first.empty() && first == canonicalPath(b);
}

bool isProtectedFolder(const std::wstring& path)
{
    bool device = false;
    std::wstring plain = withoutNamespacePrefix(path, device);
    if (device)
        return true;
    // "C:" and "C:name" name the drive's current folder, whatever it is.
    if (plain.size() >= 2 && plain[1] == L':' && (plain.size() == 2 || plain[2] != L'\\'))
        return true;
    std::wstring target = canonicalPath(plain);
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

    // The user's and the system's known folders, and every folder that holds
    // one of them (the profile holds Downloads, "AppData" holds Roaming).
    std::vector<std::wstring> known = {
        specialFolder(CSIDL_PROGRAM_FILES), specialFolder(CSIDL_PROGRAM_FILESX86),
        specialFolder(CSIDL_PROGRAM_FILES_COMMON), specialFolder(CSIDL_PROGRAM_FILES_COMMONX86),
        specialFolder(CSIDL_COMMON_APPDATA), specialFolder(CSIDL_PROFILE),
        specialFolder(CSIDL_DESKTOPDIRECTORY), specialFolder(CSIDL_COMMON_DESKTOPDIRECTORY),
        specialFolder(CSIDL_PERSONAL), specialFolder(CSIDL_COMMON_DOCUMENTS),
        specialFolder(CSIDL_MYMUSIC), specialFolder(CSIDL_MYPICTURES), specialFolder(CSIDL_MYVIDEO),
        specialFolder(CSIDL_APPDATA), specialFolder(CSIDL_LOCAL_APPDATA),
        specialFolder(CSIDL_STARTMENU), specialFolder(CSIDL_PROGRAMS),
        specialFolder(CSIDL_COMMON_STARTMENU), specialFolder(CSIDL_COMMON_PROGRAMS),
        downloadsFolder(), perUserDataFolder()};
    wchar_t programFiles[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ProgramW6432", programFiles, MAX_PATH))
        known.push_back(programFiles);
    for (const std::wstring& folder : known) {
        if (folder.empty())
            continue;
        std::wstring canonical = canonicalPath(folder);
        if (!canonical.empty() && isSameOrBelow(canonical, target))
            return true;
    }
    return false;
}

bool isDeviceName(const std::wstring& part)
{
    // The system opens these names, with any extension, as devices.
    std::wstring base = upperCase(part.substr(0, part.find(L'.')));
    size_t keep = base.find_last_not_of(L' ');
    base.erase(keep == std::wstring::npos ? 0 : keep + 1);
    static const wchar_t* const names[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* name : names)
        if (base == name)
            return true;
    return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0)
           && base[3] >= L'1' && base[3] <= L'9';
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
        // A part the system would cut ("a.", "a ") or open as a device
        // ("CON", "nul.txt") names another place than the one written.
        if (part.empty() || part.back() == L'.' || part.back() == L' ' || isDeviceName(part))
            return false;
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
