// The in-process server: the class table, the library's exports and the
// camera's registration in the video input device category.
#include "VirtualCamFilter.h"
#include "base/FilterRegistration.h"

#include <uuids.h>
#include <string>

namespace {

constexpr DWORD kCameraMerit = 0x600000;  // MERIT_NORMAL
constexpr wchar_t kCameraName[] = L"TqNelu";
constexpr wchar_t kInstanceName[] = L"zavova";

const REGPINTYPES kPinTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}};

const REGFILTERPINS kPins[] = {{
    const_cast<LPWSTR>(L"Output"), FALSE /*rendered*/, TRUE /*output*/, FALSE /*zero*/, FALSE /*many*/,
    &CLSID_NULL, nullptr, 1, kPinTypes,
}};

const FilterSetup kFilterSetup = {&CLSID_VirtualCamFilter, kCameraName, kCameraMerit, 1, kPins};

const CFactoryTemplate kTemplates[] = {
    {kCameraName, &CLSID_VirtualCamFilter, CVirtualCamFilter::CreateInstance, &kFilterSetup},
};
constexpr int kTemplateCount = sizeof(kTemplates) / sizeof(kTemplates[0]);

// Removes a filter class from the video input device category and its COM keys.
HRESULT UnregisterCamera(REFCLSID clsid, bool withInstanceName)
{
    std::wstring path;
    if (!GetModulePath(path))
        return HRESULT_FROM_WIN32(GetLastError());
    CComScope com;
    if (!com.Usable())
        return com.Result();
    tq::ComPtr<IFilterMapper2> mapper;
    const HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                        reinterpret_cast<void**>(mapper.Receive()));
    if (SUCCEEDED(hr)) {
        mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, nullptr, clsid);
        if (withInstanceName)
            mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, kInstanceName, clsid);
        mapper.Release();
        UnregisterComServer(clsid);
    }
    CoFreeUnusedLibraries();
    return hr;
}

} // namespace

HRESULT RemoveLegacyVirtualCam()
{
    return UnregisterCamera(CLSID_LegacyVirtualCamFilter, false);
}

HRESULT UnregisterVirtualCam()
{
    const HRESULT hr = RegisterTemplates(kTemplates, kTemplateCount, false);
    if (FAILED(hr))
        return hr;
    return UnregisterCamera(CLSID_VirtualCamFilter, true);
}

HRESULT RegisterVirtualCam()
{
    HRESULT hr = RegisterTemplates(kTemplates, kTemplateCount, true);
    if (FAILED(hr))
        return hr;
    std::wstring path;
    if (!GetModulePath(path))
        return HRESULT_FROM_WIN32(GetLastError());
    CComScope com;
    if (!com.Usable())
        return com.Result();
    hr = RegisterComServer(CLSID_VirtualCamFilter, kCameraName, path.c_str(), L"Both");
    if (SUCCEEDED(hr)) {
        tq::ComPtr<IFilterMapper2> mapper;
        hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                              reinterpret_cast<void**>(mapper.Receive()));
        if (SUCCEEDED(hr)) {
            const REGFILTER2 filter = MakeRegFilter2(kFilterSetup);
            IMoniker* moniker = nullptr;
            hr = mapper->RegisterFilter(CLSID_VirtualCamFilter, kCameraName, &moniker,
                                        &CLSID_VideoInputDeviceCategory, kInstanceName, &filter);
            if (moniker)
                moniker->Release();
        }
    }
    CoFreeUnusedLibraries();
    return hr;
}

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    GetModuleInstanceHolder() = instance;
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv)
{
    return GetClassObjectFromTemplates(kTemplates, kTemplateCount, clsid, riid, ppv);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return CanUnloadModule();
}

HRESULT STDAPICALLTYPE DllRegisterServer()
{
    RemoveLegacyVirtualCam();
    UnregisterVirtualCam();
    return RegisterVirtualCam();
}

HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    return UnregisterVirtualCam();
}

} // extern "C"
