// Milliseconds per frame of the CPU smoothing on 640x480 and 800x600
// camera-like frames (noise over gradients and edges), median of many
// frames, with its two stages on their own, against a plain copy of the same
// frame measured in the same run. Runs on one core.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "CpuVideoProcessing.h"

namespace {

void FillCameraLike(std::vector<uint8_t>& frame, int width, int height)
{
    std::mt19937 random(11);
    std::normal_distribution<double> grain(0.0, 3.0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double base[3] = {60.0 + 120.0 * x / width, 80.0 + 100.0 * y / height, 150.0};
            if ((x / 64 + y / 48) % 5 == 0)
                base[0] = base[1] = base[2] = 230.0;
            for (int c = 0; c < 3; ++c) {
                const double v = base[c] + grain(random);
                frame[(size_t)y * width * 3 + x * 3 + c] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
}

double NowMs()
{
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Run(int width, int height, bool autoMode, int frames)
{
    const int stride = width * 3;
    std::vector<uint8_t> source((size_t)stride * height), destination(source.size());
    FillCameraLike(source, width, height);
    CpuVideoProcessing cpu;
    cpu.Init(nullptr, width, height);
    cpu.SetStrength(autoMode ? 85 : 25);
    cpu.SetMix(autoMode ? 30 : 20);
    cpu.SetAutoMode(autoMode ? 1 : 0);
    const float k = 1.0f / (cpu.Sigma() * cpu.Sigma());
    std::vector<uint8_t> work(source.size());
    std::vector<double> smooth, copy, block, contrast;
    for (int i = 0; i < frames; ++i) {
        double start = NowMs();
        cpu.Process(source.data(), destination.data(), width, height, stride);
        smooth.push_back(NowMs() - start);
        start = NowMs();
        std::memcpy(destination.data(), source.data(), source.size());
        copy.push_back(NowMs() - start);
        start = NowMs();
        cpu.BlockFilter(source.data(), work.data(), width, height, stride, k);
        block.push_back(NowMs() - start);
        start = NowMs();
        cpu.ContrastStage(work.data(), destination.data(), width, height, stride);
        contrast.push_back(NowMs() - start);
    }
    const double s = Median(smooth), c = Median(copy);
    std::printf("%dx%d %-6s smoothing %6.2f ms/frame (block filter %5.2f, contrast %5.2f)  memcpy %6.3f ms  "
                "ratio %5.0fx  %s\n",
                width, height, autoMode ? "auto" : "manual", s, Median(block), Median(contrast), c, c > 0 ? s / c : 0.0,
                width == 640 && !autoMode ? (s <= 7.0 ? "(goal <= 7 ms: met)" : "(goal <= 7 ms: missed)") : "");
}

}  // namespace

int main(int argc, char** argv)
{
    SetThreadAffinityMask(GetCurrentThread(), 1);
    const int frames = argc > 1 ? std::max(5, atoi(argv[1])) : 60;
    Run(640, 480, false, frames);
    Run(800, 600, false, frames);
    Run(640, 480, true, frames);
    Run(800, 600, true, frames);
    return 0;
}
