// Test seams of the engine's log file. The product never calls these.
#pragma once

#include <cstdint>
#include <string>

// The folder (ending in a backslash) that the next opening of the log file
// uses instead of the one under the application-data folder; empty: back to
// the product's folder.
void SetEngineLogFolderForTest(const std::wstring& folder);

// The size above which the check rotates the file, and the check's period,
// for the next opening; 0 keeps the product's values (20,971,520 bytes,
// 1,800,000 ms).
void SetEngineLogLimitsForTest(uint64_t rotationBytes, unsigned checkIntervalMs);

// Runs one tick of the size check now, on the calling thread.
void CheckEngineLogSizeForTest();

// Does what unloading the library does (the check's end line, "program end",
// close) and forgets the file, so that the next WriteLog opens it again as
// the first one of a process would (header lines, debug marker, check).
void CloseEngineLogForTest();

// Full paths of the log file and of the rotated file that the current (or
// next) opening uses.
std::wstring EngineLogPath();
std::wstring EngineLogOldPath();
