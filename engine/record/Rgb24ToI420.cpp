#include "Rgb24ToI420.h"

#include <windows.h>
#include <algorithm>
#include <cstring>
#include <new>

namespace tq {

CRgb24ToI420::CRgb24ToI420()
{
    Init();
}

CRgb24ToI420::~CRgb24ToI420()
{
    delete[] m_workU;
    delete[] m_workV;
}

void CRgb24ToI420::Init()
{
    for (int i = 0; i < 256; ++i) {
        m_yB[i] = i * 6144;
        m_yG[i] = i * 32768;
        m_yR[i] = i * 16640;
        m_uvBR[i] = i * 28672;
        m_uG[i] = i * 18944;
        m_uR[i] = i * 9472;
        m_vG[i] = i * 23808;
        m_vB[i] = i * 4608;
    }
}

bool CRgb24ToI420::Convert(const uint8_t* source, uint8_t* destination, int width, int height, int* outSize)
{
    if (!source || !destination || source == destination)
        return false;
    if (width <= 0 || width > 2048 || height <= 0 || height > 1680 || (width | height) & 1)
        return false;
    const int pixels = width * height;
    if (outSize)
        *outSize = pixels * 3 / 2;

    if (pixels > m_workSize) {
        delete[] m_workU;
        delete[] m_workV;
        m_workU = new (std::nothrow) uint8_t[pixels]();
        m_workV = new (std::nothrow) uint8_t[pixels]();
        if (!m_workU || !m_workV) {
            delete[] m_workU;
            delete[] m_workV;
            m_workU = m_workV = nullptr;
            m_workSize = 0;
            OutputDebugStringA("CRgb24ToI420::Convert, out of memory for the work planes.\n");
            return false;
        }
        m_workSize = pixels;
    }

    uint8_t* y = destination;
    const uint8_t* p = source;
    for (int i = 0; i < pixels; ++i, p += 3) {
        const int b = p[0], g = p[1], r = p[2];
        y[i] = uint8_t((m_yB[b] + m_yG[g] + m_yR[r] + 1048576) >> 16);
        m_workU[i] = uint8_t((m_uvBR[b] - m_uG[g] - m_uR[r] + 8388608) >> 16);
        m_workV[i] = uint8_t((m_uvBR[r] - m_vG[g] - m_vB[b] + 8388608) >> 16);
    }

    uint8_t* u = destination + pixels;
    uint8_t* v = destination + pixels * 5 / 4;
    const int halfWidth = width / 2;
    for (int row = 0; row < height; row += 2) {
        const uint8_t* u0 = m_workU + row * width;
        const uint8_t* v0 = m_workV + row * width;
        for (int col = 0; col < width; col += 2) {
            const int out = (row / 2) * halfWidth + col / 2;
            u[out] = uint8_t((u0[col] + u0[col + 1] + u0[col + width] + u0[col + width + 1]) >> 2);
            v[out] = uint8_t((v0[col] + v0[col + 1] + v0[col + width] + v0[col + width + 1]) >> 2);
        }
    }
    return true;
}

void CRgb24ToI420::Flip(uint8_t* pixels, int width, int height)
{
    if (!pixels || width <= 0 || width >= 1366 || height <= 0 || height > 1680)
        return;
    const int stride = width * 3;
    for (int r = 0; r < height / 2; ++r) {
        uint8_t* top = pixels + r * stride;
        uint8_t* bottom = pixels + (height - 1 - r) * stride;
        std::swap_ranges(top, top + stride, bottom);
    }
}

} // namespace tq
