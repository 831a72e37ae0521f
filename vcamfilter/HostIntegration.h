// What the camera does for the product inside its host program: the host
// list in UserShareMemory, starting programs, and debugger traces.
#pragma once

#include <windows.h>
#include <string>

// Adds "<host path>" to the engine's host list. True when the list could be
// mapped (the item was added, was already there, or does not fit).
bool RegisterHostInUserList();
// The host program's full path in the ANSI code page, as the host list keeps it.
bool GetHostExePath(std::string& path);
void ShellRunProgram(const std::wstring& path);
// The launcher's path beside the module or in its parent folder; empty when
// neither exists.
std::wstring FindLauncher(const std::wstring& modulePath);
// "[hh:mm:ss tttt] text\n" to the debugger.
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Waits a bounded time for a shared mutex: a peer that hangs holding it must
// not hang the host's streaming thread. Owns the mutex when Locked().
class CTimedMutexLock {
public:
    CTimedMutexLock(HANDLE mutex, DWORD timeoutMs);
    ~CTimedMutexLock();
    CTimedMutexLock(const CTimedMutexLock&) = delete;
    CTimedMutexLock& operator=(const CTimedMutexLock&) = delete;
    bool Locked() const { return m_locked; }
private:
    HANDLE m_mutex;
    bool m_locked;
};

// Size of the mapped view that starts at view (whole pages), 0 when unknown.
size_t MappedViewSize(const void* view);
