#include "CaptureLog.h"
#include "ManagerLog.h"

#ifdef TQ_HAVE_LOGLINE
#include "LogLine.h"
#endif

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace {
std::atomic<CaptureLogObserver> g_observer{nullptr};
}

void SetCaptureLogObserver(CaptureLogObserver observer)
{
    g_observer = observer;
}

void CaptureWriteLog(int level, const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    WriteLog(level, "%s", text);
    if (CaptureLogObserver observer = g_observer.load())
        observer(std::string("log: ") + text);
}

void CaptureLogLine(const std::string& text)
{
#ifdef TQ_HAVE_LOGLINE
    std::wstring wide(text.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), &wide[0], int(wide.size()));
    wide.resize(n > 0 ? size_t(n) : 0);
    CLogLine("Lumeo", 1, __FILE__, __LINE__, __FUNCTION__).AppendWide(wide.c_str());
#endif
    if (CaptureLogObserver observer = g_observer.load())
        observer("line: " + text);
}
