// One named layer: a picture, GIF or Flash file over the frame.
// Placeholder: keeps its placement and draws nothing until the picture and
// GIF layers are built.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CPictureLayer {
public:
    enum Mode { FullFrameGif = 0, GifSticker = 1, StillPicture = 2, FullFrameFlash = 3, PositionedFlash = 4 };

    virtual ~CPictureLayer() = default;

    int flashWidth = 480, flashHeight = 360;  // positioned Flash rectangle, frame pixels
    int frameWidth = 480, frameHeight = 360;  // the frame size the layer is made for
    int x = 0, y = 0;                         // top-left, frame pixels from the top edge
    std::string path;
    int mode = StillPicture;

    // Called once, outside the compositor's lock; the result is not used.
    bool Load(const std::string& file, HWND flashHost, int width, int height, bool positioned);
    // Called only for frames of the layer's own size.
    void Draw(uint8_t* pixels, int width, int height);

    bool IsPositionedFlash() const { return mode == PositionedFlash; }
    bool IsMovable() const { return mode == GifSticker || mode == StillPicture || mode == PositionedFlash; }
};
