// Median decode time per file of the image library and of GDI+ in the same run:
// a 640x480 animated GIF of 30 frames (every frame, each loaded the way the
// engine loads it: a fresh object and a reload per frame) and a 1024x768
// 24-bit BMP. Usage: imagedecode [RUNS]
#include <windows.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <vector>

#include "CxImage.h"
#include "Fixtures.h"

namespace {

const GUID kFrameDimensionTime = {0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa6, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};

double Milliseconds(const std::function<void()>& work)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

double Median(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(Milliseconds(work));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Write(const char* path, const cxfix::Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

cxfix::Bytes AnimatedGif()
{
    std::vector<uint32_t> colours;
    for (int i = 0; i < 256; ++i)
        colours.push_back(uint32_t(i * 0x010307) & 0xFFFFFF);
    std::vector<cxfix::GifFrame> frames;
    uint32_t state = 7;
    for (int n = 0; n < 30; ++n) {
        cxfix::GifFrame f;
        f.width = 640;
        f.height = 480;
        f.delay = 4;
        f.disposal = 1;
        f.indices.resize(640 * 480);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                state = state * 1103515245u + 12345u;
                // Gradients with some noise: a typical effect animation.
                const uint32_t v = uint32_t(x / 4 + y / 3 + n * 5) + ((state >> 28) & 3);
                f.indices[size_t(y) * 640 + size_t(x)] = uint8_t(v);
            }
        frames.push_back(f);
    }
    return cxfix::Gif(640, 480, cxfix::ColourTable(colours, 256), frames, true);
}

cxfix::Bytes LargeBmp()
{
    cxfix::BmpSpec s;
    s.width = 1024;
    s.height = 768;
    s.pixels.resize(size_t(1024) * 768 * 3);
    for (size_t i = 0; i < s.pixels.size(); ++i)
        s.pixels[i] = uint8_t(i * 31 / 7);
    return cxfix::Bmp(s);
}

void GdiplusDecode(const wchar_t* path, bool everyFrame)
{
    Gdiplus::Bitmap bitmap(path);
    const UINT frames = everyFrame ? bitmap.GetFrameCount(&kFrameDimensionTime) : 1;
    for (UINT n = 0; n < frames; ++n) {
        if (everyFrame)
            bitmap.SelectActiveFrame(&kFrameDimensionTime, n);
        Gdiplus::Rect rect(0, 0, INT(bitmap.GetWidth()), INT(bitmap.GetHeight()));
        Gdiplus::BitmapData data;
        if (bitmap.LockBits(&rect, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) == Gdiplus::Ok)
            bitmap.UnlockBits(&data);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    Write("imagedecode_bench.gif", AnimatedGif());
    Write("imagedecode_bench.bmp", LargeBmp());

    int frames = 0;
    const double gifOurs = Median(runs, [&frames] {
        frames = 0;
        for (int n = 0;; ++n) {
            CxImage image;
            image.SelectFrame(n);
            if (!image.LoadFromPath("imagedecode_bench.gif", CXIMAGE_FORMAT_GIF) || !image.HasPixels())
                break;
            ++frames;
            if (n + 1 >= image.FrameCount())
                break;
        }
    });
    const double gifLastFrame = Median(runs, [] {
        CxImage image;
        image.SelectFrame(29);
        image.LoadFromPath("imagedecode_bench.gif", CXIMAGE_FORMAT_GIF);
    });
    const double gifGdiplus = Median(runs, [] { GdiplusDecode(L"imagedecode_bench.gif", true); });
    const double bmpOurs = Median(runs, [] {
        CxImage image;
        image.LoadFromPath("imagedecode_bench.bmp", CXIMAGE_FORMAT_GIF); // the engine asks for GIF first
    });
    const double bmpGdiplus = Median(runs, [] { GdiplusDecode(L"imagedecode_bench.bmp", false); });

    std::printf("runs per file: %d (median)\n", runs);
    std::printf("GIF 640x480, %d frames, every frame as the engine loads it: %.1f ms; GDI+ every frame: %.1f ms; "
                "ratio %.2f\n",
                frames, gifOurs, gifGdiplus, gifOurs / gifGdiplus);
    std::printf("GIF frame 29 alone (decodes frames 0-29): %.1f ms\n", gifLastFrame);
    std::printf("BMP 1024x768x24: %.2f ms; GDI+: %.2f ms; ratio %.2f\n", bmpOurs, bmpGdiplus, bmpOurs / bmpGdiplus);
    std::remove("imagedecode_bench.gif");
    std::remove("imagedecode_bench.bmp");
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
