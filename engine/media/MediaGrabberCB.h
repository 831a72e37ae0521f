// The media graph's sample-grabber callback: on DirectShow's streaming
// thread it only copies the newest sample and notes when it arrived; the
// picture timer takes it from there. Embedded in its worker, so it counts no
// references.
#pragma once

#include "CritSec.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <cstdint>
#include <vector>

struct MediaPictureFormat {
    int width = 480;
    int height = 360;   // as the format block gives it: negative for a top-down picture
    GUID subtype;       // RGB24 until a graph says otherwise
    MediaPictureFormat();
};

struct MediaSampleCopy {
    size_t length = 0;
    uint32_t arrivalMs = 0;
    MediaPictureFormat format;
};

class CMediaGrabberCB : public ISampleGrabberCB {
public:
    explicit CMediaGrabberCB(HWND* workerWindow) : m_workerWindow(workerWindow) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return 0; }
    HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, LONG length) override;

    // The grabbed stream's format, copied with every sample.
    void SetFormat(const MediaPictureFormat& format);
    // Frees the sample and arms the first-sample report again.
    void Reset();
    // Copies a sample newer than lastTaken into buffer (grown when too small)
    // and moves lastTaken to its arrival. False when there is none.
    bool TakeSample(std::vector<uint8_t>& buffer, uint32_t& lastTaken, MediaSampleCopy& copy);

private:
    HWND* const m_workerWindow;  // where the first sample is reported
    tq::CCritSec m_lock;
    std::vector<uint8_t> m_sample;
    size_t m_length = 0;
    uint32_t m_arrivalMs = 0;
    bool m_held = false;
    bool m_firstSample = true;
    MediaPictureFormat m_format;         // set by the worker
    MediaPictureFormat m_sampleFormat;   // the format of the held sample
};
