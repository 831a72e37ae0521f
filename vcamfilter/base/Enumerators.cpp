#include "Enumerators.h"

#include <new>

CEnumPins::CEnumPins(const std::vector<IPin*>& pins, size_t position)
    : CUnknown(nullptr), m_pins(pins), m_position(position)
{
    for (IPin* pin : m_pins)
        pin->AddRef();
}

CEnumPins::~CEnumPins()
{
    for (IPin* pin : m_pins)
        pin->Release();
}

STDMETHODIMP CEnumPins::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IEnumPins)
        return GetInterface(static_cast<IEnumPins*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched)
{
    if (!pins || (count > 1 && !fetched))
        return E_POINTER;
    ULONG n = 0;
    while (n < count && m_position < m_pins.size()) {
        pins[n] = m_pins[m_position++];
        pins[n]->AddRef();
        ++n;
    }
    if (fetched)
        *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG count)
{
    if (m_pins.size() - m_position < count) {
        m_position = m_pins.size();
        return S_FALSE;
    }
    m_position += count;
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset()
{
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** copy)
{
    if (!copy)
        return E_POINTER;
    auto* clone = new (std::nothrow) CEnumPins(m_pins, m_position);
    if (!clone)
        return E_OUTOFMEMORY;
    return clone->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void**>(copy));
}

CEnumMediaTypes::CEnumMediaTypes(const std::vector<CMediaType>& types, size_t position)
    : CUnknown(nullptr), m_types(types), m_position(position)
{
}

STDMETHODIMP CEnumMediaTypes::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IEnumMediaTypes)
        return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    if (!types || (count > 1 && !fetched))
        return E_POINTER;
    ULONG n = 0;
    while (n < count && m_position < m_types.size()) {
        types[n] = m_types[m_position].CreateCopy();
        if (!types[n])
            break;
        ++m_position;
        ++n;
    }
    if (fetched)
        *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG count)
{
    if (m_types.size() - m_position < count) {
        m_position = m_types.size();
        return S_FALSE;
    }
    m_position += count;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset()
{
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** copy)
{
    if (!copy)
        return E_POINTER;
    auto* clone = new (std::nothrow) CEnumMediaTypes(m_types, m_position);
    if (!clone)
        return E_OUTOFMEMORY;
    return clone->NonDelegatingQueryInterface(IID_IEnumMediaTypes, reinterpret_cast<void**>(copy));
}
