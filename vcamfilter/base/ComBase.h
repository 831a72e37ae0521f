// The COM plumbing of the filter: a non-delegating IUnknown for aggregation,
// a small owning interface pointer, critical-section and handle guards, and
// the module's count of live objects for DllCanUnloadNow.
#pragma once

#include <windows.h>
#include <unknwn.h>

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

template <class T>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
    TComPtr(const TComPtr& other) : TComPtr(other.m_p) {}
    ~TComPtr() { Reset(); }
    TComPtr& operator=(const TComPtr& other)
    {
        if (other.m_p) other.m_p->AddRef();
        Reset();
        m_p = other.m_p;
        return *this;
    }
    void Reset() { if (m_p) { T* p = m_p; m_p = nullptr; p->Release(); } }
    // Out-parameter slot: releases what is held first.
    T** Receive() { Reset(); return &m_p; }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T* Detach() { T* p = m_p; m_p = nullptr; return p; }
    template <class U>
    HRESULT QueryFrom(U* unknown)
    {
        Reset();
        return unknown ? unknown->QueryInterface(__uuidof(T), reinterpret_cast<void**>(&m_p)) : E_POINTER;
    }
private:
    T* m_p = nullptr;
};

class CCritSec {
public:
    CCritSec() { InitializeCriticalSection(&m_cs); }
    ~CCritSec() { DeleteCriticalSection(&m_cs); }
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;
    void Lock() { EnterCriticalSection(&m_cs); }
    void Unlock() { LeaveCriticalSection(&m_cs); }
private:
    CRITICAL_SECTION m_cs;
};

class CAutoLock {
public:
    explicit CAutoLock(CCritSec* lock) : m_lock(lock) { m_lock->Lock(); }
    ~CAutoLock() { m_lock->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;
private:
    CCritSec* m_lock;
};

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
