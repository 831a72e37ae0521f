// Polls the request record every 5 seconds and reopens the sources when a
// consumer of the camera asks for a larger size or a shorter frame time.
#pragma once

#include "ThreadTimer.h"

#include <cstdint>

// Whoever reopens the sources (the manager).
class IReopenSources {
public:
    virtual void ReopenSources(int width, int height, int frameTime) = 0;
protected:
    ~IReopenSources() = default;
};

class CVcamParaWatcher : public tq::ITimerCallback {
public:
    explicit CVcamParaWatcher(IReopenSources* manager);
    ~CVcamParaWatcher();
    void OnTimer(UINT_PTR timerId) override;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int FrameTime() const { return m_frameTime; }

    static constexpr UINT kPollMs = 5000;

private:
    UINT_PTR m_timerId = 0;
    IReopenSources* m_manager;
    int m_width = 480;
    int m_height = 360;
    int m_frameTime = 1000000;
};
