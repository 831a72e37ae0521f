// The media-file source's worker: lives on its own thread, builds and drives
// the file's graph (picture branch into a sample grabber and a null
// renderer, sound into the DirectSound renderer), measures durations of
// files the host names and runs the picture timer of the frame road.
#pragma once

#include "ColorConverter.h"
#include "ComPtr.h"
#include "CritSec.h"
#include "MediaGrabberCB.h"
#include "MediaRecipes.h"
#include "MediaVideo.h"
#include "MessageWindow.h"
#include "MultimediaTimer.h"
#include "SharedFrameWriter.h"
#include "ThreadTimer.h"
#include "Worker.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

constexpr size_t kMediaWorkBytes = 1440000;
constexpr int kMediaPreviewWidth = 400;
constexpr int kMediaPreviewHeight = 300;
constexpr size_t kMediaPreviewBytes = kMediaPreviewWidth * kMediaPreviewHeight * 3;
// How long Clear waits for a graph to stop before it leaves it behind.
constexpr DWORD kMediaStopWaitMs = 5000;

class CMediaVideoOper : public tq::CMessageWindow, public tq::ITimerCallback {
public:
    explicit CMediaVideoOper(CMediaVideo* owner);
    ~CMediaVideoOper() override;

    // Tears the graph down (also run by the worker thread on its way out).
    void Clear();
    // Copies the 400 x 300 preview (kMediaPreviewBytes) under the worker's lock.
    void CopyPreview(uint8_t* destination);
    void OnTimer(UINT_PTR timerId) override;

    // One tick of the picture timer: the newest sample into the record.
    void DealNewPicture();
    // Tests feed samples straight to the grabber callback.
    CMediaGrabberCB& GrabberCallback() { return m_grabberCB; }
    void SetPictureFormatForTesting(const MediaPictureFormat& format) { m_grabberCB.SetFormat(format); }
    // The duration a fresh graph reports for a file, in 100-ns units (0 on failure).
    static long long getPreMediaDuration(const std::string& name);

private:
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    void OnInit();
    void OnStopMediaVideo();
    void OnPauseMediaVideo();
    void OnContinueMediaVideo();
    void OnPlayMediaVideoPosition();
    void DealSetAudioVolume();
    void OnSetMediaConf();
    void StartDurationTimer();
    void OnDurationTimer();
    void OnGetNewPicture();
    void OnGraphNotify();

    HRESULT InitDirect(const std::string& name);
    void ResetAudioFilter();
    void RemoveExtraSoundRenderers();
    bool ReplayFromStart();

    // The graph recipes (MediaGraphBuild.cpp).
    HRESULT InitMediaFilters(const std::string& name);
    HRESULT CreateGraph();
    HRESULT InitLavMedia(const std::string& name);
    HRESULT InitMpegMedia(const std::string& name);
    HRESULT InitDefaultMedia(const std::string& name);
    HRESULT AddRecipeFilters(const RecipeTable& table);
    HRESULT LoadSourceFile(const std::string& name);
    HRESULT ConnectRecipeLinks(const RecipeTable& table);
    HRESULT Fail(const char* text, HRESULT hr);
    bool CheckGrabberType();
    bool ReadGrabberType();
    bool ConfirmGrabbedType();

    void StartPicTimer();
    static void PicTimerProc(void* self);
    void ReportPosition();
    void StopGraph();

    tq::CComInit m_com;
    CMediaVideo* const m_owner;
    HWND m_hwnd = nullptr;  // the worker window, for the grabber callback's report

    // The grabbed stream as the graph connected it (worker thread).
    MediaPictureFormat m_format;
    int m_outHeight = 360;
    int m_outWidth = 480;
    int m_perFrameTime = 66;

    tq::ComPtr<IGraphBuilder> m_graph;
    std::map<RecipeRole, tq::ComPtr<IBaseFilter>> m_filters;
    tq::ComPtr<ISampleGrabber> m_grabber;
    tq::ComPtr<IMediaControl> m_control;
    tq::ComPtr<IMediaEventEx> m_event;
    tq::ComPtr<IMediaSeeking> m_seeking;
    tq::ComPtr<IBaseFilter> m_exchangedRenderer;
    DWORD m_rotRegistration = 0;
    bool m_inRot = false;
    std::string m_currentFile;

    UINT_PTR m_durationTimer = 0;
    UINT m_durationPeriod = 0;

    // The frame road: the grabber's callback, the picture timer and the
    // timer thread's buffers.
    CMediaGrabberCB m_grabberCB{&m_hwnd};
    tq::CMultimediaTimer m_picTimer;
    tq::ComPtr<IMediaPosition> m_position;  // read by the timer thread; set while it is stopped
    tq::CSharedFrameWriter m_writer;
    CColorConverter m_converter;
    std::vector<uint8_t> m_sample;
    uint32_t m_lastTaken = 0;
    std::vector<uint8_t> m_work;
    tq::CCritSec m_lock;  // the worker's lock, over the preview
    std::vector<uint8_t> m_preview;
    std::vector<uint8_t> m_scaleSource;  // the timer thread's copy for the preview scaler
};
