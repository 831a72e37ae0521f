#include "ServiceAddress.h"

#include <windows.h>

#ifndef TQ_SERVICE_URL_DEFAULT
#define TQ_SERVICE_URL_DEFAULT L""
#endif

std::wstring serviceBaseUrl()
{
    std::wstring url = TQ_SERVICE_URL_DEFAULT;
    wchar_t value[1024];
    DWORD n = GetEnvironmentVariableW(L"TQ_SERVICE_URL", value, 1024);
    if (n > 0 && n < 1024)
        url.assign(value, n);
    while (!url.empty() && url.back() == L'/')
        url.pop_back();
    return url;
}
