#include "VpColor.h"

#include <cmath>
#include <cstdlib>

namespace vp {

namespace {

struct YCbCrTables {
    int32_t y0[256], y1[256], y2[256];
    int32_t u0[256], u1[256], half[256];
    int32_t v1[256], v2[256];
};
YCbCrTables g_tables;
bool g_tablesFilled = false;

int32_t Fixed(double coefficient, int index)
{
    // Rounded, so that the colour-difference rows sum to exactly 0 for grey.
    return (int32_t)std::lround(coefficient * index * 65536.0);
}

}  // namespace

void FillYCbCrTables()
{
    if (g_tablesFilled)
        return;
    for (int i = 0; i < 256; ++i) {
        g_tables.y0[i] = Fixed(0.299, i);
        g_tables.y1[i] = Fixed(0.587, i);
        g_tables.y2[i] = Fixed(0.114, i);
        g_tables.u0[i] = Fixed(-0.1687, i);
        g_tables.u1[i] = Fixed(-0.3313, i);
        g_tables.half[i] = Fixed(0.5, i);
        g_tables.v1[i] = Fixed(-0.4187, i);
        g_tables.v2[i] = Fixed(-0.0813, i);
    }
    g_tablesFilled = true;
}

GammaPass::GammaPass()
{
    RebuildTable();
}

void GammaPass::RebuildTable()
{
    for (int i = 0; i < 256; ++i)
        m_table[i] = (uint8_t)(std::pow(i / 255.0, 1.0 / m_exponent) * 255.0);
}

void GammaPass::SetExponent(double exponent)
{
    if (exponent <= 0.0)
        exponent = 1.0;
    if (exponent != m_exponent) {
        m_exponent = exponent;
        RebuildTable();
    }
}

void GammaPass::Apply(uint8_t* frame, int width, int height, int stride, double exponent)
{
    SetExponent(exponent);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = frame + (size_t)y * stride;
        for (int i = 0; i < width * 3; ++i)
            row[i] = m_table[row[i]];
    }
}

WhiteBalancePass::WhiteBalancePass()
{
    for (int i = 0; i < 256; ++i)
        m_gain0[i] = m_gain2[i] = (uint8_t)i;
}

void WhiteBalancePass::Apply(uint8_t* frame, int width, int height, int stride)
{
    FillYCbCrTables();
    const YCbCrTables& t = g_tables;
    int64_t sumY = 0, sumU = 0, sumV = 0;
    int64_t counted = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = frame + (size_t)y * stride;
        for (int x = 0; x < width; ++x, p += 3) {
            const int32_t Y = t.y0[p[0]] + t.y1[p[1]] + t.y2[p[2]];
            const int32_t U = t.u0[p[0]] + t.u1[p[1]] + t.half[p[2]];
            const int32_t V = t.half[p[0]] + t.v1[p[1]] + t.v2[p[2]];
            if (Y - std::abs(U) - std::abs(V) > 128 * 65536) {
                sumY += Y;
                sumU += U;
                sumV += V;
                ++counted;
            }
        }
    }
    if (counted == 0)
        return;
    const double n = (double)counted;
    const double yv = (double)(sumY >> 16) / n;
    const double u = (double)(sumU >> 16) / n;
    const double v = (double)(sumV >> 16) / n;
    const double a = 0.3313 * yv - 0.114 * u - 0.2366 * v;
    const double s = 0.1441 * u;
    const double p = -0.0813 * yv - s;
    const double q = 0.4187 * yv - s - 0.299 * v;
    const double tt = 0.5 * yv + 0.866 * u;
    const double b = -0.1687 * yv - 0.2365 * v;
    const double m = 0.5 * yv + 0.701 * v;
    const double c = tt * m;
    const double g0 = (a * p - tt * q) / (b * p - c);
    const double g2 = (m * a - b * q) / (c - b * p);
    if (!std::isfinite(g0) || !std::isfinite(g2))
        return;
    for (int k = 0; k < 256; ++k) {
        // The small epsilon keeps a gain of exactly 1 from losing a level to
        // floating-point round-off.
        const double e0 = g0 * k + 1e-9, e2 = g2 * k + 1e-9;
        m_gain0[k] = (uint8_t)(e0 >= 255.0 ? 255 : e0 <= 0.0 ? 0 : (int)e0);
        m_gain2[k] = (uint8_t)(e2 >= 255.0 ? 255 : e2 <= 0.0 ? 0 : (int)e2);
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* p = frame + (size_t)y * stride;
        for (int x = 0; x < width; ++x, p += 3) {
            p[0] = m_gain0[p[0]];
            p[2] = m_gain2[p[2]];
        }
    }
}

}  // namespace vp
