// The engine's own log file. WriteLog time-stamps a printf-style line and
// queues it to one writer thread, which appends it to
//   <application data>\brenlo\tqsorva\log\tqsorva.log
// The file is appended to across runs. Every 30 minutes a check on the thread
// of the first WriteLog (a window-less SetTimer: that thread's message loop
// runs it) moves a file larger than 20,971,520 bytes to tqsorva.old.log,
// replacing the previous one, and starts afresh. A file or folder named
// "debug" in the log folder, present when the file is opened, lets level-0
// lines through.
//
// Line format: "<ctime>:<prefix><text>\n", at most 4095 characters, where
// <ctime> is the local time as _ctime64 gives it ("Wed Dec 10 13:46:00 2025")
// and the prefix is that of the level:
//   0 "debug - ", 1 "info  - ", 2 "WARN  - ", 3 "ERROR - ", 4 (and up) "      - ".
// The file's own lines (90 plus signs and "program start" when it is
// opened, the check's lines, "exit logger thread", "program end" when the
// library unloads) go straight to the file at level 1.
//
// Nothing in logging reports a failure to its caller.
#pragma once

#include <cstdio>
#include <string>

// Levels of WriteLog.
enum EngineLogLevel { kLogDebug = 0, kLogInfo = 1, kLogWarn = 2, kLogError = 3, kLogPlain = 4 };

// Formats and queues one line; callable from every thread. A line below the
// minimum level (1, or 0 in debug mode) is dropped before it is formatted.
// The first call in the process opens the file and starts the size check.
// Lines written while no writer runs (before StartLogger, after StopLogger)
// are dropped.
void WriteLog(int level, const char* format, ...)
#ifdef __MINGW_PRINTF_FORMAT
    __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)))
#endif
    ;

// Starts the writer thread (once; again after StopLogger).
void StartLogger();
// Stops the writer thread: the lines queued so far are written first, then
// "exit logger thread". Waits for the thread without time-out.
void StopLogger();

// Wide text (length in characters, -1 for NUL-terminated) to the ANSI code
// page; a null text or a length below -1 gives an empty string.
std::string WideToAnsi(const wchar_t* text, int length = -1);
// Narrow text in the given code page to wide.
std::wstring AnsiToWide(const std::string& text, unsigned codePage = 0 /* CP_ACP */);
