// The media-file source's two log channels: the engine's own log file
// (failures and progress at info level) and "Lumeo" records for the outside
// log library.
#pragma once

#include <string>

void MediaWriteLog(const char* format, ...);
// "<text> , hr = %8x" into the engine's log file.
void MediaComFailure(const char* text, long hr);
// Text in UTF-8.
void MediaLogLine(const std::string& text);

// Test hook: sees every line of both channels ("log: " or "line: " + text).
using MediaLogObserver = void (*)(const std::string& line);
void SetMediaLogObserver(MediaLogObserver observer);
