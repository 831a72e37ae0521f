// Registers or removes the test-only stand-in filters (TqTestFilters.ax,
// beside the test program) in the test's own Wine prefix.
#pragma once

#include <windows.h>

namespace tqtest {

inline bool CallTestFilterRegistration(bool registerServer)
{
    HMODULE module = LoadLibraryW(L"TqTestFilters.ax");
    if (!module)
        return false;
    using Entry = HRESULT(WINAPI*)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
        GetProcAddress(module, registerServer ? "DllRegisterServer" : "DllUnregisterServer")));
    return entry && SUCCEEDED(entry());
}

} // namespace tqtest
