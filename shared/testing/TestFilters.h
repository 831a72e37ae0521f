// Registers or removes a filter module's classes (a test camera, the
// product's filter, the stand-in filters) in the test's own Wine prefix,
// through the module's own registration entries.
#pragma once

#include <windows.h>

namespace tqtest {

inline bool CallServerRegistration(const wchar_t* modulePath, bool registerServer)
{
    HMODULE module = LoadLibraryW(modulePath);
    if (!module)
        return false;
    using Entry = HRESULT(WINAPI*)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
        GetProcAddress(module, registerServer ? "DllRegisterServer" : "DllUnregisterServer")));
    return entry && SUCCEEDED(entry());
}

// The test-only stand-ins for other vendors' filters, beside the test program.
inline bool CallTestFilterRegistration(bool registerServer)
{
    return CallServerRegistration(L"TqTestFilters.ax", registerServer);
}

} // namespace tqtest
