#include "ClassFactory.h"

#include <new>

HINSTANCE& GetModuleInstanceHolder()
{
    static HINSTANCE instance = nullptr;
    return instance;
}

CClassFactory::CClassFactory(const CFactoryTemplate* entry) : m_entry(entry)
{
    InterlockedIncrement(&ModuleLockCount());
}

CClassFactory::~CClassFactory()
{
    InterlockedDecrement(&ModuleLockCount());
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef()
{
    return InterlockedIncrement(&m_refCount);
}

STDMETHODIMP_(ULONG) CClassFactory::Release()
{
    const LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0)
        delete this;
    return count;
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // An aggregating caller may ask only for our inner IUnknown.
    if (outer && riid != IID_IUnknown)
        return E_NOINTERFACE;
    HRESULT hr = S_OK;
    CUnknown* object = m_entry->create(outer, &hr);
    if (!object)
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    object->NonDelegatingAddRef();
    if (SUCCEEDED(hr))
        hr = object->NonDelegatingQueryInterface(riid, ppv);
    object->NonDelegatingRelease();
    return hr;
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock)
{
    if (lock)
        InterlockedIncrement(&ModuleLockCount());
    else
        InterlockedDecrement(&ModuleLockCount());
    return S_OK;
}

HRESULT GetClassObjectFromTemplates(const CFactoryTemplate* templates, int count, REFCLSID clsid, REFIID riid,
                                    void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory)
        return E_NOINTERFACE;
    for (int i = 0; i < count; ++i) {
        if (*templates[i].clsid == clsid) {
            auto* factory = new (std::nothrow) CClassFactory(&templates[i]);
            if (!factory)
                return E_OUTOFMEMORY;
            *ppv = static_cast<IClassFactory*>(factory);
            return S_OK;
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadModule()
{
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}
