// BGR (RGB24 rows) to I420 conversion of the recorder's frames, in 16.16
// fixed point.
#pragma once

#include <cstdint>

namespace tq {

class CRgb24ToI420 {
public:
    CRgb24ToI420();
    ~CRgb24ToI420();
    CRgb24ToI420(const CRgb24ToI420&) = delete;
    CRgb24ToI420& operator=(const CRgb24ToI420&) = delete;

    void Init();
    // source: width x height pixels of B, G, R, rows in stored order without
    // padding. destination: Y plane, then U, then V (quarter size each).
    // Width and height must be even.
    bool Convert(const uint8_t* source, uint8_t* destination, int width, int height, int* outSize);
    // Swaps the rows top to bottom, in place.
    static void Flip(uint8_t* pixels, int width, int height);

private:
    int32_t m_yB[256], m_yG[256], m_yR[256];
    int32_t m_uvBR[256];  // B for U and R for V share their factor
    int32_t m_uG[256], m_uR[256], m_vG[256], m_vB[256];
    uint8_t* m_workU = nullptr;
    uint8_t* m_workV = nullptr;
    int m_workSize = 0;
};

} // namespace tq
