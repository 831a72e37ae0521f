// The sequence every engine frame writer follows to put one frame into
// CaptureShareMemory: event, mutex, mapping, header, pixels, passes, signal,
// preview, unmap, release. Sources differ only in their plan and their steps.
#pragma once

#include "FrameProtocol.h"

namespace tq {

// What a source contributes to a frame write.
class IFrameWriterSteps {
public:
    virtual ~IFrameWriterSteps() = default;
    // Fill the mapped picture (width x height x 3 bytes, bottom-up BGR).
    virtual void WritePixels(uint8_t* pixels, uint32_t width, uint32_t height) = 0;
    // In-place compositor passes over the mapped picture.
    virtual void RunPasses(uint8_t* /*pixels*/, uint32_t /*width*/, uint32_t /*height*/) {}
    // Scale the mapped picture into the 400 x 300 preview.
    virtual void ScalePreview(const uint8_t* /*pixels*/, uint32_t /*width*/, uint32_t /*height*/) {}
    // Give the preview, with the frame's time, to the manager.
    virtual void HandOverPreview(int32_t /*frameTime*/) {}
    // The event could not be opened (the writer may log it).
    virtual void OnMissingEvent() {}
};

struct FrameWriterPlan {
    enum SignalPoint { SignalAfterPixels, SignalAfterPasses, SignalAfterPreview };
    SignalPoint signal = SignalAfterPasses;
    bool handOverBeforeUnmap = false;  // the background picture hands over while mapped
};

class CSharedFrameWriter {
public:
    CSharedFrameWriter() = default;
    ~CSharedFrameWriter();
    CSharedFrameWriter(const CSharedFrameWriter&) = delete;
    CSharedFrameWriter& operator=(const CSharedFrameWriter&) = delete;

    // Writes one frame. Returns false when the mapping or its view could not
    // be had (nothing was written; the mutex is still released).
    bool WriteFrame(const FrameHeader& header, IFrameWriterSteps& steps, const FrameWriterPlan& plan);

private:
    HANDLE m_hSynFrameEvent = nullptr;
};

} // namespace tq
