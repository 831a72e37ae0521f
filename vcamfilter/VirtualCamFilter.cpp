#include "VirtualCamFilter.h"

#include <new>

CUnknown* CVirtualCamFilter::CreateInstance(IUnknown* outer, HRESULT* hr)
{
    HRESULT result = S_OK;
    auto* filter = new (std::nothrow) CVirtualCamFilter(outer, &result);
    if (!filter)
        result = E_OUTOFMEMORY;
    else if (FAILED(result)) {
        delete filter;
        filter = nullptr;
    }
    if (hr)
        *hr = result;
    return filter;
}

CVirtualCamFilter::CVirtualCamFilter(IUnknown* outer, HRESULT* hr)
    : CSource(nullptr, outer, CLSID_VirtualCamFilter)
{
    tq::CCritSecLock lock(m_stateLock);
    ReleasePin();
    m_pin.reset(new (std::nothrow) CVirtualCamStream(hr, this, L"TqNelu"));
    if (!m_pin && hr)
        *hr = E_OUTOFMEMORY;
}

CVirtualCamFilter::~CVirtualCamFilter()
{
    ReleasePin();
}

void CVirtualCamFilter::ReleasePin()
{
    m_pin.reset();
}

STDMETHODIMP CVirtualCamFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    // The capture interfaces are the pin's; programs look for them on the filter too.
    if (m_pin && (riid == IID_IAMStreamConfig || riid == IID_IKsPropertySet || riid == IID_IVirtualCamFrameSync ||
                  riid == IID_IVirtualCamSmoothState || riid == IID_IVirtualCamFrameRate ||
                  riid == IID_IVirtualCamResize))
        return m_pin->QueryInterface(riid, ppv);
    return CSource::NonDelegatingQueryInterface(riid, ppv);
}
