// The compositor's owner of one video-processing instance. It hands the
// benchmark verdict to the compositor through a handler and answers false or
// does nothing when no instance could be made.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "VpInterface.h"

class CEnhanceVideo : public IVpSink {
public:
    // Receives true when the GPU is useless; called on the benchmark thread.
    typedef std::function<void(bool gpuUseless)> GpuStateHandler;

    CEnhanceVideo();
    ~CEnhanceVideo() override;
    CEnhanceVideo(const CEnhanceVideo&) = delete;
    CEnhanceVideo& operator=(const CEnhanceVideo&) = delete;

    // A verdict that came before the handler was set is passed on at once.
    // The owner sets a null handler before the target of the handler goes.
    void SetGpuStateHandler(GpuStateHandler handler);
    void OnState(bool gpuUseless, int reserved1, int reserved2) override;

    IVpInstance* Instance() const { return m_instance; }
    bool ProcessFrame(uint8_t* pixels, int width, int height, int stride);
    bool IsSmoothEnabled();
    void SetSmoothEnabled(bool enabled);
    void SetAutoMode(bool enabled);
    void SetSmoothStrength(int percent);
    void SetSmoothMix(int percent);
    bool IsReady();

private:
    IVpInstance* m_instance = nullptr;
    CRITICAL_SECTION m_lock;
    GpuStateHandler m_handler;
    int m_verdict = 0;  // 0 none yet, 1 useless, 2 useful
};
