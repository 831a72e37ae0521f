// Shared by the music tests: the generated songs next to the test program,
// a message pump that waits for a condition, a listener that records what
// the players report, and the three log channels (standard output, the
// stand-in kqlog's records, the engine's log file).
#pragma once

#include "EngineLog.h"
#include "EngineLogTesting.h"
#include "IAccompanyMusic.h"
#include "KqlogRecords.h"

#include <windows.h>
#include <io.h>
#include <mmsystem.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace musictest {

inline std::string BinFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\'));
}

// Songs made by the build with Debian's ffmpeg (4 s each).
inline std::string Song(const char* name)
{
    return BinFolder() + "\\music\\" + name;
}

inline std::string TempFolder()
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "tq-music-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

inline std::string WriteTempFile(const std::string& name, const std::string& bytes)
{
    const std::string path = TempFolder() + "\\" + name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
}

inline std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Dispatches this thread's messages until the condition holds or the time is up.
inline bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

struct TimedPosition {
    double seconds;
    DWORD wallMs;
};

class RecordingListener : public IAccompanyMusicListener {
public:
    void OnAccompanyPosition(double seconds) override { positions.push_back({seconds, timeGetTime()}); }
    void OnAccompanyEnd() override { ++ends; }
    void OnAccompanyDuration(const char* fileName, double milliseconds) override
    {
        durations.push_back({fileName ? fileName : "", milliseconds});
    }
    double LastPosition() const { return positions.empty() ? -1.0 : positions.back().seconds; }
    void Clear() { positions.clear(); durations.clear(); ends = 0; }

    std::vector<TimedPosition> positions;
    std::vector<std::pair<std::string, double>> durations;
    int ends = 0;
};

// Standard output of the whole process (the workers' threads included)
// into a file while the object lives.
class StdoutCapture {
public:
    StdoutCapture()
    {
        m_path = TempFolder() + "\\stdout-" + std::to_string(GetTickCount()) + ".txt";
        fflush(stdout);
        m_saved = _dup(_fileno(stdout));
        m_file = fopen(m_path.c_str(), "wb");
        _dup2(_fileno(m_file), _fileno(stdout));
    }
    ~StdoutCapture() { Stop(); DeleteFileA(m_path.c_str()); }
    std::string Stop()
    {
        if (m_saved >= 0) {
            fflush(stdout);
            _dup2(m_saved, _fileno(stdout));
            _close(m_saved);
            fclose(m_file);
            m_saved = -1;
            m_text = ReadFileBytes(m_path);
        }
        return m_text;
    }
private:
    std::string m_path;
    std::string m_text;
    FILE* m_file = nullptr;
    int m_saved = -1;
};

// The kqlog records and the engine's log file, each in a file of this run.
class LogFiles {
public:
    void Start()
    {
        m_records = tq::kqlog::FromCodePage(TempFolder() + "\\kqlog.txt", CP_ACP);
        DeleteFileW(m_records.c_str());
        SetEnvironmentVariableW(tq::kqlog::kFileVariable, m_records.c_str());
        m_logFolder = tq::kqlog::FromCodePage(TempFolder() + "\\log\\", CP_ACP);
        SetEngineLogFolderForTest(m_logFolder);
        StartLogger();
    }
    // Texts of the kqlog records so far, as UTF-8.
    std::vector<std::string> RecordTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& record : tq::kqlog::ReadRecords(m_records))
            texts.push_back(tq::kqlog::ToUtf8(record.text));
        return texts;
    }
    std::vector<tq::kqlog::Record> Records() const { return tq::kqlog::ReadRecords(m_records); }
    // The engine's log file so far: stops and restarts the writer so that
    // everything queued has been written.
    std::string EngineLog() const
    {
        StopLogger();
        std::string text = ReadFileBytes(WideToAnsi(EngineLogPath().c_str()));
        StartLogger();
        return text;
    }
private:
    std::wstring m_records;
    std::wstring m_logFolder;
};

inline bool Contains(const std::vector<std::string>& texts, const std::string& text)
{
    for (const auto& t : texts)
        if (t == text)
            return true;
    return false;
}

inline size_t CountOf(const std::string& haystack, const std::string& needle)
{
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        ++count;
    return count;
}

} // namespace musictest
