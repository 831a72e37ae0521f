// Links, junctions and other reparse points met while walking folders.
#include "SystemUtils.h"

namespace {

HANDLE openEntryItself(const std::wstring& path, DWORD access)
{
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

bool isReparseEntry(const WIN32_FIND_DATAW& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool removeLinkItself(const std::wstring& path)
{
    // Deleting by name may act on the target: some systems resolve links
    // there, removing a file or an empty folder behind it. So the entry is
    // opened as a reparse point and deleted only when the open handle really
    // is one; a system that opens the target instead leaves the link alone.
    HANDLE link = openEntryItself(path, DELETE | FILE_READ_ATTRIBUTES);
    if (link == INVALID_HANDLE_VALUE)
        return false;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    bool removed = false;
    if (GetFileInformationByHandleEx(link, FileAttributeTagInfo, &tag, sizeof tag)
        && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        FILE_DISPOSITION_INFO dispose = {};
        dispose.DeleteFile = TRUE;
        removed = SetFileInformationByHandle(link, FileDispositionInfo, &dispose, sizeof dispose) != FALSE;
    }
    CloseHandle(link);
    return removed;
}

std::wstring resolvedPath(const std::wstring& path)
{
    HANDLE handle = openEntryItself(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return std::wstring();
    std::wstring result;
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD got = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (got == 0)
            break;
        if (got < buffer.size()) {
            result.assign(buffer.data(), got);
            break;
        }
        buffer.resize(static_cast<size_t>(got) + 1);  // got is the size needed
    }
    CloseHandle(handle);
    return result;
}

bool resolvesElsewhere(const std::wstring& resolvedFolder, const std::wstring& entryPath,
                       const std::wstring& entryName, std::wstring* resolved)
{
    if (resolvedFolder.empty())
        return false;
    std::wstring actual = resolvedPath(entryPath);
    if (actual.empty())
        return false;
    std::wstring expected = resolvedFolder;
    if (expected.back() != L'\\')
        expected += L'\\';
    expected += entryName;
    if (CompareStringOrdinal(actual.c_str(), static_cast<int>(actual.size()), expected.c_str(),
                             static_cast<int>(expected.size()), TRUE)
        == CSTR_EQUAL)
        return false;
    if (resolved)
        *resolved = actual;
    return true;
}

bool isLinkFreePath(const std::wstring& path, std::wstring* resolved)
{
    std::wstring expected = fullLongPath(path);
    std::wstring actual = resolvedPath(path);
    if (resolved)
        *resolved = actual;
    if (expected.empty() || actual.empty())
        return false;
    if (actual.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        actual = L"\\\\" + actual.substr(8);
    else if (actual.compare(0, 4, L"\\\\?\\") == 0)
        actual.erase(0, 4);
    while (actual.size() > 3 && actual.back() == L'\\')
        actual.pop_back();
    return CompareStringOrdinal(actual.c_str(), static_cast<int>(actual.size()), expected.c_str(),
                                static_cast<int>(expected.size()), TRUE)
           == CSTR_EQUAL;
}
