#include "LinkCheck.h"

#include <windows.h>

#include <vector>

namespace {

std::wstring resolvedPath(const std::wstring& path)
{
    HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::wstring();
    std::vector<wchar_t> buffer(1024);
    DWORD n = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    CloseHandle(handle);
    if (n == 0 || n >= buffer.size())
        return std::wstring();
    std::wstring result(buffer.data(), n);
    while (!result.empty() && result.back() == L'\\')
        result.pop_back();
    return result;
}

} // namespace

bool isLinkItself(const std::wstring& path)
{
    std::wstring trimmed = path;
    while (trimmed.size() > 3 && (trimmed.back() == L'\\' || trimmed.back() == L'/'))
        trimmed.pop_back();
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(trimmed.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return true;
    // Some systems list a link to a file as a plain file: compare where the
    // path and its folder really lead.
    size_t slash = trimmed.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return true;
    std::wstring folder = resolvedPath(trimmed.substr(0, slash + 1));
    std::wstring self = resolvedPath(trimmed);
    if (folder.empty() || self.empty())
        return true;
    std::wstring expected = folder + L"\\" + entry.cFileName;
    return _wcsicmp(self.c_str(), expected.c_str()) != 0;
}
