// Temporary bridge until the engine log lands: lines go to the debugger.
#include "CompositorLog.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

void CompositorLog(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    OutputDebugStringA(line);
}
