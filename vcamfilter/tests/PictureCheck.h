// Test pictures and a reference scaling for the camera's picture checks.
// Pictures are RGB24 bottom-up, rows packed unless a stride is given.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace vcamtest {

// A smooth picture whose every pixel tells its position: blue grows along the
// row, green up the picture, red along the diagonal.
inline std::vector<uint8_t> MakeGradient(int width, int height)
{
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = uint8_t(x * 255 / std::max(1, width - 1));
            p[1] = uint8_t(y * 255 / std::max(1, height - 1));
            p[2] = uint8_t((x + y) * 255 / std::max(1, width + height - 2));
        }
    return rgb;
}

// Cuts a centred window of cropWidth x cropHeight out of a packed picture.
inline std::vector<uint8_t> Crop(const std::vector<uint8_t>& rgb, int width, int height, int cropWidth, int cropHeight)
{
    std::vector<uint8_t> out(size_t(cropWidth) * cropHeight * 3);
    const int x0 = (width - cropWidth) / 2;
    const int y0 = (height - cropHeight) / 2;
    for (int y = 0; y < cropHeight; ++y)
        std::copy_n(&rgb[(size_t(y + y0) * width + x0) * 3], size_t(cropWidth) * 3, &out[size_t(y) * cropWidth * 3]);
    return out;
}

// Bilinear scaling with pixel centres aligned, the reference the camera's
// scaler is held to.
inline std::vector<uint8_t> ReferenceScale(const std::vector<uint8_t>& rgb, int width, int height, int outWidth,
                                           int outHeight)
{
    std::vector<uint8_t> out(size_t(outWidth) * outHeight * 3);
    for (int y = 0; y < outHeight; ++y) {
        const double sy = std::clamp((y + 0.5) * height / outHeight - 0.5, 0.0, double(height - 1));
        const int y1 = int(sy), y2 = std::min(y1 + 1, height - 1);
        const double fy = sy - y1;
        for (int x = 0; x < outWidth; ++x) {
            const double sx = std::clamp((x + 0.5) * width / outWidth - 0.5, 0.0, double(width - 1));
            const int x1 = int(sx), x2 = std::min(x1 + 1, width - 1);
            const double fx = sx - x1;
            for (int c = 0; c < 3; ++c) {
                auto at = [&](int px, int py) { return double(rgb[(size_t(py) * width + px) * 3 + c]); };
                const double v = (at(x1, y1) * (1 - fx) + at(x2, y1) * fx) * (1 - fy) +
                                 (at(x1, y2) * (1 - fx) + at(x2, y2) * fx) * fy;
                out[(size_t(y) * outWidth + x) * 3 + c] = uint8_t(std::lround(v));
            }
        }
    }
    return out;
}

struct Difference {
    double mean = 0;
    int max = 0;
};

// Compares a picture with rows at stride against a packed reference.
inline Difference Compare(const uint8_t* picture, size_t stride, const std::vector<uint8_t>& reference, int width,
                          int height)
{
    Difference d;
    double sum = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x) {
            const int delta = std::abs(int(picture[size_t(y) * stride + x]) - int(reference[(size_t(y) * width) * 3 + x]));
            sum += delta;
            d.max = std::max(d.max, delta);
        }
    d.mean = sum / (double(width) * height * 3);
    return d;
}

// The tolerance of the camera's scaled pictures against ReferenceScale: a
// crop off by a few pixels already moves the mean past it.
constexpr double kMeanTolerance = 2.0;
constexpr int kMaxTolerance = 24;
// Pictures with hard edges (the placeholder, the engine's background): the
// fast scaler and the reference part on the edges, not on the whole.
constexpr double kEdgeMeanTolerance = 4.0;

inline size_t Stride(int width)
{
    return (size_t(width) * 3 + 3) & ~size_t(3);
}

} // namespace vcamtest
