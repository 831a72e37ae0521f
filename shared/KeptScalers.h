// Scaler set-ups kept between calls, each with what it was asked for. The
// scaler changes the flags it was given for small or odd sizes, so a set-up
// is matched against the request, not against what it keeps. Two, because
// users take turns (a frame, then its preview). One thread at a time.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

struct SwsContext;

namespace tq {

class CKeptScalers {
public:
    CKeptScalers() = default;
    CKeptScalers(const CKeptScalers&) = delete;
    CKeptScalers& operator=(const CKeptScalers&) = delete;
    ~CKeptScalers();
    // The set-up for these sizes, formats and flags; null when the scaler rejects them.
    SwsContext* Get(int sourceWidth, int sourceHeight, AVPixelFormat sourceFormat, int width, int height,
                    AVPixelFormat format, int flags);

private:
    struct Kept {
        SwsContext* context = nullptr;
        int sourceWidth = 0, sourceHeight = 0, width = 0, height = 0;
        AVPixelFormat sourceFormat = AV_PIX_FMT_NONE, format = AV_PIX_FMT_NONE;
        int flags = 0;
    };
    Kept m_kept[2];
    int m_lastUsed = 0;
};

} // namespace tq
