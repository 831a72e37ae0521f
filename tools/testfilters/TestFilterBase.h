// A small DirectShow filter frame for the test-only filters: a filter with
// named pins, push-model input pins (IMemInputPin) and output pins that
// negotiate a memory allocator with the next filter. The concrete filters
// say which types their pins take and offer and what a received sample becomes.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <string>
#include <vector>

class CTestFilter;

// Copies and frees media types (format block and unknown pointer included).
void CopyType(AM_MEDIA_TYPE& to, const AM_MEDIA_TYPE& from);
void FreeType(AM_MEDIA_TYPE& type);

class CTestPin : public IPin, public IMemInputPin {
public:
    CTestPin(CTestFilter* filter, PIN_DIRECTION direction, const wchar_t* name);
    virtual ~CTestPin();

    // IUnknown: the filter's count.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    // IMemInputPin (input pins)
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count, long* done) override;
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_OK; }

    // Output pins: a buffer to fill and hand downstream.
    HRESULT GetDeliveryBuffer(IMediaSample** sample);
    HRESULT Deliver(IMediaSample* sample);
    // Copies `size` bytes (cut to the buffer) into a new delivery buffer,
    // marks it (times only when both are given) and hands it downstream.
    HRESULT DeliverCopy(const void* bytes, long size, REFERENCE_TIME* start, REFERENCE_TIME* stop, bool syncPoint,
                        bool discontinuity);
    // The same into a buffer already taken from GetDeliveryBuffer; releases it.
    HRESULT DeliverCopy(IMediaSample* sample, const void* bytes, long size, REFERENCE_TIME* start,
                        REFERENCE_TIME* stop, bool syncPoint, bool discontinuity);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    bool IsConnected() const { return m_connected != nullptr; }
    const AM_MEDIA_TYPE& Type() const { return m_type; }
    const std::wstring& Name() const { return m_name; }
    PIN_DIRECTION Direction() const { return m_direction; }
    void Active();    // commits the output allocator
    void Inactive();  // decommits it: a blocked GetDeliveryBuffer returns

    long bufferSize = 65536;  // output pins: the allocator's buffer size

private:
    CTestFilter* m_filter;
    PIN_DIRECTION m_direction;
    std::wstring m_name;
    IPin* m_connected = nullptr;
    IMemInputPin* m_input = nullptr;        // output pins: the receiver
    IMemAllocator* m_allocator = nullptr;   // output pins: the negotiated allocator
    AM_MEDIA_TYPE m_type = {};
    std::atomic<bool> m_flushing{false};
};

class CTestFilter : public IBaseFilter {
public:
    explicit CTestFilter(const CLSID& clsid);
    virtual ~CTestFilter();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    // What the concrete filter decides.
    virtual bool Accepts(CTestPin* pin, const AM_MEDIA_TYPE& type) = 0;
    virtual std::vector<AM_MEDIA_TYPE> Offers(CTestPin* pin) = 0;  // caller frees
    virtual HRESULT OnReceive(CTestPin*, IMediaSample*) { return E_UNEXPECTED; }
    virtual HRESULT OnEndOfStream(CTestPin* input);
    virtual void OnActive() {}
    virtual void OnInactive() {}
    // Output pins answer IMediaSeeking with what this returns (counted on the filter).
    virtual IMediaSeeking* PinSeeking(CTestPin*) { return nullptr; }

    CTestPin* OutputPin() const;
    CTestPin* InputPin() const;
    FILTER_STATE State() const { return m_state; }

protected:
    void AddPin(CTestPin* pin) { m_pins.push_back(pin); }

    std::atomic<long> m_refs{1};
    CRITICAL_SECTION m_lock;
    CLSID m_clsid;
    FILTER_STATE m_state = State_Stopped;
    IFilterGraph* m_graph = nullptr;  // not counted: the graph owns us
    IReferenceClock* m_clock = nullptr;
    WCHAR m_name[MAX_FILTER_NAME] = {};
    std::vector<CTestPin*> m_pins;
};

// A source filter that the graph hands a file name (IFileSourceFilter): the
// concrete source reads the file in Load and remembers its name.
class CTestFileSource : public CTestFilter, public IFileSourceFilter {
public:
    using CTestFilter::CTestFilter;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return CTestFilter::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CTestFilter::Release(); }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) override;

protected:
    std::wstring m_fileName;  // set by a successful Load
};

extern std::atomic<long> g_testFilterObjects;
