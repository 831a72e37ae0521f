#include "SourceFilter.h"

#include "Enumerators.h"
#include "SourceStream.h"

#include <cstring>
#include <vector>

CSource::CSource(const wchar_t* name, IUnknown* outer, REFCLSID clsid)
    : CUnknown(outer), m_clsid(clsid), m_name(name ? name : L"")
{
}

CSource::~CSource() = default;

STDMETHODIMP CSource::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist)
        return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CSource::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

FILTER_STATE CSource::State()
{
    tq::CCritSecLock lock(m_stateLock);
    return m_state;
}

STDMETHODIMP CSource::Stop()
{
    tq::CCritSecLock lock(m_stateLock);
    if (m_state != State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i)
            GetPin(i)->Inactive();
    }
    m_state = State_Stopped;
    return S_OK;
}

STDMETHODIMP CSource::Pause()
{
    tq::CCritSecLock lock(m_stateLock);
    if (m_state == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            const HRESULT hr = GetPin(i)->Active();
            if (FAILED(hr)) {
                for (int j = 0; j < i; ++j)
                    GetPin(j)->Inactive();
                return hr;
            }
        }
    }
    for (int i = 0; i < GetPinCount(); ++i)
        GetPin(i)->SetRunning(false);
    m_state = State_Paused;
    return S_OK;
}

STDMETHODIMP CSource::Run(REFERENCE_TIME start)
{
    tq::CCritSecLock lock(m_stateLock);
    if (m_state == State_Stopped) {
        const HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    {
        tq::CCritSecLock timeLock(m_timeLock);
        m_start = start;
    }
    for (int i = 0; i < GetPinCount(); ++i)
        GetPin(i)->SetRunning(true);
    m_state = State_Running;
    return S_OK;
}

STDMETHODIMP CSource::GetState(DWORD, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    tq::CCritSecLock lock(m_stateLock);
    *state = m_state;
    // A live source has nothing to cue while paused.
    return m_state == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP CSource::SetSyncSource(IReferenceClock* clock)
{
    tq::CCritSecLock lock(m_stateLock);
    tq::CCritSecLock timeLock(m_timeLock);
    m_clock = tq::ComPtr<IReferenceClock>(clock);
    return S_OK;
}

STDMETHODIMP CSource::GetSyncSource(IReferenceClock** clock)
{
    if (!clock)
        return E_POINTER;
    tq::CCritSecLock timeLock(m_timeLock);
    *clock = m_clock.Get();
    if (*clock)
        (*clock)->AddRef();
    return S_OK;
}

HRESULT CSource::GetStreamTime(REFERENCE_TIME* time)
{
    tq::ComPtr<IReferenceClock> clock;
    REFERENCE_TIME start;
    {
        tq::CCritSecLock timeLock(m_timeLock);
        clock = m_clock;
        start = m_start;
    }
    if (!clock)
        return VFW_E_NO_CLOCK;
    REFERENCE_TIME now = 0;
    const HRESULT hr = clock->GetTime(&now);
    if (FAILED(hr))
        return hr;
    *time = now - start;
    return S_OK;
}

STDMETHODIMP CSource::EnumPins(IEnumPins** pins)
{
    if (!pins)
        return E_POINTER;
    std::vector<IPin*> list;
    {
        tq::CCritSecLock lock(m_stateLock);
        for (int i = 0; i < GetPinCount(); ++i)
            list.push_back(GetPin(i));
    }
    auto* enumerator = new (std::nothrow) CEnumPins(list);
    if (!enumerator)
        return E_OUTOFMEMORY;
    return enumerator->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void**>(pins));
}

STDMETHODIMP CSource::FindPin(LPCWSTR id, IPin** pin)
{
    if (!id || !pin)
        return E_POINTER;
    tq::CCritSecLock lock(m_stateLock);
    for (int i = 0; i < GetPinCount(); ++i) {
        CSourceStream* candidate = GetPin(i);
        if (candidate->Name() == id)
            return GetInterface(static_cast<IPin*>(candidate), reinterpret_cast<void**>(pin));
    }
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CSource::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info)
        return E_POINTER;
    tq::CCritSecLock lock(m_stateLock);
    lstrcpynW(info->achName, m_name.c_str(), MAX_FILTER_NAME);
    info->pGraph = m_graph;
    if (m_graph)
        m_graph->AddRef();
    return S_OK;
}

STDMETHODIMP CSource::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    tq::CCritSecLock lock(m_stateLock);
    m_graph = graph;
    m_name = name ? name : L"";
    return S_OK;
}

STDMETHODIMP CSource::QueryVendorInfo(LPWSTR*)
{
    return E_NOTIMPL;
}

void CSource::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2)
{
    IFilterGraph* graph = m_graph;
    tq::ComPtr<IMediaEventSink> sink;
    if (graph && SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, sink.ReceiveVoid())))
        sink->Notify(code, param1, param2);
}
