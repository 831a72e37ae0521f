#include "ServiceAddress.h"

#include "SetupLog.h"

#include <windows.h>

#include <cwctype>

#ifndef TQ_SERVICE_URL_DEFAULT
#define TQ_SERVICE_URL_DEFAULT L""
#endif
#ifndef TQ_SERVICE_URL_FROM_ENV
#define TQ_SERVICE_URL_FROM_ENV 0
#endif

namespace {

bool startsWithNoCase(const std::wstring& text, const wchar_t* prefix, size_t length)
{
    return text.size() >= length && _wcsnicmp(text.c_str(), prefix, length) == 0;
}

} // namespace

bool isHttpUrl(const std::wstring& url)
{
    size_t hostStart = 0;
    if (startsWithNoCase(url, L"http://", 7))
        hostStart = 7;
    else if (startsWithNoCase(url, L"https://", 8))
        hostStart = 8;
    else
        return false;
    for (wchar_t c : url) {
        if (c <= L' ' || c == 0x7F || c == L'"' || c == L'\\' || c == L'<' || c == L'>' || c == L'^' || c == L'`' ||
            c == L'{' || c == L'|' || c == L'}')
            return false;
    }
    size_t hostEnd = url.find_first_of(L"/?#", hostStart);
    if (hostEnd == std::wstring::npos)
        hostEnd = url.size();
    if (hostEnd == hostStart)
        return false;
    for (size_t i = hostStart; i < hostEnd; ++i) {
        wchar_t c = url[i];
        if (!(iswalnum(c) || c == L'.' || c == L'-' || c == L':' || c == L'[' || c == L']'))
            return false;
    }
    return true;
}

std::wstring serviceBaseUrl()
{
    std::wstring url = TQ_SERVICE_URL_DEFAULT;
#if TQ_SERVICE_URL_FROM_ENV
    wchar_t value[1024];
    DWORD n = GetEnvironmentVariableW(L"TQ_SERVICE_URL", value, 1024);
    if (n > 0 && n < 1024)
        url.assign(value, n);
#endif
    while (!url.empty() && url.back() == L'/')
        url.pop_back();
    if (!url.empty() && !isHttpUrl(url)) {
        // Any process can set a user's environment: a file, a share or a
        // program is never fetched from or opened by the elevated installer.
        writeLog(L"serviceBaseUrl, %s is no http or https address, service requests skipped.", url.c_str());
        return std::wstring();
    }
    return url;
}
