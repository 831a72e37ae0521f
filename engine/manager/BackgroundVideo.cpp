#include "BackgroundVideo.h"
#include "ColorConverter.h"
#include "ManagerLog.h"
#include "GdiplusSession.h"
#include "VcamManger.h"

#include <gdiplus.h>
#include <mmsystem.h>
#include <uuids.h>

#include <cstring>
#include <memory>

namespace {

class BackgroundSteps : public tq::IFrameWriterSteps {
public:
    BackgroundSteps(const std::vector<uint8_t>& picture, std::vector<uint8_t>& preview, VcamManger* manager)
        : m_picture(picture), m_preview(preview), m_manager(manager) {}

    void WritePixels(uint8_t* pixels, uint32_t, uint32_t) override
    {
        memcpy(pixels, m_picture.data(), m_picture.size());
    }
    void ScalePreview(const uint8_t* pixels, uint32_t width, uint32_t height) override
    {
        m_previewTime = timeGetTime();
        m_preview.assign(kPreviewBytes, 0);
        CColorConverter converter;
        converter.SetSource(MEDIASUBTYPE_RGB24, int(width), int(height), const_cast<uint8_t*>(pixels));
        converter.SetDestination(MEDIASUBTYPE_RGB24, kPreviewWidth, kPreviewHeight, m_preview.data());
        converter.Convert();
    }
    void HandOverPreview(int32_t) override
    {
        if (!m_manager)
            return;
        m_manager->TakePreviewFrame(m_preview.data(), m_previewTime);
        m_manager->PostNewPreview();
    }
    void OnMissingEvent() override { LogLine("m_hSynFrameEvent == NULL"); }

private:
    const std::vector<uint8_t>& m_picture;
    std::vector<uint8_t>& m_preview;
    VcamManger* m_manager;
    uint32_t m_previewTime = 0;
};

} // namespace

bool CBackgroundVideo::DecodePicture(const void* data, size_t size, std::vector<uint8_t>& rgb, int& width, int& height)
{
    if (!data || size == 0 || !tq::EnsureGdiplus())
        return false;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block)
        return false;
    void* bytes = GlobalLock(block);
    memcpy(bytes, data, size);
    GlobalUnlock(block);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
        GlobalFree(block);
        return false;
    }
    bool ok = false;
    {
        std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream));
        if (bitmap && bitmap->GetLastStatus() == Gdiplus::Ok && bitmap->GetWidth() > 0 && bitmap->GetHeight() > 0) {
            width = int(bitmap->GetWidth());
            height = int(bitmap->GetHeight());
            Gdiplus::Rect rect(0, 0, width, height);
            Gdiplus::BitmapData locked;
            if (bitmap->LockBits(&rect, Gdiplus::ImageLockModeRead, PixelFormat24bppRGB, &locked) == Gdiplus::Ok) {
                // Packed rows, bottom row first, as the frame record keeps them.
                const size_t row = size_t(width) * 3;
                rgb.resize(row * height);
                const auto* top = static_cast<const uint8_t*>(locked.Scan0);
                for (int y = 0; y < height; ++y)
                    memcpy(&rgb[(height - 1 - y) * row], top + ptrdiff_t(y) * locked.Stride, row);
                bitmap->UnlockBits(&locked);
                ok = true;
            }
        }
    }
    stream->Release();  // frees the block
    return ok;
}

bool CBackgroundVideo::LoadPicture()
{
    m_picture.assign(size_t(kWidth) * kHeight * 3, 0);  // black when the picture cannot be had
    HINSTANCE module = m_manager ? m_manager->GetModuleInstance() : nullptr;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kResourceId), L"PNG");
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    std::vector<uint8_t> decoded;
    int width = 0, height = 0;
    if (!data || !DecodePicture(data, SizeofResource(module, found), decoded, width, height)) {
        WriteLog(3, "CBackgroundVideo: the background picture could not be loaded");
        return false;
    }
    CColorConverter converter;
    converter.SetSource(MEDIASUBTYPE_RGB24, width, height, decoded.data());
    converter.SetDestination(MEDIASUBTYPE_RGB24, kWidth, kHeight, m_picture.data());
    return converter.Convert();
}

bool CBackgroundVideo::StartBackgroundVideo()
{
    if (m_picture.empty())
        LoadPicture();
    OnTimer(0);
    WriteLog(1, "CBackgroundVideo::StartBackgroundVideo");
    return true;
}

bool CBackgroundVideo::StopBackgroundVideo()
{
    WriteLog(1, "CBackgroundVideo::StopBackgroundVideo");
    return true;
}

void CBackgroundVideo::OnTimer(uint32_t)
{
    tq::FrameHeader header;
    header.smoothFlag = 1;
    header.width = kWidth;
    header.height = kHeight;
    header.frameTime = static_cast<int32_t>(timeGetTime());
    BackgroundSteps steps(m_picture, m_preview, m_manager);
    tq::FrameWriterPlan plan;
    plan.signal = tq::FrameWriterPlan::SignalAfterPixels;
    plan.handOverBeforeUnmap = true;
    m_writer.WriteFrame(header, steps, plan);
}
