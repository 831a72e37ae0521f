#include "MediaLog.h"
#include "LumeoLog.h"
#include "ManagerLog.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<MediaLogObserver> g_observer{nullptr};
}

void SetMediaLogObserver(MediaLogObserver observer)
{
    g_observer = observer;
}

void MediaWriteLog(const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    WriteLog(1, "%s", text);
    if (MediaLogObserver observer = g_observer.load())
        observer(std::string("log: ") + text);
}

void MediaComFailure(const char* text, long hr)
{
    MediaWriteLog("%s", FormatComFailure(text, HRESULT(hr)).c_str());
}

void MediaLogLine(const std::string& text)
{
    // Records are UTF-8 here (some carry full-width commas).
    std::wstring wide(text.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), &wide[0], int(wide.size()));
    wide.resize(n > 0 ? size_t(n) : 0);
    LUMEO_LOG_LINE().AppendWide(wide.c_str());
    if (MediaLogObserver observer = g_observer.load())
        observer("line: " + text);
}
