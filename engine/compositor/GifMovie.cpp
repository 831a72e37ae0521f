#include "GifMovie.h"
#include "GdiplusSession.h"

#include <windows.h>
#include <mmsystem.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {
const int kDefaultDelay = 10;  // hundredths of a second

std::wstring Widen(const std::string& path)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
    wide.resize(size_t(length) - 1);
    return wide;
}

std::vector<int> FrameDelays(Gdiplus::Bitmap& bitmap, int frames)
{
    std::vector<int> delays(size_t(frames), kDefaultDelay);
    const UINT size = bitmap.GetPropertyItemSize(PropertyTagFrameDelay);
    if (size < sizeof(Gdiplus::PropertyItem))
        return delays;
    std::vector<uint8_t> buffer(size);
    auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
    if (bitmap.GetPropertyItem(PropertyTagFrameDelay, size, item) != Gdiplus::Ok || !item->value)
        return delays;
    const size_t count = std::min<size_t>(item->length / 4, delays.size());
    for (size_t i = 0; i < count; ++i) {
        int32_t delay;
        memcpy(&delay, static_cast<const uint8_t*>(item->value) + i * 4, 4);
        if (delay > 0)
            delays[i] = delay;
    }
    return delays;
}

bool ReadFrame(Gdiplus::Bitmap& bitmap, StickerPicture& out)
{
    const int width = int(bitmap.GetWidth()), height = int(bitmap.GetHeight());
    if (width <= 0 || height <= 0 || int64_t(width) * height > (int64_t(1) << 26))
        return false;
    Gdiplus::Rect all(0, 0, width, height);
    Gdiplus::BitmapData data;
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok)
        return false;
    StickerPicture picture;
    picture.width = width;
    picture.height = height;
    picture.bgra.resize(size_t(width) * height * 4);
    for (int row = 0; row < height; ++row)
        memcpy(picture.bgra.data() + size_t(row) * width * 4,
               static_cast<const uint8_t*>(data.Scan0) + ptrdiff_t(row) * data.Stride, size_t(width) * 4);
    bitmap.UnlockBits(&data);
    out = FitSticker(picture);
    return true;
}
}

CGifMovie::CGifMovie(Clock clock, size_t maxHeldBytes)
    : m_clock(clock ? std::move(clock) : Clock([] { return uint32_t(timeGetTime()); })),
      m_maxHeldBytes(maxHeldBytes)
{
}

CGifMovie::~CGifMovie()
{
    tq::KillThreadTimer(m_timer);
}

bool CGifMovie::Load(const std::string& path)
{
    if (!tq::EnsureGdiplus() || path.empty())
        return false;
    const std::wstring wide = Widen(path);
    std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromFile(wide.c_str()));
    if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok)
        return false;
    int frames = 1;
    GUID dimension = Gdiplus::FrameDimensionTime;
    if (bitmap->GetFrameDimensionsCount() > 0) {
        const UINT count = bitmap->GetFrameCount(&dimension);
        if (count > 0)
            frames = int(count);
    }
    const std::vector<int> delays = FrameDelays(*bitmap, frames);
    std::vector<StickerPicture> pictures;
    std::vector<int> kept;
    size_t held = 0;
    try {
        for (int i = 0; i < frames; ++i) {
            if (frames > 1 && bitmap->SelectActiveFrame(&dimension, UINT(i)) != Gdiplus::Ok)
                break;
            StickerPicture picture;
            if (!ReadFrame(*bitmap, picture))
                break;
            held += std::max(picture.bgra.size(), kMinFrameBytes);
            if (held > m_maxHeldBytes && !pictures.empty())
                break;
            pictures.push_back(std::move(picture));
            kept.push_back(delays[size_t(i)]);
        }
    } catch (const std::bad_alloc&) {
        // Out of memory part way: show the frames decoded so far.
    }
    if (pictures.empty())
        return false;
    m_frames = std::move(pictures);
    m_delays = std::move(kept);
    m_loopMs = 0;
    for (int delay : m_delays)
        m_loopMs += uint64_t(delay) * 10;
    m_index = 0;
    return true;
}

void CGifMovie::Start()
{
    m_start = m_clock();
    m_index = 0;
    if (m_frames.size() > 1)
        ArmTimer(uint32_t(m_delays[0]) * 10);
}

void CGifMovie::Advance()
{
    if (m_frames.size() < 2 || m_loopMs == 0)
        return;
    // Where the clock stands in the loop decides the frame, so late timer
    // ticks never stretch the animation.
    const uint64_t inLoop = uint64_t(uint32_t(m_clock() - m_start)) % m_loopMs;
    uint64_t frameEnd = 0;
    size_t index = 0;
    for (; index < m_delays.size(); ++index) {
        frameEnd += uint64_t(m_delays[index]) * 10;
        if (inLoop < frameEnd)
            break;
    }
    m_index = int(index);
    ArmTimer(uint32_t(frameEnd - inLoop));
}

const StickerPicture* CGifMovie::CurrentFrame() const
{
    const int index = m_index.load();
    return index >= 0 && size_t(index) < m_frames.size() ? &m_frames[size_t(index)] : nullptr;
}

void CGifMovie::OnTimer(UINT_PTR timerId)
{
    if (timerId == m_timer)
        Advance();
}

void CGifMovie::ArmTimer(uint32_t milliseconds)
{
    tq::KillThreadTimer(m_timer);
    m_timer = tq::SetThreadTimer(std::max<uint32_t>(milliseconds, USER_TIMER_MINIMUM), this);
}
