#include "WorkerThread.h"

#include <process.h>

CWorkerThread::~CWorkerThread()
{
    // A subclass must stop its thread in its own destructor: by the time this
    // runs, execute() may no longer be callable. This is the last guard.
    stop();
}

bool CWorkerThread::start(int32_t parameter)
{
    if (m_handle)
        stop();
    m_parameter = parameter;
    m_self = this;
    unsigned id = 0;
    uintptr_t handle = _beginthreadex(nullptr, 0, &CWorkerThread::threadProc, this, 0, &id);
    if (!handle)
        return false;
    m_handle = reinterpret_cast<HANDLE>(handle);
    m_threadId = id;
    return true;
}

bool CWorkerThread::run(bool async)
{
    if (async)
        return start(0);
    execute();
    return true;
}

unsigned __stdcall CWorkerThread::threadProc(void* self)
{
    auto* worker = static_cast<CWorkerThread*>(self);
    if (!worker || !worker->m_self)
        return static_cast<unsigned>(-1);
    worker->execute();
    return 0;
}

void CWorkerThread::join()
{
    if (m_handle && GetCurrentThreadId() != m_threadId)
        WaitForSingleObject(m_handle, INFINITE);
}

void CWorkerThread::stop()
{
    if (m_handle) {
        m_stopRequested = 1;
        join();
        CloseHandle(m_handle);
    }
    m_handle = nullptr;
    m_threadId = 0;
    m_stopRequested = 0;
}
