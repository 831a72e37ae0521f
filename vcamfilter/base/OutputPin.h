// An output pin: connection and media-type negotiation, allocator choice and
// delivery to the downstream IMemInputPin. Its IUnknown's references count on
// the filter, which owns the pin.
#pragma once

#include "ComBase.h"
#include "MediaType.h"

#include <dshow.h>
#include <string>

class CSource;

class CBaseOutputPin : public CUnknown, public IPin, public IQualityControl {
public:
    CBaseOutputPin(const wchar_t* name, CSource* filter);
    ~CBaseOutputPin() override;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPin
    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    // IQualityControl
    STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;
    STDMETHODIMP SetSink(IQualityControl* sink) override;

    // Types the pin offers, by position: S_OK, VFW_S_NO_MORE_ITEMS past the end.
    virtual HRESULT GetMediaType(int position, CMediaType* mt) = 0;
    virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
    virtual HRESULT SetMediaType(const CMediaType* mt);
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;

    bool IsConnected() const { return m_connected.Get() != nullptr; }
    const std::wstring& Name() const { return m_name; }

protected:
    HRESULT CommitAllocator();
    void DecommitAllocator();
    HRESULT GetDeliveryBuffer(IMediaSample** sample);
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    // The downstream pin; stays put while the filter is not stopped.
    IPin* ConnectedPin() const { return m_connected.Get(); }

    CSource* m_filter;
    CMediaType m_mt;  // the connection type, or the type to connect with

private:
    HRESULT TryConnection(IPin* receivePin, const CMediaType& mt);
    HRESULT DecideAllocator(IMemInputPin* input);
    HRESULT OfferAllocator(IMemInputPin* input, IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request);
    void ClearConnection();

    std::wstring m_name;
    tq::ComPtr<IPin> m_connected;
    tq::ComPtr<IMemInputPin> m_input;
    tq::ComPtr<IMemAllocator> m_allocator;
};
