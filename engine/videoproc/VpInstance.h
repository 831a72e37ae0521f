// The picture processor behind IVpInstance: white balance, gamma and skin
// smoothing through a VideoProcessing kind, after a start-up benchmark that
// tells the sink whether the GPU is worth using.
#pragma once

#include <windows.h>

#include "AlignedBuffer.h"
#include "VpColor.h"
#include "VpInterface.h"

class VideoProcessing;

class VpInstance final : public IVpInstance {
public:
    VpInstance();

    void Destroy(int flags) override;
    bool Init(int version) override;
    void Stop() override;
    void SetSink(IVpSink* sink) override;
    void SetGammaEnabled(bool enabled) override;
    bool GetGammaEnabled() override;
    void SetSmoothEnabled(bool enabled) override;
    bool GetSmoothEnabled() override;
    void SetSmoothStrength(int percent) override;
    int GetSmoothStrength() override;
    void SetSmoothMix(int percent) override;
    int GetSmoothMix() override;
    bool ProcessFrame(uint8_t* buffer, int width, int height, int stride) override;
    bool ProcessFrameTo(uint8_t* source, uint8_t* destination, int width, int height, int stride) override;
    void ReleaseProcessor() override;
    void SetRebuildFlagA(uint8_t flag) override;
    bool GetStateBit() override;
    void SetRebuildFlagB(uint8_t flag) override;
    bool IsReady() override;
    void SetAutoMode(bool enabled) override;
    bool GetAutoMode() override;
    bool GetStatistics(VpStatistics* statistics) override;

    // The processor in use (null until the first processed frame).
    VideoProcessing* Processor() const { return m_processor; }
    const vp::GammaPass& Gamma() const { return m_gamma; }

private:
    ~VpInstance();
    struct BenchmarkRun;
    static DWORD WINAPI BenchmarkThread(void* run);
    static void ReleaseRun(BenchmarkRun* run);
    static int MeasureGpu(const volatile LONG& cancel);
    void PublishVerdict(int state, IVpSink** sink);
    void StopBenchmark();
    bool Pipeline(uint8_t* source, uint8_t* destination, int width, int height, int stride);

    uint32_t m_stateBit = 0;
    int m_benchmarkState = 0;  // 0 not reported, 1 GPU useless, 2 GPU useful
    AlignedBuffer m_work{32};
    int m_workWidth = 0, m_workHeight = 0, m_workStride = 0;
    int m_smoothMix = 20;
    int m_smoothStrength = 25;
    uint8_t m_rebuildFlagA = 1, m_appliedFlagA = 1;
    uint8_t m_rebuildFlagB = 1, m_appliedFlagB = 1;
    bool m_smoothEnabled = true;
    bool m_whiteBalanceEnabled = false;
    bool m_gammaEnabled = true;
    vp::WhiteBalancePass m_whiteBalance;
    vp::GammaPass m_gamma;
    VideoProcessing* m_processor = nullptr;
    CRITICAL_SECTION m_lock;
    bool m_autoMode = true;

    struct Statistics {
        uint32_t appliedFlagB = 0;
        int width = 0, height = 0;
        uint32_t totalMs = 0;
        float sharpnessSum = 0.0f, noiseSum = 0.0f;
        uint32_t frames = 0;
    } m_statistics;
    CRITICAL_SECTION m_statisticsLock;

    IVpSink* m_sink = nullptr;
    // The benchmark thread and the state it shares with this instance. Stop
    // asks it to end between frames and waits for it, but not for ever: a
    // thread stuck in a driver or in the sink is left behind, and from then on
    // touches only its own run record, never this instance.
    HANDLE m_benchmarkThread = nullptr;
    BenchmarkRun* m_benchmarkRun = nullptr;
};

namespace vp {
// How long Stop waits for the benchmark thread before leaving it behind.
constexpr DWORD kBenchmarkStopWaitMs = 5000;
// Thread time of the caller per processor, as a percentage of the time since
// the library was loaded; 100 when it cannot be told.
unsigned CpuLoadFigure();
}
