// The instance's own passes over RGB24 frames: gamma and white balance.
#pragma once

#include <cstdint>

namespace vp {

// RGB-to-YCbCr products in 16.16 fixed point, built once per module.
void FillYCbCrTables();

class GammaPass {
public:
    GammaPass();
    // Rebuilds the table when the exponent changed (<= 0 counts as 1).
    void SetExponent(double exponent);
    void RebuildTable();
    void Apply(uint8_t* frame, int width, int height, int stride, double exponent);
    double Exponent() const { return m_exponent; }
    uint8_t Entry(int index) const { return m_table[index & 255]; }

private:
    double m_exponent = 1.0;
    uint8_t m_table[256];
};

class WhiteBalancePass {
public:
    WhiteBalancePass();
    // Measures the bright, nearly neutral pixels and scales bytes 0 and 2
    // so that they come out grey; leaves the frame alone without such pixels.
    void Apply(uint8_t* frame, int width, int height, int stride);
    uint8_t Gain0(int index) const { return m_gain0[index & 255]; }
    uint8_t Gain2(int index) const { return m_gain2[index & 255]; }

private:
    uint8_t m_gain0[256];
    uint8_t m_gain2[256];
};

}  // namespace vp
