#include "KqFile.h"

#include <windows.h>

namespace {

const wchar_t* widePath(const KqString& path) { return reinterpret_cast<const wchar_t*>(path.data()); }

// ReadFile and WriteFile move at most 4 GB at once; larger requests go in parts.
const int64_t kMaxTransfer = int64_t(1) << 30;

} // namespace

KqWin32FileEngine::~KqWin32FileEngine() { close(); }

bool KqWin32FileEngine::open(int32_t mode)
{
    close();
    if (!(mode & 3))
        return false; // neither read nor write asked for
    DWORD access = 0;
    if (mode & 1)
        access |= GENERIC_READ;
    if (mode & 2)
        access |= GENERIC_WRITE;
    DWORD disposition = (mode & 8) ? CREATE_ALWAYS : (mode & 2) ? OPEN_ALWAYS : OPEN_EXISTING;
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
    HANDLE handle = CreateFileW(widePath(fileName()), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, disposition,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    m_handle = handle;
    if (mode & 4) {
        LARGE_INTEGER zero = {};
        SetFilePointerEx(handle, zero, nullptr, FILE_END);
    }
    return true;
}

void KqWin32FileEngine::close()
{
    if (m_handle)
        CloseHandle(static_cast<HANDLE>(m_handle));
    m_handle = nullptr;
}

int64_t KqWin32FileEngine::pos()
{
    LARGE_INTEGER zero = {}, now;
    if (!m_handle || !SetFilePointerEx(static_cast<HANDLE>(m_handle), zero, &now, FILE_CURRENT))
        return 0;
    return now.QuadPart;
}

bool KqWin32FileEngine::seek(int64_t position)
{
    if (!m_handle || position < 0)
        return false;
    LARGE_INTEGER to, now;
    to.QuadPart = position;
    return SetFilePointerEx(static_cast<HANDLE>(m_handle), to, &now, FILE_BEGIN) && now.QuadPart == position;
}

int64_t KqWin32FileEngine::size()
{
    // An open file answers through its handle (the size includes what this
    // handle just wrote); a closed one by name.
    if (m_handle) {
        LARGE_INTEGER size;
        return GetFileSizeEx(static_cast<HANDLE>(m_handle), &size) ? size.QuadPart : -1;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(widePath(fileName()), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool KqWin32FileEngine::atEnd() { return pos() == size(); }

int64_t KqWin32FileEngine::read(char* data, int64_t length)
{
    if (!m_handle || !data || length < 0)
        return -1;
    int64_t total = 0;
    while (total < length) {
        int64_t part = length - total < kMaxTransfer ? length - total : kMaxTransfer;
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(m_handle), data + total, static_cast<DWORD>(part), &got, nullptr))
            return total ? total : -1;
        total += got;
        if (got < part)
            break; // the end of the file
    }
    return total;
}

int64_t KqWin32FileEngine::write(const char* data, int64_t length)
{
    if (!m_handle || !data || length < 0)
        return -1;
    int64_t total = 0;
    while (total < length) {
        int64_t part = length - total < kMaxTransfer ? length - total : kMaxTransfer;
        DWORD put = 0;
        if (!WriteFile(static_cast<HANDLE>(m_handle), data + total, static_cast<DWORD>(part), &put, nullptr))
            return total ? total : -1;
        total += put;
        if (put < part)
            break;
    }
    return total;
}

bool KqWin32FileEngine::exists(const KqString& path)
{
    return !path.isEmpty() && GetFileAttributesW(widePath(path)) != INVALID_FILE_ATTRIBUTES;
}

bool KqWin32FileEngine::remove(const KqString& path) { return !path.isEmpty() && DeleteFileW(widePath(path)) != 0; }
