// Skin smoothing as the compositor drives it. The video-processing owner
// (CEnhanceVideo over an IVpInstance) is plugged in behind this; without one
// every query answers false and every setting does nothing.
#pragma once

#include <cstdint>
#include <functional>

class ISmoothEnhancer {
public:
    // Receives true when the GPU is useless, on whatever thread learnt it.
    typedef std::function<void(bool gpuUseless)> GpuStateHandler;

    virtual ~ISmoothEnhancer() = default;
    virtual bool IsSmoothEnabled() = 0;
    virtual bool ProcessFrame(uint8_t* pixels, int width, int height, int stride) = 0;
    virtual void SetSmoothEnabled(bool enabled) = 0;
    virtual void SetAutoMode(bool enabled) = 0;
    virtual void SetSmoothStrength(int percent) = 0;
    virtual void SetSmoothMix(int percent) = 0;
    virtual bool IsReady() = 0;
    // Where the benchmark verdict goes. A verdict known already is passed on
    // at once; after a null handler is set no call is left running.
    virtual void SetGpuStateHandler(GpuStateHandler handler) = 0;
};
