#include "VpLog.h"
#include "EngineLog.h"

#include <cstdarg>
#include <cstdio>

namespace vp {

namespace {
LogHook g_hook = nullptr;
}

void SetLogHook(LogHook hook) { g_hook = hook; }

// Lines go to the engine log (info) unless a test watches them.
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
        WriteLog(kLogInfo, "%s", text);
    }
}

}  // namespace vp
