// The module's classes: a table of factory templates, the class factory that
// serves DllGetClassObject, and the module-instance holder.
#pragma once

#include "ComBase.h"

#include <dshow.h>

// What registration writes for one filter class.
struct FilterSetup {
    const CLSID* clsid;
    const wchar_t* name;
    DWORD merit;
    ULONG pinCount;
    const REGFILTERPINS* pins;
};

using CreateInstanceFn = CUnknown* (*)(IUnknown* outer, HRESULT* hr);

struct CFactoryTemplate {
    const wchar_t* name;
    const CLSID* clsid;
    CreateInstanceFn create;
    const FilterSetup* setup;
};

// The module instance, filled by the library's entry point.
HINSTANCE& GetModuleInstanceHolder();

class CClassFactory final : public IClassFactory {
public:
    explicit CClassFactory(const CFactoryTemplate* entry);
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    ~CClassFactory();
    const CFactoryTemplate* m_entry;
    LONG m_refCount = 1;
};

// DllGetClassObject and DllCanUnloadNow over a template table.
HRESULT GetClassObjectFromTemplates(const CFactoryTemplate* templates, int count, REFCLSID clsid, REFIID riid,
                                    void** ppv);
HRESULT CanUnloadModule();
