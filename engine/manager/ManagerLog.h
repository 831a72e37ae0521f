// Logging as the manager's files use it (bridged to the engine log).
#pragma once

void WriteLog(int level, const char* format, ...);
void StartLogger();
void StopLogger();
// One "Lumeo" record at level 1 through the outside log library.
void LogLine(const char* text);
