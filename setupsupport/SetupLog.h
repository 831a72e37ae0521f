// The setup programs' log: UTF-16LE lines with a local time stamp in a file
// of the product's per-user "setup" folder. Code logs through writeLog().
#pragma once

#include <windows.h>

#include <string>

#include "CritSec.h"

class CSetupLog {
public:
    // Longest line, time stamp and CR LF included, in UTF-16 units.
    static constexpr size_t kMaxLineChars = 2047;
    // A file above this size is started afresh by the next program opening it.
    static constexpr LONGLONG kMaxFileBytes = 1048576;

    // The program's log: folder under the roaming application-data folder.
    CSetupLog();
    // A log in the given folder (created when missing); the folder ends in "\\".
    explicit CSetupLog(const std::wstring& folder);
    ~CSetupLog();
    CSetupLog(const CSetupLog&) = delete;
    CSetupLog& operator=(const CSetupLog&) = delete;

    // Chooses the file in the log folder; the file is opened by the next line.
    void setFileName(const std::wstring& name);
    // Writes one time-stamped line. Lines are dropped while the file cannot
    // be opened; every later line tries again.
    void writeLine(const wchar_t* message);

    const std::wstring& folder() const { return m_folder; }
    const std::wstring& filePath() const { return m_filePath; }

private:
    bool open();
    void close();

    tq::CCritSec m_lock;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    std::wstring m_openedPath;
    bool m_opened = false;
    std::wstring m_filePath;
    std::wstring m_folder;
};

// The program's one log.
CSetupLog& setupLog();

// Names the program's log file ("setupV2.log", "unistV2.log").
void setLogFileName(const wchar_t* name);
// printf-style (wide) message, cut to what one line can hold.
void writeLog(const wchar_t* format, ...);
