// A downstream input pin of our own for the camera's output pin: it answers
// mid-stream format changes as told, hands out an allocator that may grant
// larger buffers than asked for, and keeps what each sample carried.
#pragma once

#include "base/MediaType.h"

#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vcamtest {

// A memory allocator that grants buffers of at least minimumBytes.
class GrantingAllocator : public IMemAllocator {
public:
    GrantingAllocator(IMemAllocator* inner, long minimumBytes) : m_inner(inner), m_minimum(minimumBytes)
    {
        m_inner->AddRef();
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IMemAllocator) {
            *ppv = static_cast<IMemAllocator*>(this);
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
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override
    {
        if (!request)
            return E_POINTER;
        ALLOCATOR_PROPERTIES granted = *request;
        granted.cbBuffer = std::max(granted.cbBuffer, m_minimum);
        return m_inner->SetProperties(&granted, actual);
    }
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override { return m_inner->GetProperties(props); }
    STDMETHODIMP Commit() override { return m_inner->Commit(); }
    STDMETHODIMP Decommit() override { return m_inner->Decommit(); }
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override
    {
        return m_inner->GetBuffer(sample, start, end, flags);
    }
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override { return m_inner->ReleaseBuffer(sample); }

private:
    virtual ~GrantingAllocator() { m_inner->Release(); }
    LONG m_ref = 1;
    IMemAllocator* m_inner;
    long m_minimum;
};

struct SinkSample {
    bool hasType = false;  // the sample carried a media type
    long typeWidth = 0;
    long typeHeight = 0;
    long length = 0;  // actual data length
    long bufferSize = 0;
    std::vector<uint8_t> data;
};

class TestSink : public IPin, public IMemInputPin {
public:
    // acceptChange: the answer to QueryAccept; bufferBytes: the least buffer
    // size its allocator grants (0: what is asked).
    TestSink(bool acceptChange, long bufferBytes) : m_accept(acceptChange), m_bufferBytes(bufferBytes) {}
    ~TestSink() { FreeMediaTypeContents(m_type); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IPin)
            *ppv = static_cast<IPin*>(this);
        else if (riid == IID_IMemInputPin)
            *ppv = static_cast<IMemInputPin*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    // Lives on the test's stack; the camera's references do not own it.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    // IPin
    STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE* mt) override
    {
        if (!mt)
            return E_POINTER;
        FreeMediaTypeContents(m_type);
        return CopyMediaTypeContents(&m_type, *mt);
    }
    STDMETHODIMP Disconnect() override { return S_OK; }
    STDMETHODIMP ConnectedTo(IPin** pin) override
    {
        *pin = nullptr;
        return VFW_E_NOT_CONNECTED;
    }
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override { return CopyMediaTypeContents(mt, m_type); }
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override
    {
        info->pFilter = nullptr;
        info->dir = PINDIR_INPUT;
        lstrcpynW(info->achName, L"In", MAX_PIN_NAME);
        return S_OK;
    }
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override
    {
        *direction = PINDIR_INPUT;
        return S_OK;
    }
    STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mt) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_queries;
        if (mt && mt->pbFormat && mt->cbFormat >= sizeof(VIDEOINFOHEADER)) {
            const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
            m_queriedWidth = vih->bmiHeader.biWidth;
            m_queriedHeight = vih->bmiHeader.biHeight;
        }
        return m_accept ? S_OK : S_FALSE;
    }
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
    STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP EndOfStream() override { return S_OK; }
    STDMETHODIMP BeginFlush() override { return S_OK; }
    STDMETHODIMP EndFlush() override { return S_OK; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override
    {
        IMemAllocator* inner = nullptr;
        const HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                            reinterpret_cast<void**>(&inner));
        if (FAILED(hr))
            return hr;
        *allocator = new GrantingAllocator(inner, m_bufferBytes);
        inner->Release();
        return S_OK;
    }
    STDMETHODIMP NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    STDMETHODIMP Receive(IMediaSample* sample) override
    {
        SinkSample got;
        AM_MEDIA_TYPE* type = nullptr;
        if (sample->GetMediaType(&type) == S_OK && type) {
            got.hasType = true;
            if (type->pbFormat && type->cbFormat >= sizeof(VIDEOINFOHEADER)) {
                const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
                got.typeWidth = vih->bmiHeader.biWidth;
                got.typeHeight = vih->bmiHeader.biHeight;
            }
            DeleteMediaTypeCopy(type);
        }
        got.length = sample->GetActualDataLength();
        got.bufferSize = sample->GetSize();
        BYTE* data = nullptr;
        std::lock_guard<std::mutex> lock(m_lock);
        // The pictures of the first few samples are enough to look at.
        if (m_samples.size() < kKeptPictures && SUCCEEDED(sample->GetPointer(&data)) && data && got.length > 0)
            got.data.assign(data, data + std::min(got.length, got.bufferSize));
        m_samples.push_back(std::move(got));
        m_arrived.notify_all();
        return S_OK;
    }
    static constexpr size_t kKeptPictures = 4;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override
    {
        *processed = 0;
        for (long i = 0; i < count; ++i, ++*processed)
            Receive(samples[i]);
        return S_OK;
    }
    STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }

    bool WaitSamples(size_t count, DWORD timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_samples.size() >= count; });
    }
    std::vector<SinkSample> Samples()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_samples;
    }
    int Queries()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_queries;
    }
    long QueriedWidth()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_queriedWidth;
    }
    long QueriedHeight()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_queriedHeight;
    }

private:
    bool m_accept;
    long m_bufferBytes;
    AM_MEDIA_TYPE m_type = {};
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<SinkSample> m_samples;
    int m_queries = 0;
    long m_queriedWidth = 0;
    long m_queriedHeight = 0;
};

} // namespace vcamtest
