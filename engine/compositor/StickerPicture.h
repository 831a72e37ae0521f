// A small picture drawn over the frame at a position: 32-bit pixels (blue,
// green, red, straight alpha), rows top-down. Stills and GIF sticker frames
// are fitted once into the sticker box and blended with their alpha.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct StickerPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> bgra;  // width x height x 4, top row first

    bool IsNull() const { return width <= 0 || height <= 0 || bgra.empty(); }
};

// The box a sticker is fitted into, in frame pixels.
const int kStickerBoxWidth = 100;
const int kStickerBoxHeight = 75;

// The size a picture of width x height takes in the sticker box: unchanged
// when it fits, else the longer side (relative to the box) meets the box and
// the other side is rounded, at least 1 pixel.
void StickerFitSize(int width, int height, int& fitWidth, int& fitHeight);

// Fits the picture into the sticker box by nearest neighbour (a copy when it fits).
StickerPicture FitSticker(const StickerPicture& picture);

// Mixes the sticker into a bottom-up RGB24 frame with its top-left corner at
// column x, row y counted from the frame's top edge. Parts outside the frame
// are left out.
void BlendSticker(uint8_t* frame, int frameWidth, int frameHeight, const StickerPicture& sticker, int x, int y);

// Decodes a picture file through GDI+ (the path in the ANSI code page) into
// 32-bit straight-alpha pixels. False, with `out` untouched, when it cannot.
bool LoadPictureFile(const std::string& path, StickerPicture& out);
