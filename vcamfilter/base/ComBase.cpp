#include "ComBase.h"

LONG& ModuleLockCount()
{
    static LONG count = 0;
    return count;
}

CUnknown::CUnknown(IUnknown* outer)
    : m_owner(outer ? outer : reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this)))
{
    InterlockedIncrement(&ModuleLockCount());
}

CUnknown::~CUnknown()
{
    InterlockedDecrement(&ModuleLockCount());
}

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown) {
        // INonDelegatingUnknown has IUnknown's layout: the inner unknown of an aggregate.
        *ppv = static_cast<INonDelegatingUnknown*>(this);
        NonDelegatingAddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef()
{
    return InterlockedIncrement(&m_refCount);
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease()
{
    const LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) {
        // Guards against re-entry when the destructor hands out and drops references.
        m_refCount = 1;
        delete this;
    }
    return count > 0 ? count : 0;
}
