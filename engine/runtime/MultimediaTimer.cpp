#include "MultimediaTimer.h"

#include <mmsystem.h>

namespace tq {

bool CMultimediaTimer::Start(UINT periodMs, Callback callback, void* context)
{
    Stop();
    {
        CCritSecLock lock(m_lock);
        m_callback = callback;
        m_context = context;
        m_active = true;
    }
    // The frame roads ask for no finer resolution than their period: a finer
    // one raises the system's timer rate for the whole machine.
    m_id = timeSetEvent(periodMs, periodMs, &CMultimediaTimer::TimerProc, reinterpret_cast<DWORD_PTR>(this),
                        TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (!m_id) {
        CCritSecLock lock(m_lock);
        m_active = false;
        return false;
    }
    return true;
}

void CMultimediaTimer::Stop()
{
    if (!m_id)
        return;
    timeKillEvent(m_id);
    m_id = 0;
    // A callback that was already inside TimerProc finishes before this returns.
    CCritSecLock lock(m_lock);
    m_active = false;
}

void CALLBACK CMultimediaTimer::TimerProc(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    auto* self = reinterpret_cast<CMultimediaTimer*>(user);
    CCritSecLock lock(self->m_lock);
    if (self->m_active && self->m_callback)
        self->m_callback(self->m_context);
}

} // namespace tq
