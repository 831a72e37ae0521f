#include "Recorder.h"

#include "RecordController.h"

#include <new>

namespace tq {

CRecorder::CRecorder()
{
    InitializeCriticalSection(&m_lock);
    InitializeCriticalSection(&m_sinkLock);
    m_worker.Start(&m_workerBody, THREAD_PRIORITY_ABOVE_NORMAL);
}

CRecorder::~CRecorder()
{
    Quit();
    DeleteCriticalSection(&m_sinkLock);
    DeleteCriticalSection(&m_lock);
}

void CRecorder::DeletingDestructor(unsigned flags)
{
    if (flags & 1)
        delete this;
    else
        this->~CRecorder();
}

void CRecorder::Quit()
{
    m_worker.Quit();
    EnterCriticalSection(&m_lock);
    m_recording = false;
    LeaveCriticalSection(&m_lock);
}

HWND CRecorder::CreateOper()
{
    CRecordController* controller = new (std::nothrow) CRecordController;
    if (!controller)
        return nullptr;
    if (!controller->Hwnd()) {
        delete controller;
        return nullptr;
    }
    controller->SetRecorder(this);
    m_controller = controller;
    return controller->Hwnd();
}

void CRecorder::DestroyOper()
{
    // The controller's destructor finishes a running recording.
    CRecordController* controller = m_controller;
    EnterCriticalSection(&m_sinkLock);
    EnterCriticalSection(&m_lock);
    m_controller = nullptr;
    LeaveCriticalSection(&m_lock);
    LeaveCriticalSection(&m_sinkLock);
    delete controller;
}

void CRecorder::StartRecord(const std::string& path)
{
    EnterCriticalSection(&m_lock);
    // Without a worker nothing would record: do not claim to.
    if (m_controller && m_worker.Post(WM_RECORD_START)) {
        m_path = path;
        m_recording = true;
    }
    LeaveCriticalSection(&m_lock);
    Sleep(30);
}

void CRecorder::StopRecord()
{
    EnterCriticalSection(&m_lock);
    m_recording = false;
    if (m_controller)
        m_worker.Post(WM_RECORD_STOP);
    LeaveCriticalSection(&m_lock);
    Sleep(30);
}

bool CRecorder::IsRecording()
{
    return m_recording;
}

std::string CRecorder::GetPath()
{
    EnterCriticalSection(&m_lock);
    std::string path = m_path;
    LeaveCriticalSection(&m_lock);
    return path;
}

IRecordFrameSink* CRecorder::GetFrameSink()
{
    return m_controller ? &m_frameSink : nullptr;
}

void CRecorder::CFrameSink::OnFrame(uint8_t* pixels, int width, int height, uint32_t timeMs)
{
    EnterCriticalSection(&m_recorder->m_sinkLock);
    if (CRecordController* controller = m_recorder->m_controller)
        controller->OnFrame(pixels, width, height, timeMs);
    LeaveCriticalSection(&m_recorder->m_sinkLock);
}

} // namespace tq
