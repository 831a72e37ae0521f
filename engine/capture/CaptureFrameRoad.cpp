// The camera's frame road: each tick of the frame timer writes the newest
// grabbed sample, once, into the shared frame record and the preview.
#include "CaptureLog.h"
#include "CaptureMessages.h"
#include "CaptureVideoOper.h"
#include "DecorationLayer.h"
#include "PreviewCrop.h"

#include <uuids.h>

#include <atomic>
#include <cstring>

namespace {

// Arrival time of the last frame the camera wrote, for the whole process.
std::atomic<uint32_t> g_lastWrittenMs{0};

bool HasJpegMarkers(const uint8_t* data, size_t length)
{
    return length >= 4 && data[0] == 0xFF && data[1] == 0xD8 && data[length - 2] == 0xFF && data[length - 1] == 0xD9;
}

struct PixelSource {
    const uint8_t* data;  // the sample, or the decoded picture for MJPEG
    GUID subtype;
    int width;
    int height;
    bool decoded;
};

class CameraFrameSteps : public tq::IFrameWriterSteps {
public:
    CameraFrameSteps(const PixelSource& source, CDecorationLayer* layer, CColorConverter& converter,
                     std::vector<uint8_t>& work, std::vector<uint8_t>& preview, tq::CCritSec& previewLock,
                     CCaptureVideo* owner, uint32_t arrivalMs)
        : m_source(source), m_layer(layer), m_converter(converter), m_work(work),
          m_preview(preview), m_previewLock(previewLock), m_owner(owner), m_arrivalMs(arrivalMs) {}

    void WritePixels(uint8_t* pixels, uint32_t width, uint32_t height) override
    {
        if (m_source.decoded) {
            memcpy(pixels, m_source.data, size_t(width) * height * 3);
            return;
        }
        m_converter.SetSource(m_source.subtype, m_source.width, m_source.height, m_source.data);
        m_converter.SetDestination(MEDIASUBTYPE_RGB24, int(width), int(height), pixels);
        m_converter.Convert();
    }
    void RunPasses(uint8_t* pixels, uint32_t width, uint32_t height) override
    {
        // The compositor's layers are laid out for 4:3 pictures only.
        if (!m_layer || uint64_t(height) * 480 != uint64_t(width) * 360)
            return;
        m_layer->Compose(pixels, int(width), int(height));
        m_layer->DrawMark(pixels, int(width), int(height));
        m_layer->ApplyFinalMirror(pixels, int(width), int(height));
    }
    void ScalePreview(const uint8_t* pixels, uint32_t width, uint32_t height) override
    {
        tq::CCritSecLock lock(m_previewLock);
        CropAndScale(pixels, int(width), int(height), m_work.data(), m_preview.data(), kCapturePreviewWidth,
                     kCapturePreviewHeight, m_converter);
    }
    void HandOverPreview(int32_t) override
    {
        m_owner->HandOverPreview(m_preview.data(), m_arrivalMs);
    }

private:
    const PixelSource& m_source;
    CDecorationLayer* m_layer;
    CColorConverter& m_converter;
    std::vector<uint8_t>& m_work;
    std::vector<uint8_t>& m_preview;
    tq::CCritSec& m_previewLock;
    CCaptureVideo* m_owner;
    uint32_t m_arrivalMs;
};

} // namespace

void CCaptureVideoOper::OnGotNewPicture()
{
    if (m_graph)
        StartPicTimer();
    CaptureWriteLog(1, "CCaptureVideoOper OnGotNewPicture");
}

void CCaptureVideoOper::StartPicTimer()
{
    m_picTimer.Stop();
    const int framesPerSecond = m_framesPerSecond > 0 ? m_framesPerSecond : 1;
    const UINT delay = UINT(1000 / framesPerSecond);
    CaptureLogLine("当前帧速率==" + std::to_string(framesPerSecond) + ", delay=" + std::to_string(delay));
    m_picTimer.Start(delay > 0 ? delay : 1, &CCaptureVideoOper::PicTimerProc, this);
}

void CCaptureVideoOper::PicTimerProc(void* self)
{
    static_cast<CCaptureVideoOper*>(self)->DealNewPicture();
}

void CCaptureVideoOper::DealNewPicture()
{
    size_t length = 0;
    uint32_t arrivalMs = 0;
    if (!m_grabberCB.CopyLatest(m_sample, length, arrivalMs)) {
        CaptureLogLine("GetBufferData failed!");
        return;
    }
    if (arrivalMs == g_lastWrittenMs.load())
        return;  // written already
    g_lastWrittenMs = arrivalMs;

    int sourceWidth, sourceHeight, outWidth, outHeight;
    GUID subtype;
    {
        tq::CCritSecLock lock(m_lock);
        sourceWidth = m_sourceWidth;
        sourceHeight = m_sourceHeight;
        subtype = m_sourceSubtype;
        outWidth = m_outWidth;
        outHeight = m_outHeight;
    }
    if (outWidth <= 0 || outHeight <= 0 || uint64_t(outWidth) * outHeight * 3 > kCaptureWorkBytes ||
        sourceWidth <= 0 || sourceHeight <= 0)
        return;

    PixelSource source{m_sample.data(), subtype, sourceWidth, sourceHeight, false};
    if (subtype == MEDIASUBTYPE_MJPG) {
        // Decoded before the record is touched: a picture that cannot be
        // decoded leaves the last frame as it was, with no passes and no signal.
        if (!HasJpegMarkers(m_sample.data(), length)) {
            CaptureWriteLog(2, "CCaptureVideoOper::DealNewPicture MJPG sample without start or end marker");
            return;
        }
        bool decoded = false;
        try {
            decoded = m_converter.ConvertMjpg(m_sample.data(), int(length), m_work.data(), sourceWidth, sourceHeight,
                                              outWidth, outHeight);
        } catch (...) {
            decoded = false;
        }
        if (!decoded) {
            CaptureWriteLog(2, "CCaptureVideoOper::DealNewPicture MJPG sample could not be decoded");
            return;
        }
        source.data = m_work.data();
        source.decoded = true;
    } else {
        const size_t needed = CColorConverter::PictureBytes(subtype, sourceWidth, sourceHeight);
        if (needed == 0 || length < needed) {
            CaptureWriteLog(2, "CCaptureVideoOper::DealNewPicture short sample %u of %u bytes", unsigned(length),
                            unsigned(needed));
            return;
        }
    }

    CDecorationLayer* layer = m_owner->GetDecorationLayer();
    tq::FrameHeader header;
    header.smoothFlag = (layer && layer->IsSmoothEnabled()) ? 1 : 0;
    header.width = uint32_t(outWidth);
    header.height = uint32_t(outHeight);
    header.frameTime = int32_t(arrivalMs);
    CameraFrameSteps steps(source, layer, m_converter, m_work, m_preview, m_lock, m_owner,
                           arrivalMs);
    tq::FrameWriterPlan plan;
    plan.signal = tq::FrameWriterPlan::SignalAfterPasses;
    m_writer.WriteFrame(header, steps, plan);
}
