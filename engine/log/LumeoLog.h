// The engine's records for the outside log library kqlog (module "Lumeo",
// level 1) and its reports of failed COM steps.
#pragma once

#include "LogLine.h"

#include <windows.h>
#include <string>

constexpr char kLumeoLogModule[] = "Lumeo";
constexpr unsigned short kLumeoLogLevel = 1;

// A kqlog record of the engine with the compiler's file, line and function:
//   LUMEO_LOG_LINE().AppendNarrow("GetBufferData failed!");
#define LUMEO_LOG_LINE() TQ_LOG_LINE(kLumeoLogModule, kLumeoLogLevel)

// "<text> , hr = %8x": the form of a COM failure on standard output and in
// the engine's log file, e.g. "ERROR - Could not get IMediaControl. , hr = 80004005".
std::string FormatComFailure(const char* text, HRESULT hr);

// The players' graph-building failures: prints FormatComFailure and a line
// feed on standard output, and sends a kqlog record whose text is
// "<text> ,hr = <HRESULT in signed decimal>". Use LUMEO_REPORT_COM_FAILURE.
void ReportComFailure(const char* text, HRESULT hr, const char* file, unsigned short line, const char* function);
#define LUMEO_REPORT_COM_FAILURE(text, hr) \
    ReportComFailure((text), (hr), __FILE__, static_cast<unsigned short>(__LINE__), __FUNCTION__)

// The media-file source's failures: FormatComFailure into the engine's log
// file at info level.
void WriteComFailure(const char* text, HRESULT hr);

// The mood-music player's failures: FormatComFailure on standard output and
// into the engine's log file at info level.
void PrintAndWriteComFailure(const char* text, HRESULT hr);
