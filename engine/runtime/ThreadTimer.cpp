#include "ThreadTimer.h"
#include "CritSec.h"

#include <utility>
#include <vector>

namespace tq {

namespace {
struct TimerRegistry {
    CCritSec lock;
    std::vector<std::pair<UINT_PTR, ITimerCallback*>> entries;
};

TimerRegistry& Registry()
{
    static TimerRegistry registry;
    return registry;
}

void CALLBACK ThreadTimerProc(HWND, UINT, UINT_PTR timerId, DWORD)
{
    ITimerCallback* callback = nullptr;
    {
        CCritSecLock lock(Registry().lock);
        for (auto& entry : Registry().entries)
            if (entry.first == timerId)
                callback = entry.second;
    }
    if (callback)
        callback->OnTimer(timerId);  // outside the lock: the callback may set or kill timers
}
}

UINT_PTR SetThreadTimer(UINT milliseconds, ITimerCallback* callback)
{
    const UINT_PTR id = SetTimer(nullptr, 0, milliseconds, &ThreadTimerProc);
    if (!id)
        return 0;
    CCritSecLock lock(Registry().lock);
    for (auto& entry : Registry().entries) {
        if (entry.first == id) {
            entry.second = callback;
            return id;
        }
    }
    Registry().entries.emplace_back(id, callback);
    return id;
}

void KillThreadTimer(UINT_PTR timerId)
{
    if (!timerId)
        return;
    KillTimer(nullptr, timerId);
    CCritSecLock lock(Registry().lock);
    auto& entries = Registry().entries;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->first == timerId) {
            entries.erase(it);
            break;
        }
    }
}

} // namespace tq
