#include "SourceStream.h"

#include "SourceFilter.h"

CSourceStream::CSourceStream(const wchar_t* name, CSource* filter)
    : CBaseOutputPin(name, filter),
      m_stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_runEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

CSourceStream::~CSourceStream()
{
    Inactive();
}

HRESULT CSourceStream::Active()
{
    if (!IsConnected())
        return S_OK;  // an unconnected pin has nothing to stream
    if (m_thread)
        return S_OK;
    if (!m_stopEvent || !m_runEvent)
        return E_OUTOFMEMORY;
    HRESULT hr = CommitAllocator();
    if (FAILED(hr))
        return hr;
    ResetEvent(m_stopEvent.Get());
    ResetEvent(m_runEvent.Get());
    m_thread.Reset(CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr));
    if (!m_thread) {
        hr = HRESULT_FROM_WIN32(GetLastError());
        DecommitAllocator();
        return hr;
    }
    return S_OK;
}

HRESULT CSourceStream::Inactive()
{
    if (!m_thread)
        return S_OK;
    SetEvent(m_stopEvent.Get());
    // Decommitting wakes a thread that waits in GetBuffer.
    DecommitAllocator();
    WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Close();
    return S_OK;
}

void CSourceStream::SetRunning(bool running)
{
    if (m_runEvent) {
        if (running)
            SetEvent(m_runEvent.Get());
        else
            ResetEvent(m_runEvent.Get());
    }
}

bool CSourceStream::StopRequested() const
{
    return WaitForSingleObject(m_stopEvent.Get(), 0) == WAIT_OBJECT_0;
}

DWORD CSourceStream::WaitUnlessStopped(HANDLE handle, DWORD timeoutMs)
{
    if (!handle) {
        const DWORD result = WaitForSingleObject(m_stopEvent.Get(), timeoutMs);
        return result == WAIT_OBJECT_0 ? kWaitStopped : result;
    }
    HANDLE handles[2] = {handle, m_stopEvent.Get()};
    const DWORD result = WaitForMultipleObjects(2, handles, FALSE, timeoutMs);
    if (result == WAIT_OBJECT_0 + 1)
        return kWaitStopped;
    return result;
}

DWORD WINAPI CSourceStream::ThreadProc(void* self)
{
    // Downstream filters and the scaler may use COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<CSourceStream*>(self)->StreamLoop();
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

void CSourceStream::StreamLoop()
{
    OnThreadCreate();
    HANDLE waits[2] = {m_stopEvent.Get(), m_runEvent.Get()};
    while (true) {
        // Deliver only while running: a live source has nothing to show when paused.
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        if (StopRequested())
            break;
        IMediaSample* sample = nullptr;
        HRESULT hr = GetDeliveryBuffer(&sample);
        if (FAILED(hr) || !sample)
            break;  // decommitted: the filter is stopping
        hr = FillBuffer(sample);
        if (hr == S_OK) {
            hr = StopRequested() ? S_FALSE : Deliver(sample);
            sample->Release();
            // Downstream refused the sample: it is stopping or flushing. Its
            // end is the graph's business; telling the graph from here could
            // wait on a graph that is busy stopping us.
            if (hr != S_OK)
                break;
        } else {
            sample->Release();
            if (!StopRequested()) {
                DeliverEndOfStream();
                if (FAILED(hr))
                    m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
            }
            break;
        }
    }
    OnThreadDestroy();
}
