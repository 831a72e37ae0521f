#include "KqResourceLib.h"

#include <windows.h>

#include <string>

namespace {
std::wstring wide(const KqString& text) { return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), size_t(text.length())); }
}

bool kqFileExists(const KqString& path)
{
    if (path.isEmpty())
        return false;
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

KqByteArray kqReadWholeFile(const KqString& path)
{
    if (path.isEmpty())
        return KqByteArray();
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return KqByteArray();
    KqByteArray bytes;
    LARGE_INTEGER size;
    // Byte arrays hold at most 2 GB; larger files are not resources.
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < 0x7FFFFFF0) {
        DWORD got = 0;
        if (bytes.setLength(static_cast<int>(size.QuadPart))) {
            if (!ReadFile(file, bytes.mutableData(), static_cast<DWORD>(size.QuadPart), &got, nullptr))
                got = 0;
            bytes.setLength(static_cast<int>(got));
        }
    }
    CloseHandle(file);
    return bytes;
}
