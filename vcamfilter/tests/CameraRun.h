// One consumer run of the camera in-process: a fresh filter object in a
// capture graph, with the delivered frames collected.
#pragma once

#include "CaptureGraph.h"
#include "VirtualCamFilter.h"
#include "base/ClassFactory.h"

#include <string>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace vcamtest {

struct Frame {
    std::vector<uint8_t> data;
    bool hasTime = false;
    REFERENCE_TIME start = 0;
    bool hasMediaTime = false;
    LONGLONG mediaStart = 0;
    double arrivalMs = 0;
};

// Makes the filter code of this test program act as if its module were a
// copy of TqVirtualCam.ax in a folder of its own: its placeholder resource is
// there, and no product launcher lies beside or above it (the build folder
// holds the real TqSorva.exe, which the first sample would start).
inline bool UseFilterModuleOutsideTheBuild()
{
    static HMODULE copy = [] {
        wchar_t path[MAX_PATH] = {}, temp[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring bin(path);
        bin = bin.substr(0, bin.find_last_of(L'\\'));
        GetTempPathW(MAX_PATH, temp);
        const std::wstring folder = std::wstring(temp) + L"vcam-module-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring library = folder + L"\\TqVirtualCam.ax";
        if (!CopyFileW((bin + L"\\TqVirtualCam.ax").c_str(), library.c_str(), FALSE))
            return HMODULE(nullptr);
        return LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }();
    if (copy)
        GetModuleInstanceHolder() = copy;
    return copy != nullptr;
}

inline double NowMs()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

class CameraRun {
public:
    // frameTime 0 keeps the pin's type as it is.
    CameraRun(int width, int height, REFERENCE_TIME frameTime, size_t keep = 4) : m_keep(keep)
    {
        HRESULT hr = E_FAIL;
        CUnknown* object = CVirtualCamFilter::CreateInstance(nullptr, &hr);
        if (!object)
            return;
        object->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&m_filter));
        m_pin = static_cast<CVirtualCamFilter*>(object)->Stream();
        m_result = m_graph.OpenFilter(m_filter);
        if (SUCCEEDED(m_result) && width > 0)
            m_result = m_graph.SetFormat(width, height, frameTime);
        if (SUCCEEDED(m_result))
            m_result = m_graph.Build([this](const CapturedSample& sample) { OnSample(sample); });
    }
    ~CameraRun()
    {
        m_graph.Stop();
        if (m_filter)
            m_filter->Release();
    }
    HRESULT Result() const { return m_result; }
    CVirtualCamStream* Pin() const { return m_pin; }
    CCaptureGraph& Graph() { return m_graph; }

    HRESULT Run() { return m_graph.Run(); }
    HRESULT Stop() { return m_graph.Stop(); }

    // Waits until count frames have arrived in all; false on time-out.
    bool WaitFrames(size_t count, DWORD timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_count >= count; });
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_count;
    }
    // The latest frames (up to keep of them), oldest first.
    std::vector<Frame> Frames()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_frames;
    }
    // Arrival times of every frame so far.
    std::vector<double> Arrivals()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_arrivals;
    }
    // Waits until a frame whose media time is at least mediaTime has arrived.
    bool WaitMediaTime(LONGLONG mediaTime, DWORD timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return std::any_of(m_mediaStarts.begin(), m_mediaStarts.end(), [&](LONGLONG t) { return t >= mediaTime; });
        });
    }
    // Waits until a frame stamped after stream time 0 has arrived: the graph
    // starts its stream time a little after Run, and until then the renderer
    // holds each sample back to time 0.
    bool WaitStreamTimeStarted(DWORD timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_streamStarted; });
    }
    // The media start time of every frame so far, 0 for frames without one.
    std::vector<LONGLONG> MediaStarts()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_mediaStarts;
    }
    // Forgets what arrived so far.
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_frames.clear();
        m_arrivals.clear();
        m_mediaStarts.clear();
        m_count = 0;
    }

private:
    void OnSample(const CapturedSample& sample)
    {
        Frame frame;
        frame.arrivalMs = NowMs();
        if (sample.data && sample.length > 0)
            frame.data.assign(sample.data, sample.data + sample.length);
        frame.hasTime = sample.hasTime;
        frame.start = sample.start;
        frame.hasMediaTime = sample.hasMediaTime;
        frame.mediaStart = sample.mediaStart;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_arrivals.push_back(frame.arrivalMs);
            m_mediaStarts.push_back(frame.hasMediaTime ? frame.mediaStart : 0);
            m_streamStarted = m_streamStarted || (frame.hasTime && frame.start > 0);
            m_frames.push_back(std::move(frame));
            if (m_frames.size() > m_keep)
                m_frames.erase(m_frames.begin());
            ++m_count;
        }
        m_arrived.notify_all();
    }

    IBaseFilter* m_filter = nullptr;
    CVirtualCamStream* m_pin = nullptr;
    CCaptureGraph m_graph;
    HRESULT m_result = E_FAIL;
    size_t m_keep;
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<Frame> m_frames;
    std::vector<double> m_arrivals;
    std::vector<LONGLONG> m_mediaStarts;
    bool m_streamStarted = false;
    size_t m_count = 0;
};

} // namespace vcamtest
