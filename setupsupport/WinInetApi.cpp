#include "WinInetApi.h"

#include "DllSearch.h"

const WinInetApi& WinInet()
{
    static const WinInetApi api = [] {
        WinInetApi bound;
        const HMODULE library = loadSystemLibrary(L"wininet.dll");
        if (!library)
            return bound;
        bool all = true;
#define TQ_WININET_BIND(name)                                                                          \
    bound.name = reinterpret_cast<decltype(bound.name)>(reinterpret_cast<void*>(GetProcAddress(library, #name))); \
    all = all && bound.name;
        TQ_WININET_FUNCTIONS(TQ_WININET_BIND)
#undef TQ_WININET_BIND
        bound.available = all;
        return bound;
    }();
    return api;
}
