// Milliseconds per 800x600 and 640x480 frame of every pixel pass (flip,
// mirror, stretch, tint, symmetry, final mirror) plus the picture mark with a
// cross-fade, median of many frames, against a plain copy of the frame; a
// scrolling 20-character caption at 640x480 (GDI: needs a display); then the
// compose pass with the engine's video processing in front.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "DecorationLayer.h"
#include "TextCaption.h"

namespace {

double NowMs()
{
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double MedianMs(int frames, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < frames; ++i) {
        const double start = NowMs();
        work();
        times.push_back(NowMs() - start);
    }
    return Median(times);
}

MarkBitmap Badge(uint8_t level)
{
    MarkBitmap bitmap;
    bitmap.width = bitmap.height = CMarkPicture::kMarkSize;
    for (int y = 0; y < bitmap.height; ++y)
        for (int x = 0; x < bitmap.width; ++x)
            bitmap.pixels.insert(bitmap.pixels.end(), {uint8_t(x * 3), uint8_t(y * 3), level, uint8_t((x + y) * 2)});
    return bitmap;
}

void Run(int width, int height, int frames)
{
    std::vector<uint8_t> source(size_t(width) * height * 3), frame(source.size()), copy(source.size());
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = uint8_t(i * 7 + i / 4096);

    CompositorParts parts;
    parts.markLoader = [](MarkBitmap& out) { out = Badge(200); return true; };
    CDecorationLayer layer(std::move(parts));
    layer.SetFlip(true);
    layer.SetMirror(true);
    layer.SetStretch(30);
    layer.SetTint(20, 10, 5);
    layer.SetSymmetry(true);
    layer.SetFinalMirror(true);
    const MarkBitmap second = Badge(40);
    layer.SetMarkPicture(second.pixels.data(), second.width, second.height, 32, 0);

    const auto restore = [&] { memcpy(frame.data(), source.data(), frame.size()); };
    const double copyMs = MedianMs(frames, [&] { memcpy(copy.data(), source.data(), copy.size()); });
    const double allMs = MedianMs(frames, [&] {
        restore();
        layer.Compose(frame.data(), width, height);
        layer.DrawMark(frame.data(), width, height);
        layer.ApplyFinalMirror(frame.data(), width, height);
    }) - copyMs;  // the restore is a copy of its own

    CPictureScaler scaler;
    CFlipMirror flips;
    flips.flip = flips.mirror = true;
    CStretchEffect stretch(&scaler);
    stretch.Set(30, 0);
    CTintEffect tint;
    tint.SetColor(20, 10, 5, 0);
    CMarkPicture mark(&scaler, [](MarkBitmap& out) { out = Badge(200); return true; });
    mark.SetSecondPicture(second.pixels.data(), second.width, second.height, 32, 0);
    mark.mix = 0.5f;
    restore();
    const double flipMs = MedianMs(frames, [&] { flips.ApplyFlips(frame.data(), width, height); });
    const double stretchMs = MedianMs(frames, [&] { stretch.Apply(frame.data(), width, height); });
    const double tintMs = MedianMs(frames, [&] { tint.Apply(frame.data(), width, height); });
    const double symmetryMs = MedianMs(frames, [&] { ApplySymmetry(frame.data(), width, height); });
    const double mirrorMs = MedianMs(frames, [&] { flips.ApplyMirror(frame.data(), width, height); });
    const double markMs = MedianMs(frames, [&] { mark.Draw(frame.data(), width, height); });

    printf("%dx%d: all passes + mark %.3f ms (%.1f x memcpy of %.3f ms, %.1f%% of 33 ms)\n", width, height, allMs,
           allMs / copyMs, copyMs, allMs / 33.0 * 100);
    printf("  flip+mirror %.3f, stretch %.3f, tint %.3f, symmetry %.3f, final mirror %.3f, mark %.3f ms\n", flipMs,
           stretchMs, tintMs, symmetryMs, mirrorMs, markMs);
}

// The compose pass as the engine builds it: the video processing (skin
// smoothing and gamma, on by default) runs first, once its benchmark has
// reported; the effects stay off.
void RunProduct(int width, int height, int frames)
{
    std::vector<uint8_t> source(size_t(width) * height * 3), frame(source.size());
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = uint8_t(i * 7 + i / 4096);
    CDecorationLayer layer;
    const DWORD start = GetTickCount();
    while (!layer.IsSmoothReady() && GetTickCount() - start < 60000)
        Sleep(20);
    const double copyMs = MedianMs(frames, [&] { memcpy(frame.data(), source.data(), frame.size()); });
    const double composeMs = MedianMs(frames, [&] {
        memcpy(frame.data(), source.data(), frame.size());
        layer.Compose(frame.data(), width, height);
        layer.DrawMark(frame.data(), width, height);
    }) - copyMs;
    printf("%dx%d: compose with the engine's video processing (smoothing %s) + mark %.3f ms (%.1f%% of 33 ms)\n",
           width, height, layer.IsSmoothEnabled() ? "on" : "off", composeMs, composeMs / 33.0 * 100);
}

// The scrolling caption as the engine draws it (the text's rows through a
// kept bitmap, font and band made once) against the same caption drawn
// through a bitmap of the whole frame with everything made afresh each frame,
// and against the plain compose pass (no effect set) of the same frame.
void RunCaption(int width, int height, int frames)
{
    std::vector<uint8_t> source(size_t(width) * height * 3), frame(source.size()), copy(source.size());
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = uint8_t(i * 7 + i / 4096);
    const double copyMs = MedianMs(frames, [&] { memcpy(copy.data(), source.data(), copy.size()); });
    CompositorParts parts;
    parts.markLoader = [](MarkBitmap& out) { out = Badge(200); return true; };
    CDecorationLayer plain(std::move(parts));
    const double composeMs = MedianMs(frames, [&] {
        memcpy(frame.data(), source.data(), frame.size());
        plain.Compose(frame.data(), width, height);
        plain.DrawMark(frame.data(), width, height);
    }) - copyMs;
    const auto cost = [&](int style, bool band, bool wholeFrame) {
        CTextCaption caption;
        caption.SetWholeFrameDrawing(wholeFrame);
        caption.SetText("Scrolling caption 20");  // 20 characters
        caption.SetStyle(style);
        if (band)
            caption.SetBackColor(0, 0, 128);
        caption.SetScrollMode(2);
        caption.SetSpeed(2.5f);
        caption.SetBottom(20);
        caption.Show(true);
        return MedianMs(frames, [&] {
            memcpy(frame.data(), source.data(), frame.size());
            caption.Draw(frame.data(), width, height);
        }) - copyMs;
    };
    const double keptMs = cost(0, true, false);
    const double wholeMs = cost(0, true, true);
    const double cycleKeptMs = cost(1, false, false);
    const double cycleWholeMs = cost(1, false, true);
    printf("%dx%d: plain compose pass + mark %.3f ms\n", width, height, composeMs);
    printf("  scrolling 20-character caption with band %.3f ms (%.2f x the compose pass, %.1f%% of 33 ms); "
           "whole frame afresh %.3f ms (%.1f x slower)\n",
           keptMs, keptMs / composeMs, keptMs / 33.0 * 100, wholeMs, wholeMs / keptMs);
    printf("  colour-cycle renderer, no band %.3f ms (%.2f x the compose pass); whole frame afresh %.3f ms\n",
           cycleKeptMs, cycleKeptMs / composeMs, cycleWholeMs);
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? atoi(argv[1]) : 300;
    Run(800, 600, frames);
    Run(640, 480, frames);
    const int slowFrames = std::max(1, frames / 10);  // the smoothing costs tens of milliseconds a frame
    RunCaption(640, 480, frames);
    RunProduct(800, 600, slowFrames);
    RunProduct(640, 480, slowFrames);
    return 0;
}
