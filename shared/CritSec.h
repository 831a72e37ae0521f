// Critical-section helpers used across the engine.
#pragma once

#include <windows.h>

namespace tq {

class CCritSec {
public:
    CCritSec() { InitializeCriticalSection(&m_cs); }
    ~CCritSec() { DeleteCriticalSection(&m_cs); }
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;
    CRITICAL_SECTION* Get() { return &m_cs; }
private:
    CRITICAL_SECTION m_cs;
};

// Enters the section (when not null) for the life of the guard.
class CCritSecLock {
public:
    explicit CCritSecLock(CRITICAL_SECTION* cs) : m_cs(cs) { if (m_cs) EnterCriticalSection(m_cs); }
    explicit CCritSecLock(CCritSec& cs) : CCritSecLock(cs.Get()) {}
    ~CCritSecLock() { if (m_cs) LeaveCriticalSection(m_cs); }
    CCritSecLock(const CCritSecLock&) = delete;
    CCritSecLock& operator=(const CCritSecLock&) = delete;
private:
    CRITICAL_SECTION* m_cs;
};

// Waits for any holder to leave, then deletes the section.
inline void DeleteCriticalSectionLocked(CRITICAL_SECTION* cs)
{
    EnterCriticalSection(cs);
    DeleteCriticalSection(cs);
}

} // namespace tq
