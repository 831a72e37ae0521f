// Logging as the manager's files (and the sources it wires) use it: the
// engine log file and "Lumeo" records for the outside log library. Declared
// here so that users need no include path of the log library; defined there.
#pragma once

void WriteLog(int level, const char* format, ...);
void StartLogger();
void StopLogger();
// One "Lumeo" record at level 1 through the outside log library.
void LogLine(const char* text);
