// Milliseconds per 800x600 and 640x480 frame of every pixel pass (flip,
// mirror, stretch, tint, symmetry, final mirror) plus the picture mark with a
// cross-fade, median of many frames, against a plain copy of the frame; a
// scrolling 20-character caption at 640x480 (GDI: needs a display); then the
// compose pass with the engine's video processing in front; the named
// layers: a 100x75 sticker, a full-frame GIF at 640x480 and a Flash movie
// drawn by the stand-in control (testflash.dll beside this program,
// registered for the run) at 480x360.
//   bench_compose [frames]                 all of it
//   bench_compose WIDTHxHEIGHT [frames]    the passes and the mark at one size
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "DecorationLayer.h"
#include "FlashPlayerHost.h"
#include "GifFrames.h"
#include "StickerPicture.h"
#include "TextCaption.h"

#include <string>

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
    // A small stretch: 640 and 320 wide frames scale to an odd width.
    CPictureScaler smallScaler;
    CStretchEffect smallStretch(&smallScaler);
    smallStretch.Set(3, 0);
    const double smallStretchMs = MedianMs(frames, [&] { smallStretch.Apply(frame.data(), width, height); });

    const double megapixels = double(width) * height / 1e6;
    printf("%dx%d: all passes + mark %.3f ms (%.2f ms/MP; %.1f x memcpy of %.4f ms, %.1f%% of 33 ms)\n", width, height,
           allMs, allMs / megapixels, allMs / copyMs, copyMs, allMs / 33.0 * 100);
    printf("  flip+mirror %.3f, stretch %.3f, tint %.3f, symmetry %.3f, final mirror %.3f, mark %.3f ms; "
           "stretch 3 to %d wide %.3f ms\n",
           flipMs, stretchMs, tintMs, symmetryMs, mirrorMs, markMs, int((1 + 3 / 50.0 * 0.5) * width), smallStretchMs);
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

// Registers (or unregisters) the stand-in Flash control lying beside this program.
bool RegisterStandInFlash(bool on)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring library(path);
    library = library.substr(0, library.find_last_of(L'\\') + 1) + L"testflash.dll";
    HMODULE module = LoadLibraryW(library.c_str());
    if (!module)
        return false;
    typedef HRESULT(STDAPICALLTYPE * ServerFn)();
    auto call = reinterpret_cast<ServerFn>(GetProcAddress(module, on ? "DllRegisterServer" : "DllUnregisterServer"));
    const bool done = call && SUCCEEDED(call());
    FreeLibrary(module);
    return done;
}

void RunLayers(int frames)
{
    const int width = 640, height = 480;
    std::vector<uint8_t> source(size_t(width) * height * 3), frame(source.size()), copy(source.size());
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = uint8_t(i * 7 + i / 4096);
    const double copyMs = MedianMs(frames, [&] { memcpy(copy.data(), source.data(), copy.size()); });

    StickerPicture sticker;
    sticker.width = 100;
    sticker.height = 75;
    for (int i = 0; i < 100 * 75; ++i)
        sticker.bgra.insert(sticker.bgra.end(), {uint8_t(i), uint8_t(i >> 3), 200, uint8_t(i * 5)});
    memcpy(frame.data(), source.data(), frame.size());
    const double stickerMs = MedianMs(frames, [&] { BlendSticker(frame.data(), width, height, sticker, 300, 200); });

    GifFrame gif;
    gif.width = width;
    gif.height = height;
    gif.pixels.resize(source.size());
    for (size_t i = 0; i < gif.pixels.size(); ++i)
        gif.pixels[i] = uint8_t(i % 3 == 0 && (i / 3) % 5 == 0 ? 0 : i * 13);
    gif.hasTransparency = true;
    const double keyedMs = MedianMs(frames, [&] { BlendGifFrame(gif, frame.data()); });
    gif.hasTransparency = false;
    const double mixedMs = MedianMs(frames, [&] { BlendGifFrame(gif, frame.data()); });
    printf("%dx%d: copy of the frame %.3f ms; 100x75 sticker %.3f ms (%.2f x the copy); full-frame GIF "
           "%.3f ms keyed, %.3f ms mixed (%.1f x, %.1f x the copy)\n",
           width, height, copyMs, stickerMs, stickerMs / copyMs, keyedMs, mixedMs, keyedMs / copyMs,
           mixedMs / copyMs);

    // The stand-in control's rectangle composited into 480x360 frames.
    if (!RegisterStandInFlash(true)) {
        printf("480x360: Flash DrawInto skipped (no testflash.dll beside this program)\n");
        return;
    }
    CoInitialize(nullptr);
    {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        const std::string movie = std::string(temp) + "bench_flash.swf";
        FILE* file = fopen(movie.c_str(), "wb");
        if (file) {
            fputs("tqflash\nframes 2\nrate 10\nrect 40 30 200 150 ff8000\nrect 60 40 200 150 0080ff\n", file);
            fclose(file);
        }
        const std::vector<uint8_t> small(source.begin(), source.begin() + 480 * 360 * 3);
        std::vector<uint8_t> flashFrame(small.size()), flashCopy(small.size());
        CFlashPlayerHost host;
        host.LoadMovie(nullptr, movie.c_str(), 480, 360, 0, 0, true);
        const double smallCopyMs = MedianMs(frames, [&] { memcpy(flashCopy.data(), small.data(), small.size()); });
        const double drawMs = MedianMs(frames, [&] { host.DrawInto(flashFrame.data(), 480, 360); });
        printf("480x360: copy of the frame %.3f ms; Flash DrawInto with the stand-in %.3f ms (%.1f x the copy)%s\n",
               smallCopyMs, drawMs, drawMs / smallCopyMs, host.IsActive() ? "" : " [control not active]");
        DeleteFileA(movie.c_str());
    }
    CoFreeUnusedLibraries();
    CoUninitialize();
    RegisterStandInFlash(false);
}

}  // namespace

int main(int argc, char** argv)
{
    // bench_compose WIDTHxHEIGHT [frames]: the effect passes and the mark at that size only.
    int width = 0, height = 0;
    if (argc > 1 && sscanf(argv[1], "%dx%d", &width, &height) == 2) {
        if (width < 320 || width > 1280 || height < 240 || height > 720) {
            fprintf(stderr, "size: WIDTHxHEIGHT from 320x240 to 1280x720\n");
            return 2;
        }
        Run(width, height, argc > 2 ? std::max(1, atoi(argv[2])) : 300);
        return 0;
    }
    const int frames = argc > 1 ? atoi(argv[1]) : 300;
    Run(800, 600, frames);
    Run(640, 480, frames);
    const int slowFrames = std::max(1, frames / 10);  // the smoothing costs tens of milliseconds a frame
    RunCaption(640, 480, frames);
    RunLayers(frames);
    RunProduct(800, 600, slowFrames);
    RunProduct(640, 480, slowFrames);
    return 0;
}
