#include "RecordController.h"

#include "EngineLog.h"
#include "Recorder.h"

#include <new>

namespace tq {

void CRecordController::OnMuxerEvent(int code, int reason, int)
{
    if (code != MuxerFailed)
        return;
    const char* why = reason == StartFailed ? "the file or an encoder could not be opened"
                      : reason == WriteFailed ? "writing the file failed"
                      : reason == NoPicture   ? "no picture arrived; the empty file was removed"
                                              : "unknown";
    WriteLog(kLogError, "CRecordController: the recording failed: %s", why);
}

CRecordController::CRecordController()
{
    InitializeCriticalSection(&m_pushLock);
    CreateMessageWindow();
}

CRecordController::~CRecordController()
{
    DestroyMessageWindow();
    EndRecording();
    DeleteCriticalSection(&m_pushLock);
}

bool CRecordController::OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT* result)
{
    switch (message) {
    case WM_RECORD_START:
        OnStartRecord();
        *result = 0;
        return true;
    case WM_RECORD_STOP:
        OnStopRecord();
        *result = 0;
        return true;
    default:
        return false;
    }
}

void CRecordController::OnFrame(uint8_t* pixels, int width, int height, uint32_t timeMs)
{
    if (!pixels)
        return;
    EnterCriticalSection(&m_pushLock);
    if (m_recording && m_muxer)
        m_muxer->PushVideo(pixels, width, height, timeMs);
    LeaveCriticalSection(&m_pushLock);
}

void CRecordController::OnAudioData(const uint8_t* data, int length)
{
    EnterCriticalSection(&m_pushLock);
    if (m_recording && m_muxer)
        m_muxer->PushAudio(data, length);
    LeaveCriticalSection(&m_pushLock);
}

void CRecordController::OnStartRecord()
{
    // A new start while a recording runs finishes the running one first.
    EndRecording();

    CRecordMuxer* muxer = new (std::nothrow) CRecordMuxer;
    if (muxer) {
        muxer->Init();
        muxer->SetOwner(this);
        muxer->SetVideoFormat(400, 300, 13, 0);
        muxer->SetAudioFormat(2, 16, 44100, 128);
        muxer->Start(m_recorder ? m_recorder->GetPath() : std::string());
    }
    EnterCriticalSection(&m_pushLock);
    m_muxer = muxer;
    m_recording = true;
    LeaveCriticalSection(&m_pushLock);

    LoadEngine();
    if (m_capture) {
        m_capture->SetOption16(0);
        m_capture->StartCapture();
    }
}

void CRecordController::OnStopRecord()
{
    EndRecording();
}

void CRecordController::EndRecording()
{
    EnterCriticalSection(&m_pushLock);
    m_recording = false;
    CRecordMuxer* muxer = m_muxer;
    m_muxer = nullptr;
    LeaveCriticalSection(&m_pushLock);

    if (muxer) {
        muxer->Stop();
        delete muxer;
    }
    ReleaseEngine();
}

void CRecordController::LoadEngine()
{
    m_engineLibrary = LoadLibraryW(L"Sonvex.dll");
    if (!m_engineLibrary)
        return;
    auto getSonvex = reinterpret_cast<GetSonvexFunction>(
        reinterpret_cast<void*>(GetProcAddress(m_engineLibrary, "GetSonvex")));
    if (!getSonvex)
        return;
    m_engine = getSonvex();
    if (!m_engine)
        return;
    m_capture = m_engine->GetCapture();
    m_engineValue = m_engine->Initialize(1);
    if (m_capture) {
        m_capture->SetOption1(1);
        m_capture->SetOption31(1);
        m_capture->SetSink(static_cast<IAudioDataSink*>(this));
        m_capture->SetOption29(0);
    }
}

void CRecordController::ReleaseEngine()
{
    if (m_capture) {
        m_capture->StopCapture();
        m_capture->SetOption17(0);
        m_capture->Release();
    }
    if (m_engine)
        m_engine->Release();
    if (m_engineLibrary)
        FreeLibrary(m_engineLibrary);
    m_capture = nullptr;
    m_engine = nullptr;
    m_engineLibrary = nullptr;
    m_engineValue = 0;
}

} // namespace tq
