#include "HostIntegration.h"

#include "FrameProtocol.h"
#include "VirtualCamStream.h"
#include "base/FilterRegistration.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <cstdarg>
#include <cstdio>
#include <vector>

constexpr DWORD kShareMutexWaitMs = 1000;

CTimedMutexLock::CTimedMutexLock(HANDLE mutex, DWORD timeoutMs) : m_mutex(mutex), m_locked(false)
{
    if (m_mutex) {
        // An abandoned mutex is ours now: its owner died, the records stay bounded by their checks.
        const DWORD result = WaitForSingleObject(m_mutex, timeoutMs);
        m_locked = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
}

CTimedMutexLock::~CTimedMutexLock()
{
    if (m_locked)
        ReleaseMutex(m_mutex);
}

size_t MappedViewSize(const void* view)
{
    MEMORY_BASIC_INFORMATION info = {};
    if (!view || VirtualQuery(view, &info, sizeof(info)) != sizeof(info))
        return 0;
    return info.RegionSize;
}

bool GetHostExePath(std::string& path)
{
    std::vector<wchar_t> wide(MAX_PATH);
    DWORD length;
    while ((length = GetModuleFileNameW(nullptr, wide.data(), DWORD(wide.size()))) >= wide.size()) {
        if (wide.size() >= 32768)
            return false;
        wide.resize(wide.size() * 2);
    }
    if (length == 0)
        return false;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(length), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return false;
    path.assign(size_t(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), int(length), &path[0], bytes, nullptr, nullptr);
    return true;
}

bool RegisterHostInUserList()
{
    std::string path;
    if (!GetHostExePath(path))
        return false;
    CScopedHandle mutex(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, tq::kShareMutexName));
    if (!mutex)
        return false;
    CTimedMutexLock lock(mutex.Get(), kShareMutexWaitMs);
    if (!lock.Locked())
        return false;
    CScopedHandle mapping(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, tq::kUserMemoryName));
    if (!mapping)
        return false;
    void* view = MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (!view)
        return false;
    // Bounded by the record and by what is really mapped; an item that does not
    // fit is left out rather than written past the end.
    size_t capacity = MappedViewSize(view);
    if (capacity > tq::kUserMemorySize)
        capacity = tq::kUserMemorySize;
    tq::AppendHostItem(static_cast<char*>(view), capacity, path);
    UnmapViewOfFile(view);
    return true;
}

void ShellRunProgram(const std::wstring& path)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.lpFile = path.c_str();
    info.nShow = SW_SHOWMAXIMIZED;
    ShellExecuteExW(&info);
}

static std::wstring ParentFolder(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring FindLauncher(const std::wstring& modulePath)
{
    const std::wstring folder = ParentFolder(modulePath);
    if (folder.empty())
        return std::wstring();
    std::wstring candidate = folder + L"\\tqsorva.exe";
    if (PathFileExistsW(candidate.c_str()))
        return candidate;
    const std::wstring parent = ParentFolder(folder);
    if (parent.empty())
        return std::wstring();
    candidate = parent + L"\\tqsorva.exe";
    return PathFileExistsW(candidate.c_str()) ? candidate : std::wstring();
}

bool CVirtualCamStream::StartLauncher()
{
    std::wstring modulePath;
    if (GetModulePath(modulePath)) {
        const std::wstring launcher = FindLauncher(modulePath);
        if (!launcher.empty())
            ShellRunProgram(launcher);
    }
    return true;
}

void DebugTrace(const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[4200];
    snprintf(line, sizeof(line), "[%02d:%02d:%02d %04d] %s\n", now.wHour, now.wMinute, now.wSecond,
             now.wMilliseconds / 100, text);
    OutputDebugStringA(line);
}
