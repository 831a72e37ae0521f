// Test frames: RGB24 with guard bytes around them to catch stray reads and writes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

// A frame inside a larger block whose margins hold a known pattern.
class GuardedFrame {
public:
    static const size_t kGuard = 4096;
    static const uint8_t kPattern = 0xA5;

    GuardedFrame(int width, int height, int stride = 0)
        : width(width), height(height), stride(stride ? stride : width * 3),
          m_block(kGuard * 2 + (size_t)this->stride * height, 0)
    {
        std::memset(m_block.data(), kPattern, kGuard);
        std::memset(m_block.data() + m_block.size() - kGuard, kPattern, kGuard);
    }
    uint8_t* Data() { return m_block.data() + kGuard; }
    size_t Bytes() const { return (size_t)stride * height; }
    bool GuardsIntact() const
    {
        for (size_t i = 0; i < kGuard; ++i)
            if (m_block[i] != kPattern || m_block[m_block.size() - 1 - i] != kPattern)
                return false;
        return true;
    }
    uint8_t* Pixel(int x, int y) { return Data() + (size_t)y * stride + (size_t)x * 3; }

    const int width, height, stride;

private:
    std::vector<uint8_t> m_block;
};

// Camera-like content: gradients, a few hard edges and sensor noise.
inline void FillCameraLike(uint8_t* frame, int width, int height, int stride, double noise, unsigned seed = 7)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> grain(0.0, noise);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double base[3] = {60.0 + 120.0 * x / width, 80.0 + 100.0 * y / height, 150.0};
            if ((x / 64 + y / 48) % 5 == 0)
                base[0] = base[1] = base[2] = 230.0;
            for (int c = 0; c < 3; ++c) {
                double v = base[c] + (noise > 0 ? grain(random) : 0.0);
                frame[(size_t)y * stride + x * 3 + c] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
}

inline void FillFlat(uint8_t* frame, int width, int height, int stride, uint8_t b, uint8_t g, uint8_t r)
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = frame + (size_t)y * stride + x * 3;
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
}
