#include "SetupLog.h"

#include <shlobj.h>
#include <strsafe.h>

#include <cstdarg>
#include <vector>

namespace {

std::wstring defaultLogFolder()
{
    wchar_t appData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    wchar_t folder[MAX_PATH + 64] = {};
    StringCchPrintfW(folder, ARRAYSIZE(folder), L"%s\\brenlo\\tqsorva\\setup\\", appData);
    return folder;
}

// Holds a lock on one byte far past any real log size: every program that
// writes the same file takes it, so their lines never interleave and only
// one of them starts a full file afresh.
class FileWriteLock {
public:
    explicit FileWriteLock(HANDLE file) : m_file(file)
    {
        m_ov.OffsetHigh = 0x7FFFFFFF;
        m_locked = LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &m_ov) != FALSE;
    }
    ~FileWriteLock()
    {
        if (m_locked)
            UnlockFileEx(m_file, 0, 1, 0, &m_ov);
    }
    FileWriteLock(const FileWriteLock&) = delete;
    FileWriteLock& operator=(const FileWriteLock&) = delete;
private:
    HANDLE m_file;
    OVERLAPPED m_ov = {};
    bool m_locked = false;
};

bool writeAll(HANDLE file, const void* data, DWORD bytes)
{
    DWORD written = 0;
    return WriteFile(file, data, bytes, &written, nullptr) && written == bytes;
}

} // namespace

CSetupLog::CSetupLog() : CSetupLog(defaultLogFolder()) {}

CSetupLog::CSetupLog(const std::wstring& folder) : m_folder(folder)
{
    if (!m_folder.empty() && m_folder.back() != L'\\')
        m_folder += L'\\';
    SHCreateDirectoryExW(nullptr, m_folder.c_str(), nullptr);
    m_filePath = m_folder + L"setup.log";
}

CSetupLog::~CSetupLog()
{
    close();
}

void CSetupLog::setFileName(const std::wstring& name)
{
    tq::CCritSecLock guard(m_lock);
    m_filePath = m_folder + name;
    // A file opened under the earlier name is left for the new one.
    if (m_opened && m_openedPath != m_filePath)
        close();
}

void CSetupLog::close()
{
    if (m_file != INVALID_HANDLE_VALUE)
        CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    m_opened = false;
    m_openedPath.clear();
}

bool CSetupLog::open()
{
    if (m_opened)
        return true;
    // Appending access: each write lands at the end even when another
    // program (the uninstaller and its relocated copy) writes the same file.
    HANDLE file = CreateFileW(m_filePath.c_str(), GENERIC_READ | FILE_APPEND_DATA | FILE_WRITE_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    {
        FileWriteLock lock(file);
        LARGE_INTEGER size = {};
        if (!GetFileSizeEx(file, &size)) {
            CloseHandle(file);
            return false;
        }
        if (size.QuadPart == 0 || size.QuadPart > kMaxFileBytes) {
            LARGE_INTEGER zero = {};
            static const unsigned char bom[2] = {0xFF, 0xFE};
            if (!SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(file)
                || !writeAll(file, bom, sizeof bom)) {
                CloseHandle(file);
                return false;
            }
        }
    }
    m_file = file;
    m_openedPath = m_filePath;
    m_opened = true;
    return true;
}

void CSetupLog::writeLine(const wchar_t* message)
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    wchar_t line[kMaxLineChars + 1] = {};
    // Time stamp, then as much of the message as fits before the CR LF.
    StringCchPrintfW(line, ARRAYSIZE(line), L"[%4d-%.2d-%.2d %.2d:%.2d:%.2d] ", now.wYear, now.wMonth,
                     now.wDay, now.wHour, now.wMinute, now.wSecond);
    size_t used = 0;
    StringCchLengthW(line, ARRAYSIZE(line), &used);
    const size_t room = kMaxLineChars - 2 - used;
    size_t take = 0;
    if (message)
        while (take < room && message[take])
            ++take;
    // Never end a cut line on the first half of a surrogate pair.
    if (take > 0 && message[take] && IS_HIGH_SURROGATE(message[take - 1]))
        --take;
    wmemcpy(line + used, message ? message : L"", take);
    used += take;
    line[used++] = L'\r';
    line[used++] = L'\n';
    line[used] = 0;

    tq::CCritSecLock guard(m_lock);
    if (!open())
        return;
    FileWriteLock lock(m_file);
    LARGE_INTEGER zero = {};
    SetFilePointerEx(m_file, zero, nullptr, FILE_END);
    writeAll(m_file, line, static_cast<DWORD>(used * sizeof(wchar_t)));
}

CSetupLog& setupLog()
{
    // Built on first use and kept to the process's end, so lines written from
    // static destructors still have a log.
    static CSetupLog* log = new CSetupLog();
    return *log;
}

void setLogFileName(const wchar_t* name)
{
    setupLog().setFileName(name ? name : L"");
}

void writeLog(const wchar_t* format, ...)
{
    if (!format)
        return;
    wchar_t message[CSetupLog::kMaxLineChars + 1] = {};
    va_list args;
    va_start(args, format);
    // Cuts and terminates a message that does not fit.
    StringCchVPrintfW(message, ARRAYSIZE(message), format, args);
    va_end(args);
    setupLog().writeLine(message);
}
