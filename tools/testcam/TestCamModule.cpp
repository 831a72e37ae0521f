// The test camera's COM server: class factory, unload check and registration
// in the video input device category (twice, as two devices of one model).
#include "TestCamFilter.h"

#include <uuids.h>

#include <cstdio>
#include <cwchar>

namespace {

HMODULE g_module = nullptr;
const wchar_t kFriendlyName[] = L"Tq Test Camera";
const wchar_t* const kInstances[] = {L"TqTestCam", L"TqTestCamTwin"};

class CFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { ++g_testCamObjects; return 2; }
    ULONG STDMETHODCALLTYPE Release() override { --g_testCamObjects; return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* filter = new CTestCamFilter;
        const HRESULT hr = filter->QueryInterface(riid, ppv);
        filter->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        lock ? ++g_testCamObjects : --g_testCamObjects;
        return S_OK;
    }
};
CFactory g_factory;

std::wstring ClsidText()
{
    wchar_t text[64];
    StringFromGUID2(CLSID_TqTestCamera, text, 64);
    return text;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv)
{
    if (clsid != CLSID_TqTestCamera)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return g_testCamObjects.load() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(g_module, path, MAX_PATH);
    const std::wstring key = L"CLSID\\" + ClsidText();
    HKEY clsidKey = nullptr, serverKey = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &clsidKey, nullptr))
        return SELFREG_E_CLASS;
    RegSetValueExW(clsidKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kFriendlyName), sizeof kFriendlyName);
    if (RegCreateKeyExW(clsidKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr) == 0) {
        RegSetValueExW(serverKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                       DWORD((wcslen(path) + 1) * sizeof(wchar_t)));
        RegSetValueExW(serverKey, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Both"),
                       sizeof L"Both");
        RegCloseKey(serverKey);
    }
    RegCloseKey(clsidKey);

    const HRESULT init = CoInitialize(nullptr);
    IFilterMapper2* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void**>(&mapper));
    if (SUCCEEDED(hr)) {
        REGPINTYPES type = {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};
        REGFILTERPINS2 pin = {};
        pin.dwFlags = REG_PINFLAG_B_OUTPUT;
        pin.cInstances = 1;
        pin.nMediaTypes = 1;
        pin.lpMediaType = &type;
        pin.clsPinCategory = &PIN_CATEGORY_CAPTURE;
        REGFILTER2 filter = {};
        filter.dwVersion = 2;
        filter.dwMerit = MERIT_DO_NOT_USE;
        filter.cPins2 = 1;
        filter.rgPins2 = &pin;
        for (const wchar_t* instance : kInstances) {
            const HRESULT one = mapper->RegisterFilter(CLSID_TqTestCamera, kFriendlyName, nullptr,
                                                       &CLSID_VideoInputDeviceCategory, instance, &filter);
            if (FAILED(one))
                hr = one;
        }
        mapper->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return hr;
}

STDAPI DllUnregisterServer()
{
    const HRESULT init = CoInitialize(nullptr);
    IFilterMapper2* mapper = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                   reinterpret_cast<void**>(&mapper)))) {
        for (const wchar_t* instance : kInstances)
            mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, instance, CLSID_TqTestCamera);
        mapper->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    const std::wstring key = L"CLSID\\" + ClsidText();
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return S_OK;
}
