#include "LumeoLog.h"
#include "EngineLog.h"

#include <cstdio>

std::string FormatComFailure(const char* text, HRESULT hr)
{
    char code[16];
    snprintf(code, sizeof code, "%8x", static_cast<unsigned>(hr));
    return std::string(text ? text : "") + " , hr = " + code;
}

static void PrintComFailure(const char* text, HRESULT hr)
{
    const std::string line = FormatComFailure(text, hr) + "\n";
    fputs(line.c_str(), stdout);
    fflush(stdout);
}

void ReportComFailure(const char* text, HRESULT hr, const char* file, unsigned short line, const char* function)
{
    PrintComFailure(text, hr);
    CLogLine(kLumeoLogModule, kLumeoLogLevel, file, line, function)
        .AppendNarrow(text)
        .AppendWide(L" ,hr = ")
        .AppendInt(static_cast<int>(hr));
}

void WriteComFailure(const char* text, HRESULT hr)
{
    WriteLog(kLogInfo, "%s", FormatComFailure(text, hr).c_str());
}

void PrintAndWriteComFailure(const char* text, HRESULT hr)
{
    PrintComFailure(text, hr);
    WriteComFailure(text, hr);
}
