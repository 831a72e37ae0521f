// The COM plumbing of the filter: a non-delegating IUnknown for aggregation,
// a handle guard, and the module's count of live objects for DllCanUnloadNow.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "ComPtr.h"
#include "CritSec.h"

struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

// Objects and server locks alive in this module.
LONG& ModuleLockCount();

class CUnknown : public INonDelegatingUnknown {
public:
    // outer: the aggregating object, or null for a stand-alone object.
    explicit CUnknown(IUnknown* outer);
    virtual ~CUnknown();
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    // The IUnknown every interface of this object answers through.
    IUnknown* GetOwner() const { return m_owner; }

private:
    IUnknown* m_owner;
    LONG m_refCount = 0;
};

// Hands out an interface pointer with a reference added.
inline HRESULT GetInterface(IUnknown* unknown, void** ppv)
{
    *ppv = unknown;
    unknown->AddRef();
    return S_OK;
}

// IUnknown of a class derived from CUnknown, forwarded to its owner.
#define TQ_DECLARE_IUNKNOWN                                                        \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override                  \
    { return GetOwner()->QueryInterface(riid, ppv); }                             \
    STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); }        \
    STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }

// Owns one kernel handle (null or INVALID_HANDLE_VALUE means none).
class CScopedHandle {
public:
    CScopedHandle() = default;
    explicit CScopedHandle(HANDLE h) : m_h(h) {}
    ~CScopedHandle() { Close(); }
    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;
    void Reset(HANDLE h) { Close(); m_h = h; }
    void Close()
    {
        if (m_h && m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
        m_h = nullptr;
    }
    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h && m_h != INVALID_HANDLE_VALUE; }
private:
    HANDLE m_h = nullptr;
};
