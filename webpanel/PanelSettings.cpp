#include "PanelSettings.h"

#include "PanelText.h"

#include <shlobj.h>
#include <windows.h>

#include <cwchar>
#include <mutex>
#include <string>

#ifndef TQ_SERVICE_URL_DEFAULT
#define TQ_SERVICE_URL_DEFAULT "http://www.tqsorva.com"
#endif

namespace {
std::mutex g_lock;
std::wstring g_testFolder;
}  // namespace

namespace PanelSettings {

KqString appFolder()
{
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (!g_testFolder.empty())
            return fromWide(g_testFolder);
    }
    wchar_t base[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)))
        return KqString();
    return fromWide(std::wstring(base) + L"\\brenlo\\tqsorva");
}

void setAppFolderForTest(const KqString& folder)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_testFolder = toWide(folder);
}

double configNumber(const wchar_t* name, double defaultValue)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPanelConfigKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return defaultValue;
    wchar_t buffer[64] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer - sizeof(wchar_t);
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return defaultValue;
    if (type == REG_DWORD && size == sizeof(DWORD))
        return static_cast<double>(*reinterpret_cast<DWORD*>(buffer));
    if (type != REG_SZ)
        return defaultValue;
    wchar_t* end = nullptr;
    double value = wcstod(buffer, &end);
    return (end == buffer) ? defaultValue : value;
}

KqString pathJoin(const KqString& folder, const KqString& name)
{
    std::wstring joined = toWide(folder);
    if (!joined.empty() && joined.back() != L'\\' && joined.back() != L'/')
        joined += L'\\';
    joined += toWide(name);
    return fromWide(joined);
}

KqString serviceUrl()
{
    wchar_t buffer[1024] = {};
    DWORD n = GetEnvironmentVariableW(L"TQ_SERVICE_URL", buffer, 1024);
    std::wstring url = (n > 0 && n < 1024) ? std::wstring(buffer, n) : toWide(fromUtf8(TQ_SERVICE_URL_DEFAULT));
    while (!url.empty() && url.back() == L'/')
        url.pop_back();
    return fromWide(url);
}

KqString effectDepotUrl()
{
    return serviceUrl() + KqString("/qn_effect_depot/index.php");
}

}  // namespace PanelSettings
