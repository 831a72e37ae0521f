#include "CaptureGraph.h"

#include <qedit.h>
#include <uuids.h>

namespace {

// Class ids that mingw's qedit.h leaves out.
const CLSID kSampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const CLSID kNullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

template <class T>
void SafeRelease(T*& p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

IPin* FindPin(IBaseFilter* filter, PIN_DIRECTION wanted, bool unconnected)
{
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins)))
        return nullptr;
    IPin* pin = nullptr;
    IPin* found = nullptr;
    while (!found && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction;
        IPin* peer = nullptr;
        const bool free = pin->ConnectedTo(&peer) == VFW_E_NOT_CONNECTED;
        if (peer)
            peer->Release();
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted && (!unconnected || free))
            found = pin;
        else
            pin->Release();
    }
    pins->Release();
    return found;
}

void FreeMediaType(AM_MEDIA_TYPE& mt)
{
    if (mt.pbFormat)
        CoTaskMemFree(mt.pbFormat);
    if (mt.pUnk)
        mt.pUnk->Release();
    mt.pbFormat = nullptr;
    mt.pUnk = nullptr;
}

} // namespace

class CCaptureGraph::Callback : public ISampleGrabberCB {
public:
    explicit Callback(SampleHandler handler) : m_handler(std::move(handler)) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_ISampleGrabberCB) {
            *ppv = static_cast<ISampleGrabberCB*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_ref); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG ref = InterlockedDecrement(&m_ref);
        if (ref == 0)
            delete this;
        return ref;
    }
    STDMETHODIMP SampleCB(double time, IMediaSample* sample) override
    {
        CapturedSample captured = {};
        captured.sampleTime = time;
        REFERENCE_TIME start = 0, stop = 0;
        captured.hasTime = SUCCEEDED(sample->GetTime(&start, &stop)) ;
        captured.start = start;
        LONGLONG mediaStart = 0, mediaStop = 0;
        captured.hasMediaTime = sample->GetMediaTime(&mediaStart, &mediaStop) == S_OK;
        captured.mediaStart = mediaStart;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        captured.data = data;
        captured.length = sample->GetActualDataLength();
        if (m_handler)
            m_handler(captured);
        return S_OK;
    }
    STDMETHODIMP BufferCB(double, BYTE*, long) override { return S_OK; }

private:
    virtual ~Callback() = default;
    LONG m_ref = 1;
    SampleHandler m_handler;
};

CCaptureGraph::CCaptureGraph() = default;

CCaptureGraph::~CCaptureGraph()
{
    Stop();
    Release();
}

void CCaptureGraph::Release()
{
    if (m_grabberFilter) {
        ISampleGrabber* grabber = nullptr;
        if (SUCCEEDED(m_grabberFilter->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(&grabber)))) {
            grabber->SetCallback(nullptr, 0);
            grabber->Release();
        }
    }
    SafeRelease(m_sourcePin);
    SafeRelease(m_control);
    SafeRelease(m_renderer);
    SafeRelease(m_grabberFilter);
    SafeRelease(m_source);
    SafeRelease(m_graph);
    SafeRelease(m_callback);
}

std::vector<std::wstring> CCaptureGraph::ListVideoDevices()
{
    std::vector<std::wstring> names;
    ICreateDevEnum* devices = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(&devices))))
        return names;
    IEnumMoniker* monikers = nullptr;
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) == S_OK) {
        IMoniker* moniker = nullptr;
        while (monikers->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag* bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
                VARIANT name;
                VariantInit(&name);
                if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR)
                    names.push_back(name.bstrVal);
                VariantClear(&name);
                bag->Release();
            }
            moniker->Release();
        }
        monikers->Release();
    }
    devices->Release();
    return names;
}

HRESULT CCaptureGraph::OpenDevice(const std::wstring& friendlyName)
{
    ICreateDevEnum* devices = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                  reinterpret_cast<void**>(&devices));
    if (FAILED(hr))
        return hr;
    IEnumMoniker* monikers = nullptr;
    IBaseFilter* source = nullptr;
    hr = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
    if (hr == S_OK) {
        IMoniker* moniker = nullptr;
        while (!source && monikers->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag* bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
                VARIANT name;
                VariantInit(&name);
                if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR &&
                    friendlyName == name.bstrVal)
                    hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&source));
                VariantClear(&name);
                bag->Release();
            }
            moniker->Release();
        }
        monikers->Release();
    }
    devices->Release();
    if (!source)
        return FAILED(hr) ? hr : VFW_E_NOT_FOUND;
    hr = OpenFilter(source);
    source->Release();
    return hr;
}

HRESULT CCaptureGraph::OpenFilter(IBaseFilter* source)
{
    Release();
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(&m_graph));
    if (FAILED(hr))
        return hr;
    m_source = source;
    m_source->AddRef();
    hr = m_graph->AddFilter(m_source, L"Source");
    if (FAILED(hr))
        return hr;
    m_sourcePin = FindPin(m_source, PINDIR_OUTPUT, true);
    return m_sourcePin ? m_graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&m_control))
                       : VFW_E_NOT_FOUND;
}

HRESULT CCaptureGraph::SetFormat(int width, int height, REFERENCE_TIME frameTime)
{
    if (!m_sourcePin)
        return E_UNEXPECTED;
    IAMStreamConfig* config = nullptr;
    HRESULT hr = m_sourcePin->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(&config));
    if (FAILED(hr))
        return hr;
    AM_MEDIA_TYPE* mt = nullptr;
    hr = config->GetFormat(&mt);
    if (SUCCEEDED(hr) && mt) {
        if (mt->formattype == FORMAT_VideoInfo && mt->cbFormat >= sizeof(VIDEOINFOHEADER)) {
            auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat);
            vih->bmiHeader.biWidth = width;
            vih->bmiHeader.biHeight = height;
            vih->bmiHeader.biSizeImage = DWORD(DibStride(width) * size_t(height));
            if (frameTime > 0)
                vih->AvgTimePerFrame = frameTime;
            mt->lSampleSize = vih->bmiHeader.biSizeImage;
            hr = config->SetFormat(mt);
        } else {
            hr = VFW_E_INVALIDMEDIATYPE;
        }
        FreeMediaType(*mt);
        CoTaskMemFree(mt);
    }
    config->Release();
    return hr;
}

HRESULT CCaptureGraph::Build(SampleHandler handler)
{
    if (!m_graph || !m_sourcePin)
        return E_UNEXPECTED;
    HRESULT hr = CoCreateInstance(kSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(&m_grabberFilter));
    if (FAILED(hr))
        return hr;
    hr = CoCreateInstance(kNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(&m_renderer));
    if (FAILED(hr))
        return hr;
    ISampleGrabber* grabber = nullptr;
    hr = m_grabberFilter->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(&grabber));
    if (FAILED(hr))
        return hr;
    AM_MEDIA_TYPE wanted = {};
    wanted.majortype = MEDIATYPE_Video;
    wanted.subtype = MEDIASUBTYPE_RGB24;
    grabber->SetMediaType(&wanted);
    grabber->SetBufferSamples(FALSE);
    grabber->SetOneShot(FALSE);
    m_callback = new Callback(std::move(handler));
    grabber->SetCallback(m_callback, 0);

    hr = m_graph->AddFilter(m_grabberFilter, L"Sample Grabber");
    if (SUCCEEDED(hr))
        hr = m_graph->AddFilter(m_renderer, L"Null Renderer");
    IPin* grabberIn = SUCCEEDED(hr) ? FindPin(m_grabberFilter, PINDIR_INPUT, true) : nullptr;
    IPin* grabberOut = SUCCEEDED(hr) ? FindPin(m_grabberFilter, PINDIR_OUTPUT, true) : nullptr;
    IPin* rendererIn = SUCCEEDED(hr) ? FindPin(m_renderer, PINDIR_INPUT, true) : nullptr;
    if (SUCCEEDED(hr) && (!grabberIn || !grabberOut || !rendererIn))
        hr = VFW_E_NOT_FOUND;
    if (SUCCEEDED(hr))
        hr = m_graph->ConnectDirect(m_sourcePin, grabberIn, nullptr);
    if (SUCCEEDED(hr))
        hr = m_graph->ConnectDirect(grabberOut, rendererIn, nullptr);
    if (SUCCEEDED(hr)) {
        AM_MEDIA_TYPE connected = {};
        if (SUCCEEDED(grabber->GetConnectedMediaType(&connected))) {
            if (connected.formattype == FORMAT_VideoInfo && connected.cbFormat >= sizeof(VIDEOINFOHEADER)) {
                const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(connected.pbFormat);
                m_width = vih->bmiHeader.biWidth;
                m_height = vih->bmiHeader.biHeight;
            }
            FreeMediaType(connected);
        }
    }
    if (grabberIn) grabberIn->Release();
    if (grabberOut) grabberOut->Release();
    if (rendererIn) rendererIn->Release();
    grabber->Release();
    return hr;
}

HRESULT CCaptureGraph::Run()
{
    return m_control ? m_control->Run() : E_UNEXPECTED;
}

HRESULT CCaptureGraph::Stop()
{
    return m_control ? m_control->Stop() : S_FALSE;
}
