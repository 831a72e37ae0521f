// One named layer: a still picture, an animated GIF or a Flash movie over the
// frame. Loaded once on the UI thread, outside the compositor's lock; drawn on
// the frame thread under it, only into frames of the size it was made for.
#pragma once

#include "FlashPlayerHost.h"
#include "GifFrames.h"
#include "GifMovie.h"
#include "StickerPicture.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

class CPictureLayer {
public:
    enum Mode { FullFrameGif = 0, GifSticker = 1, StillPicture = 2, FullFrameFlash = 3, PositionedFlash = 4 };

    explicit CPictureLayer(CGifMovie::Clock movieClock = CGifMovie::Clock(), PerfClock frameClock = PerfClock::System());
    virtual ~CPictureLayer();
    CPictureLayer(const CPictureLayer&) = delete;
    CPictureLayer& operator=(const CPictureLayer&) = delete;

    int flashWidth = 480, flashHeight = 360;  // positioned Flash rectangle, frame pixels
    int frameWidth = 480, frameHeight = 360;  // the frame size the layer is made for
    int x = 0, y = 0;                         // top-left, frame pixels from the top edge
    std::string path;
    CGifFrames gifFrames;                     // full-frame GIF
    int mode = StillPicture;
    CFlashPlayerHost flash;
    std::unique_ptr<CGifMovie> movie;         // GIF sticker
    StickerPicture image;                     // still picture, fitted into the sticker box

    // Called once, outside the compositor's lock; the result is not used.
    bool Load(const std::string& file, HWND flashHost, int width, int height, bool positioned);
    // Called only for frames of the layer's own size.
    void Draw(uint8_t* pixels, int width, int height);

    bool IsPositionedFlash() const { return mode == PositionedFlash; }
    bool IsMovable() const { return mode == GifSticker || mode == StillPicture || mode == PositionedFlash; }

private:
    CGifMovie::Clock m_movieClock;
};
