#include "KqServices.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

typedef ULONGLONG(WINAPI* TickCount64)();
TickCount64 g_tickCount64;
bool g_lookedUp;
uint32_t g_lastTick;
uint32_t g_wraps;
uint32_t (*g_tickSource)();
void (*g_capture)(const KqString&);

uint32_t systemTick() { return GetTickCount(); }

} // namespace

void kqSetTickSource(uint32_t (*source)())
{
    g_tickSource = source;
    g_lastTick = 0;
    g_wraps = 0;
}

int64_t kqClockNow()
{
    if (!g_lookedUp) {
        HMODULE kernel = GetModuleHandleW(L"kernel32");
        if (kernel)
            g_tickCount64 = reinterpret_cast<TickCount64>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount64")));
        g_lookedUp = true;
    }
    if (g_tickCount64 && !g_tickSource)
        return static_cast<int64_t>(g_tickCount64());
    uint32_t tick = g_tickSource ? g_tickSource() : systemTick();
    if (tick < g_lastTick)
        ++g_wraps;
    g_lastTick = tick;
    return (static_cast<int64_t>(g_wraps) << 32) + tick;
}

void kqSetDebugCapture(void (*capture)(const KqString&)) { g_capture = capture; }

KqDebugStream::~KqDebugStream()
{
    const wchar_t* text = reinterpret_cast<const wchar_t*>(m_message.data());
    fputws(L"Debug: ", stdout);
    fputws(text, stdout);
    fputws(L"\n", stdout);
    fflush(stdout);
    KqString line(m_message);
    line.append(KqChar(u'\n'));
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(line.data()));
    if (g_capture)
        g_capture(m_message);
}

KqString kqModuleFileName(void* module)
{
    // Long paths do not fit 260 units: grow until the name is whole.
    std::vector<wchar_t> buffer(260);
    for (;;) {
        DWORD n = GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return KqString();
        if (n < buffer.size() - 1 || buffer.size() >= 32768)
            return KqString(reinterpret_cast<const KqChar*>(buffer.data()), static_cast<int>(n));
        buffer.resize(buffer.size() * 2);
    }
}
