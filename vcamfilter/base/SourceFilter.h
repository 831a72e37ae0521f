// A source filter: IBaseFilter with its state machine, reference clock and
// graph membership over output pins that run their own streaming threads.
// The derived filter owns its pins.
#pragma once

#include "ComBase.h"

#include <dshow.h>
#include <string>

class CSourceStream;

class CSource : public CUnknown, public IBaseFilter {
public:
    CSource(const wchar_t* name, IUnknown* outer, REFCLSID clsid);
    ~CSource() override;
    TQ_DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    // IMediaFilter
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

    virtual int GetPinCount() = 0;
    virtual CSourceStream* GetPin(int index) = 0;

    tq::CCritSec* StateLock() { return &m_stateLock; }
    FILTER_STATE State();
    // The graph the filter belongs to; not referenced (the graph holds us).
    IFilterGraph* Graph() const { return m_graph; }
    // Clock time minus the Run start time; fails without a clock or while not running.
    HRESULT GetStreamTime(REFERENCE_TIME* time);
    // Tells the graph's event sink, when the graph has one.
    void NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

protected:
    tq::CCritSec m_stateLock;  // state changes, connections and media types

private:
    tq::CCritSec m_timeLock;  // the clock and start time, read by streaming threads
    CLSID m_clsid;
    std::wstring m_name;
    FILTER_STATE m_state = State_Stopped;
    IFilterGraph* m_graph = nullptr;
    tq::ComPtr<IReferenceClock> m_clock;
    REFERENCE_TIME m_start = 0;
};
