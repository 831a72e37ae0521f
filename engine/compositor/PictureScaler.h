// Scales packed pictures (no row padding) of one pixel layout. The stretch
// and the picture mark scale through it; tests substitute their own. Keeps
// the scaler set up between calls of the same sizes: one user at a time.
#pragma once

#include <cstdint>

enum class PixelLayout { Bgr24, Bgra32 };

struct SwsContext;

class CPictureScaler {
public:
    CPictureScaler() = default;
    virtual ~CPictureScaler();
    CPictureScaler(const CPictureScaler&) = delete;
    CPictureScaler& operator=(const CPictureScaler&) = delete;

    // False when the scaler rejects the sizes; the destination is then untouched.
    virtual bool Scale(const uint8_t* source, int sourceWidth, int sourceHeight,
                       uint8_t* destination, int width, int height, PixelLayout layout);

private:
    SwsContext* m_context = nullptr;
    // What m_context was asked for: the scaler changes its own flags for odd
    // widths, so matching against what it keeps would rebuild it every call.
    int m_sourceWidth = 0, m_sourceHeight = 0, m_width = 0, m_height = 0;
    PixelLayout m_layout = PixelLayout::Bgr24;
};
