// The sample grabber's callback: on DirectShow's streaming thread it only
// copies the newest sample and notes when it arrived; the frame timer takes
// it from there. Lives as long as its worker, so it counts no references.
#pragma once

#include "CritSec.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <cstdint>
#include <vector>

class CCaptureVideoOper;

class CCaptureGrabberCB : public ISampleGrabberCB {
public:
    explicit CCaptureGrabberCB(CCaptureVideoOper* oper) : m_oper(oper) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return 0; }
    HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, LONG length) override;

    // Empties the buffer and arms the first-sample flag again.
    void Reset();
    // Copies the newest sample into buffer (grown when too small). False
    // when no sample has been stored since the last reset.
    bool CopyLatest(std::vector<uint8_t>& buffer, size_t& length, uint32_t& arrivalMs);

private:
    CCaptureVideoOper* const m_oper;
    tq::CCritSec m_lock;
    std::vector<uint8_t> m_sample;
    size_t m_length = 0;
    uint32_t m_arrivalMs = 0;
    bool m_firstSample = true;
};
