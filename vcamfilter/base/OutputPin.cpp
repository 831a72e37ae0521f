#include "OutputPin.h"

#include "Enumerators.h"
#include "SourceFilter.h"

#include <vector>

CBaseOutputPin::CBaseOutputPin(const wchar_t* name, CSource* filter)
    : CUnknown(filter->GetOwner()), m_filter(filter), m_name(name ? name : L"")
{
}

CBaseOutputPin::~CBaseOutputPin() = default;

// The pin answers its own interfaces; its lifetime is the filter's.
STDMETHODIMP CBaseOutputPin::QueryInterface(REFIID riid, void** ppv)
{
    return NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CBaseOutputPin::AddRef()
{
    return m_filter->GetOwner()->AddRef();
}

STDMETHODIMP_(ULONG) CBaseOutputPin::Release()
{
    return m_filter->GetOwner()->Release();
}

STDMETHODIMP CBaseOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPin)
        return GetInterface(static_cast<IPin*>(this), ppv);
    if (riid == IID_IQualityControl)
        return GetInterface(static_cast<IQualityControl*>(this), ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CBaseOutputPin::SetMediaType(const CMediaType* mt)
{
    m_mt = *mt;
    return m_mt.IsValid() ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CBaseOutputPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt)
{
    if (!receivePin)
        return E_POINTER;
    tq::CCritSecLock lock(*m_filter->StateLock());
    if (IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    if (m_filter->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;

    // Our own types first, as far as they fit what the caller specified.
    for (int position = 0;; ++position) {
        CMediaType candidate;
        const HRESULT hr = GetMediaType(position, &candidate);
        if (hr != S_OK)
            break;
        if (mt && !candidate.Matches(*mt))
            continue;
        if (SUCCEEDED(TryConnection(receivePin, candidate)))
            return S_OK;
    }
    // Then what the receiver prefers.
    tq::ComPtr<IEnumMediaTypes> theirs;
    if (SUCCEEDED(receivePin->EnumMediaTypes(theirs.Receive())) && theirs) {
        AM_MEDIA_TYPE* offered = nullptr;
        while (theirs->Next(1, &offered, nullptr) == S_OK && offered) {
            CMediaType candidate(*offered);
            DeleteMediaTypeCopy(offered);
            offered = nullptr;
            if (mt && !candidate.Matches(*mt))
                continue;
            if (SUCCEEDED(TryConnection(receivePin, candidate)))
                return S_OK;
        }
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBaseOutputPin::TryConnection(IPin* receivePin, const CMediaType& mt)
{
    if (CheckMediaType(&mt) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    PIN_DIRECTION direction;
    if (FAILED(receivePin->QueryDirection(&direction)) || direction != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;
    tq::ComPtr<IMemInputPin> input;
    if (FAILED(receivePin->QueryInterface(IID_IMemInputPin, input.ReceiveVoid())))
        return E_NOINTERFACE;

    HRESULT hr = SetMediaType(&mt);
    if (FAILED(hr))
        return hr;
    m_connected = tq::ComPtr<IPin>(receivePin);
    hr = receivePin->ReceiveConnection(static_cast<IPin*>(this), &m_mt);
    if (FAILED(hr)) {
        ClearConnection();
        return hr;
    }
    hr = DecideAllocator(input.Get());
    if (FAILED(hr)) {
        receivePin->Disconnect();
        ClearConnection();
        return hr;
    }
    m_input = input;
    return S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* input)
{
    ALLOCATOR_PROPERTIES request = {};
    input->GetAllocatorRequirements(&request);  // optional: zeroes when not answered
    if (request.cbAlign == 0)
        request.cbAlign = 1;

    tq::ComPtr<IMemAllocator> allocator;
    if (SUCCEEDED(input->GetAllocator(allocator.Receive())) && allocator &&
        SUCCEEDED(OfferAllocator(input, allocator.Get(), &request)))
        return S_OK;

    // The receiver has none (or refused ours): a plain memory allocator of our own.
    HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                  reinterpret_cast<void**>(allocator.Receive()));
    if (FAILED(hr))
        return hr;
    return OfferAllocator(input, allocator.Get(), &request);
}

HRESULT CBaseOutputPin::OfferAllocator(IMemInputPin* input, IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wish = *request;
    HRESULT hr = DecideBufferSize(allocator, &wish);
    if (FAILED(hr))
        return hr;
    hr = input->NotifyAllocator(allocator, FALSE);
    if (FAILED(hr))
        return hr;
    m_allocator = tq::ComPtr<IMemAllocator>(allocator);
    return S_OK;
}

void CBaseOutputPin::ClearConnection()
{
    m_connected.Release();
    m_input.Release();
    m_allocator.Release();
}

STDMETHODIMP CBaseOutputPin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*)
{
    return E_UNEXPECTED;  // an output pin only connects out
}

STDMETHODIMP CBaseOutputPin::Disconnect()
{
    tq::CCritSecLock lock(*m_filter->StateLock());
    if (m_filter->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (!IsConnected())
        return S_FALSE;
    if (m_allocator)
        m_allocator->Decommit();
    ClearConnection();
    return S_OK;
}

STDMETHODIMP CBaseOutputPin::ConnectedTo(IPin** pin)
{
    if (!pin)
        return E_POINTER;
    tq::CCritSecLock lock(*m_filter->StateLock());
    *pin = m_connected.Get();
    if (!*pin)
        return VFW_E_NOT_CONNECTED;
    (*pin)->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseOutputPin::ConnectionMediaType(AM_MEDIA_TYPE* mt)
{
    if (!mt)
        return E_POINTER;
    tq::CCritSecLock lock(*m_filter->StateLock());
    if (!IsConnected()) {
        memset(mt, 0, sizeof(*mt));
        return VFW_E_NOT_CONNECTED;
    }
    return m_mt.CopyTo(mt);
}

STDMETHODIMP CBaseOutputPin::QueryPinInfo(PIN_INFO* info)
{
    if (!info)
        return E_POINTER;
    info->pFilter = static_cast<IBaseFilter*>(m_filter);
    info->pFilter->AddRef();
    info->dir = PINDIR_OUTPUT;
    lstrcpynW(info->achName, m_name.c_str(), MAX_PIN_NAME);
    return S_OK;
}

STDMETHODIMP CBaseOutputPin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction)
        return E_POINTER;
    *direction = PINDIR_OUTPUT;
    return S_OK;
}

STDMETHODIMP CBaseOutputPin::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    const size_t bytes = (m_name.size() + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id)
        return E_OUTOFMEMORY;
    memcpy(*id, m_name.c_str(), bytes);
    return S_OK;
}

STDMETHODIMP CBaseOutputPin::QueryAccept(const AM_MEDIA_TYPE* mt)
{
    if (!mt)
        return E_POINTER;
    CMediaType candidate(*mt);
    return CheckMediaType(&candidate) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBaseOutputPin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types)
        return E_POINTER;
    std::vector<CMediaType> list;
    for (int position = 0;; ++position) {
        CMediaType mt;
        if (GetMediaType(position, &mt) != S_OK)
            break;
        list.push_back(mt);
    }
    auto* enumerator = new (std::nothrow) CEnumMediaTypes(list);
    if (!enumerator)
        return E_OUTOFMEMORY;
    return enumerator->NonDelegatingQueryInterface(IID_IEnumMediaTypes, reinterpret_cast<void**>(types));
}

STDMETHODIMP CBaseOutputPin::QueryInternalConnections(IPin**, ULONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBaseOutputPin::EndOfStream()
{
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::BeginFlush()
{
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::EndFlush()
{
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double)
{
    return S_OK;
}

STDMETHODIMP CBaseOutputPin::Notify(IBaseFilter*, Quality)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBaseOutputPin::SetSink(IQualityControl*)
{
    return S_OK;
}

HRESULT CBaseOutputPin::CommitAllocator()
{
    return m_allocator ? m_allocator->Commit() : VFW_E_NO_ALLOCATOR;
}

void CBaseOutputPin::DecommitAllocator()
{
    if (m_allocator)
        m_allocator->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample)
{
    if (!m_allocator)
        return VFW_E_NO_ALLOCATOR;
    return m_allocator->GetBuffer(sample, nullptr, nullptr, 0);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample)
{
    return m_input ? m_input->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndOfStream()
{
    return m_connected ? m_connected->EndOfStream() : VFW_E_NOT_CONNECTED;
}
