// Child program of the Direct3D tests: initialises the GPU processor for
// 640 x 480 (and asks the factory for a processor) under whatever DLL
// overrides its environment carries, and prints the log lines it produced.
#include <cstdio>

#include "CpuVideoProcessing.h"
#include "D3DVideoProcessing.h"
#include "VideoProcessingFactory.h"
#include "VpLog.h"

static void Print(const std::string& line)
{
    std::printf("%s\n", line.c_str());
}

int main()
{
    vp::SetLogHook(&Print);
    {
        D3DVideoProcessing gpu;
        const bool ok = gpu.Init(nullptr, 640, 480);
        std::printf("#init %d\n", ok ? 1 : 0);
        gpu.Uninit();
    }
    VideoProcessing* processor = VideoProcessingFactory::Instance().Create(0, 0, nullptr, 640, 480);
    std::printf("#kind %s\n", !processor ? "none"
                              : dynamic_cast<CpuVideoProcessing*>(processor) ? "cpu" : "d3d");
    VideoProcessingFactory::Instance().Release(&processor);
    std::fflush(stdout);
    return 0;
}
