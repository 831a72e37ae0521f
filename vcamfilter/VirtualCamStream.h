// CVirtualCamStream: the camera's one output pin. Offers RGB24 formats, copies
// the engine's latest frame out of the shared frame record at every sample,
// scales it to the negotiated size and raises the engine's request record;
// without an engine it shows the placeholder picture.
#pragma once

#include "ColorConverter.h"
#include "VirtualCamInterfaces.h"
#include "base/SourceStream.h"

#include <dshow.h>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CVirtualCamFilter;

class CVirtualCamStream : public CSourceStream,
                          public IAMStreamConfig,
                          public IKsPropertySet,
                          public IVirtualCamProbe,
                          public IVirtualCamFrameSync,
                          public IVirtualCamSmoothState,
                          public IVirtualCamFrameRate,
                          public IVirtualCamResize {
public:
    static constexpr int kLadderSize = 10;  // positions 1..10 of GetMediaType
    static constexpr int kCapsCount = 16;   // indices 0..15 of GetStreamCaps
    static constexpr int kMaxFormatSide = 4096;
    static constexpr int kPlaceholderWidth = 320;
    static constexpr int kPlaceholderHeight = 240;

    CVirtualCamStream(HRESULT* hr, CVirtualCamFilter* filter, const wchar_t* name);
    ~CVirtualCamStream() override;

    // Every interface's IUnknown is the pin's.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CBaseOutputPin::QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return CBaseOutputPin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBaseOutputPin::Release(); }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // The pin's types and buffers.
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;

    // IAMStreamConfig
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** mt) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) override;
    // IKsPropertySet
    STDMETHODIMP Set(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data, DWORD dataSize) override;
    STDMETHODIMP Get(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data, DWORD dataSize,
                     DWORD* returned) override;
    STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;
    // Private interfaces
    STDMETHODIMP Probe(LONG first, LONG second) override;
    STDMETHODIMP EnableFrameSync(BYTE* enabled) override;
    STDMETHODIMP GetSmoothFlag(BYTE* smoothed) override;
    STDMETHODIMP SetFrameRate(LONG code) override;
    STDMETHODIMP SetResizeSteps(const std::vector<ResizeStep>* steps) override;
    STDMETHODIMP GetTargetSize(LONG* width, LONG* height) override;

    // RGB24 bottom-up pictures with packed rows, except the destination of
    // ResizeFrame, whose rows lie at the DIB stride of the target width.
    // False when the picture does not fit destinationSize (nothing written).
    bool ResizeFrame(const uint8_t* source, int width, int height, uint8_t* destination, size_t destinationSize);
    // Crops picture (in place) to the target's aspect ratio and scales it into
    // destination at targetWidth x targetHeight, packed rows.
    bool CropAndScale(uint8_t* picture, int width, int height, uint8_t* destination, int targetWidth,
                      int targetHeight);

    // Host integration, run at the first sample.
    bool StartLauncher();
    bool LoadPlaceholder();
    // A first sample whose buffer holds exactly another ladder size switches
    // the connection to that size when the downstream pin accepts the type;
    // the sample (when given) then carries the new type. True when switched.
    bool GuessSizeFromSample(long bufferSize, IMediaSample* sample = nullptr);
    void NegotiatedSize(int& width, int& height);

    // The VIDEOINFOHEADER media type of one RGB24 size and frame interval.
    static void BuildRgb24Type(CMediaType& mt, int width, int height, REFERENCE_TIME frameTime);
    // Whether a type is one the pin can stream: RGB24, positive sizes up to
    // kMaxFormatSide, a format block as long as its header says.
    static bool IsAcceptableFormat(const AM_MEDIA_TYPE& mt);
    // Whether a format block of formatBytes holds a VIDEOINFOHEADER whose
    // bitmap header claims headerSize bytes. In 64 bits: a claimed size near
    // 2^32 must not wrap to a small one in the 32-bit filter.
    static constexpr bool FormatBlockHolds(uint32_t headerSize, uint32_t formatBytes)
    {
        return uint64_t(offsetof(VIDEOINFOHEADER, bmiHeader)) + headerSize <= formatBytes;
    }

protected:
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;

private:
    struct SharedFrame {
        bool copied = false;
        uint32_t width = 0;
        uint32_t height = 0;
        int32_t frameTime = 0;
        bool smooth = false;
    };
    bool WaitForDelivery();
    bool EngineWroteFrame();
    void CloseFrameWatch();
    bool EnterStateLockUnlessStopped();
    void FillFromSharedFrame(IMediaSample* sample, BYTE* buffer, long size);
    SharedFrame CopySharedFrame();
    void RaiseRequestRecord(uint8_t* record);
    void StampSample(IMediaSample* sample, const SharedFrame& frame);
    bool Scale(const uint8_t* source, int width, int height, uint8_t* destination, int targetWidth, int targetHeight);
    void TakeNegotiatedFormat(const CMediaType& mt);
    REFERENCE_TIME PacingInterval() const;

    CVirtualCamFilter* m_camFilter;
    tq::CCritSec m_pinLock;  // the sample pipeline against the control interfaces

    int m_width = 320;  // negotiated
    int m_height = 240;
    int m_targetWidth = 320;  // the size the last sample was resized to
    int m_targetHeight = 240;
    REFERENCE_TIME m_timePerFrameSample = 1000000;
    REFERENCE_TIME m_mediaTimeEnd = 0;
    std::vector<ResizeStep> m_resizeSteps;

    CColorConverter m_converter;
    std::vector<uint8_t> m_placeholder;  // 320 x 240 RGB24; empty until the first sample
    std::unique_ptr<uint8_t[]> m_frameCopy;
    std::unique_ptr<uint8_t[]> m_cropBuffer;
    std::unique_ptr<uint8_t[]> m_stepBuffer;
    std::vector<uint8_t> m_stepOutput;  // a step's picture before it becomes the next step's source
    std::vector<uint8_t> m_outputStage;  // packed rows of a target whose DIB rows are padded

    volatile bool m_frameSync = false;
    bool m_smooth = false;
    bool m_firstSampleDone = false;
    bool m_hostRegistered = false;

    double m_lastDeliveryMs = 0;  // when the last sample went out (or was due)
    bool m_lastWasNewFrame = false;  // it went out for a frame the engine had just written

    // The frame record's header, mapped while the stream runs, to see a new
    // engine frame without waiting on the frame event.
    CScopedHandle m_frameWatchMapping;
    const uint8_t* m_frameWatchView = nullptr;
    double m_nextFrameWatchOpenMs = 0;
    uint32_t m_lastSeenFrameTime = 0;

    CScopedHandle m_synFrameEvent;
};
