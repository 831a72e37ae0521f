// The frame-processing interface that lumeo exports through vpGetInterface.
// Slot order is fixed: callers outside the engine index the table directly,
// which is why slot 0 is an explicit Destroy rather than a C++ destructor.
#pragma once

#include <cstdint>

// Receives the verdict of the start-up benchmark (called on the benchmark
// thread). A host's sink has a one-slot deleting destructor first, as its
// compiler lays it out, then OnState; the engine never calls slot 0.
class IVpSink {
public:
    virtual void DeletingDestructor(unsigned flags) = 0;
    virtual void OnState(bool gpuUseless, int reserved1, int reserved2) = 0;
protected:
    ~IVpSink() {}
};

// Slot counts as outside callers index them.
constexpr int kVpSinkSlots = 2;
constexpr int kVpInstanceSlots = 22;

#pragma pack(push, 4)
struct VpStatistics {
    uint32_t rebuildFlagB;     // the flag applied by the last processed frame
    int32_t width;
    int32_t height;
    uint32_t averageMs;        // processing time per frame
    float averageSharpness;    // processor's first measurement
    float averageNoise;        // processor's second measurement
};
#pragma pack(pop)
static_assert(sizeof(VpStatistics) == 24, "VpStatistics is 24 bytes for every caller");

class IVpInstance {
public:
    virtual void Destroy(int flags) = 0;
    virtual bool Init(int version) = 0;
    virtual void Stop() = 0;
    virtual void SetSink(IVpSink* sink) = 0;
    virtual void SetGammaEnabled(bool enabled) = 0;
    virtual bool GetGammaEnabled() = 0;
    virtual void SetSmoothEnabled(bool enabled) = 0;
    virtual bool GetSmoothEnabled() = 0;
    virtual void SetSmoothStrength(int percent) = 0;
    virtual int GetSmoothStrength() = 0;
    virtual void SetSmoothMix(int percent) = 0;
    virtual int GetSmoothMix() = 0;
    virtual bool ProcessFrame(uint8_t* buffer, int width, int height, int stride) = 0;
    virtual bool ProcessFrameTo(uint8_t* source, uint8_t* destination, int width, int height, int stride) = 0;
    virtual void ReleaseProcessor() = 0;
    virtual void SetRebuildFlagA(uint8_t flag) = 0;
    virtual bool GetStateBit() = 0;
    virtual void SetRebuildFlagB(uint8_t flag) = 0;
    virtual bool IsReady() = 0;
    virtual void SetAutoMode(bool enabled) = 0;
    virtual bool GetAutoMode() = 0;
    virtual bool GetStatistics(VpStatistics* statistics) = 0;
protected:
    ~IVpInstance() {}
};

extern "C" {
__declspec(dllexport) bool vpGetInterface(int ignored, IVpInstance** out);
__declspec(dllexport) void vpFreeInstance(IVpInstance* instance);
}
