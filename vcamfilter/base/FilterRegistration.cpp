#include "FilterRegistration.h"

#include <vector>

bool GetModulePath(std::wstring& path)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    while (true) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetModuleFileNameW(GetModuleInstanceHolder(), buffer.data(), DWORD(buffer.size()));
        if (length == 0)
            return false;
        if (length < buffer.size()) {
            path.assign(buffer.data(), length);
            return true;
        }
        if (buffer.size() >= 32768) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
}

static std::wstring ClsidKeyPath(REFCLSID clsid)
{
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

static LONG SetStringValue(HKEY key, const wchar_t* name, const wchar_t* value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          DWORD((wcslen(value) + 1) * sizeof(wchar_t)));
}

HRESULT RegisterComServer(REFCLSID clsid, const wchar_t* description, const wchar_t* modulePath,
                          const wchar_t* threadingModel)
{
    const std::wstring classPath = ClsidKeyPath(clsid);
    HKEY classKey = nullptr;
    LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, classPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                 &classKey, nullptr);
    if (error != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(error);
    error = SetStringValue(classKey, nullptr, description);
    HKEY serverKey = nullptr;
    if (error == ERROR_SUCCESS)
        error = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr);
    if (error == ERROR_SUCCESS) {
        error = SetStringValue(serverKey, nullptr, modulePath);
        if (error == ERROR_SUCCESS)
            error = SetStringValue(serverKey, L"ThreadingModel", threadingModel);
        RegCloseKey(serverKey);
    }
    RegCloseKey(classKey);
    return HRESULT_FROM_WIN32(error);
}

HRESULT UnregisterComServer(REFCLSID clsid)
{
    const LONG error = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKeyPath(clsid).c_str());
    if (error == ERROR_FILE_NOT_FOUND)
        return S_OK;
    return HRESULT_FROM_WIN32(error);
}

REGFILTER2 MakeRegFilter2(const FilterSetup& setup)
{
    REGFILTER2 filter = {};
    filter.dwVersion = 1;
    filter.dwMerit = setup.merit;
    filter.cPins = setup.pinCount;
    filter.rgPins = setup.pins;
    return filter;
}

HRESULT RegisterTemplates(const CFactoryTemplate* templates, int count, bool reg)
{
    std::wstring path;
    if (!GetModulePath(path))
        return HRESULT_FROM_WIN32(GetLastError());
    CComScope com;
    tq::ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void**>(mapper.Receive()));
    if (FAILED(hr))
        return hr;
    for (int i = 0; i < count && SUCCEEDED(hr); ++i) {
        const CFactoryTemplate& entry = templates[i];
        if (reg) {
            hr = RegisterComServer(*entry.clsid, entry.name, path.c_str(), L"Both");
            if (SUCCEEDED(hr) && entry.setup) {
                const REGFILTER2 filter = MakeRegFilter2(*entry.setup);
                IMoniker* moniker = nullptr;
                hr = mapper->RegisterFilter(*entry.clsid, entry.setup->name, &moniker, nullptr, nullptr, &filter);
                if (moniker)
                    moniker->Release();
            }
        } else {
            if (entry.setup)
                mapper->UnregisterFilter(nullptr, nullptr, *entry.clsid);
            hr = UnregisterComServer(*entry.clsid);
        }
    }
    mapper.Release();
    CoFreeUnusedLibraries();
    return hr;
}
