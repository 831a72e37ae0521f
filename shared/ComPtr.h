// A small owning COM pointer (mingw has no ATL).
#pragma once

#include <unknwn.h>

#include <utility>

namespace tq {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~ComPtr() { Release(); }
    ComPtr& operator=(const ComPtr& other) { ComPtr(other).Swap(*this); return *this; }
    ComPtr& operator=(ComPtr&& other) noexcept { ComPtr(std::move(other)).Swap(*this); return *this; }

    void Release() { if (m_p) { T* p = m_p; m_p = nullptr; p->Release(); } }
    // Takes over a reference the caller already owns.
    void Attach(T* p) { Release(); m_p = p; }
    T* Detach() { T* p = m_p; m_p = nullptr; return p; }
    // For out-parameters: releases what is held first.
    T** Receive() { Release(); return &m_p; }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    template <class U>
    HRESULT As(ComPtr<U>& out) const
    {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(__uuidof(U), out.ReceiveVoid());
    }

private:
    void Swap(ComPtr& other) { T* p = m_p; m_p = other.m_p; other.m_p = p; }
    T* m_p = nullptr;
};

} // namespace tq
