#include "KqPlatform.h"
#include "KqServices.h"

#include <windows.h>

#include <cstdio>
#include <vector>

bool kqPlatformTick64(int64_t* now)
{
    typedef ULONGLONG(WINAPI * TickCount64)();
    static TickCount64 tickCount64;
    static bool lookedUp;
    if (!lookedUp) {
        HMODULE kernel = GetModuleHandleW(L"kernel32");
        if (kernel)
            tickCount64 = reinterpret_cast<TickCount64>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount64")));
        lookedUp = true;
    }
    if (!tickCount64)
        return false;
    *now = static_cast<int64_t>(tickCount64());
    return true;
}

uint32_t kqPlatformTick32() { return GetTickCount(); }

void kqPlatformDebugOutput(const KqString& message)
{
    fputws(L"Debug: ", stdout);
    fputws(reinterpret_cast<const wchar_t*>(message.data()), stdout);
    fputws(L"\n", stdout);
    fflush(stdout);
    KqString line(message);
    line.append(KqChar(u'\n'));
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(line.data()));
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
