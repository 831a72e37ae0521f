// The media-file frame road: the first grabbed sample starts the picture
// timer; each tick letterboxes the newest sample into the 480 x 360 record,
// runs the picture mark and the final mirror, scales the preview, hands it
// to the manager and reports the play position.
#include "DecorationLayer.h"
#include "MediaFit.h"
#include "MediaLog.h"
#include "MediaMessages.h"
#include "MediaVideoOper.h"

#include <uuids.h>

#include <atomic>
#include <cmath>
#include <cstring>

namespace {

// Arrival time of the last frame the media source wrote, for the whole process.
std::atomic<uint32_t> g_lastWrittenMs{0};

bool IsRgbSubtype(const GUID& subtype)
{
    return subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32 || subtype == MEDIASUBTYPE_ARGB32 ||
           subtype == MEDIASUBTYPE_RGB555 || subtype == MEDIASUBTYPE_RGB565;
}

void FlipRows(uint8_t* picture, int width, int height)
{
    const size_t row = size_t(width) * 3;
    std::vector<uint8_t> spare(row);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        memcpy(spare.data(), picture + top * row, row);
        memcpy(picture + top * row, picture + bottom * row, row);
        memcpy(picture + bottom * row, spare.data(), row);
    }
}

class MediaFrameSteps : public tq::IFrameWriterSteps {
public:
    MediaFrameSteps(const uint8_t* fitted, MediaFitSize fit, CDecorationLayer* layer, CColorConverter& converter,
                    std::vector<uint8_t>& preview, tq::CCritSec& previewLock, CMediaVideo* owner, uint32_t arrivalMs)
        : m_fitted(fitted), m_fit(fit), m_layer(layer), m_converter(converter), m_preview(preview),
          m_previewLock(previewLock), m_owner(owner), m_arrivalMs(arrivalMs) {}

    void WritePixels(uint8_t* pixels, uint32_t, uint32_t) override
    {
        PlaceMediaPicture(m_fitted, m_fit.width, m_fit.height, pixels);
    }
    void RunPasses(uint8_t* pixels, uint32_t width, uint32_t height) override
    {
        if (!m_layer)
            return;
        m_layer->DrawMark(pixels, int(width), int(height));
        m_layer->ApplyFinalMirror(pixels, int(width), int(height));
    }
    void ScalePreview(const uint8_t* pixels, uint32_t width, uint32_t height) override
    {
        tq::CCritSecLock lock(m_previewLock);
        std::fill(m_preview.begin(), m_preview.end(), 0);
        m_converter.SetSource(MEDIASUBTYPE_RGB24, int(width), int(height), pixels);
        m_converter.SetDestination(MEDIASUBTYPE_RGB24, kMediaPreviewWidth, kMediaPreviewHeight, m_preview.data());
        m_converter.Convert();
    }
    void HandOverPreview(int32_t) override { m_owner->HandOverPreview(m_preview.data(), m_arrivalMs); }
    void OnMissingEvent() override { MediaLogLine("m_hSynFrameEvent == NULL"); }

private:
    const uint8_t* m_fitted;
    MediaFitSize m_fit;
    CDecorationLayer* m_layer;
    CColorConverter& m_converter;
    std::vector<uint8_t>& m_preview;
    tq::CCritSec& m_previewLock;
    CMediaVideo* m_owner;
    uint32_t m_arrivalMs;
};

} // namespace

void CMediaVideoOper::OnGetNewPicture()
{
    MediaLogLine("CMediaVideoOper::OnGetNewPicture enter");
    if (m_graph) {
        StartPicTimer();
        MediaLogLine("CMediaVideoOper::OnGetNewPicture timer started");
    }
}

void CMediaVideoOper::StartPicTimer()
{
    m_picTimer.Stop();
    const int half = m_perFrameTime / 2;
    m_picTimer.Start(UINT(half > 0 ? half : 1), &CMediaVideoOper::PicTimerProc, this);
}

void CMediaVideoOper::PicTimerProc(void* self)
{
    auto* oper = static_cast<CMediaVideoOper*>(self);
    oper->DealNewPicture();
    oper->ReportPosition();
}

void CMediaVideoOper::ReportPosition()
{
    REFTIME seconds = 0;
    if (!m_position || FAILED(m_position->get_CurrentPosition(&seconds)) || !(seconds >= 0))
        seconds = 0;
    m_owner->PostToPublic(WM_MEDIA_NOTIFYPROGRESS, WPARAM(uint32_t(std::trunc(seconds * 100000.0))));
}

void CMediaVideoOper::DealNewPicture()
{
    MediaSampleCopy sample;
    if (!m_grabberCB.TakeSample(m_sample, m_lastTaken, sample))
        return;
    const uint32_t last = g_lastWrittenMs.load();
    if (sample.arrivalMs == last)
        return;
    const uint32_t gap = sample.arrivalMs - last;
    if (last != 0 && double(gap) > 1.5 * m_owner->GetPerFrameTime())
        MediaLogLine("CMediaVideoOper::DealNewPicture delay " + std::to_string(gap));
    g_lastWrittenMs = sample.arrivalMs;

    // A top-down RGB picture announces a negative height.
    const GUID subtype = sample.format.subtype;
    const int width = sample.format.width;
    const int height = std::abs(sample.format.height);
    const bool flip = IsRgbSubtype(subtype) && sample.format.height < 0;
    const size_t needed = CColorConverter::PictureBytes(subtype, width, height);
    if (needed == 0 || sample.length < needed) {
        MediaWriteLog("CMediaVideoOper::DealNewPicture short sample %u of %u bytes", unsigned(sample.length),
                      unsigned(needed));
        return;
    }
    const MediaFitSize fit = FitMediaPicture(width, height);
    m_converter.SetSource(subtype, width, height, m_sample.data());
    m_converter.SetDestination(MEDIASUBTYPE_RGB24, fit.width, fit.height, m_work.data());
    if (!m_converter.Convert())
        return;
    if (flip)
        FlipRows(m_work.data(), fit.width, fit.height);

    tq::FrameHeader header;
    header.smoothFlag = 1;
    header.width = kMediaFrameWidth;
    header.height = kMediaFrameHeight;
    header.frameTime = int32_t(sample.arrivalMs);
    MediaFrameSteps steps(m_work.data(), fit, m_owner->GetDecorationLayer(), m_converter, m_preview, m_lock, m_owner,
                          sample.arrivalMs);
    tq::FrameWriterPlan plan;
    plan.signal = tq::FrameWriterPlan::SignalAfterPreview;
    m_writer.WriteFrame(header, steps, plan);
}
