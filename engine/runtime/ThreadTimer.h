// Window-less thread timers with a registry from timer id to a callback
// object. A timer fires only while its thread dispatches messages.
#pragma once

#include <windows.h>

namespace tq {

class ITimerCallback {
public:
    virtual void OnTimer(UINT_PTR timerId) = 0;
protected:
    ~ITimerCallback() = default;
};

// Returns the timer id, 0 on failure (nothing registered then).
UINT_PTR SetThreadTimer(UINT milliseconds, ITimerCallback* callback);
// Ignores id 0.
void KillThreadTimer(UINT_PTR timerId);

} // namespace tq
