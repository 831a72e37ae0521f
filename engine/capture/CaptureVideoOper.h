// The camera source's worker: lives on its own thread, owns the capture graph
// (camera -> sample grabber -> null renderer), lists the capture devices and
// runs the frame timer that writes the camera's frames into the shared record.
#pragma once

#include "CaptureGrabberCB.h"
#include "CaptureVideo.h"
#include "ColorConverter.h"
#include "ComPtr.h"
#include "CritSec.h"
#include "MessageWindow.h"
#include "MultimediaTimer.h"
#include "SharedFrameWriter.h"
#include "Worker.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kCaptureWorkBytes = 1440000;  // the largest frame, 800 x 600 RGB24
constexpr int kCapturePreviewWidth = 400;
constexpr int kCapturePreviewHeight = 300;
constexpr size_t kCapturePreviewBytes = kCapturePreviewWidth * kCapturePreviewHeight * 3;

class CCaptureVideoOper : public tq::CMessageWindow {
public:
    explicit CCaptureVideoOper(CCaptureVideo* owner);
    ~CCaptureVideoOper() override;

    // Tears the graph down (also run by the worker thread on its way out).
    void Clear();
    void SetOutputSize(int width, int height);
    // Copies the 400 x 300 preview (kCapturePreviewBytes) under the worker's lock.
    void CopyPreview(uint8_t* destination);
    // One tick of the frame timer.
    void DealNewPicture();

    // "RGB24", "YUY2", "MJPG" or "UNKNOW", as the log lines name them.
    static const char* SubtypeName(const GUID& subtype);
    // The friendly name itself when neither list has it, else with the first
    // number 1..99 that makes it new (two "X" become "X" and "X1").
    static std::string UniqueName(const std::string& friendly, const std::vector<std::string>& pnp,
                                  const std::vector<std::string>& others);

private:
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    void OnInit();
    void OnStopCaptureVideo();
    void OnReopenCapture();
    void OnPauseCaptureVideo();
    void OnContinueCaptureVideo();
    void OnSetCaptureConf();
    void OnEnumDevices();
    void OnShowPropertyPage();
    void OnGotNewPicture();
    void OnCaptureNotify();

    bool StartCaptureVideo(int width, int height, const GUID& subtype, int framesPerSecond);
    bool BuildCaptureGraph(int framesPerSecond);
    bool InitCaptureGraphBuilder();
    IBaseFilter* BindCamera();
    bool SetCaptureMediaType();
    bool SetDetailMediaType(AM_MEDIA_TYPE* type);
    void StartCaptureAudio();
    void EnumCategory(const GUID& category, bool captureCategory, std::vector<std::string>& pnp,
                      std::vector<std::string>& others);
    void StartPicTimer();
    static void PicTimerProc(void* self);
    void RegisterDeviceNotifications();

    tq::CComInit m_com;
    CCaptureVideo* const m_owner;
    HDEVNOTIFY m_deviceNotify = nullptr;

    tq::ComPtr<IGraphBuilder> m_graph;
    tq::ComPtr<ICaptureGraphBuilder2> m_builder;
    tq::ComPtr<IBaseFilter> m_camera;
    tq::ComPtr<IMediaControl> m_control;
    tq::ComPtr<IMediaEventEx> m_event;
    tq::ComPtr<IAMStreamConfig> m_streamConfig;
    tq::ComPtr<IBaseFilter> m_nullRenderer;
    tq::ComPtr<IBaseFilter> m_grabberFilter;
    tq::ComPtr<ISampleGrabber> m_grabber;
    tq::ComPtr<IBaseFilter> m_mjpgDecompressor;
    tq::ComPtr<IBaseFilter> m_colorSpaceConverter;
    CCaptureGrabberCB m_grabberCB{this};

    CaptureDeviceMap m_devices;
    std::string m_cameraName;
    HWND m_ownerWindow = nullptr;
    bool m_captureAudio = false;
    // Worker thread only: the size the host asked to capture at.
    int m_captureWidth = 640;
    int m_captureHeight = 480;
    GUID m_captureSubtype;
    int m_framesPerSecond = 10;

    // Shared with the frame timer, under m_lock. The source values are the
    // connected format only: they change when a new graph is connected.
    tq::CCritSec m_lock;  // the worker's lock; the public lock is never taken inside it
    int m_sourceWidth = 0;
    int m_sourceHeight = 0;
    GUID m_sourceSubtype;
    int m_outWidth = 480;
    int m_outHeight = 360;
    std::vector<uint8_t> m_preview;

    // The frame timer's own.
    tq::CMultimediaTimer m_picTimer;
    tq::CSharedFrameWriter m_writer;
    CColorConverter m_converter;
    std::vector<uint8_t> m_sample;
    std::vector<uint8_t> m_work;
};
