#include "TestCamFilter.h"
#include "TestPattern.h"

#include <ks.h>
#include <ksmedia.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

std::atomic<long> g_testCamObjects{0};

namespace {

const int kSizes[][2] = {{640, 480}, {800, 600}, {320, 240}};
const REFERENCE_TIME kDefaultInterval = 333333;

void FreeType(AM_MEDIA_TYPE& type)
{
    if (type.pbFormat)
        CoTaskMemFree(type.pbFormat);
    if (type.pUnk)
        type.pUnk->Release();
    type = AM_MEDIA_TYPE{};
}

bool CopyType(AM_MEDIA_TYPE& to, const AM_MEDIA_TYPE& from)
{
    to = from;
    to.pUnk = nullptr;
    to.pbFormat = nullptr;
    if (from.cbFormat && from.pbFormat) {
        to.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
        if (!to.pbFormat)
            return false;
        memcpy(to.pbFormat, from.pbFormat, from.cbFormat);
    } else {
        to.cbFormat = 0;
    }
    return true;
}

AM_MEDIA_TYPE* NewCopy(const AM_MEDIA_TYPE& from)
{
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (copy && !CopyType(*copy, from)) {
        CoTaskMemFree(copy);
        return nullptr;
    }
    return copy;
}

AM_MEDIA_TYPE MakeType(const GUID& subtype, int width, int height)
{
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    type.subtype = subtype;
    type.formattype = FORMAT_VideoInfo;
    type.bFixedSizeSamples = subtype != MEDIASUBTYPE_MJPG;
    type.cbFormat = sizeof(VIDEOINFOHEADER);
    type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat);
    memset(info, 0, sizeof *info);
    info->AvgTimePerFrame = kDefaultInterval;
    BITMAPINFOHEADER& bmi = info->bmiHeader;
    bmi.biSize = sizeof bmi;
    bmi.biWidth = width;
    bmi.biHeight = height;
    bmi.biPlanes = 1;
    if (subtype == MEDIASUBTYPE_YUY2) {
        bmi.biBitCount = 16;
        bmi.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
    } else if (subtype == MEDIASUBTYPE_MJPG) {
        bmi.biBitCount = 24;
        bmi.biCompression = MAKEFOURCC('M', 'J', 'P', 'G');
    } else {
        bmi.biBitCount = 24;
        bmi.biCompression = BI_RGB;
    }
    bmi.biSizeImage = DWORD(width) * height * (bmi.biBitCount / 8);
    type.lSampleSize = bmi.biSizeImage;
    info->dwBitRate = DWORD(bmi.biSizeImage * 8 * 30);
    return type;
}

const VIDEOINFOHEADER* VideoInfo(const AM_MEDIA_TYPE& type)
{
    if (type.formattype != FORMAT_VideoInfo || !type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

class CEnumTypes final : public IEnumMediaTypes {
public:
    explicit CEnumTypes(std::vector<AM_MEDIA_TYPE> types, size_t position = 0)
        : m_types(std::move(types)), m_position(position) { ++g_testCamObjects; }
    ~CEnumTypes()
    {
        for (auto& type : m_types)
            FreeType(type);
        --g_testCamObjects;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
            *ppv = static_cast<IEnumMediaTypes*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long refs = --m_refs;
        if (!refs)
            delete this;
        return ULONG(refs);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** out, ULONG* fetched) override
    {
        ULONG n = 0;
        while (n < count && m_position < m_types.size())
            out[n++] = NewCopy(m_types[m_position++]);
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        m_position = std::min<size_t>(m_types.size(), m_position + count);
        return m_position < m_types.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override { m_position = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override
    {
        std::vector<AM_MEDIA_TYPE> copies(m_types.size());
        for (size_t i = 0; i < m_types.size(); ++i)
            CopyType(copies[i], m_types[i]);
        *out = new CEnumTypes(std::move(copies), m_position);
        return S_OK;
    }

private:
    std::atomic<long> m_refs{1};
    std::vector<AM_MEDIA_TYPE> m_types;
    size_t m_position;
};

class CEnumPins final : public IEnumPins {
public:
    CEnumPins(IBaseFilter* filter, std::vector<IPin*> pins, ULONG position = 0)
        : m_filter(filter), m_pins(std::move(pins)), m_position(position)
    {
        m_filter->AddRef();
        ++g_testCamObjects;
    }
    ~CEnumPins()
    {
        m_filter->Release();
        --g_testCamObjects;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IEnumPins) {
            *ppv = static_cast<IEnumPins*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long refs = --m_refs;
        if (!refs)
            delete this;
        return ULONG(refs);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** out, ULONG* fetched) override
    {
        ULONG n = 0;
        while (n < count && m_position < m_pins.size()) {
            out[n] = m_pins[m_position++];
            out[n++]->AddRef();
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        m_position = ULONG(std::min<size_t>(m_pins.size(), m_position + count));
        return m_position < m_pins.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override { m_position = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override
    {
        *out = new CEnumPins(m_filter, m_pins, m_position);
        return S_OK;
    }

private:
    std::atomic<long> m_refs{1};
    IBaseFilter* m_filter;
    std::vector<IPin*> m_pins;
    ULONG m_position;
};

// What the audio pin offers: 44.1 kHz 16-bit stereo PCM.
AM_MEDIA_TYPE PcmType()
{
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Audio;
    type.subtype = MEDIASUBTYPE_PCM;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = 4;
    type.formattype = FORMAT_WaveFormatEx;
    auto* format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    *format = WAVEFORMATEX{};
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = 2;
    format->nSamplesPerSec = 44100;
    format->wBitsPerSample = 16;
    format->nBlockAlign = 4;
    format->nAvgBytesPerSec = 44100 * 4;
    type.cbFormat = sizeof(WAVEFORMATEX);
    type.pbFormat = reinterpret_cast<BYTE*>(format);
    return type;
}

std::string Env(const char* name)
{
    char value[256] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return (n > 0 && n < sizeof value) ? std::string(value) : std::string();
}

CRITICAL_SECTION* LastFilterLock()
{
    static CRITICAL_SECTION* lock = [] {
        auto* cs = new CRITICAL_SECTION;
        InitializeCriticalSection(cs);
        return cs;
    }();
    return lock;
}
CTestCamFilter* g_lastFilter = nullptr;

} // namespace

TestCamOptions TestCamOptions::FromEnvironment()
{
    TestCamOptions options;
    const std::string subtypes = Env("TQ_TESTCAM_SUBTYPES");
    if (!subtypes.empty()) {
        options.rgb24 = subtypes.find("RGB24") != std::string::npos;
        options.yuy2 = subtypes.find("YUY2") != std::string::npos;
        options.mjpg = subtypes.find("MJPG") != std::string::npos;
    }
    const std::string mode = Env("TQ_TESTCAM_MJPEG");
    if (!mode.empty())
        options.mjpegMode = mode;
    const std::string caps = Env("TQ_TESTCAM_CAPSSIZE");
    if (!caps.empty())
        options.capsSize = atoi(caps.c_str());
    options.shortSamples = Env("TQ_TESTCAM_SHORT") == "1";
    options.audio = Env("TQ_TESTCAM_AUDIO") == "1";
    return options;
}

// ---- what both pins share ----

ULONG STDMETHODCALLTYPE CTestCamOutputPin::AddRef() { return m_filter->AddRef(); }
ULONG STDMETHODCALLTYPE CTestCamOutputPin::Release() { return m_filter->Release(); }

HRESULT STDMETHODCALLTYPE CTestCamOutputPin::ConnectedTo(IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = m_connected;
    if (!m_connected)
        return VFW_E_NOT_CONNECTED;
    m_connected->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamOutputPin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    if (!m_connected) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyType(*type, m_type) ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE CTestCamOutputPin::QueryPinInfo(PIN_INFO* info)
{
    info->pFilter = m_filter;
    m_filter->AddRef();
    info->dir = PINDIR_OUTPUT;
    lstrcpynW(info->achName, m_name, MAX_PIN_NAME);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamOutputPin::QueryDirection(PIN_DIRECTION* dir)
{
    *dir = PINDIR_OUTPUT;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamOutputPin::QueryId(LPWSTR* id)
{
    const size_t bytes = (wcslen(m_name) + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    memcpy(*id, m_name, bytes);
    return S_OK;
}

// ---- pin ----

CTestCamPin::CTestCamPin(CTestCamFilter* filter)
    : CTestCamOutputPin(filter, L"Capture"), m_options(TestCamOptions::FromEnvironment())
{
    InitializeCriticalSection(&m_lock);
}

CTestCamPin::~CTestCamPin()
{
    Inactive();
    Disconnect();
    FreeType(m_chosen);
    DeleteCriticalSection(&m_lock);
}

HRESULT STDMETHODCALLTYPE CTestCamPin::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPin)
        *ppv = static_cast<IPin*>(this);
    else if (riid == IID_IAMStreamConfig)
        *ppv = static_cast<IAMStreamConfig*>(this);
    else if (riid == IID_IKsPropertySet)
        *ppv = static_cast<IKsPropertySet*>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}


std::vector<AM_MEDIA_TYPE> CTestCamPin::OfferedTypes() const
{
    if (m_chosen.majortype == GUID_NULL)
        return AllTypes();
    std::vector<AM_MEDIA_TYPE> types(1);
    CopyType(types[0], m_chosen);
    return types;
}

std::vector<AM_MEDIA_TYPE> CTestCamPin::AllTypes() const
{
    std::vector<AM_MEDIA_TYPE> types;
    for (const auto& size : kSizes) {
        if (m_options.mjpg) types.push_back(MakeType(MEDIASUBTYPE_MJPG, size[0], size[1]));
        if (m_options.yuy2) types.push_back(MakeType(MEDIASUBTYPE_YUY2, size[0], size[1]));
        if (m_options.rgb24) types.push_back(MakeType(MEDIASUBTYPE_RGB24, size[0], size[1]));
    }
    return types;
}

bool CTestCamPin::Accepts(const AM_MEDIA_TYPE& type, bool anyCapability) const
{
    const VIDEOINFOHEADER* wanted = VideoInfo(type);
    if (type.majortype != MEDIATYPE_Video || !wanted)
        return false;
    bool found = false;
    for (AM_MEDIA_TYPE& offered : anyCapability ? AllTypes() : OfferedTypes()) {
        const VIDEOINFOHEADER* info = VideoInfo(offered);
        if (offered.subtype == type.subtype && info->bmiHeader.biWidth == wanted->bmiHeader.biWidth &&
            info->bmiHeader.biHeight == wanted->bmiHeader.biHeight)
            found = true;
        FreeType(offered);
    }
    return found;
}

HRESULT CTestCamPin::TryConnect(IPin* receiver, const AM_MEDIA_TYPE& type)
{
    if (!Accepts(type) || receiver->ReceiveConnection(this, &type) != S_OK)
        return VFW_E_NO_ACCEPTABLE_TYPES;
    IMemInputPin* input = nullptr;
    if (FAILED(receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)))) {
        receiver->Disconnect();
        return VFW_E_NO_TRANSPORT;
    }
    IMemAllocator* allocator = nullptr;
    if (FAILED(input->GetAllocator(&allocator)) &&
        FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                reinterpret_cast<void**>(&allocator)))) {
        input->Release();
        receiver->Disconnect();
        return VFW_E_NO_ALLOCATOR;
    }
    const VIDEOINFOHEADER* info = VideoInfo(type);
    ALLOCATOR_PROPERTIES wanted = {}, actual = {};
    wanted.cBuffers = 3;
    wanted.cbBuffer = LONG(info->bmiHeader.biWidth) * std::abs(info->bmiHeader.biHeight) * 3;
    wanted.cbAlign = 1;
    if (FAILED(allocator->SetProperties(&wanted, &actual)) || FAILED(input->NotifyAllocator(allocator, FALSE))) {
        allocator->Release();
        input->Release();
        receiver->Disconnect();
        return VFW_E_NO_ALLOCATOR;
    }
    EnterCriticalSection(&m_lock);
    m_connected = receiver;
    m_connected->AddRef();
    m_input = input;
    m_allocator = allocator;
    CopyType(m_type, type);
    LeaveCriticalSection(&m_lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamPin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type)
{
    if (!receiver)
        return E_POINTER;
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    for (AM_MEDIA_TYPE& offered : OfferedTypes()) {
        bool matches = !type || ((type->majortype == GUID_NULL || type->majortype == offered.majortype) &&
                                 (type->subtype == GUID_NULL || type->subtype == offered.subtype));
        HRESULT hr = VFW_E_NO_ACCEPTABLE_TYPES;
        if (matches && !m_connected)
            hr = TryConnect(receiver, offered);
        FreeType(offered);
        if (hr == S_OK)
            return S_OK;
    }
    return m_connected ? S_OK : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT STDMETHODCALLTYPE CTestCamPin::Disconnect()
{
    EnterCriticalSection(&m_lock);
    const bool was = m_connected != nullptr;
    if (m_allocator) m_allocator->Release();
    if (m_input) m_input->Release();
    if (m_connected) m_connected->Release();
    m_allocator = nullptr;
    m_input = nullptr;
    m_connected = nullptr;
    FreeType(m_type);
    LeaveCriticalSection(&m_lock);
    return was ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CTestCamPin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    return type && Accepts(*type) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CTestCamPin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types)
        return E_POINTER;
    *types = new CEnumTypes(OfferedTypes());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamPin::SetFormat(AM_MEDIA_TYPE* type)
{
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!type) {
        FreeType(m_chosen);
        return S_OK;
    }
    if (!Accepts(*type, true))
        return E_INVALIDARG;
    FreeType(m_chosen);
    CopyType(m_chosen, *type);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamPin::GetFormat(AM_MEDIA_TYPE** type)
{
    std::vector<AM_MEDIA_TYPE> offered = OfferedTypes();
    *type = offered.empty() ? nullptr : NewCopy(m_connected ? m_type : offered[0]);
    for (auto& t : offered)
        FreeType(t);
    return *type ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CTestCamPin::GetNumberOfCapabilities(int* count, int* size)
{
    const int perSize = int(m_options.rgb24) + int(m_options.yuy2) + int(m_options.mjpg);
    *count = perSize * int(sizeof kSizes / sizeof kSizes[0]);
    *size = m_options.capsSize;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* capsBytes)
{
    std::vector<AM_MEDIA_TYPE> offered = AllTypes();
    HRESULT hr = S_FALSE;
    if (index >= 0 && size_t(index) < offered.size()) {
        *type = NewCopy(offered[index]);
        const VIDEOINFOHEADER* info = VideoInfo(offered[index]);
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        caps.guid = FORMAT_VideoInfo;
        caps.InputSize = caps.MinCroppingSize = caps.MaxCroppingSize = caps.MinOutputSize = caps.MaxOutputSize =
            SIZE{info->bmiHeader.biWidth, info->bmiHeader.biHeight};
        caps.CropGranularityX = caps.CropGranularityY = caps.OutputGranularityX = caps.OutputGranularityY = 1;
        caps.MinFrameInterval = kDefaultInterval;
        caps.MaxFrameInterval = 10000000;
        memcpy(capsBytes, &caps, sizeof caps);
        hr = S_OK;
    }
    for (auto& t : offered)
        FreeType(t);
    return hr;
}

HRESULT STDMETHODCALLTYPE CTestCamPin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size,
                                           DWORD* returned)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (returned)
        *returned = sizeof(GUID);
    if (!data)
        return S_OK;
    if (size < sizeof(GUID))
        return E_UNEXPECTED;
    *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamPin::QuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (support)
        *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

HRESULT CTestCamPin::Active()
{
    if (!m_allocator)
        return S_OK;
    if (m_thread) {
        if (!m_stop)
            return S_OK;
        Inactive();  // the thread of a pause has stopped or is stopping
    }
    HRESULT hr = m_allocator->Commit();
    if (FAILED(hr))
        return hr;
    m_stop = false;
    m_thread = CreateThread(nullptr, 0, &CTestCamPin::StreamThread, this, 0, nullptr);
    return m_thread ? S_OK : E_FAIL;
}

void CTestCamPin::Inactive()
{
    if (!m_thread)
        return;
    m_stop = true;
    if (m_allocator)
        m_allocator->Decommit();  // releases a GetBuffer that waits
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
}

DWORD WINAPI CTestCamPin::StreamThread(void* self)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<CTestCamPin*>(self)->Stream();
    CoUninitialize();
    return 0;
}

void CTestCamPin::MakeSample(std::vector<uint8_t>& out, unsigned frame)
{
    const VIDEOINFOHEADER* info = VideoInfo(m_type);
    const int width = info->bmiHeader.biWidth;
    const int height = std::abs(info->bmiHeader.biHeight);
    if (m_type.subtype == MEDIASUBTYPE_YUY2) {
        FillYuy2(out, width, height, frame);
    } else if (m_type.subtype == MEDIASUBTYPE_MJPG) {
        const std::string& mode = m_options.mjpegMode;
        if (mode == "oversize") {
            EncodeJpeg(out, width * 2, height * 2, frame);
        } else if (mode == "garbage") {
            out.assign(4000, 0x55);
            out[0] = 0xFF; out[1] = 0xD8; out[2] = 0xFF; out[3] = 0xC0;
            out[3998] = 0xFF; out[3999] = 0xD9;
        } else {
            EncodeJpeg(out, width, height, frame);
            if (mode == "noeoi") {
                out.resize(out.size() - 2);
            } else if (mode == "truncated") {
                out.resize(out.size() / 2);
                out.push_back(0xFF);
                out.push_back(0xD9);
            }
        }
    } else {
        FillRgb24(out, width, height, frame);
    }
    if (m_options.shortSamples)
        out.resize(out.size() / 2);
}

void CTestCamPin::Stream()
{
    const VIDEOINFOHEADER* info = VideoInfo(m_type);
    const REFERENCE_TIME interval = info && info->AvgTimePerFrame > 0 ? info->AvgTimePerFrame : kDefaultInterval;
    const DWORD periodMs = DWORD(std::max<REFERENCE_TIME>(5, interval / 10000));
    std::vector<uint8_t> data;
    for (unsigned frame = 0; !m_stop; ++frame) {
        if (m_unplugged) {
            Sleep(5);
            continue;
        }
        IMediaSample* sample = nullptr;
        if (FAILED(m_allocator->GetBuffer(&sample, nullptr, nullptr, 0)) || !sample)
            break;
        MakeSample(data, frame);
        BYTE* buffer = nullptr;
        sample->GetPointer(&buffer);
        const long size = std::min<long>(long(data.size()), sample->GetSize());
        memcpy(buffer, data.data(), size_t(size));
        sample->SetActualDataLength(size);
        REFERENCE_TIME start = REFERENCE_TIME(frame) * interval, end = start + interval;
        sample->SetTime(&start, &end);
        sample->SetSyncPoint(TRUE);
        const HRESULT hr = m_input->Receive(sample);
        sample->Release();
        if (hr != S_OK)
            break;
        for (DWORD slept = 0; slept < periodMs && !m_stop; slept += 5)
            Sleep(5);
    }
}

// ---- filter ----

CTestCamFilter::CTestCamFilter() : m_hasAudio(TestCamOptions::FromEnvironment().audio)
{
    InitializeCriticalSection(&m_lock);
    ++g_testCamObjects;
    EnterCriticalSection(LastFilterLock());
    g_lastFilter = this;
    LeaveCriticalSection(LastFilterLock());
}

CTestCamFilter::~CTestCamFilter()
{
    EnterCriticalSection(LastFilterLock());
    if (g_lastFilter == this)
        g_lastFilter = nullptr;
    LeaveCriticalSection(LastFilterLock());
    m_pin.Inactive();
    if (m_clock)
        m_clock->Release();
    DeleteCriticalSection(&m_lock);
    --g_testCamObjects;
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter || riid == IID_IBaseFilter) {
        *ppv = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CTestCamFilter::AddRef() { return ULONG(++m_refs); }

ULONG STDMETHODCALLTYPE CTestCamFilter::Release()
{
    const long refs = --m_refs;
    if (!refs)
        delete this;
    return ULONG(refs);
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::GetClassID(CLSID* clsid)
{
    *clsid = CLSID_TqTestCamera;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::Stop()
{
    EnterCriticalSection(&m_lock);
    m_pin.Inactive();
    m_state = State_Stopped;
    LeaveCriticalSection(&m_lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::Pause()
{
    EnterCriticalSection(&m_lock);
    // A capture source only delivers while it runs. The thread is not waited
    // for here: a paused renderer downstream may hold it in Receive until stopped.
    m_pin.RequestStop();
    m_state = State_Paused;
    LeaveCriticalSection(&m_lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::Run(REFERENCE_TIME)
{
    EnterCriticalSection(&m_lock);
    const HRESULT hr = m_pin.Active();
    if (SUCCEEDED(hr))
        m_state = State_Running;
    LeaveCriticalSection(&m_lock);
    return hr;
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = m_state;
    // A live source has no data to show while paused.
    return m_state == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::SetSyncSource(IReferenceClock* clock)
{
    EnterCriticalSection(&m_lock);
    if (clock)
        clock->AddRef();
    if (m_clock)
        m_clock->Release();
    m_clock = clock;
    LeaveCriticalSection(&m_lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::GetSyncSource(IReferenceClock** clock)
{
    *clock = m_clock;
    if (m_clock)
        m_clock->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::EnumPins(IEnumPins** pins)
{
    std::vector<IPin*> list = {&m_pin};
    if (m_hasAudio)
        list.push_back(&m_audio);
    *pins = new CEnumPins(this, std::move(list));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (id && wcscmp(id, L"Capture") == 0) {
        *pin = &m_pin;
        m_pin.AddRef();
        return S_OK;
    }
    if (id && m_hasAudio && wcscmp(id, L"Audio") == 0) {
        *pin = &m_audio;
        m_audio.AddRef();
        return S_OK;
    }
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::QueryFilterInfo(FILTER_INFO* info)
{
    wcscpy(info->achName, m_name);
    info->pGraph = m_graph;
    if (m_graph)
        m_graph->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    EnterCriticalSection(&m_lock);
    m_graph = graph;
    m_name[0] = 0;
    if (name)
        lstrcpynW(m_name, name, MAX_FILTER_NAME);
    LeaveCriticalSection(&m_lock);
    return S_OK;
}

void CTestCamFilter::NotifyDeviceLost(int back)
{
    m_pin.SetUnplugged(back == 0);
    if (!m_graph)
        return;
    IMediaEventSink* sink = nullptr;
    if (SUCCEEDED(m_graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
        sink->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)), back);
        sink->Release();
    }
}

std::wstring CTestCamFilter::GraphFilterNames()
{
    std::wstring names;
    IEnumFilters* filters = nullptr;
    if (!m_graph || FAILED(m_graph->EnumFilters(&filters)))
        return names;
    IBaseFilter* filter = nullptr;
    while (filters->Next(1, &filter, nullptr) == S_OK) {
        FILTER_INFO info = {};
        if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
            names += std::wstring(names.empty() ? L"" : L"|") + info.achName;
            if (info.pGraph)
                info.pGraph->Release();
        }
        filter->Release();
    }
    filters->Release();
    return names;
}

// ---- audio pin ----

HRESULT STDMETHODCALLTYPE CTestCamAudioPin::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPin) {
        *ppv = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}


HRESULT STDMETHODCALLTYPE CTestCamAudioPin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type)
{
    if (!receiver)
        return E_POINTER;
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    AM_MEDIA_TYPE pcm = PcmType();
    if (type && ((type->majortype != GUID_NULL && type->majortype != pcm.majortype) ||
                 (type->subtype != GUID_NULL && type->subtype != pcm.subtype))) {
        FreeType(pcm);
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    if (receiver->ReceiveConnection(this, &pcm) != S_OK) {
        FreeType(pcm);
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    // A renderer wants an allocator even from a pin that never delivers.
    IMemInputPin* input = nullptr;
    IMemAllocator* allocator = nullptr;
    ALLOCATOR_PROPERTIES wanted = {4, 44100 * 4 / 10, 1, 0}, actual = {};
    const bool ready = SUCCEEDED(receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input))) &&
                       (SUCCEEDED(input->GetAllocator(&allocator)) ||
                        SUCCEEDED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                                   IID_IMemAllocator, reinterpret_cast<void**>(&allocator)))) &&
                       SUCCEEDED(allocator->SetProperties(&wanted, &actual)) &&
                       SUCCEEDED(input->NotifyAllocator(allocator, FALSE));
    if (allocator)
        allocator->Release();
    if (input)
        input->Release();
    if (!ready) {
        receiver->Disconnect();
        FreeType(pcm);
        return VFW_E_NO_TRANSPORT;
    }
    m_connected = receiver;
    m_connected->AddRef();
    m_type = pcm;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamAudioPin::Disconnect()
{
    if (!m_connected)
        return S_FALSE;
    m_connected->Release();
    m_connected = nullptr;
    FreeType(m_type);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestCamAudioPin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    return type && type->majortype == MEDIATYPE_Audio && type->subtype == MEDIASUBTYPE_PCM ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CTestCamAudioPin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types)
        return E_POINTER;
    *types = new CEnumTypes({PcmType()});
    return S_OK;
}

extern "C" int WINAPI TestCamGraphFilters(wchar_t* out, int chars)
{
    EnterCriticalSection(LastFilterLock());
    const std::wstring names = g_lastFilter ? g_lastFilter->GraphFilterNames() : std::wstring();
    LeaveCriticalSection(LastFilterLock());
    if (out && chars > 0)
        lstrcpynW(out, names.c_str(), chars);
    return int(names.size());
}

extern "C" void WINAPI TestCamNotifyDeviceLost(int back)
{
    EnterCriticalSection(LastFilterLock());
    if (g_lastFilter)
        g_lastFilter->NotifyDeviceLost(back);
    LeaveCriticalSection(LastFilterLock());
}
