// The compositor's lines go to the engine log at info level.
#include "CompositorLog.h"
#include "EngineLog.h"

#include <cstdarg>
#include <cstdio>

void CompositorLog(const char* format, ...)
{
    char line[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    WriteLog(kLogInfo, "%s", line);
}
