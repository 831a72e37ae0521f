// The camera source's two log channels: the engine's own log file (WriteLog)
// and one-line records for the outside log library (CLogLine, level 1).
#pragma once

#include <string>

void CaptureWriteLog(int level, const char* format, ...);
// Text in UTF-8 (some records are Chinese).
void CaptureLogLine(const std::string& text);

// Test hook: sees every line of both channels ("log: " or "line: " + text).
using CaptureLogObserver = void (*)(const std::string& line);
void SetCaptureLogObserver(CaptureLogObserver observer);
