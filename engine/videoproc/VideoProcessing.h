// Base of the skin-smoothing frame processors: the shared Process step with
// its two measurements, the tone stage and the pixel-copy routines.
// Frames are RGB24, rows stride bytes apart, bottom row first.
#pragma once

#include <windows.h>
#include <cstdint>

class VideoProcessing {
public:
    explicit VideoProcessing(int creationArgument = 0);
    virtual ~VideoProcessing();

    virtual bool Init(HWND window, int width, int height) = 0;
    virtual bool Prepare(HWND window, int width, int height) = 0;
    virtual void Uninit() = 0;
    virtual bool ProcessStep(uint8_t* source, uint8_t* destination, int width, int height, int stride) = 0;
    // ProcessStep, then the measurements of source and destination.
    virtual bool Process(uint8_t* source, uint8_t* destination, int width, int height, int stride);
    virtual void SetStrength(int percent) = 0;
    virtual void SetMix(int percent) = 0;
    virtual void GetSharpnessDelta(float* out);
    virtual void GetNoiseDelta(float* out);
    virtual void SetAutoMode(uint8_t on);
    virtual uint8_t GetAutoMode();
    // Colour variance over a 128 x 128 window at (width / 4, height / 4).
    virtual void MeasureSharpness(const uint8_t* source, int width, int height, int stride, float* out);
    // Squared green differences to the four neighbours over the same window.
    virtual void MeasureNoise(const uint8_t* source, int width, int height, int stride, float* out);
    virtual void BuildToneTables();
    // Screen blend of every byte with the S-curve of the pixel's brightness.
    virtual void ApplyTone(const uint8_t* source, uint8_t* destination, int width, int height, int stride);

    // Rows of the 24-bit side are stride bytes apart; the 32-bit side is packed.
    static void Rgb24ToRgb32(const uint8_t* source, int stride, uint8_t* destination, int width, int height);
    static void Rgb32ToRgb24(const uint8_t* source, uint8_t* destination, int stride, int width, int height);

    // The tone curve's entry for a brightness (for tests and tuning).
    static uint8_t ToneCurve(int index);

protected:
    int m_creationArgument;
    float m_sharpnessDelta = 0.0f;
    float m_noiseDelta = 0.0f;
    uint8_t m_autoMode = 0;
    float m_toneScale = 0.2f;
    float m_toneSlope = 0.85f;
    float m_toneUnused = 10.0f;
};
