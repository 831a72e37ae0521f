// A periodic multimedia timer whose Stop waits for a running callback, so
// nothing runs on the owner's memory once Stop has returned.
#pragma once

#include "CritSec.h"

#include <windows.h>

namespace tq {

class CMultimediaTimer {
public:
    using Callback = void (*)(void* context);

    CMultimediaTimer() = default;
    ~CMultimediaTimer() { Stop(); }
    CMultimediaTimer(const CMultimediaTimer&) = delete;
    CMultimediaTimer& operator=(const CMultimediaTimer&) = delete;

    // Fires callback(context) every periodMs on the multimedia timer thread.
    bool Start(UINT periodMs, Callback callback, void* context);
    void Stop();
    bool IsRunning() const { return m_id != 0; }

private:
    static void CALLBACK TimerProc(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    CCritSec m_lock;          // held by a running callback and by Stop
    UINT m_id = 0;
    bool m_active = false;
    Callback m_callback = nullptr;
    void* m_context = nullptr;
};

} // namespace tq
