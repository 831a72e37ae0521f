// Frame conversion benchmark: the producers' conversions timed per frame
// (median of many runs), each against a plain memcpy of the same output
// bytes in the same run, and the share of the scaler set-up that every
// conversion pays (a context is made and freed per call).
//
//   convertbench [runs]      (default 400)
#include "ColorConverter.h"

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

} // namespace

int main(int argc, char** argv)
{
    av_log_set_level(AV_LOG_ERROR);
    const int runs = argc > 1 ? std::max(11, atoi(argv[1])) : 400;
    const Case cases[] = {
        {"YUY2 640x480 -> RGB24 640x480", &MEDIASUBTYPE_YUY2, 640, 480, 640, 480},
        {"RGB24 800x600 -> RGB24 640x480", &MEDIASUBTYPE_RGB24, 800, 600, 640, 480},
        {"RGB24 800x600 -> RGB24 320x240", &MEDIASUBTYPE_RGB24, 800, 600, 320, 240},
    };
    printf("frame conversions, median of %d runs\n", runs);
    printf("%-32s %10s %10s %8s %12s\n", "case", "ms/frame", "memcpy ms", "ratio", "set-up ms");
    for (const Case& c : cases) {
        std::vector<uint8_t> source(CColorConverter::PictureBytes(*c.sourceType, c.sourceWidth, c.sourceHeight));
        for (size_t i = 0; i < source.size(); ++i)
            source[i] = uint8_t((i * 2654435761u) >> 13);
        std::vector<uint8_t> output(size_t(c.width) * c.height * 3);
        std::vector<uint8_t> copySource(output.size(), 0x3C);
        std::vector<uint8_t> copy(output.size());

        CColorConverter converter;
        const double convertMs = MedianMs(runs, [&] {
            converter.SetSource(*c.sourceType, c.sourceWidth, c.sourceHeight, source.data());
            converter.SetDestination(MEDIASUBTYPE_RGB24, c.width, c.height, output.data());
            if (!converter.Convert()) {
                fprintf(stderr, "%s: conversion failed\n", c.name);
                exit(1);
            }
        });
        const double copyMs = MedianMs(runs, [&] { memcpy(copy.data(), copySource.data(), copy.size()); });
        const AVPixelFormat format = CColorConverter::SubtypeToPixelFormat(*c.sourceType);
        const double setupMs = MedianMs(runs, [&] {
            sws_freeContext(sws_getContext(c.sourceWidth, c.sourceHeight, format, c.width, c.height, AV_PIX_FMT_BGR24,
                                           SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
        });
        printf("%-32s %10.3f %10.3f %8.1f %12.3f\n", c.name, convertMs, copyMs, copyMs > 0 ? convertMs / copyMs : 0.0,
               setupMs);
    }
    return 0;
}
