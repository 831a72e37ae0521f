// The recorder's worker half: lives on the recorder's thread, starts and
// stops recordings there, and passes frames and sound to the running muxer.
#pragma once

#include "RecordMuxer.h"
#include "RecordSinks.h"
#include "RecordWorker.h"
#include "SonvexApi.h"

#include <windows.h>

namespace tq {

class CRecorder;

enum { WM_RECORD_START = 4525, WM_RECORD_STOP = 4526 };

class CRecordController : public IRecordMuxerOwner,
                          public IAudioDataSink,
                          public CRecordMessageWindow,
                          public IRecordFrameSink {
public:
    CRecordController();  // makes the window on the calling (worker) thread
    ~CRecordController() override;

    void SetRecorder(CRecorder* recorder) { m_recorder = recorder; }

    // Failures end in the engine's log; the recording itself goes on or ends
    // as the muxer decided.
    void OnMuxerEvent(int code, int reason, int) override;
    void OnAudioData(const uint8_t* data, int length) override;
    void OnFrame(uint8_t* pixels, int width, int height, uint32_t timeMs) override;
    void Reserved() override {}

    void OnStartRecord();
    void OnStopRecord();

protected:
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void LoadEngine();
    void ReleaseEngine();
    void EndRecording();

    CRecorder* m_recorder = nullptr;
    bool m_recording = false;
    CRecordMuxer* m_muxer = nullptr;
    // Held by both sinks while they push and by the stop path while it takes
    // the muxer away, so no push reaches a muxer that is being deleted.
    CRITICAL_SECTION m_pushLock;
    HMODULE m_engineLibrary = nullptr;
    ISonvexEngine* m_engine = nullptr;
    ISonvexCapture* m_capture = nullptr;
    int m_engineValue = 0;
};

} // namespace tq
