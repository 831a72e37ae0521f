#include "EngineLog.h"
#include "EngineLogTesting.h"

#include <windows.h>
#include <process.h>
#include <share.h>
#include <shlobj.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <string>

namespace {

constexpr uint64_t kRotationBytes = 20971520;
constexpr unsigned kCheckIntervalMs = 1800000;
constexpr size_t kMaxLineChars = 4095;
constexpr char kBaseName[] = "tqsorva";
constexpr char kInfoPrefix[] = "info  - ";
const char* const kPrefixes[] = {"debug - ", "info  - ", "WARN  - ", "ERROR - ", "      - "};

std::string TimeStamp()
{
    __time64_t now = _time64(nullptr);
    const char* text = _ctime64(&now);
    if (!text)
        return "empty time";
    std::string stamp(text);
    if (!stamp.empty() && stamp.back() == '\n')
        stamp.pop_back();
    return stamp;
}

std::wstring ProductLogFolder()
{
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)))
        appData[0] = L'\0';
    return std::wstring(appData) + L"\\brenlo\\tqsorva\\log\\";
}

void CALLBACK LimiterTick(HWND, UINT, UINT_PTR, DWORD);

// The log file, its header, the size check and rotation. One stream lock
// serialises every use of the stream: the writer thread's batches, the
// direct lines and the rotation, so a line lands whole in one of the files.
class LogFile {
public:
    static LogFile& Instance()
    {
        static LogFile* instance = new LogFile;  // never destroyed: see UnloadGuard
        return *instance;
    }

    int MinimumLevel() const { return m_minimumLevel.load(std::memory_order_relaxed); }

    // The first WriteLog of the process opens the file and starts the check.
    void EnsureOpen()
    {
        if (m_openDone.load(std::memory_order_acquire))
            return;
        std::lock_guard<std::mutex> openLock(m_openLock);
        if (m_openDone.load(std::memory_order_relaxed) || m_unloaded)
            return;
        Open();
        StartLimiter();
        m_openDone.store(true, std::memory_order_release);
    }

    void WriteLines(const std::deque<std::string>& lines)
    {
        std::lock_guard<std::mutex> lock(m_streamLock);
        if (!m_stream)
            return;
        for (const std::string& line : lines)
            fwrite(line.data(), 1, line.size(), m_stream);
        fflush(m_stream);
    }

    void DirectLine(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(m_streamLock);
        DirectLineLocked(text);
    }

    // One tick of the size check.
    void CheckSize()
    {
        std::lock_guard<std::mutex> lock(m_streamLock);
        if (!m_stream)
            return;
        fflush(m_stream);
        struct _stat64 status;
        const int64_t size = _wstat64(m_path.c_str(), &status) == 0 ? status.st_size : 0;
        DirectLineLocked("Timer!!!!" + WideToAnsi(m_path.c_str()) + "  " + WideToAnsi(m_oldPath.c_str()) + "Size:"
                         + std::to_string(size) + "\n");
        if (static_cast<uint64_t>(size) <= m_rotationBytes)
            return;
        fclose(m_stream);
        DeleteFileW(m_oldPath.c_str());
        const bool moved = MoveFileW(m_path.c_str(), m_oldPath.c_str()) != FALSE;
        m_stream = _wfsopen(m_path.c_str(), L"wb", _SH_DENYNO);
        if (moved)
            DirectLineLocked("log rotated: " + TimeStamp() + "\n");
        else
            DirectLineLocked("Failed to backup the old log file:" + WideToAnsi(m_path.c_str()) + "\n");
    }

    // What unloading the library does; waits a little at most for the stream
    // lock, which a thread ended by the process's exit may hold.
    void Close(bool unloading)
    {
        std::lock_guard<std::mutex> openLock(m_openLock);
        std::unique_lock<std::mutex> lock(m_streamLock, std::defer_lock);
        for (int attempt = 0; attempt < 50 && !lock.try_lock(); ++attempt)
            Sleep(2);
        if (lock.owns_lock() && m_stream) {
            if (m_timerId)
                DirectLineLocked("LogLimiter end Tid:" + std::to_string(m_timerId) + "\n");
            DirectLineLocked("program end\n");
            fclose(m_stream);
            m_stream = nullptr;
        }
        if (m_timerId) {
            KillTimer(nullptr, m_timerId);
            m_timerId = 0;
        }
        m_minimumLevel = kLogInfo;
        m_openDone = false;
        m_unloaded = unloading;
    }

    void SetFolder(const std::wstring& folder)
    {
        std::lock_guard<std::mutex> openLock(m_openLock);
        m_folderOverride = folder;
    }

    void SetLimits(uint64_t rotationBytes, unsigned intervalMs)
    {
        std::lock_guard<std::mutex> lock(m_streamLock);
        m_rotationBytes = rotationBytes ? rotationBytes : kRotationBytes;
        m_intervalMs = intervalMs ? intervalMs : kCheckIntervalMs;
    }

    std::wstring Folder() const { return m_folderOverride.empty() ? ProductLogFolder() : m_folderOverride; }
    static std::wstring FileIn(const std::wstring& folder, const char* suffix)
    {
        return folder + AnsiToWide(std::string(kBaseName) + suffix);
    }

private:
    void Open()
    {
        const std::wstring folder = Folder();
        std::wstring withoutSlash = folder;
        while (!withoutSlash.empty() && withoutSlash.back() == L'\\')
            withoutSlash.pop_back();
        SHCreateDirectoryExW(nullptr, withoutSlash.c_str(), nullptr);
        std::lock_guard<std::mutex> lock(m_streamLock);
        m_path = FileIn(folder, ".log");
        m_oldPath = FileIn(folder, ".old.log");
        m_stream = _wfsopen(m_path.c_str(), L"ab", _SH_DENYNO);
        DirectLineLocked(std::string(90, '+') + "\n");
        DirectLineLocked("program start\n");
        if (GetFileAttributesW((folder + L"debug").c_str()) != INVALID_FILE_ATTRIBUTES) {
            m_minimumLevel = kLogDebug;
            DirectLineLocked("open debug log mode\n");
        }
    }

    void StartLimiter()
    {
        unsigned interval;
        {
            std::lock_guard<std::mutex> lock(m_streamLock);
            interval = m_intervalMs;
        }
        m_timerId = SetTimer(nullptr, 0, interval, LimiterTick);
        DirectLine("LogLimiter start Tid:" + std::to_string(m_timerId) + "\n");
    }

    void DirectLineLocked(const std::string& text)
    {
        if (!m_stream)
            return;
        const std::string line = TimeStamp() + ":" + kInfoPrefix + text;
        fwrite(line.data(), 1, line.size(), m_stream);
        fflush(m_stream);
    }

    std::mutex m_openLock;    // opening and closing
    std::mutex m_streamLock;  // the stream, the paths and the limits
    std::atomic<bool> m_openDone{false};
    bool m_unloaded = false;
    std::atomic<int> m_minimumLevel{kLogInfo};
    FILE* m_stream = nullptr;
    std::wstring m_folderOverride;
    std::wstring m_path;
    std::wstring m_oldPath;
    UINT_PTR m_timerId = 0;
    uint64_t m_rotationBytes = kRotationBytes;
    unsigned m_intervalMs = kCheckIntervalMs;
};

void CALLBACK LimiterTick(HWND, UINT, UINT_PTR, DWORD)
{
    LogFile::Instance().CheckSize();
}

// At library unload (or process exit): the check's end line, "program end",
// close. Later WriteLog calls open nothing.
struct UnloadGuard {
    ~UnloadGuard() { LogFile::Instance().Close(true); }
} g_unloadGuard;

// The writer: a queue of lines, a wake event and the thread that empties the
// queue into the file.
class CLogger {
public:
    CLogger()
    {
        m_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadMain, this, 0, nullptr));
    }
    ~CLogger()
    {
        if (m_thread)
            CloseHandle(m_thread);
        if (m_wake)
            CloseHandle(m_wake);
    }

    // Under g_queueLock.
    void Enqueue(std::string&& line)
    {
        m_lines.push_back(std::move(line));
        SetEvent(m_wake);
    }

    // Under g_queueLock; the caller then calls Join.
    void AskToQuit()
    {
        m_quit = true;
        SetEvent(m_wake);
    }

    void Join()
    {
        if (m_thread)
            WaitForSingleObject(m_thread, INFINITE);
    }

private:
    static unsigned __stdcall ThreadMain(void* self)
    {
        static_cast<CLogger*>(self)->Run();
        return 0;
    }
    void Run();

    HANDLE m_wake = nullptr;
    HANDLE m_thread = nullptr;
    std::deque<std::string> m_lines;
    bool m_quit = false;
};

// Guards the writer's existence and its queue.
std::mutex g_queueLock;
CLogger* g_logger = nullptr;

void CLogger::Run()
{
    for (;;) {
        WaitForSingleObject(m_wake, INFINITE);
        std::deque<std::string> batch;
        bool quit;
        {
            std::lock_guard<std::mutex> lock(g_queueLock);
            batch.swap(m_lines);
            quit = m_quit;
        }
        // The quit flag is set under the queue lock after the writer is
        // unpublished, so this last batch holds every line ever queued.
        if (!batch.empty())
            LogFile::Instance().WriteLines(batch);
        if (quit)
            break;
    }
    LogFile::Instance().DirectLine("exit logger thread\n");
}

} // namespace

void WriteLog(int level, const char* format, ...)
{
    LogFile& file = LogFile::Instance();
    if (level < file.MinimumLevel() || !format)
        return;
    file.EnsureOpen();

    char text[kMaxLineChars + 1];
    va_list arguments;
    va_start(arguments, format);
    const int written = vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (written < 0)
        text[0] = '\0';

    std::string line = TimeStamp() + ":" + kPrefixes[level > kLogPlain ? kLogPlain : level];
    line.append(text, strnlen(text, kMaxLineChars - 1 > line.size() ? kMaxLineChars - 1 - line.size() : 0));
    line += '\n';

    std::lock_guard<std::mutex> lock(g_queueLock);
    if (g_logger)
        g_logger->Enqueue(std::move(line));
}

void StartLogger()
{
    std::lock_guard<std::mutex> lock(g_queueLock);
    if (!g_logger)
        g_logger = new CLogger;
}

void StopLogger()
{
    CLogger* logger;
    {
        std::lock_guard<std::mutex> lock(g_queueLock);
        logger = g_logger;
        g_logger = nullptr;
        if (logger)
            logger->AskToQuit();
    }
    if (!logger)
        return;
    logger->Join();
    delete logger;
}

std::string WideToAnsi(const wchar_t* text, int length)
{
    if (!text || length < -1 || length == 0)
        return std::string();
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string ansi(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, length, &ansi[0], bytes, nullptr, nullptr);
    if (length == -1)
        ansi.pop_back();  // the terminator
    return ansi;
}

std::wstring AnsiToWide(const std::string& text, unsigned codePage)
{
    if (text.empty())
        return std::wstring();
    const int chars = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (chars <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], chars);
    return wide;
}

void SetEngineLogFolderForTest(const std::wstring& folder)
{
    LogFile::Instance().SetFolder(folder);
}

void SetEngineLogLimitsForTest(uint64_t rotationBytes, unsigned checkIntervalMs)
{
    LogFile::Instance().SetLimits(rotationBytes, checkIntervalMs);
}

void CheckEngineLogSizeForTest()
{
    LogFile::Instance().CheckSize();
}

void CloseEngineLogForTest()
{
    LogFile::Instance().Close(false);
}

std::wstring EngineLogPath()
{
    return LogFile::FileIn(LogFile::Instance().Folder(), ".log");
}

std::wstring EngineLogOldPath()
{
    return LogFile::FileIn(LogFile::Instance().Folder(), ".old.log");
}
