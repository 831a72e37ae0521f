// An output pin with its streaming thread: while the filter runs, the thread
// takes a buffer, has FillBuffer fill it and delivers it downstream.
#pragma once

#include "OutputPin.h"

class CSourceStream : public CBaseOutputPin {
public:
    CSourceStream(const wchar_t* name, CSource* filter);
    ~CSourceStream() override;

    // Filter state changes: Active when leaving Stopped, Inactive when entering it.
    HRESULT Active();
    HRESULT Inactive();
    void SetRunning(bool running);

protected:
    virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
    virtual HRESULT OnThreadCreate() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }

    // Waits up to timeoutMs for handle (may be null) or a stop request.
    // Returns WAIT_OBJECT_0 when the handle was signalled, WAIT_TIMEOUT,
    // kWaitStopped when the stream is stopping, or WAIT_FAILED.
    static constexpr DWORD kWaitStopped = WAIT_OBJECT_0 + 1;
    DWORD WaitUnlessStopped(HANDLE handle, DWORD timeoutMs);
    bool StopRequested() const;

private:
    static DWORD WINAPI ThreadProc(void* self);
    void StreamLoop();

    CScopedHandle m_thread;
    CScopedHandle m_stopEvent;  // manual reset: set from Inactive
    CScopedHandle m_runEvent;   // manual reset: set while the filter runs
};
