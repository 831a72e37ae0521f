#include "MarkPicture.h"

#include <algorithm>
#include <cstring>

bool CMarkPicture::SetCorner(int corner)
{
    if (corner < 1 || corner > 4)
        return false;
    m_corner = corner;
    return true;
}

bool CMarkPicture::SetSecondPicture(const void* pixels, int width, int height, int bitsPerPixel, uint32_t now)
{
    if (!pixels) {
        if (HasSecondPicture())
            m_clock.SwitchOff(now);
        m_sourceSecond = MarkBitmap();
        m_second = MarkBitmap();
        m_drawn = m_primary;
        return true;
    }
    if (bitsPerPixel != 32 || width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return false;
    const bool hadSecond = HasSecondPicture();
    MarkBitmap given;
    given.width = width;
    given.height = height;
    given.pixels.assign(static_cast<const uint8_t*>(pixels),
                        static_cast<const uint8_t*>(pixels) + size_t(width) * height * 4);
    MarkBitmap second;
    if (width == kMarkSize && height == kMarkSize) {
        second = std::move(given);
    } else {
        second.width = second.height = kMarkSize;
        second.pixels.assign(size_t(kMarkSize) * kMarkSize * 4, 0);
        if (!m_scaler || !m_scaler->Scale(given.pixels.data(), width, height, second.pixels.data(),
                                          kMarkSize, kMarkSize, PixelLayout::Bgra32))
            return false;
    }
    m_sourceSecond = std::move(second);
    Rescale(m_sourceSecond, m_second);
    if (!hadSecond)
        m_clock.SwitchOn(now);
    return true;
}

bool CMarkPicture::EnsurePrimary()
{
    if (!m_sourcePrimary.Empty())
        return true;
    MarkBitmap loaded;
    if (!m_loader || !m_loader(loaded) || loaded.Empty() || loaded.width <= 0 || loaded.height <= 0
        || loaded.pixels.size() < size_t(loaded.width) * loaded.height * 4)
        return false;
    m_sourcePrimary = std::move(loaded);
    m_markWidth = m_sourcePrimary.width;
    m_markHeight = m_sourcePrimary.height;
    m_primary = m_sourcePrimary;
    m_drawn = m_primary;
    if (HasSecondPicture())
        Rescale(m_sourceSecond, m_second);
    return true;
}

// Whole-number factors of 480 x 360, never below 1: every frame from 480 x 360
// up to 959 x 719 (and smaller ones) keeps the picture at its own size.
void CMarkPicture::Fit(int frameWidth, int frameHeight)
{
    int width = std::max(1, frameWidth / 480) * m_sourcePrimary.width;
    int height = std::max(1, frameHeight / 360) * m_sourcePrimary.height;
    width += width & 1;
    height += height & 1;
    if (width == m_markWidth && height == m_markHeight)
        return;
    m_markWidth = width;
    m_markHeight = height;
    Rescale(m_sourcePrimary, m_primary);
    if (HasSecondPicture())
        Rescale(m_sourceSecond, m_second);
    m_drawn = m_primary;
}

void CMarkPicture::Rescale(const MarkBitmap& source, MarkBitmap& out) const
{
    if (source.width == m_markWidth && source.height == m_markHeight) {
        out = source;
        return;
    }
    MarkBitmap scaled;
    scaled.width = m_markWidth;
    scaled.height = m_markHeight;
    scaled.pixels.assign(size_t(m_markWidth) * m_markHeight * 4, 0);
    if (!m_scaler || !m_scaler->Scale(source.pixels.data(), source.width, source.height, scaled.pixels.data(),
                                      m_markWidth, m_markHeight, PixelLayout::Bgra32))
        scaled.pixels.assign(scaled.pixels.size(), 0);  // fully transparent rather than garbage
    out = std::move(scaled);
}

void CMarkPicture::CrossFade()
{
    // Both fitted pictures share the mark's size; the drawn one follows it.
    const size_t count = size_t(m_markWidth) * m_markHeight * 4;
    if (m_primary.pixels.size() != count || m_second.pixels.size() != count)
        return;
    m_drawn.width = m_markWidth;
    m_drawn.height = m_markHeight;
    m_drawn.pixels.resize(count);
    const float keep = 1 - mix;
    const uint8_t* primary = m_primary.pixels.data();
    const uint8_t* second = m_second.pixels.data();
    uint8_t* drawn = m_drawn.pixels.data();
    for (size_t i = 0; i < count; ++i)
        drawn[i] = uint8_t(int(keep * primary[i] + mix * second[i]));
}

void CMarkPicture::Draw(uint8_t* frame, int width, int height)
{
    if (!frame || width <= 0 || height <= 0 || !EnsurePrimary())
        return;
    Fit(width, height);
    if (HasSecondPicture())
        CrossFade();
    else if (m_drawn.pixels.size() != m_primary.pixels.size())
        m_drawn = m_primary;
    Blend(m_drawn, frame, width, height);
}

void CMarkPicture::Blend(const MarkBitmap& picture, uint8_t* frame, int width, int height) const
{
    const int w = picture.width, h = picture.height;
    if (picture.pixels.size() < size_t(w) * h * 4)
        return;
    const int m = (width / 480) * 6;
    int firstRow, firstColumn;
    switch (m_corner) {
    case 1: firstRow = height - m - h; firstColumn = m; break;
    case 2: firstRow = height - m - h; firstColumn = width - m - w; break;
    case 3: firstRow = m; firstColumn = m; break;
    default: firstRow = m; firstColumn = width - w - m; break;
    }
    // Clipped to the frame: a mark larger than a small frame loses its outside part.
    const int rowBegin = std::max(0, -firstRow), rowEnd = std::min(h, height - firstRow);
    const int columnBegin = std::max(0, -firstColumn), columnEnd = std::min(w, width - firstColumn);
    for (int i = rowBegin; i < rowEnd; ++i) {
        const uint8_t* source = picture.pixels.data() + (size_t(i) * w + columnBegin) * 4;
        uint8_t* target = frame + (size_t(firstRow + i) * width + firstColumn + columnBegin) * 3;
        for (int j = columnBegin; j < columnEnd; ++j, source += 4, target += 3) {
            const int alpha = source[3];
            if (alpha == 0)
                continue;
            const double a = alpha / 255.0, rest = (255 - alpha) / 255.0;
            for (int c = 0; c < 3; ++c)
                target[c] = uint8_t(std::min(255, int(a * source[c] + rest * target[c])));
        }
    }
}

CMarkPicture::Ramp CMarkPicture::StartCrossFade()
{
    const Ramp ramp = m_fadeInNext ? Ramp::FadeIn : Ramp::FadeOut;
    mix = m_fadeInNext ? 0.11f : 0.99f;
    m_fadeInNext = !m_fadeInNext;
    return ramp;
}

bool CMarkPicture::StepRamp(Ramp ramp)
{
    if (!(0.0001f < mix && mix < 0.9999f))
        return false;
    mix = ramp == Ramp::FadeIn ? mix + 0.01f : mix - 0.01f;
    return true;
}
