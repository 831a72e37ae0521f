// Registry side of an in-process filter server: the COM class keys and the
// filter's entries through IFilterMapper2.
#pragma once

#include "ClassFactory.h"

#include <string>

// The full path of this module (wide); false with the last error set when it fails.
bool GetModulePath(std::wstring& path);

// HKCR\CLSID\{clsid} with its description and InprocServer32 (path, threading model).
HRESULT RegisterComServer(REFCLSID clsid, const wchar_t* description, const wchar_t* modulePath,
                          const wchar_t* threadingModel);
// Removes HKCR\CLSID\{clsid} with everything under it; S_OK when it was not there.
HRESULT UnregisterComServer(REFCLSID clsid);

// Registers (or removes) every template's COM keys and its entry in DirectShow's
// own filter category.
HRESULT RegisterTemplates(const CFactoryTemplate* templates, int count, bool reg);

// The REGFILTER2 (version 1) describing one filter's setup data.
REGFILTER2 MakeRegFilter2(const FilterSetup& setup);

// COM initialised on this thread for a scope; uninitialised only when it worked.
class CComScope {
public:
    CComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CComScope() { if (SUCCEEDED(m_hr)) CoUninitialize(); }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;
    // S_OK, S_FALSE (already initialised) and RPC_E_CHANGED_MODE all leave COM usable.
    bool Usable() const { return SUCCEEDED(m_hr) || m_hr == RPC_E_CHANGED_MODE; }
    HRESULT Result() const { return m_hr; }
private:
    HRESULT m_hr;
};
