// The compositor's owner of one video-processing instance: the compositor's
// skin smoothing runs through it. It hands the benchmark verdict to the
// compositor through a handler and answers false or does nothing when no
// instance could be made.
#pragma once

#include <windows.h>

#include <cstdint>

#include "SmoothEnhancer.h"
#include "VpInterface.h"

class CEnhanceVideo final : public IVpSink, public ISmoothEnhancer {
public:
    CEnhanceVideo();
    ~CEnhanceVideo() override;
    CEnhanceVideo(const CEnhanceVideo&) = delete;
    CEnhanceVideo& operator=(const CEnhanceVideo&) = delete;

    // A verdict that came before the handler was set is passed on at once.
    // The owner sets a null handler before the target of the handler goes.
    void SetGpuStateHandler(GpuStateHandler handler) override;
    // The sink's slot 0; the instance never frees its sink, the compositor
    // deletes this object as its smoothing enhancer.
    void DeletingDestructor(unsigned flags) override;
    void OnState(bool gpuUseless, int reserved1, int reserved2) override;

    IVpInstance* Instance() const { return m_instance; }
    bool ProcessFrame(uint8_t* pixels, int width, int height, int stride) override;
    bool IsSmoothEnabled() override;
    void SetSmoothEnabled(bool enabled) override;
    void SetAutoMode(bool enabled) override;
    void SetSmoothStrength(int percent) override;
    void SetSmoothMix(int percent) override;
    bool IsReady() override;

private:
    IVpInstance* m_instance = nullptr;
    CRITICAL_SECTION m_lock;
    GpuStateHandler m_handler;
    int m_verdict = 0;  // 0 none yet, 1 useless, 2 useful
};
