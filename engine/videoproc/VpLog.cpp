#include "VpLog.h"

#include <windows.h>
#include <cstdarg>
#include <cstdio>

namespace vp {

namespace {
LogHook g_hook = nullptr;
}

void SetLogHook(LogHook hook) { g_hook = hook; }

// Stands in for the engine's log writer until that is linked here.
void LogInfo(const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (g_hook) {
        g_hook(text);
    } else {
        OutputDebugStringA(text);
    }
}

}  // namespace vp
