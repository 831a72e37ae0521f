#include "TestFilterBase.h"

#include <uuids.h>

#include <algorithm>
#include <cstring>

std::atomic<long> g_testFilterObjects{0};

void CopyType(AM_MEDIA_TYPE& to, const AM_MEDIA_TYPE& from)
{
    to = from;
    if (from.cbFormat && from.pbFormat) {
        to.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
        memcpy(to.pbFormat, from.pbFormat, from.cbFormat);
    } else {
        to.pbFormat = nullptr;
        to.cbFormat = 0;
    }
    if (to.pUnk)
        to.pUnk->AddRef();
}

void FreeType(AM_MEDIA_TYPE& type)
{
    if (type.pbFormat)
        CoTaskMemFree(type.pbFormat);
    if (type.pUnk)
        type.pUnk->Release();
    type = AM_MEDIA_TYPE();
}

namespace {

class CTypeEnum final : public IEnumMediaTypes {
public:
    explicit CTypeEnum(std::vector<AM_MEDIA_TYPE> types, size_t at = 0) : m_types(std::move(types)), m_at(at) {}
    ~CTypeEnum()
    {
        for (auto& t : m_types)
            FreeType(t);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long refs = --m_refs;
        if (!refs)
            delete this;
        return refs;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** out, ULONG* fetched) override
    {
        ULONG n = 0;
        for (; n < count && m_at < m_types.size(); ++n, ++m_at) {
            out[n] = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
            CopyType(*out[n], m_types[m_at]);
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        m_at += count;
        return m_at <= m_types.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        m_at = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override
    {
        std::vector<AM_MEDIA_TYPE> copy(m_types.size());
        for (size_t i = 0; i < copy.size(); ++i)
            CopyType(copy[i], m_types[i]);
        *out = new CTypeEnum(std::move(copy), m_at);
        return S_OK;
    }
private:
    std::atomic<long> m_refs{1};
    std::vector<AM_MEDIA_TYPE> m_types;
    size_t m_at;
};

class CPinEnum final : public IEnumPins {
public:
    CPinEnum(IBaseFilter* filter, std::vector<CTestPin*> pins, size_t at = 0) : m_filter(filter), m_pins(std::move(pins)), m_at(at)
    {
        m_filter->AddRef();
    }
    ~CPinEnum() { m_filter->Release(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IEnumPins) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long refs = --m_refs;
        if (!refs)
            delete this;
        return refs;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** out, ULONG* fetched) override
    {
        ULONG n = 0;
        for (; n < count && m_at < m_pins.size(); ++n, ++m_at) {
            out[n] = m_pins[m_at];
            out[n]->AddRef();
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        m_at += count;
        return m_at <= m_pins.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        m_at = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override
    {
        *out = new CPinEnum(m_filter, m_pins, m_at);
        return S_OK;
    }
private:
    std::atomic<long> m_refs{1};
    IBaseFilter* m_filter;
    std::vector<CTestPin*> m_pins;
    size_t m_at;
};

} // namespace

// --- pins ------------------------------------------------------------------

CTestPin::CTestPin(CTestFilter* filter, PIN_DIRECTION direction, const wchar_t* name)
    : m_filter(filter), m_direction(direction), m_name(name)
{
}

CTestPin::~CTestPin()
{
    Disconnect();
}

HRESULT CTestPin::QueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IUnknown || riid == IID_IPin) {
        *ppv = static_cast<IPin*>(this);
    } else if (riid == IID_IMemInputPin && m_direction == PINDIR_INPUT) {
        *ppv = static_cast<IMemInputPin*>(this);
    } else if (riid == IID_IMediaSeeking && m_direction == PINDIR_OUTPUT && m_filter->PinSeeking(this)) {
        *ppv = m_filter->PinSeeking(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CTestPin::AddRef() { return m_filter->AddRef(); }
ULONG CTestPin::Release() { return m_filter->Release(); }

HRESULT CTestPin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type)
{
    if (m_direction != PINDIR_OUTPUT)
        return E_UNEXPECTED;
    if (!receiver)
        return E_POINTER;
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    std::vector<AM_MEDIA_TYPE> offered = m_filter->Offers(this);
    HRESULT hr = VFW_E_NO_ACCEPTABLE_TYPES;
    for (AM_MEDIA_TYPE& candidate : offered) {
        if (hr == S_OK)
            break;
        if (type && type->majortype != GUID_NULL && type->majortype != candidate.majortype)
            continue;
        if (FAILED(receiver->ReceiveConnection(this, &candidate)))
            continue;
        IMemInputPin* input = nullptr;
        if (FAILED(receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)))) {
            receiver->Disconnect();
            continue;
        }
        IMemAllocator* allocator = nullptr;
        if (FAILED(input->GetAllocator(&allocator)))
            CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                             reinterpret_cast<void**>(&allocator));
        ALLOCATOR_PROPERTIES wanted = {8, bufferSize, 1, 0}, actual = {};
        if (!allocator || FAILED(allocator->SetProperties(&wanted, &actual)) ||
            FAILED(input->NotifyAllocator(allocator, FALSE))) {
            if (allocator)
                allocator->Release();
            input->Release();
            receiver->Disconnect();
            continue;
        }
        CopyType(m_type, candidate);
        m_connected = receiver;
        m_connected->AddRef();
        m_input = input;
        m_allocator = allocator;
        hr = S_OK;
    }
    for (AM_MEDIA_TYPE& t : offered)
        FreeType(t);
    return hr;
}

HRESULT CTestPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type)
{
    if (m_direction != PINDIR_INPUT)
        return E_UNEXPECTED;
    if (!connector || !type)
        return E_POINTER;
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!m_filter->Accepts(this, *type))
        return VFW_E_TYPE_NOT_ACCEPTED;
    CopyType(m_type, *type);
    m_connected = connector;
    m_connected->AddRef();
    return S_OK;
}

HRESULT CTestPin::Disconnect()
{
    if (!m_connected)
        return S_FALSE;
    if (m_allocator) {
        m_allocator->Decommit();
        m_allocator->Release();
        m_allocator = nullptr;
    }
    if (m_input) {
        m_input->Release();
        m_input = nullptr;
    }
    m_connected->Release();
    m_connected = nullptr;
    FreeType(m_type);
    return S_OK;
}

HRESULT CTestPin::ConnectedTo(IPin** pin)
{
    *pin = m_connected;
    if (!m_connected)
        return VFW_E_NOT_CONNECTED;
    m_connected->AddRef();
    return S_OK;
}

HRESULT CTestPin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!m_connected) {
        *type = AM_MEDIA_TYPE();
        return VFW_E_NOT_CONNECTED;
    }
    CopyType(*type, m_type);
    return S_OK;
}

HRESULT CTestPin::QueryPinInfo(PIN_INFO* info)
{
    info->pFilter = m_filter;
    m_filter->AddRef();
    info->dir = m_direction;
    lstrcpynW(info->achName, m_name.c_str(), MAX_PIN_NAME);
    return S_OK;
}

HRESULT CTestPin::QueryDirection(PIN_DIRECTION* direction)
{
    *direction = m_direction;
    return S_OK;
}

HRESULT CTestPin::QueryId(LPWSTR* id)
{
    const size_t bytes = (m_name.size() + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    memcpy(*id, m_name.c_str(), bytes);
    return S_OK;
}

HRESULT CTestPin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    return type && m_filter->Accepts(this, *type) ? S_OK : S_FALSE;
}

HRESULT CTestPin::EnumMediaTypes(IEnumMediaTypes** types)
{
    *types = new CTypeEnum(m_filter->Offers(this));
    return S_OK;
}

HRESULT CTestPin::EndOfStream()
{
    return m_direction == PINDIR_INPUT ? m_filter->OnEndOfStream(this) : E_UNEXPECTED;
}

HRESULT CTestPin::BeginFlush()
{
    if (m_direction != PINDIR_INPUT)
        return E_UNEXPECTED;
    m_flushing = true;
    CTestPin* out = m_filter->OutputPin();
    return out && out->m_connected ? out->m_connected->BeginFlush() : S_OK;
}

HRESULT CTestPin::EndFlush()
{
    if (m_direction != PINDIR_INPUT)
        return E_UNEXPECTED;
    m_flushing = false;
    CTestPin* out = m_filter->OutputPin();
    return out && out->m_connected ? out->m_connected->EndFlush() : S_OK;
}

HRESULT CTestPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    CTestPin* out = m_direction == PINDIR_INPUT ? m_filter->OutputPin() : nullptr;
    return out && out->m_connected ? out->m_connected->NewSegment(start, stop, rate) : S_OK;
}

HRESULT CTestPin::GetAllocator(IMemAllocator**)
{
    return VFW_E_NO_ALLOCATOR;  // the upstream pin brings its own
}

HRESULT CTestPin::NotifyAllocator(IMemAllocator*, BOOL)
{
    return S_OK;
}

HRESULT CTestPin::Receive(IMediaSample* sample)
{
    if (m_direction != PINDIR_INPUT)
        return E_UNEXPECTED;
    if (m_flushing)
        return S_FALSE;
    if (m_filter->State() == State_Stopped)
        return VFW_E_WRONG_STATE;
    return m_filter->OnReceive(this, sample);
}

HRESULT CTestPin::ReceiveMultiple(IMediaSample** samples, long count, long* done)
{
    HRESULT hr = S_OK;
    long n = 0;
    for (; n < count && hr == S_OK; ++n)
        hr = Receive(samples[n]);
    if (done)
        *done = n;
    return hr;
}

HRESULT CTestPin::GetDeliveryBuffer(IMediaSample** sample)
{
    *sample = nullptr;
    return m_allocator ? m_allocator->GetBuffer(sample, nullptr, nullptr, 0) : VFW_E_NOT_CONNECTED;
}

HRESULT CTestPin::Deliver(IMediaSample* sample)
{
    return m_input ? m_input->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT CTestPin::DeliverCopy(const void* bytes, long size, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                              bool syncPoint, bool discontinuity)
{
    IMediaSample* sample = nullptr;
    const HRESULT hr = GetDeliveryBuffer(&sample);
    if (FAILED(hr) || !sample)
        return FAILED(hr) ? hr : E_POINTER;
    return DeliverCopy(sample, bytes, size, start, stop, syncPoint, discontinuity);
}

HRESULT CTestPin::DeliverCopy(IMediaSample* sample, const void* bytes, long size, REFERENCE_TIME* start,
                              REFERENCE_TIME* stop, bool syncPoint, bool discontinuity)
{
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    size = std::min(size, sample->GetSize());
    memcpy(data, bytes, size_t(size));
    sample->SetActualDataLength(size);
    if (start && stop)
        sample->SetTime(start, stop);
    sample->SetSyncPoint(syncPoint);
    sample->SetDiscontinuity(discontinuity);
    const HRESULT hr = Deliver(sample);
    sample->Release();
    return hr;
}

HRESULT CTestPin::DeliverEndOfStream()
{
    return m_connected ? m_connected->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CTestPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return m_connected ? m_connected->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

HRESULT CTestPin::DeliverBeginFlush()
{
    return m_connected ? m_connected->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CTestPin::DeliverEndFlush()
{
    return m_connected ? m_connected->EndFlush() : VFW_E_NOT_CONNECTED;
}

void CTestPin::Active()
{
    if (m_allocator)
        m_allocator->Commit();
}

void CTestPin::Inactive()
{
    if (m_allocator)
        m_allocator->Decommit();
}

// --- filter -------------------------------------------------------------------

CTestFilter::CTestFilter(const CLSID& clsid) : m_clsid(clsid)
{
    InitializeCriticalSection(&m_lock);
    ++g_testFilterObjects;
}

CTestFilter::~CTestFilter()
{
    for (CTestPin* pin : m_pins)
        delete pin;
    if (m_clock)
        m_clock->Release();
    DeleteCriticalSection(&m_lock);
    --g_testFilterObjects;
}

HRESULT CTestFilter::QueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter || riid == IID_IBaseFilter) {
        *ppv = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CTestFilter::AddRef() { return ++m_refs; }

ULONG CTestFilter::Release()
{
    const long refs = --m_refs;
    if (!refs)
        delete this;
    return refs;
}

HRESULT CTestFilter::GetClassID(CLSID* clsid)
{
    *clsid = m_clsid;
    return S_OK;
}

HRESULT CTestFilter::Stop()
{
    EnterCriticalSection(&m_lock);
    const bool wasActive = m_state != State_Stopped;
    m_state = State_Stopped;
    LeaveCriticalSection(&m_lock);
    if (wasActive) {
        for (CTestPin* pin : m_pins)
            if (pin->Direction() == PINDIR_OUTPUT)
                pin->Inactive();
        OnInactive();
    }
    return S_OK;
}

HRESULT CTestFilter::Pause()
{
    EnterCriticalSection(&m_lock);
    const bool starting = m_state == State_Stopped;
    m_state = State_Paused;
    LeaveCriticalSection(&m_lock);
    if (starting) {
        for (CTestPin* pin : m_pins)
            if (pin->Direction() == PINDIR_OUTPUT)
                pin->Active();
        OnActive();
    }
    return S_OK;
}

HRESULT CTestFilter::Run(REFERENCE_TIME)
{
    if (m_state == State_Stopped)
        Pause();
    m_state = State_Running;
    return S_OK;
}

HRESULT CTestFilter::GetState(DWORD, FILTER_STATE* state)
{
    *state = m_state;
    return S_OK;
}

HRESULT CTestFilter::SetSyncSource(IReferenceClock* clock)
{
    if (clock)
        clock->AddRef();
    if (m_clock)
        m_clock->Release();
    m_clock = clock;
    return S_OK;
}

HRESULT CTestFilter::GetSyncSource(IReferenceClock** clock)
{
    *clock = m_clock;
    if (m_clock)
        m_clock->AddRef();
    return S_OK;
}

HRESULT CTestFilter::EnumPins(IEnumPins** pins)
{
    *pins = new CPinEnum(this, m_pins);
    return S_OK;
}

HRESULT CTestFilter::FindPin(LPCWSTR id, IPin** pin)
{
    for (CTestPin* p : m_pins) {
        if (id && p->Name() == id) {
            *pin = p;
            p->AddRef();
            return S_OK;
        }
    }
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT CTestFilter::QueryFilterInfo(FILTER_INFO* info)
{
    lstrcpynW(info->achName, m_name, MAX_FILTER_NAME);
    info->pGraph = m_graph;
    if (m_graph)
        m_graph->AddRef();
    return S_OK;
}

HRESULT CTestFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    m_graph = graph;
    lstrcpynW(m_name, name ? name : L"", MAX_FILTER_NAME);
    return S_OK;
}

HRESULT CTestFilter::OnEndOfStream(CTestPin*)
{
    CTestPin* out = OutputPin();
    return out ? out->DeliverEndOfStream() : S_OK;
}

CTestPin* CTestFilter::OutputPin() const
{
    for (CTestPin* pin : m_pins)
        if (pin->Direction() == PINDIR_OUTPUT)
            return pin;
    return nullptr;
}

CTestPin* CTestFilter::InputPin() const
{
    for (CTestPin* pin : m_pins)
        if (pin->Direction() == PINDIR_INPUT)
            return pin;
    return nullptr;
}

// --- file sources -------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CTestFileSource::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv && riid == IID_IFileSourceFilter) {
        *ppv = static_cast<IFileSourceFilter*>(this);
        AddRef();
        return S_OK;
    }
    return CTestFilter::QueryInterface(riid, ppv);
}

HRESULT STDMETHODCALLTYPE CTestFileSource::GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type)
{
    if (!fileName)
        return E_POINTER;
    const size_t bytes = (m_fileName.size() + 1) * sizeof(wchar_t);
    *fileName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*fileName)
        return E_OUTOFMEMORY;
    memcpy(*fileName, m_fileName.c_str(), bytes);
    if (type)
        *type = AM_MEDIA_TYPE();
    return m_fileName.empty() ? S_FALSE : S_OK;
}
