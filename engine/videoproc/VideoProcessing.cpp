#include "VideoProcessing.h"

#include <cmath>
#include <cstring>

namespace {

// Shared by every processor; rebuilt on construction, read without a lock.
uint8_t g_toneCurve[256];
uint8_t g_multiply[256][256];
CRITICAL_SECTION* ToneLock()
{
    static CRITICAL_SECTION lock;
    static bool ready = [] { InitializeCriticalSection(&lock); return true; }();
    (void)ready;
    return &lock;
}

const int kWindow = 128;

// The 128 x 128 measurement window starts at a quarter of the frame, moved
// back where needed so that it lies inside any frame of at least its size.
bool MeasureWindow(int width, int height, int* left, int* top)
{
    if (width < kWindow || height < kWindow)
        return false;
    *left = width / 4 < width - kWindow ? width / 4 : width - kWindow;
    *top = height / 4 < height - kWindow ? height / 4 : height - kWindow;
    return true;
}

}  // namespace

VideoProcessing::VideoProcessing(int creationArgument) : m_creationArgument(creationArgument)
{
    BuildToneTables();
}

VideoProcessing::~VideoProcessing() {}

bool VideoProcessing::Process(uint8_t* source, uint8_t* destination, int width, int height, int stride)
{
    if (!ProcessStep(source, destination, width, height, stride))
        return false;
    float before = 0.0f, after = 0.0f;
    MeasureSharpness(source, width, height, stride, &before);
    MeasureSharpness(destination, width, height, stride, &after);
    m_sharpnessDelta = after - before;
    before = after = 0.0f;
    MeasureNoise(source, width, height, stride, &before);
    MeasureNoise(destination, width, height, stride, &after);
    m_noiseDelta = after - before;
    return true;
}

void VideoProcessing::GetSharpnessDelta(float* out) { *out = m_sharpnessDelta; }
void VideoProcessing::GetNoiseDelta(float* out) { *out = m_noiseDelta; }
void VideoProcessing::SetAutoMode(uint8_t on) { m_autoMode = on; }
uint8_t VideoProcessing::GetAutoMode() { return m_autoMode; }

void VideoProcessing::MeasureSharpness(const uint8_t* source, int width, int height, int stride, float* out)
{
    int left, top;
    if (!source || !MeasureWindow(width, height, &left, &top))
        return;
    double sum[3] = {0, 0, 0}, squares[3] = {0, 0, 0};
    for (int y = top; y < top + kWindow; ++y) {
        const uint8_t* p = source + (size_t)y * stride + (size_t)left * 3;
        for (int x = 0; x < kWindow * 3; ++x) {
            sum[x % 3] += p[x];
            squares[x % 3] += (double)p[x] * p[x];
        }
    }
    const double n = kWindow * kWindow;
    double variance = 0.0;
    for (int c = 0; c < 3; ++c)
        variance += squares[c] - sum[c] * sum[c] / n;
    *out = (float)(variance / 16384.0);
}

void VideoProcessing::MeasureNoise(const uint8_t* source, int width, int height, int stride, float* out)
{
    int left, top;
    if (!source || !MeasureWindow(width, height, &left, &top))
        return;
    double sum = 0.0;
    for (int y = top; y < top + kWindow; ++y) {
        const uint8_t* row = source + (size_t)y * stride + 1;  // green
        // Neighbours outside the frame count as the pixel itself.
        const uint8_t* above = y > 0 ? row - stride : row;
        const uint8_t* below = y + 1 < height ? row + stride : row;
        for (int x = left; x < left + kWindow; ++x) {
            const int g = row[x * 3];
            const int d[4] = {g - row[(x > 0 ? x - 1 : x) * 3], g - row[(x + 1 < width ? x + 1 : x) * 3],
                              g - above[x * 3], g - below[x * 3]};
            for (int v : d)
                sum += v * v;
        }
    }
    *out = (float)(sum / 65024.0);
}

void VideoProcessing::BuildToneTables()
{
    uint8_t curve[256];
    for (int i = 0; i < 256; ++i) {
        const float x = i / 255.0f;
        const float e = std::exp(-(x - 0.5f) * (m_toneSlope * 20.0f + 2.0f));
        float s = m_toneScale * 255.0f / (e + 1.0f);
        if (s < 0.0f) s = 0.0f;
        if (s > 255.0f) s = 255.0f;
        curve[i] = (uint8_t)s;
    }
    EnterCriticalSection(ToneLock());
    // Processors on other threads read the tables: only write what changes.
    if (std::memcmp(curve, g_toneCurve, sizeof curve) != 0 || g_multiply[255][255] != 255) {
        std::memcpy(g_toneCurve, curve, sizeof curve);
        for (int i = 0; i < 256; ++i)
            for (int j = 0; j < 256; ++j) {
                const int v = 128 + i * j;
                g_multiply[i][j] = (uint8_t)((v + (v >> 8)) >> 8);
            }
    }
    LeaveCriticalSection(ToneLock());
}

uint8_t VideoProcessing::ToneCurve(int index) { return g_toneCurve[index & 255]; }

void VideoProcessing::ApplyTone(const uint8_t* source, uint8_t* destination, int width, int height, int stride)
{
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = source + (size_t)y * stride;
        uint8_t* d = destination + (size_t)y * stride;
        for (int x = 0; x < width; ++x, s += 3, d += 3) {
            const int l = 255 - g_toneCurve[(s[0] + s[2] + 2 * s[1]) >> 2];
            d[0] = (uint8_t)(255 - g_multiply[255 - s[0]][l]);
            d[1] = (uint8_t)(255 - g_multiply[255 - s[1]][l]);
            d[2] = (uint8_t)(255 - g_multiply[255 - s[2]][l]);
        }
    }
}

void VideoProcessing::Rgb24ToRgb32(const uint8_t* source, int stride, uint8_t* destination, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = source + (size_t)y * stride;
        uint8_t* d = destination + (size_t)y * width * 4;
        for (int x = 0; x < width; ++x, s += 3, d += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 0;
        }
    }
}

void VideoProcessing::Rgb32ToRgb24(const uint8_t* source, uint8_t* destination, int stride, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = source + (size_t)y * width * 4;
        uint8_t* d = destination + (size_t)y * stride;
        for (int x = 0; x < width; ++x, s += 4, d += 3) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
}
