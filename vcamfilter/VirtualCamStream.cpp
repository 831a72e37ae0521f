#include "VirtualCamStream.h"

#include "FrameProtocol.h"
#include "HostIntegration.h"
#include "VirtualCamFilter.h"

#include <mmsystem.h>
#include <uuids.h>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

constexpr DWORD kFrameSyncWaitMs = 200;
constexpr DWORD kShareMutexWaitMs = 1000;
constexpr size_t kWorkBufferBytes = tq::kMaxFramePixelBytes;
// The engine produces at most 800 x 600 at 30 frames per second; asking it for
// more would only make it refuse the whole request.
constexpr uint32_t kMaxRequestWidth = 800;
constexpr uint32_t kMaxRequestHeight = 600;
constexpr uint32_t kMinRequestFrameTime = 333333;

struct CapsEntry {
    int width;
    int height;
    REFERENCE_TIME frameTime;
};
// Index 0 is the current type; these are indices 1..15.
constexpr CapsEntry kCapsTable[] = {
    {320, 240, 333333}, {320, 240, 666666}, {320, 240, 1000000},
    {640, 480, 1000000}, {640, 480, 666666}, {640, 480, 333333},
    {800, 600, 333333}, {800, 600, 666666}, {800, 600, 1000000},
    {400, 300, 333333}, {400, 300, 666666}, {400, 300, 1000000},
    {480, 360, 333333}, {480, 360, 666666}, {480, 360, 1000000},
};

size_t DibStride(int width)
{
    return (size_t(width) * 3 + 3) & ~size_t(3);
}

double NowMs()
{
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

} // namespace

CVirtualCamStream::CVirtualCamStream(HRESULT* hr, CVirtualCamFilter* filter, const wchar_t* name)
    : CSourceStream(name, filter),
      m_camFilter(filter),
      m_cropBuffer(new (std::nothrow) uint8_t[kWorkBufferBytes]),
      m_stepBuffer(new (std::nothrow) uint8_t[kWorkBufferBytes]),
      m_synFrameEvent(CreateEventW(nullptr, FALSE, FALSE, tq::kSynFrameEventName))
{
    BuildRgb24Type(m_mt, 320, 240, 1000000);
    if (hr && (!m_cropBuffer || !m_stepBuffer || !m_mt.IsValid()))
        *hr = E_OUTOFMEMORY;
}

CVirtualCamStream::~CVirtualCamStream()
{
    // The streaming thread uses the buffers below: end it before they go.
    Inactive();
}

STDMETHODIMP CVirtualCamStream::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IAMStreamConfig)
        return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    if (riid == IID_IKsPropertySet)
        return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
    if (riid == IID_IVirtualCamProbe)
        return GetInterface(static_cast<IVirtualCamProbe*>(this), ppv);
    if (riid == IID_IVirtualCamFrameSync)
        return GetInterface(static_cast<IVirtualCamFrameSync*>(this), ppv);
    if (riid == IID_IVirtualCamSmoothState)
        return GetInterface(static_cast<IVirtualCamSmoothState*>(this), ppv);
    if (riid == IID_IVirtualCamFrameRate)
        return GetInterface(static_cast<IVirtualCamFrameRate*>(this), ppv);
    if (riid == IID_IVirtualCamResize)
        return GetInterface(static_cast<IVirtualCamResize*>(this), ppv);
    return CSourceStream::NonDelegatingQueryInterface(riid, ppv);
}

void CVirtualCamStream::BuildRgb24Type(CMediaType& mt, int width, int height, REFERENCE_TIME frameTime)
{
    mt.Clear();
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormat(sizeof(VIDEOINFOHEADER)));
    if (!vih)
        return;
    vih->AvgTimePerFrame = frameTime;
    BITMAPINFOHEADER& bih = vih->bmiHeader;
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biWidth = width;
    bih.biHeight = height;  // positive: bottom-up
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = BI_RGB;
    bih.biSizeImage = DWORD(DibStride(width) * size_t(height));
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.formattype = FORMAT_VideoInfo;
    mt.bFixedSizeSamples = TRUE;
    mt.bTemporalCompression = FALSE;
    mt.lSampleSize = bih.biSizeImage;
}

static_assert(CVirtualCamStream::FormatBlockHolds(sizeof(BITMAPINFOHEADER), sizeof(VIDEOINFOHEADER)), "");
static_assert(!CVirtualCamStream::FormatBlockHolds(0xFFFFFFF0u, sizeof(VIDEOINFOHEADER)), "claimed size wraps");
static_assert(!CVirtualCamStream::FormatBlockHolds(0xFFFFFFFFu, 0xFFFFFFFFu), "");

bool CVirtualCamStream::IsAcceptableFormat(const AM_MEDIA_TYPE& mt)
{
    if (mt.majortype != MEDIATYPE_Video || mt.subtype != MEDIASUBTYPE_RGB24 || mt.formattype != FORMAT_VideoInfo)
        return false;
    if (!mt.pbFormat || mt.cbFormat < sizeof(VIDEOINFOHEADER))
        return false;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
    const BITMAPINFOHEADER& bih = vih->bmiHeader;
    if (bih.biSize < sizeof(BITMAPINFOHEADER) || !FormatBlockHolds(bih.biSize, mt.cbFormat))
        return false;
    return bih.biBitCount == 24 && bih.biCompression == BI_RGB && bih.biPlanes == 1 && bih.biWidth > 0 &&
           bih.biWidth <= kMaxFormatSide && bih.biHeight > 0 && bih.biHeight <= kMaxFormatSide;
}

HRESULT CVirtualCamStream::GetMediaType(int position, CMediaType* mt)
{
    tq::CCritSecLock lock(*m_filter->StateLock());
    if (position < 0)
        return E_INVALIDARG;
    if (position > kLadderSize)
        return VFW_S_NO_MORE_ITEMS;
    if (position == 0)
        *mt = m_mt;
    else
        BuildRgb24Type(*mt, 80 * position, 60 * position, 1000000);
    return mt->IsValid() ? S_OK : E_OUTOFMEMORY;
}

HRESULT CVirtualCamStream::CheckMediaType(const CMediaType* mt)
{
    return mt && m_mt.SameAs(*mt) ? S_OK : E_INVALIDARG;
}

HRESULT CVirtualCamStream::SetMediaType(const CMediaType* mt)
{
    tq::CCritSecLock lock(*m_filter->StateLock());
    return CSourceStream::SetMediaType(mt);
}

void CVirtualCamStream::TakeNegotiatedFormat(const CMediaType& mt)
{
    const VIDEOINFOHEADER* vih = mt.VideoInfo();
    if (!vih)
        return;
    tq::CCritSecLock lock(m_pinLock);
    m_width = vih->bmiHeader.biWidth;
    m_height = vih->bmiHeader.biHeight;
    m_timePerFrameSample = vih->AvgTimePerFrame;
}

HRESULT CVirtualCamStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!allocator || !request)
        return E_POINTER;
    tq::CCritSecLock lock(*m_filter->StateLock());
    const VIDEOINFOHEADER* vih = m_mt.VideoInfo();
    if (!vih)
        return VFW_E_INVALIDMEDIATYPE;
    // One buffer: a sample queue would only make the picture late.
    request->cBuffers = 1;
    request->cbBuffer = LONG(vih->bmiHeader.biSizeImage);
    if (request->cbAlign <= 0)
        request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual = {};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    if (actual.cbBuffer < request->cbBuffer || actual.cBuffers < 1)
        return E_FAIL;
    TakeNegotiatedFormat(m_mt);
    DebugTrace("::DecideBufferSize: m_timePerFrameSample = %d", int(m_timePerFrameSample / 10000));
    return S_OK;
}

HRESULT CVirtualCamStream::OnThreadCreate()
{
    tq::CCritSecLock lock(m_pinLock);
    m_mediaTimeEnd = 0;
    m_lastDeliveryMs = 0;
    m_lastWasNewFrame = false;
    m_nextFrameWatchOpenMs = 0;
    // Millisecond waits for the deadlines, while the stream runs.
    timeBeginPeriod(1);
    return S_OK;
}

HRESULT CVirtualCamStream::OnThreadDestroy()
{
    CloseFrameWatch();
    timeEndPeriod(1);
    return S_OK;
}

STDMETHODIMP CVirtualCamStream::Notify(IBaseFilter*, Quality)
{
    return E_NOTIMPL;
}

// IAMStreamConfig

STDMETHODIMP CVirtualCamStream::SetFormat(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    tq::CCritSecLock lock(*m_filter->StateLock());
    if (!IsAcceptableFormat(*pmt))
        return VFW_E_INVALIDMEDIATYPE;
    if (m_filter->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    // Callers patch width, height and interval into a type we handed out:
    // the image and sample sizes follow from them.
    CMediaType mt(*pmt);
    if (!mt.IsValid())
        return E_OUTOFMEMORY;
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat);
    vih->bmiHeader.biSizeImage = DWORD(DibStride(vih->bmiHeader.biWidth) * size_t(vih->bmiHeader.biHeight));
    mt.lSampleSize = vih->bmiHeader.biSizeImage;
    mt.bFixedSizeSamples = TRUE;
    mt.bTemporalCompression = FALSE;
    m_mt = mt;
    if (IsConnected()) {
        if (IFilterGraph* graph = m_filter->Graph()) {
            graph->Reconnect(static_cast<IPin*>(this));
            graph->SetDefaultSyncSource();
        }
        TakeNegotiatedFormat(mt);
        tq::CCritSecLock pinLock(m_pinLock);
        m_targetWidth = m_width;
        m_targetHeight = m_height;
    }
    DebugTrace("::SetFormat: m_timePerFrameSample = %d", int(vih->AvgTimePerFrame));
    return S_OK;
}

STDMETHODIMP CVirtualCamStream::GetFormat(AM_MEDIA_TYPE** mt)
{
    if (!mt)
        return E_POINTER;
    tq::CCritSecLock lock(*m_filter->StateLock());
    *mt = m_mt.CreateCopy();
    return *mt ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CVirtualCamStream::GetNumberOfCapabilities(int* count, int* size)
{
    if (!count || !size)
        return E_POINTER;
    *count = kCapsCount;
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP CVirtualCamStream::GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* capsBytes)
{
    if (!pmt || !capsBytes)
        return E_POINTER;
    tq::CCritSecLock lock(*m_filter->StateLock());
    if (index < 0)
        return E_INVALIDARG;
    if (index >= kCapsCount)
        return VFW_S_NO_MORE_ITEMS;
    CMediaType mt(m_mt);
    if (index > 0) {
        const CapsEntry& entry = kCapsTable[index - 1];
        BuildRgb24Type(mt, entry.width, entry.height, entry.frameTime);
        mt.bFixedSizeSamples = FALSE;
    }
    const VIDEOINFOHEADER* vih = mt.VideoInfo();
    if (!vih)
        return E_OUTOFMEMORY;
    *pmt = mt.CreateCopy();
    if (!*pmt)
        return E_OUTOFMEMORY;

    // The record describes exactly this entry's size; the interval range is
    // what the engine can deliver (30 to 10 frames per second).
    const LONG width = vih->bmiHeader.biWidth;
    const LONG height = vih->bmiHeader.biHeight;
    auto* caps = reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(capsBytes);
    memset(caps, 0, sizeof(*caps));
    caps->guid = FORMAT_VideoInfo;
    caps->VideoStandard = 0;
    caps->InputSize = {width, height};
    caps->MinCroppingSize = {width, height};
    caps->MaxCroppingSize = {width, height};
    caps->CropGranularityX = 1;
    caps->CropGranularityY = 1;
    caps->CropAlignX = 1;
    caps->CropAlignY = 1;
    caps->MinOutputSize = {width, height};
    caps->MaxOutputSize = {width, height};
    caps->OutputGranularityX = 1;
    caps->OutputGranularityY = 1;
    caps->StretchTapsX = 0;
    caps->StretchTapsY = 0;
    caps->ShrinkTapsX = 0;
    caps->ShrinkTapsY = 0;
    caps->MinFrameInterval = std::min<REFERENCE_TIME>(333333, vih->AvgTimePerFrame);
    caps->MaxFrameInterval = std::max<REFERENCE_TIME>(1000000, vih->AvgTimePerFrame);
    const LONG bitsPerFrame = LONG(vih->bmiHeader.biSizeImage) * 8;
    caps->MinBitsPerSecond = LONG(double(bitsPerFrame) * 10000000.0 / double(caps->MaxFrameInterval));
    caps->MaxBitsPerSecond = LONG(double(bitsPerFrame) * 10000000.0 / double(caps->MinFrameInterval));
    return S_OK;
}

// IKsPropertySet

STDMETHODIMP CVirtualCamStream::Set(REFGUID, DWORD, void*, DWORD, void*, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CVirtualCamStream::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataSize, DWORD* returned)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (!data && !returned)
        return E_POINTER;
    if (returned)
        *returned = sizeof(GUID);
    if (!data)
        return S_OK;
    if (dataSize < sizeof(GUID))
        return E_UNEXPECTED;
    *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
    return S_OK;
}

STDMETHODIMP CVirtualCamStream::QuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (support)
        *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

// Private interfaces

STDMETHODIMP CVirtualCamStream::Probe(LONG, LONG)
{
    return S_OK;
}

STDMETHODIMP CVirtualCamStream::EnableFrameSync(BYTE* enabled)
{
    m_frameSync = true;
    if (enabled)
        *enabled = 1;
    return S_OK;
}

STDMETHODIMP CVirtualCamStream::GetSmoothFlag(BYTE* smoothed)
{
    if (smoothed)
        *smoothed = m_smooth ? 1 : 0;
    return S_OK;
}

STDMETHODIMP CVirtualCamStream::SetFrameRate(LONG code)
{
    tq::CCritSecLock lock(m_pinLock);
    DebugTrace("Filter::SetFrameRate:current frame rate = %d", int(code));
    switch (code) {
    case 0: m_timePerFrameSample = 1000000; break;
    case 1: m_timePerFrameSample = 666666; break;
    case 2: m_timePerFrameSample = 333333; break;
    default: break;
    }
    return S_OK;
}

STDMETHODIMP CVirtualCamStream::SetResizeSteps(const std::vector<ResizeStep>* steps)
{
    if (!steps)
        return E_POINTER;
    // Every step's picture passes through the 1,440,000-byte work buffers.
    for (const ResizeStep& step : *steps) {
        if (step.width <= 0 || step.height <= 0 ||
            uint64_t(step.width) * uint64_t(step.height) * 3 > kWorkBufferBytes)
            return E_INVALIDARG;
    }
    tq::CCritSecLock lock(m_pinLock);
    m_resizeSteps = *steps;
    return S_OK;
}

STDMETHODIMP CVirtualCamStream::GetTargetSize(LONG* width, LONG* height)
{
    tq::CCritSecLock lock(m_pinLock);
    if (width)
        *width = m_targetWidth;
    if (height)
        *height = m_targetHeight;
    return S_OK;
}

// Samples

bool CVirtualCamStream::EnterStateLockUnlessStopped()
{
    // Stop holds the filter lock while it waits for this thread to end.
    while (!TryEnterCriticalSection(m_filter->StateLock()->Get())) {
        if (WaitUnlessStopped(nullptr, 1) == kWaitStopped)
            return false;
    }
    return true;
}

bool CVirtualCamStream::GuessSizeFromSample(long bufferSize, IMediaSample* sample)
{
    int width, height;
    NegotiatedSize(width, height);
    if (bufferSize == long(width) * height * 3)
        return false;
    int side = 0;
    for (int i = 1; i <= 8 && !side; ++i) {
        if (long(i) * i * 14400 == bufferSize)
            side = i;
    }
    if (!side)
        return false;

    // The consumer reads the picture's size from the connection's type, so
    // the size changes only with a type the downstream pin accepts mid-stream,
    // handed over on the sample. The connection's type is only changed while
    // stopped elsewhere, so this thread may read it without the filter lock.
    CMediaType mt(m_mt);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat);
    IPin* downstream = ConnectedPin();
    if (!sample || !downstream || !mt.IsValid() || !vih || mt.cbFormat < sizeof(VIDEOINFOHEADER))
        return false;
    vih->bmiHeader.biWidth = 80 * side;
    vih->bmiHeader.biHeight = 60 * side;
    vih->bmiHeader.biSizeImage = DWORD(DibStride(80 * side) * size_t(60 * side));
    SetRectEmpty(&vih->rcSource);
    SetRectEmpty(&vih->rcTarget);
    mt.lSampleSize = vih->bmiHeader.biSizeImage;
    if (vih->bmiHeader.biSizeImage > DWORD(bufferSize) || downstream->QueryAccept(&mt) != S_OK) {
        DebugTrace("TqNelu: sample buffer fits %dx%d, the connection is %dx%d: kept", 80 * side, 60 * side, width,
                   height);
        return false;
    }
    if (!EnterStateLockUnlessStopped())
        return false;
    const bool attached = SUCCEEDED(sample->SetMediaType(&mt));
    if (attached)
        m_mt = mt;
    LeaveCriticalSection(m_filter->StateLock()->Get());
    if (!attached)
        return false;
    {
        tq::CCritSecLock lock(m_pinLock);
        m_width = 80 * side;
        m_height = 60 * side;
    }
    DebugTrace("TqNelu: sample buffer fits %dx%d: the connection follows it", 80 * side, 60 * side);
    return true;
}

void CVirtualCamStream::NegotiatedSize(int& width, int& height)
{
    tq::CCritSecLock lock(m_pinLock);
    width = m_width;
    height = m_height;
}

REFERENCE_TIME CVirtualCamStream::PacingInterval() const
{
    // A nonsense interval from a consumer must neither spin nor stall the thread.
    if (m_timePerFrameSample <= 0)
        return 1000000;
    return std::min<REFERENCE_TIME>(std::max<REFERENCE_TIME>(m_timePerFrameSample, 100000), 10000000);
}

bool CVirtualCamStream::WaitForDelivery()
{
    // Each engine frame goes out as soon as the engine has written it; when
    // none comes, the latest picture goes out once the consumer's interval is
    // up. A clock of our own would sample the engine at a phase fixed by
    // chance: frames lost to the drift between the clocks, up to a frame late.
    // The frame event is left to pins in frame-sync mode: one signal releases
    // one waiter, so waiting on it here would take frames away from them.
    // The record's header is watched instead, every millisecond.
    REFERENCE_TIME interval100ns;
    {
        tq::CCritSecLock lock(m_pinLock);
        interval100ns = PacingInterval();
    }
    const double interval = double(interval100ns) / 10000.0;
    double now = NowMs();
    if (m_lastDeliveryMs == 0) {
        m_lastDeliveryMs = now - interval;  // the first sample goes out at once
        m_lastWasNewFrame = false;
    }
    // After a new frame the deadline leaves the next one half an interval of
    // lateness before a repeat is sent in its place.
    const double deadline = m_lastDeliveryMs + (m_lastWasNewFrame ? interval * 1.5 : interval);
    // Past the deadline already (downstream was slow), a frame that is there
    // is still taken as new.
    bool newFrame = EngineWroteFrame();
    while (!newFrame && now < deadline) {
        if (WaitUnlessStopped(nullptr, 1) == kWaitStopped)
            return false;
        newFrame = EngineWroteFrame();
        now = NowMs();
    }
    if (newFrame) {
        m_lastDeliveryMs = now;
    } else {
        // Keep to the schedule, unless downstream held us back by more than a frame.
        m_lastDeliveryMs = now - deadline > interval ? now : deadline;
    }
    m_lastWasNewFrame = newFrame;
    return true;
}

// The low half of the header's big-endian frame time, as stored: it changes
// with every frame the engine writes.
static uint32_t StoredFrameTimeLow(const volatile uint8_t* record)
{
    return *reinterpret_cast<const volatile uint32_t*>(record + tq::kOffFrameTime + 4);
}

bool CVirtualCamStream::EngineWroteFrame()
{
    if (!m_frameWatchView) {
        // No engine yet: look for its record now and then, not every millisecond.
        const double now = NowMs();
        if (now < m_nextFrameWatchOpenMs)
            return false;
        m_nextFrameWatchOpenMs = now + 100;
        m_frameWatchMapping.Reset(OpenFileMappingW(FILE_MAP_READ, FALSE, tq::kCaptureMemoryName));
        if (!m_frameWatchMapping)
            return false;
        void* view = MapViewOfFile(m_frameWatchMapping.Get(), FILE_MAP_READ, 0, 0, 0);
        if (!view || MappedViewSize(view) < tq::kFrameHeaderSize) {
            if (view)
                UnmapViewOfFile(view);
            m_frameWatchMapping.Close();
            return false;
        }
        m_frameWatchView = static_cast<const uint8_t*>(view);
        m_lastSeenFrameTime = StoredFrameTimeLow(m_frameWatchView);
        return false;
    }
    // Read without the mutex: a half-written frame is copied only once the
    // writer lets go.
    const uint32_t time = StoredFrameTimeLow(m_frameWatchView);
    if (time == m_lastSeenFrameTime)
        return false;
    m_lastSeenFrameTime = time;
    return true;
}

void CVirtualCamStream::CloseFrameWatch()
{
    if (m_frameWatchView)
        UnmapViewOfFile(const_cast<uint8_t*>(m_frameWatchView));
    m_frameWatchView = nullptr;
    m_frameWatchMapping.Close();
}

void CVirtualCamStream::RaiseRequestRecord(uint8_t* record)
{
    const uint32_t height = tq::ReadU32BE(record, tq::kOffRequestHeight);
    const uint32_t width = tq::ReadU32BE(record, tq::kOffRequestWidth);
    const uint32_t frameTime = tq::ReadU32BE(record, tq::kOffRequestFrameTime);
    const uint32_t ownHeight = std::min<uint32_t>(uint32_t(m_height), kMaxRequestHeight);
    const uint32_t ownWidth = std::min<uint32_t>(uint32_t(m_width), kMaxRequestWidth);
    uint8_t field[4];
    if (ownHeight > height) {
        tq::WriteU32BE(field, ownHeight, 0);
        memcpy(record + tq::kOffRequestHeight, field, 4);
    }
    if (ownWidth > width) {
        tq::WriteU32BE(field, ownWidth, 0);
        memcpy(record + tq::kOffRequestWidth, field, 4);
    }
    if (m_timePerFrameSample > 0) {
        const uint32_t ownFrameTime =
            uint32_t(std::min<REFERENCE_TIME>(std::max<REFERENCE_TIME>(m_timePerFrameSample, kMinRequestFrameTime), 0x7FFFFFFF));
        if (ownFrameTime < frameTime) {
            tq::WriteU32BE(field, ownFrameTime, 0);
            memcpy(record + tq::kOffRequestFrameTime, field, 4);
        }
    }
}

CVirtualCamStream::SharedFrame CVirtualCamStream::CopySharedFrame()
{
    SharedFrame frame;
    CScopedHandle mutex(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, tq::kShareMutexName));
    if (!mutex)
        return frame;  // no engine: the request record is left alone too
    size_t copied = 0;
    {
        CTimedMutexLock lock(mutex.Get(), kShareMutexWaitMs);
        if (!lock.Locked())
            return frame;
        CScopedHandle capture(OpenFileMappingW(FILE_MAP_READ, FALSE, tq::kCaptureMemoryName));
        if (capture && m_frameCopy) {
            if (const void* view = MapViewOfFile(capture.Get(), FILE_MAP_READ, 0, 0, 0)) {
                // A mapping smaller than the record must not make us read past it.
                copied = std::min(MappedViewSize(view), tq::kFrameCopyBytes);
                memcpy(m_frameCopy.get(), view, copied);
                UnmapViewOfFile(view);
            }
        }
        CScopedHandle request(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, tq::kVcamParaMemoryName));
        if (request) {
            if (void* view = MapViewOfFile(request.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0)) {
                if (MappedViewSize(view) >= 16)
                    RaiseRequestRecord(static_cast<uint8_t*>(view));
                UnmapViewOfFile(view);
            }
        }
    }
    tq::FrameHeader header;
    if (copied && tq::ReadFrameHeader(m_frameCopy.get(), copied, header)) {
        frame.copied = true;
        frame.width = header.width;
        frame.height = header.height;
        frame.frameTime = header.frameTime;
        frame.smooth = header.smoothFlag == 1;
        m_lastSeenFrameTime = StoredFrameTimeLow(m_frameCopy.get());  // sent now: not new when the watch sees it
    }
    return frame;
}

void CVirtualCamStream::StampSample(IMediaSample* sample, const SharedFrame& frame)
{
    if (frame.copied) {
        sample->SetSyncPoint(TRUE);
        REFERENCE_TIME start = frame.frameTime;  // sign-extended
        REFERENCE_TIME end = m_mediaTimeEnd;
        sample->SetMediaTime(&start, &end);
    }
    // Stream time of the capture; a graph that runs with its start ahead of
    // the clock gets its first samples at 0.
    REFERENCE_TIME now = 0;
    if (SUCCEEDED(m_filter->GetStreamTime(&now))) {
        REFERENCE_TIME start = std::max<REFERENCE_TIME>(now, 0);
        REFERENCE_TIME end = start + PacingInterval();
        sample->SetTime(&start, &end);
    }
}

HRESULT CVirtualCamStream::FillBuffer(IMediaSample* sample)
{
    if (m_frameSync && m_synFrameEvent) {
        // A failed wait is no reason to end the stream: the latest frame goes out.
        if (WaitUnlessStopped(m_synFrameEvent.Get(), kFrameSyncWaitMs) == kWaitStopped)
            return S_FALSE;
    } else if (!WaitForDelivery()) {
        return S_FALSE;
    }

    BYTE* buffer = nullptr;
    if (FAILED(sample->GetPointer(&buffer)) || !buffer)
        return E_POINTER;
    const long size = sample->GetSize();
    if (size <= 0)
        return E_UNEXPECTED;

    try {
        FillFromSharedFrame(sample, buffer, size);
    } catch (const std::exception& error) {
        // Out of memory in a work buffer: the sample still goes out, black.
        DebugTrace("TqNelu: sample failed: %s", error.what());
        memset(buffer, 0, size_t(size));
    }
    return S_OK;
}

void CVirtualCamStream::FillFromSharedFrame(IMediaSample* sample, BYTE* buffer, long size)
{
    if (!m_firstSampleDone) {
        m_firstSampleDone = true;
        StartLauncher();
        LoadPlaceholder();
        GuessSizeFromSample(size, sample);
    }
    if (!m_hostRegistered)
        m_hostRegistered = RegisterHostInUserList();

    tq::CCritSecLock lock(m_pinLock);
    m_targetWidth = m_width;
    m_targetHeight = m_height;
    if (!m_frameCopy)
        m_frameCopy.reset(new (std::nothrow) uint8_t[tq::kFrameCopyBytes]);

    const SharedFrame frame = CopySharedFrame();
    const uint8_t* source;
    int width, height;
    if (frame.copied) {
        m_smooth = frame.smooth;
        source = m_frameCopy.get() + tq::kFrameHeaderSize;
        width = int(frame.width);
        height = int(frame.height);
    } else {
        source = m_placeholder.data();
        width = kPlaceholderWidth;
        height = kPlaceholderHeight;
    }
    StampSample(sample, frame);
    if (!ResizeFrame(source, width, height, buffer, size_t(size))) {
        memset(buffer, 0, size_t(size));
        sample->SetActualDataLength(size);
    } else {
        sample->SetActualDataLength(long(DibStride(m_targetWidth) * size_t(m_targetHeight)));
    }
}

bool CVirtualCamStream::Scale(const uint8_t* source, int width, int height, uint8_t* destination, int targetWidth,
                              int targetHeight)
{
    m_converter.SetSource(MEDIASUBTYPE_RGB24, width, height, source);
    m_converter.SetDestination(MEDIASUBTYPE_RGB24, targetWidth, targetHeight, destination);
    return m_converter.Convert();
}

bool CVirtualCamStream::CropAndScale(uint8_t* picture, int width, int height, uint8_t* destination,
                                     int targetWidth, int targetHeight)
{
    if (width <= 0 || height <= 0 || targetWidth <= 0 || targetHeight <= 0 ||
        size_t(width) * size_t(height) * 3 > kWorkBufferBytes)
        return false;
    const int fittingHeight = int(double(width) * targetHeight / targetWidth);
    const int fittingWidth = int(double(height) * targetWidth / targetHeight);
    int excessWidth = width - fittingWidth;
    int excessHeight = height - fittingHeight;
    const size_t rowBytes = size_t(width) * 3;
    memcpy(m_cropBuffer.get(), picture, rowBytes * size_t(height));
    int newWidth = width;
    int newHeight = height;
    if (excessWidth > 1) {
        excessWidth += excessWidth & 1;
        newWidth = width - excessWidth;
        const size_t newRowBytes = size_t(newWidth) * 3;
        for (int row = 0; row < height; ++row)
            memcpy(picture + row * newRowBytes, m_cropBuffer.get() + row * rowBytes + size_t(excessWidth / 2) * 3,
                   newRowBytes);
    } else if (excessHeight > 1) {
        excessHeight += excessHeight & 1;
        newHeight = height - excessHeight;
        memcpy(picture, m_cropBuffer.get() + size_t(excessHeight / 2) * rowBytes, size_t(newHeight) * rowBytes);
    }
    return Scale(picture, newWidth, newHeight, destination, targetWidth, targetHeight);
}

bool CVirtualCamStream::ResizeFrame(const uint8_t* source, int width, int height, uint8_t* destination,
                                    size_t destinationSize)
{
    if (!source || !destination || width <= 0 || height <= 0 ||
        size_t(width) * size_t(height) * 3 > kWorkBufferBytes)
        return false;
    const size_t sourceBytes = size_t(width) * size_t(height) * 3;

    int outWidth = m_targetWidth;
    int outHeight = m_targetHeight;
    const uint8_t* packed = nullptr;  // the finished picture, rows packed
    if (!m_resizeSteps.empty()) {
        memcpy(m_stepBuffer.get(), source, sourceBytes);
        int currentWidth = width;
        int currentHeight = height;
        m_stepOutput.resize(kWorkBufferBytes);
        for (const ResizeStep& step : m_resizeSteps) {
            if (!CropAndScale(m_stepBuffer.get(), currentWidth, currentHeight, m_stepOutput.data(), step.width,
                              step.height))
                return false;
            currentWidth = step.width;
            currentHeight = step.height;
            memcpy(m_stepBuffer.get(), m_stepOutput.data(), size_t(step.width) * size_t(step.height) * 3);
        }
        m_targetWidth = outWidth = currentWidth;
        m_targetHeight = outHeight = currentHeight;
        packed = m_stepBuffer.get();
    }

    if (outWidth <= 0 || outHeight <= 0)
        return false;
    const size_t stride = DibStride(outWidth);
    const size_t rowBytes = size_t(outWidth) * 3;
    if (stride * size_t(outHeight) > destinationSize)
        return false;  // a sample smaller than the picture: nothing is written past it

    if (!packed) {
        // Padded rows are written through a packed picture of the target size.
        uint8_t* target = destination;
        if (stride != rowBytes) {
            m_outputStage.resize(rowBytes * size_t(outHeight));
            target = m_outputStage.data();
        }
        bool done;
        if (width == outWidth && height == outHeight) {
            memcpy(target, source, sourceBytes);
            done = true;
        } else if (int64_t(height) * outWidth == int64_t(width) * outHeight) {
            done = Scale(source, width, height, target, outWidth, outHeight);
        } else {
            memcpy(m_stepBuffer.get(), source, sourceBytes);
            done = CropAndScale(m_stepBuffer.get(), width, height, target, outWidth, outHeight);
        }
        if (!done)
            return false;
        if (target == destination)
            return true;
        packed = target;
    }
    for (int row = 0; row < outHeight; ++row) {
        uint8_t* out = destination + size_t(row) * stride;
        memcpy(out, packed + size_t(row) * rowBytes, rowBytes);
        memset(out + rowBytes, 0, stride - rowBytes);
    }
    return true;
}
