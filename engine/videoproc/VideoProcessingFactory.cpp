#include "VideoProcessingFactory.h"

#include <new>

#include "CpuVideoProcessing.h"
#include "D3DVideoProcessing.h"

VideoProcessingFactory& VideoProcessingFactory::Instance()
{
    static VideoProcessingFactory factory;
    return factory;
}

VideoProcessing* VideoProcessingFactory::Create(int, int, HWND window, int width, int height)
{
    try {
        VideoProcessing* processor = new D3DVideoProcessing();
        if (processor->Init(window, width, height))
            return processor;
        processor->Uninit();
        delete processor;
        processor = new CpuVideoProcessing();
        if (processor->Init(window, width, height))
            return processor;
        processor->Uninit();
        delete processor;
    } catch (...) {
    }
    return nullptr;
}

void VideoProcessingFactory::Release(VideoProcessing** processor)
{
    if (processor && *processor) {
        (*processor)->Uninit();
        delete *processor;
        *processor = nullptr;
    }
}
