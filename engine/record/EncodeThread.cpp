#include "EncodeThread.h"

#include <process.h>
#include <exception>

namespace tq {

CEncodeThread::~CEncodeThread()
{
    // A joined thread has no handle left; an autoDelete one closed its own.
    if (m_thread && !m_autoDelete)
        CloseHandle(m_thread);
}

bool CEncodeThread::Start(bool autoDelete)
{
    if (m_thread)
        return true;
    m_autoDelete = autoDelete;
    m_stop = false;
    // Created suspended so the handle is stored before the thread can use it
    // (an autoDelete thread may end and delete this object at once).
    uintptr_t thread = _beginthreadex(nullptr, 0, &CEncodeThread::ThreadProc, this, CREATE_SUSPENDED, &m_threadId);
    if (!thread)
        return false;
    m_thread = reinterpret_cast<HANDLE>(thread);
    ResumeThread(m_thread);
    return true;
}

bool CEncodeThread::Stop(DWORD timeoutMs)
{
    m_stop = true;
    if (!m_thread || m_autoDelete)
        return true;
    if (WaitForSingleObject(m_thread, timeoutMs) != WAIT_OBJECT_0)
        return false;
    CloseHandle(m_thread);
    m_thread = nullptr;
    return true;
}

unsigned __stdcall CEncodeThread::ThreadProc(void* param)
{
    CEncodeThread* self = static_cast<CEncodeThread*>(param);
    if (self->OnStart()) {
        try {
            self->Run();
        } catch (const std::exception& e) {
            OutputDebugStringA(e.what());
        } catch (...) {
        }
        self->OnStop();
    }
    if (self->m_autoDelete) {
        // Nobody joins an autoDelete thread: it closes its own handle.
        CloseHandle(self->m_thread);
        self->m_thread = nullptr;
        delete self;
    }
    _endthreadex(0);
    return 0;
}

} // namespace tq
