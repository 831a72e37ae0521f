// A test-only video capture source: one output pin of the capture category
// that offers RGB24, YUY2 and MJPG at a few sizes through IAMStreamConfig
// (128-byte capability records) and pushes the test pattern at the frame
// rate of the chosen format. Never registered by the product: tests and the
// demo register it in their own Wine prefix.
//
// Environment switches, read when a filter is made:
//   TQ_TESTCAM_SUBTYPES  comma list of RGB24, YUY2, MJPG to offer (default all)
//   TQ_TESTCAM_MJPEG     good | noeoi | truncated | garbage | oversize
//   TQ_TESTCAM_CAPSSIZE  capability record size to report (default 128)
//   TQ_TESTCAM_SHORT     1: samples shorter than their format
//   TQ_TESTCAM_AUDIO     1: a second output pin, "Audio", offering 16-bit
//                        stereo PCM (connected only; it delivers nothing)
// The export TestCamNotifyDeviceLost(back) makes the last filter made play a
// webcam pulled out (0) or plugged in again (1); TestCamGraphFilters lists
// the names of the filters in the last filter's graph.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <string>
#include <vector>

// {6A1F7C52-3B0E-4C1D-9E58-2D7B4F1A0C11}
inline const CLSID CLSID_TqTestCamera = {0x6A1F7C52, 0x3B0E, 0x4C1D, {0x9E, 0x58, 0x2D, 0x7B, 0x4F, 0x1A, 0x0C, 0x11}};

extern std::atomic<long> g_testCamObjects;

struct TestCamOptions {
    bool rgb24 = true, yuy2 = true, mjpg = true;
    std::string mjpegMode = "good";
    int capsSize = int(sizeof(VIDEO_STREAM_CONFIG_CAPS));
    bool shortSamples = false;
    bool audio = false;
    static TestCamOptions FromEnvironment();
};

class CTestCamFilter;

// What the camera's two output pins share: the filter's reference count,
// their name and the connection's peer and type.
class CTestCamOutputPin : public IPin {
public:
    CTestCamOutputPin(CTestCamFilter* filter, const wchar_t* name) : m_filter(filter), m_name(name) {}

    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* dir) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

protected:
    CTestCamFilter* m_filter;
    const wchar_t* m_name;
    IPin* m_connected = nullptr;
    AM_MEDIA_TYPE m_type = {};  // the connection's type
};

class CTestCamPin : public CTestCamOutputPin, public IAMStreamConfig, public IKsPropertySet {
public:
    explicit CTestCamPin(CTestCamFilter* filter);
    ~CTestCamPin();

    // IUnknown (the filter's count)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return CTestCamOutputPin::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CTestCamOutputPin::Release(); }
    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    // IAMStreamConfig
    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) override;
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;
    // IKsPropertySet
    HRESULT STDMETHODCALLTYPE Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override { return E_PROP_ID_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size, DWORD* returned) override;
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

    // Filter state changes.
    HRESULT Active();
    void Inactive();
    void RequestStop() { m_stop = true; }
    // While unplugged the stream delivers nothing, as a removed webcam.
    void SetUnplugged(bool unplugged) { m_unplugged = unplugged; }
    bool IsConnected() const { return m_connected != nullptr; }

private:
    // What the pin connects with: the format SetFormat chose, else every capability.
    std::vector<AM_MEDIA_TYPE> OfferedTypes() const;
    std::vector<AM_MEDIA_TYPE> AllTypes() const;
    bool Accepts(const AM_MEDIA_TYPE& type, bool anyCapability = false) const;
    HRESULT TryConnect(IPin* receiver, const AM_MEDIA_TYPE& type);
    static DWORD WINAPI StreamThread(void* self);
    void Stream();
    void MakeSample(std::vector<uint8_t>& out, unsigned frame);

    TestCamOptions m_options;
    CRITICAL_SECTION m_lock;
    IMemInputPin* m_input = nullptr;
    IMemAllocator* m_allocator = nullptr;
    AM_MEDIA_TYPE m_chosen = {};    // set by SetFormat (majortype GUID_NULL when none)
    HANDLE m_thread = nullptr;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_unplugged{false};
};

// The camera's microphone: a pin that connects with PCM and stays silent.
class CTestCamAudioPin : public CTestCamOutputPin {
public:
    explicit CTestCamAudioPin(CTestCamFilter* filter) : CTestCamOutputPin(filter, L"Audio") {}
    ~CTestCamAudioPin() { Disconnect(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
};

class CTestCamFilter final : public IBaseFilter {
public:
    CTestCamFilter();
    ~CTestCamFilter();

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

    // The device goes away (back = 0: no more samples) or comes back
    // (back = 1: samples again), and the graph is told so.
    void NotifyDeviceLost(int back);
    IFilterGraph* Graph() const { return m_graph; }
    // The names of the filters in our graph, joined by '|'.
    std::wstring GraphFilterNames();

private:
    std::atomic<long> m_refs{1};
    CRITICAL_SECTION m_lock;
    FILTER_STATE m_state = State_Stopped;
    IFilterGraph* m_graph = nullptr;  // not counted: the graph owns us
    IReferenceClock* m_clock = nullptr;
    WCHAR m_name[MAX_FILTER_NAME] = {};
    CTestCamPin m_pin{this};
    CTestCamAudioPin m_audio{this};
    bool m_hasAudio = false;
};
