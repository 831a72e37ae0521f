// Interval timers. All timers of the process share one hidden service
// window that owns the system timers and turns each WM_TIMER into the
// timer's timeout signal; the window exists only while a timer runs.
#pragma once

#include "KqClassInfo.h"
#include "KqContainers.h"
#include "KqObject.h"
#include "KqSignal.h"
#include "platform/KqNativeWindowBase.h"

#include <cstdint>

class KqTimer : public KqObject, public KqRttiObject {
    KQ_DECLARE_CLASS(KqTimer)
public:
    explicit KqTimer(KqObject* parent = nullptr) : KqObject(parent) {}
    ~KqTimer() override;

    // False, and the timer stays stopped, when the service window cannot be made.
    bool start(int32_t intervalMs);
    void stop();
    bool isActive() const { return m_timerId != -1; }
    int32_t timerId() const { return m_timerId; }
    int32_t interval() const { return m_interval; }

    KqSignal0 timeout;

private:
    int32_t m_timerId = -1;
    int32_t m_interval = -1;
};

class KqTimerServiceWindow : private KqNativeWindowBase {
public:
    static KqTimerServiceWindow* instance();
    // The instance when it still exists (after process exit began: null).
    static KqTimerServiceWindow* existing();
    ~KqTimerServiceWindow() override;

    // The running id, or -1 when the window cannot be made.
    int32_t add(KqTimer* timer, int32_t intervalMs);
    void remove(int32_t id);
    HWND window() const { return hwnd(); }
    int count() const { return m_timers.count(); }

private:
    KqTimerServiceWindow() = default;
    bool processMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    static void destroyAtExit();

    KqMap<int32_t, KqTimer*> m_timers;
    int32_t m_nextId = 1;
};
