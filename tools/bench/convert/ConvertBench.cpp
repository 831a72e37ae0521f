// Frame conversion benchmark: the producers' conversions timed per frame
// (median of many runs), each against a plain memcpy of the same output
// bytes in the same run.
//
//   convertbench [WIDTHxHEIGHT] [runs]      (default: 320x240, 640x480 and 1280x720; 400 runs)
//
// The camera filter's work per sample (the frame record copied out of the
// mapping, then the 800x600 picture scaled to the consumer's size) is timed
// at each size with the converter as it is used (kept scaler), and with a
// scaler set up and freed around every call, as the converter once did: the
// two figures of one run give the before and after.
#include "ColorConverter.h"
#include "FrameProtocol.h"

#include <uuids.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

extern "C" {
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace {

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

double MedianMs(int runs, const std::function<void()>& body)
{
    body();  // warm the caches and the allocator
    std::vector<double> times;
    times.reserve(size_t(runs));
    for (int i = 0; i < runs; ++i) {
        const double start = Now();
        body();
        times.push_back(Now() - start);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[size_t(runs / 2)];
}

struct Case {
    const char* name;
    const GUID* sourceType;
    int sourceWidth, sourceHeight;
    int width, height;
};

void Fill(std::vector<uint8_t>& bytes)
{
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t((i * 2654435761u) >> 13);
}

// A scaler made and freed around one conversion (packed RGB24 both sides).
bool ScaleAfresh(const uint8_t* source, int sourceWidth, int sourceHeight, uint8_t* destination, int width, int height)
{
    SwsContext* context = sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_BGR24, width, height, AV_PIX_FMT_BGR24,
                                         SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (!context)
        return false;
    const uint8_t* const sourcePlanes[4] = {source, nullptr, nullptr, nullptr};
    const int sourceStrides[4] = {sourceWidth * 3, 0, 0, 0};
    uint8_t* const destinationPlanes[4] = {destination, nullptr, nullptr, nullptr};
    const int destinationStrides[4] = {width * 3, 0, 0, 0};
    const int rows = sws_scale(context, sourcePlanes, sourceStrides, 0, sourceHeight, destinationPlanes,
                               destinationStrides);
    sws_freeContext(context);
    return rows > 0;
}

double MemcpyMs(int runs, size_t bytes)
{
    std::vector<uint8_t> from(bytes, 0x3C), to(bytes);
    return MedianMs(runs, [&] {
        memcpy(to.data(), from.data(), bytes);
        from[bytes / 2] ^= 1;  // keeps the copies from being folded away
    });
}

// The filter's sample: record copy + scale of the 800x600 picture.
void RunFilter(int width, int height, int runs)
{
    const int sourceWidth = 800, sourceHeight = 600;
    std::vector<uint8_t> mapping(tq::kFrameCopyBytes), record(tq::kFrameCopyBytes);
    Fill(mapping);
    const size_t outBytes = size_t(width) * height * 3;
    std::vector<uint8_t> output(outBytes);
    const uint8_t* picture = record.data() + tq::kFrameHeaderSize;

    CColorConverter converter;
    const double keptMs = MedianMs(runs, [&] {
        memcpy(record.data(), mapping.data(), record.size());
        converter.SetSource(MEDIASUBTYPE_RGB24, sourceWidth, sourceHeight, picture);
        converter.SetDestination(MEDIASUBTYPE_RGB24, width, height, output.data());
        if (!converter.Convert()) {
            fprintf(stderr, "filter %dx%d: conversion failed\n", width, height);
            exit(1);
        }
    });
    const double afreshMs = MedianMs(runs, [&] {
        memcpy(record.data(), mapping.data(), record.size());
        if (!ScaleAfresh(picture, sourceWidth, sourceHeight, output.data(), width, height)) {
            fprintf(stderr, "filter %dx%d: scaling failed\n", width, height);
            exit(1);
        }
    });
    const double copyMs = MemcpyMs(runs, outBytes);
    const double megapixels = double(width) * height / 1e6;
    printf("filter copy + scale 800x600 -> %dx%d: %.3f ms (%.2f ms/MP out), memcpy of the output %.4f ms, "
           "ratio %.1f; scaler set up per call %.3f ms (%.2f ms/MP), ratio %.1f\n",
           width, height, keptMs, keptMs / megapixels, copyMs, copyMs > 0 ? keptMs / copyMs : 0.0, afreshMs,
           afreshMs / megapixels, copyMs > 0 ? afreshMs / copyMs : 0.0);
}

bool ParseSize(const char* text, int& width, int& height)
{
    return sscanf(text, "%dx%d", &width, &height) == 2 && width >= 320 && width <= 1280 && height >= 240 &&
           height <= 720;
}

} // namespace

int main(int argc, char** argv)
{
    av_log_set_level(AV_LOG_ERROR);
    int width = 0, height = 0;
    int next = 1;
    if (argc > next && strchr(argv[next], 'x')) {
        if (!ParseSize(argv[next], width, height)) {
            fprintf(stderr, "size: WIDTHxHEIGHT from 320x240 to 1280x720\n");
            return 2;
        }
        ++next;
    }
    const int runs = argc > next ? std::max(11, atoi(argv[next])) : 400;

    printf("frame conversions, median of %d runs\n", runs);
    if (width) {
        RunFilter(width, height, runs);
    } else {
        RunFilter(320, 240, runs);
        RunFilter(640, 480, runs);
        RunFilter(1280, 720, runs);
    }

    const Case cases[] = {
        {"YUY2 640x480 -> RGB24 640x480", &MEDIASUBTYPE_YUY2, 640, 480, 640, 480},
        {"RGB24 800x600 -> RGB24 640x480", &MEDIASUBTYPE_RGB24, 800, 600, 640, 480},
        {"RGB24 800x600 -> RGB24 320x240", &MEDIASUBTYPE_RGB24, 800, 600, 320, 240},
        {"RGB24 640x480 -> RGB24 640x480", &MEDIASUBTYPE_RGB24, 640, 480, 640, 480},
    };
    printf("%-32s %10s %10s %8s %12s\n", "case", "ms/frame", "memcpy ms", "ratio", "set-up ms");
    for (const Case& c : cases) {
        std::vector<uint8_t> source(CColorConverter::PictureBytes(*c.sourceType, c.sourceWidth, c.sourceHeight));
        Fill(source);
        std::vector<uint8_t> output(size_t(c.width) * c.height * 3);
        CColorConverter converter;
        const double convertMs = MedianMs(runs, [&] {
            converter.SetSource(*c.sourceType, c.sourceWidth, c.sourceHeight, source.data());
            converter.SetDestination(MEDIASUBTYPE_RGB24, c.width, c.height, output.data());
            if (!converter.Convert()) {
                fprintf(stderr, "%s: conversion failed\n", c.name);
                exit(1);
            }
        });
        const double copyMs = MemcpyMs(runs, output.size());
        const AVPixelFormat format = CColorConverter::SubtypeToPixelFormat(*c.sourceType);
        const double setupMs = MedianMs(runs, [&] {
            sws_freeContext(sws_getContext(c.sourceWidth, c.sourceHeight, format, c.width, c.height, AV_PIX_FMT_BGR24,
                                           SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
        });
        printf("%-32s %10.3f %10.4f %8.1f %12.3f\n", c.name, convertMs, copyMs, copyMs > 0 ? convertMs / copyMs : 0.0,
               setupMs);
    }
    return 0;
}
