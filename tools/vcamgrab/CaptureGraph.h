// A DirectShow consumer of a video capture device: the device (or a given
// source filter) into a Sample Grabber that takes RGB24 and a Null Renderer.
// Used by vcamgrab, the camera's tests and its benchmark.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <functional>
#include <string>
#include <vector>

struct CapturedSample {
    double sampleTime;      // the grabber's time (stream time, seconds)
    bool hasTime;           // the sample carried a presentation time
    REFERENCE_TIME start;   // presentation start, 100 ns
    bool hasMediaTime;
    LONGLONG mediaStart;
    const BYTE* data;
    long length;
};

class CCaptureGraph {
public:
    using SampleHandler = std::function<void(const CapturedSample&)>;

    CCaptureGraph();
    ~CCaptureGraph();
    CCaptureGraph(const CCaptureGraph&) = delete;
    CCaptureGraph& operator=(const CCaptureGraph&) = delete;

    // Friendly names of the video input devices.
    static std::vector<std::wstring> ListVideoDevices();

    // The source: a device by friendly name, or a filter object made elsewhere.
    HRESULT OpenDevice(const std::wstring& friendlyName);
    HRESULT OpenFilter(IBaseFilter* source);
    // Asks the source's output pin for an RGB24 size and frame interval.
    HRESULT SetFormat(int width, int height, REFERENCE_TIME frameTime);
    // Adds the grabber and the renderer and connects them. The handler runs on
    // the source's streaming thread.
    HRESULT Build(SampleHandler handler);
    HRESULT Run();
    HRESULT Stop();
    // The connected picture size.
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    IBaseFilter* Source() const { return m_source; }
    IPin* SourcePin() const { return m_sourcePin; }

private:
    class Callback;
    void Release();

    IGraphBuilder* m_graph = nullptr;
    IMediaControl* m_control = nullptr;
    IBaseFilter* m_source = nullptr;
    IPin* m_sourcePin = nullptr;
    IBaseFilter* m_grabberFilter = nullptr;
    IBaseFilter* m_renderer = nullptr;
    Callback* m_callback = nullptr;
    int m_width = 0;
    int m_height = 0;
};

// RGB24 rows of a picture at the DIB stride (width x 3 rounded up to 4).
inline size_t DibStride(int width)
{
    return (size_t(width) * 3 + 3) & ~size_t(3);
}
