#include "VpInstance.h"

#include <mmsystem.h>
#include <cstring>
#include <new>
#include <vector>

#include "D3DVideoProcessing.h"
#include "VideoProcessingFactory.h"
#include "VpLog.h"

namespace {

const double kGammaExponent = 1.2;

FILETIME LoadTime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return now;
}
const FILETIME g_loadTime = LoadTime();

uint64_t Ticks(const FILETIME& time)
{
    return ((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

class Lock {
public:
    explicit Lock(CRITICAL_SECTION* section) : m_section(section) { EnterCriticalSection(m_section); }
    ~Lock() { LeaveCriticalSection(m_section); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CRITICAL_SECTION* m_section;
};

}  // namespace

namespace vp {

unsigned CpuLoadFigure()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const double elapsedMs = ((double)Ticks(now) - (double)Ticks(g_loadTime)) / 10000.0;
    FILETIME creation, exit, kernel, user;
    if (elapsedMs <= 0.0 || !GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user))
        return 100;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const double processors = info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
    const double threadMs = (double)(Ticks(kernel) + Ticks(user)) / 10000.0 / processors;
    return (unsigned)(threadMs / elapsedMs * 100.0 + 0.5);
}

}  // namespace vp

VpInstance::VpInstance()
{
    InitializeCriticalSection(&m_lock);
    InitializeCriticalSection(&m_statisticsLock);
}

VpInstance::~VpInstance()
{
    Stop();
    DeleteCriticalSection(&m_statisticsLock);
    DeleteCriticalSection(&m_lock);
}

void VpInstance::Destroy(int flags)
{
    if (flags & 1)
        delete this;
    else
        this->~VpInstance();
}

// Shared by an instance and its benchmark thread; freed by whichever lets go last.
struct VpInstance::BenchmarkRun {
    volatile LONG refs = 2;
    volatile LONG cancel = 0;
    CRITICAL_SECTION lock;      // guards owner
    VpInstance* owner = nullptr; // null once the instance has left the thread behind
};

void VpInstance::ReleaseRun(BenchmarkRun* run)
{
    if (InterlockedDecrement(&run->refs) == 0) {
        DeleteCriticalSection(&run->lock);
        delete run;
    }
}

bool VpInstance::Init(int)
{
    StopBenchmark();
    Lock lock(&m_lock);
    m_stateBit = 0;
    m_benchmarkState = 0;
    BenchmarkRun* run = new (std::nothrow) BenchmarkRun;
    if (run) {
        InitializeCriticalSection(&run->lock);
        run->owner = this;
        m_benchmarkThread = CreateThread(nullptr, 0, BenchmarkThread, run, 0, nullptr);
        if (m_benchmarkThread) {
            m_benchmarkRun = run;
        } else {
            DeleteCriticalSection(&run->lock);
            delete run;
        }
    }
    if (!m_benchmarkThread)
        m_benchmarkState = 1;  // no benchmark: the CPU processor serves
    {
        Lock statistics(&m_statisticsLock);
        m_statistics.frames = 0;
    }
    m_gamma.RebuildTable();
    vp::FillYCbCrTables();
    return true;
}

void VpInstance::StopBenchmark()
{
    if (!m_benchmarkThread)
        return;
    BenchmarkRun* run = m_benchmarkRun;
    InterlockedExchange(&run->cancel, 1);
    // The thread ends after its current frame; it must not be killed while
    // it holds a Direct3D device or one of our locks. A thread that does not
    // end in time (a hung driver, a sink that never returns) is left behind.
    if (WaitForSingleObject(m_benchmarkThread, vp::kBenchmarkStopWaitMs) != WAIT_OBJECT_0) {
        EnterCriticalSection(&run->lock);
        run->owner = nullptr;
        LeaveCriticalSection(&run->lock);
        vp::LogInfo("benchmark thread did not end within %u ms; left behind", (unsigned)vp::kBenchmarkStopWaitMs);
    }
    CloseHandle(m_benchmarkThread);
    m_benchmarkThread = nullptr;
    m_benchmarkRun = nullptr;
    ReleaseRun(run);
}

void VpInstance::Stop()
{
    StopBenchmark();
    Lock lock(&m_lock);
    VideoProcessingFactory::Instance().Release(&m_processor);
    m_work.Free();
    m_workWidth = m_workHeight = m_workStride = 0;
    Lock statistics(&m_statisticsLock);
    m_statistics.frames = 0;
}

DWORD WINAPI VpInstance::BenchmarkThread(void* parameter)
{
    BenchmarkRun* run = static_cast<BenchmarkRun*>(parameter);
    const int state = MeasureGpu(run->cancel);
    IVpSink* sink = nullptr;
    if (!run->cancel) {
        EnterCriticalSection(&run->lock);
        if (run->owner)
            run->owner->PublishVerdict(state, &sink);
        LeaveCriticalSection(&run->lock);
    }
    // Outside every lock: the sink takes the compositor's lock, which is held
    // around ProcessFrame.
    if (sink)
        sink->OnState(state != 2, 0, 0);
    ReleaseRun(run);
    return 0;
}

// 2 when the GPU smooths a 640 x 480 frame fast enough, else 1.
int VpInstance::MeasureGpu(const volatile LONG& cancel)
{
    const int width = 640, height = 480, stride = width * 3, frames = 12;
    int state = 1;
    VideoProcessing* gpu = new (std::nothrow) D3DVideoProcessing();
    if (gpu && gpu->Init(nullptr, width, height)) {
        std::vector<uint8_t> source((size_t)stride * height), destination((size_t)stride * height);
        const DWORD start = timeGetTime();
        state = 2;
        int done = 0;
        for (; done < frames && !cancel; ++done) {
            if (!gpu->ProcessStep(source.data(), destination.data(), width, height, stride)) {
                state = 1;
                vp::LogInfo("gpu.Processing: %d", 1);
                break;
            }
        }
        if (state == 2 && done == frames) {
            const unsigned perFrame = (unsigned)(timeGetTime() - start) / frames;
            const unsigned load = vp::CpuLoadFigure();
            if (perFrame >= 300 || (perFrame > 250 && load > 20))
                state = 1;
        }
    }
    VideoProcessingFactory::Instance().Release(&gpu);
    return state;
}

void VpInstance::PublishVerdict(int state, IVpSink** sink)
{
    Lock lock(&m_lock);
    m_benchmarkState = state;
    *sink = m_sink;
}

void VpInstance::SetSink(IVpSink* sink) { m_sink = sink; }

void VpInstance::SetGammaEnabled(bool enabled)
{
    Lock lock(&m_lock);
    m_gammaEnabled = enabled;
}

bool VpInstance::GetGammaEnabled()
{
    Lock lock(&m_lock);
    return m_gammaEnabled;
}

void VpInstance::SetSmoothEnabled(bool enabled)
{
    Lock lock(&m_lock);
    m_smoothEnabled = enabled;
}

bool VpInstance::GetSmoothEnabled()
{
    Lock lock(&m_lock);
    return m_smoothEnabled;
}

void VpInstance::SetSmoothStrength(int percent)
{
    Lock lock(&m_lock);
    if (m_processor)
        m_processor->SetStrength(percent);
    m_smoothStrength = percent;
}

int VpInstance::GetSmoothStrength()
{
    Lock lock(&m_lock);
    return m_smoothStrength;
}

void VpInstance::SetSmoothMix(int percent)
{
    Lock lock(&m_lock);
    if (m_processor)
        m_processor->SetMix(percent);
    m_smoothMix = percent;
}

int VpInstance::GetSmoothMix()
{
    Lock lock(&m_lock);
    return m_smoothMix;
}

bool VpInstance::ProcessFrame(uint8_t* buffer, int width, int height, int stride)
{
    Lock lock(&m_lock);
    if (!m_whiteBalanceEnabled && !m_gammaEnabled && !m_smoothEnabled && !m_autoMode)
        return true;
    if (!buffer || width <= 0 || height <= 0 || stride < width * 3)
        return false;
    const size_t frameBytes = (size_t)height * stride;
    if (!m_work.Data() || width != m_workWidth || height != m_workHeight || stride != m_workStride) {
        // Holds the whole frame, stride padding included.
        if (!m_work.Ensure(frameBytes)) {
            m_workWidth = m_workHeight = m_workStride = 0;
            return false;
        }
        m_workWidth = width;
        m_workHeight = height;
        m_workStride = stride;
    }
    std::memcpy(m_work.Data(), buffer, frameBytes);
    std::memset(buffer, 0, frameBytes);
    if (!Pipeline(m_work.Data(), buffer, width, height, stride)) {
        std::memcpy(buffer, m_work.Data(), frameBytes);
        return false;
    }
    return true;
}

bool VpInstance::ProcessFrameTo(uint8_t* source, uint8_t* destination, int width, int height, int stride)
{
    Lock lock(&m_lock);
    if (!m_whiteBalanceEnabled && !m_gammaEnabled && !m_smoothEnabled && !m_autoMode)
        return false;
    return Pipeline(source, destination, width, height, stride);
}

bool VpInstance::Pipeline(uint8_t* source, uint8_t* destination, int width, int height, int stride)
{
    if (!source || !destination || source == destination || width <= 0 || height <= 0 || stride < width * 3)
        return false;
    const size_t frameBytes = (size_t)height * stride;
    if (m_benchmarkState == 0) {
        std::memcpy(destination, source, frameBytes);
        return true;
    }
    if (!m_processor || m_rebuildFlagA != m_appliedFlagA || m_rebuildFlagB != m_appliedFlagB) {
        VideoProcessingFactory& factory = VideoProcessingFactory::Instance();
        factory.Release(&m_processor);
        m_processor = factory.Create(0, 0, nullptr, width, height);
        if (!m_processor)
            return false;
        m_processor->SetMix(m_smoothMix);
        m_processor->SetStrength(m_smoothStrength);
        m_processor->SetAutoMode(m_autoMode);
        if (m_autoMode) {
            m_processor->SetStrength(85);
            m_processor->SetMix(30);
        }
        m_appliedFlagA = m_rebuildFlagA;
        m_appliedFlagB = m_rebuildFlagB;
    }
    if (m_whiteBalanceEnabled)
        m_whiteBalance.Apply(source, width, height, stride);
    if (m_gammaEnabled)
        m_gamma.Apply(source, width, height, stride, kGammaExponent);
    if (m_smoothEnabled) {
        const DWORD start = timeGetTime();
        if (!m_processor->Process(source, destination, width, height, stride))
            return false;
        const DWORD elapsed = timeGetTime() - start;
        float sharpness = 0.0f, noise = 0.0f;
        m_processor->GetSharpnessDelta(&sharpness);
        m_processor->GetNoiseDelta(&noise);
        Lock statistics(&m_statisticsLock);
        m_statistics.appliedFlagB = m_appliedFlagB;
        m_statistics.width = width;
        m_statistics.height = height;
        m_statistics.totalMs += elapsed;
        m_statistics.sharpnessSum += sharpness;
        m_statistics.noiseSum += noise;
        ++m_statistics.frames;
    } else {
        std::memcpy(destination, source, frameBytes);
    }
    return true;
}

void VpInstance::ReleaseProcessor()
{
    Lock lock(&m_lock);
    VideoProcessingFactory::Instance().Release(&m_processor);
}

void VpInstance::SetRebuildFlagA(uint8_t flag)
{
    Lock lock(&m_lock);
    m_rebuildFlagA = flag;
}

bool VpInstance::GetStateBit()
{
    Lock lock(&m_lock);
    return (m_stateBit & 1) != 0;
}

void VpInstance::SetRebuildFlagB(uint8_t flag)
{
    Lock lock(&m_lock);
    m_rebuildFlagB = flag;
}

bool VpInstance::IsReady()
{
    Lock lock(&m_lock);
    return m_benchmarkState != 0;
}

void VpInstance::SetAutoMode(bool enabled)
{
    Lock lock(&m_lock);
    m_autoMode = enabled;
    if (m_processor) {
        m_processor->SetAutoMode(enabled);
        m_processor->SetStrength(98);
        m_processor->SetMix(30);
    }
}

bool VpInstance::GetAutoMode()
{
    Lock lock(&m_lock);
    return m_processor ? m_processor->GetAutoMode() != 0 : false;
}

bool VpInstance::GetStatistics(VpStatistics* statistics)
{
    Lock lock(&m_statisticsLock);
    const uint32_t frames = m_statistics.frames ? m_statistics.frames : 1;
    if (statistics) {
        statistics->rebuildFlagB = m_statistics.appliedFlagB;
        statistics->width = m_statistics.width;
        statistics->height = m_statistics.height;
        statistics->averageMs = m_statistics.totalMs / frames;
        statistics->averageSharpness = m_statistics.sharpnessSum / frames;
        statistics->averageNoise = m_statistics.noiseSum / frames;
    }
    m_statistics = Statistics();
    return true;
}
