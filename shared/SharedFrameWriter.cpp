#include "SharedFrameWriter.h"
#include "ShareHandle.h"

namespace tq {

CSharedFrameWriter::~CSharedFrameWriter()
{
    if (m_hSynFrameEvent)
        CloseHandle(m_hSynFrameEvent);
}

bool CSharedFrameWriter::WriteFrame(const FrameHeader& header, IFrameWriterSteps& steps, const FrameWriterPlan& plan)
{
    // The filter creates the event; until one exists frames are still written.
    if (!m_hSynFrameEvent) {
        m_hSynFrameEvent = OpenEventW(EVENT_ALL_ACCESS, FALSE, kSynFrameEventName);
        if (!m_hSynFrameEvent)
            steps.OnMissingEvent();
    }
    auto signal = [this] {
        if (m_hSynFrameEvent)
            SetEvent(m_hSynFrameEvent);
    };

    CMutexLock lock(GetShareMemoryMutex().Get());
    bool handedOver = false;
    {
        CMappedView view(GetCaptureShareMemory().Get(), FILE_MAP_ALL_ACCESS, kCaptureMemorySize, "CaptureShareMemory");
        if (!view)
            return false;
        const uint64_t bytes = uint64_t(header.width) * header.height * 3;
        if (header.width == 0 || header.height == 0 || bytes > kMaxFramePixelBytes)
            return false;

        uint8_t* record = view.Get();
        uint8_t* pixels = record + kFrameHeaderSize;
        WriteFrameHeader(record, header);
        steps.WritePixels(pixels, header.width, header.height);
        if (plan.signal == FrameWriterPlan::SignalAfterPixels)
            signal();
        steps.RunPasses(pixels, header.width, header.height);
        if (plan.signal == FrameWriterPlan::SignalAfterPasses)
            signal();
        steps.ScalePreview(pixels, header.width, header.height);
        if (plan.signal == FrameWriterPlan::SignalAfterPreview)
            signal();
        if (plan.handOverBeforeUnmap) {
            steps.HandOverPreview(header.frameTime);
            handedOver = true;
        }
    }
    if (!handedOver)
        steps.HandOverPreview(header.frameTime);
    return true;
}

} // namespace tq
