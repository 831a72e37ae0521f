// One picture as a device-independent bitmap (header, palette, bottom-up rows)
// with an optional alpha plane, and the loader that tries the format readers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "CxBlock.h"
#include "CxFile.h"

// Largest pixel data one picture may have; the fuzz build lowers it to keep
// each run short.
#ifndef CXIMAGE_MAX_MEMORY
#define CXIMAGE_MAX_MEMORY 268435456
#endif

#pragma pack(push, 1)
// Same layout as the Windows BITMAPINFOHEADER.
struct CxBitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

// Palette entry and colour: blue, green, red, reserved (alpha).
struct CxRgbQuad {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
#pragma pack(pop)

inline bool operator==(const CxRgbQuad& a, const CxRgbQuad& b)
{
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed &&
           a.rgbReserved == b.rgbReserved;
}
inline bool operator!=(const CxRgbQuad& a, const CxRgbQuad& b) { return !(a == b); }

inline CxRgbQuad CxRgb(uint8_t red, uint8_t green, uint8_t blue, uint8_t reserved = 0)
{
    return CxRgbQuad{blue, green, red, reserved};
}

enum CxImageFormat : uint32_t {
    CXIMAGE_FORMAT_UNKNOWN = 0,
    CXIMAGE_FORMAT_BMP = 1,
    CXIMAGE_FORMAT_GIF = 2,
    CXIMAGE_FORMAT_ICO = 5,
    CXIMAGE_FORMAT_TGA = 7,
    CXIMAGE_FORMAT_PCX = 8,
    CXIMAGE_FORMAT_WBMP = 9,
    CXIMAGE_FORMAT_WMF = 10,
    CXIMAGE_FORMAT_SKA = 18,
    CXIMAGE_FORMAT_PSD = 20,
};

// Everything of an image but its buffers; readers start from a copy of it.
struct CxImageInfo {
    uint32_t rowBytes;
    uint32_t formatId;
    char lastError[256];
    int32_t transparentIndex;
    CxRgbQuad transparentColor;
    int32_t frameToLoad;
    int32_t frameCount;
    uint32_t frameDelay;
    int32_t xDpi;
    int32_t yDpi;
    CxRgbQuad lastColor;
    uint8_t lastIndex;
    bool lastColorValid;
    bool littleEndianHost;
};

class CxImage {
public:
    explicit CxImage(uint32_t formatId = CXIMAGE_FORMAT_UNKNOWN);
    virtual ~CxImage();
    CxImage(const CxImage&) = delete;
    CxImage& operator=(const CxImage&) = delete;

    // Loading.
    bool LoadFromPath(const char* path, uint32_t formatId);
    bool DecodeFile(FILE* stream, uint32_t formatId);
    bool DecodeStream(CxFile* file, uint32_t formatId);
    uint8_t* Create(uint32_t width, uint32_t height, uint32_t bits, uint32_t formatId);
    bool FromArray(const uint8_t* array, uint32_t width, uint32_t height, uint32_t bits,
                   uint32_t bytesPerLine, bool flip);
    bool CopyFrom(const CxImage& source, bool withPixels, bool withAlpha);
    void TakeOver(CxImage& source, bool withFrames);
    void SelectFrame(int32_t frame) { info_.frameToLoad = frame; }

    // Queries.
    bool HasPixels() const { return !block_.empty(); }
    uint32_t Width() const { return uint32_t(header_.biWidth); }
    uint32_t Height() const { return uint32_t(header_.biHeight); }
    uint32_t BitDepth() const { return header_.biBitCount; }
    uint32_t RowBytes() const { return info_.rowBytes; }
    uint32_t PaletteSize() const { return header_.biClrUsed * 4; }
    uint32_t PaletteEntries() const { return header_.biClrUsed; }
    uint32_t FormatId() const { return info_.formatId; }
    int32_t FrameCount() const { return info_.frameCount; }
    int32_t FrameToLoad() const { return info_.frameToLoad; }
    uint32_t FrameDelay() const { return info_.frameDelay; }
    const char* LastError() const { return info_.lastError; }
    bool HasTransparency() const { return info_.transparentIndex >= 0; }
    int32_t TransparentIndex() const { return info_.transparentIndex; }
    CxRgbQuad TransparentColor() const;
    int32_t XDpi() const { return info_.xDpi; }
    int32_t YDpi() const { return info_.yDpi; }
    const CxBitmapInfoHeader& Header() const { return header_; }
    const CxImageInfo& Info() const { return info_; }

    // Rows (bottom row first) and palette inside the pixel block; null when empty.
    uint8_t* Rows();
    const uint8_t* Rows() const;
    CxRgbQuad* Palette();
    const CxRgbQuad* Palette() const;
    const uint8_t* PixelBlock() const { return block_.empty() ? nullptr : block_.data(); }
    const uint8_t* AlphaPlane() const { return alpha_.empty() ? nullptr : alpha_.data(); }

    // Pixels and palette.
    uint8_t PixelIndex(int32_t x, int32_t y) const;
    void SetPixelIndex(int32_t x, int32_t y, uint8_t index);
    CxRgbQuad PixelColor(int32_t x, int32_t y, bool withAlpha = true) const;
    void SetPixelColor(int32_t x, int32_t y, CxRgbQuad colour, bool withAlpha = false);
    void SetPixelRgb(int32_t x, int32_t y, uint32_t rgb); // red in the low byte
    uint8_t NearestIndex(CxRgbQuad colour);
    CxRgbQuad PaletteEntry(uint32_t index) const;
    void SetPaletteEntry(uint32_t index, uint8_t red, uint8_t green, uint8_t blue, uint8_t reserved = 0);
    void SetPaletteArrays(uint32_t count, const uint8_t* red, const uint8_t* green, const uint8_t* blue);
    void SetPaletteRgb(uint32_t count, const uint8_t* rgbTriples);
    void SetPaletteQuads(uint32_t count, const CxRgbQuad* entries);
    void SetGrayRamp();
    bool IsGrayRamp() const;
    void SetTransparentIndex(int32_t index);
    void SetTransparentColor(CxRgbQuad colour);
    void SetXDpi(int32_t dpi);
    void SetYDpi(int32_t dpi);
    void Fill(uint8_t index);

    // Alpha plane: one byte per pixel, rows bottom first, 255 opaque.
    bool HasAlpha() const { return !alpha_.empty(); }
    bool AlphaCreate();
    void AlphaDelete() { std::vector<uint8_t>().swap(alpha_); }
    void AlphaSet(int32_t x, int32_t y, uint8_t value);
    uint8_t AlphaGet(int32_t x, int32_t y) const;
    void AlphaInvert();
    bool AlphaCopy(const CxImage& source);
    void AlphaFlip();
    void AlphaMirror();
    bool IsPaletteAlpha() const;

    // Transforms.
    bool RaiseDepth(uint32_t bits);
    bool FlipRows(bool withAlpha = true);
    bool MirrorRows(bool withAlpha = true);
    bool Invert();
    void ExpandBitfields(const uint8_t* source, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                         uint32_t bits);

    // Draws a decoded GIF frame into this (the canvas) at the descriptor's place.
    void OverlayFrame(const CxImage& frame, int32_t left, int32_t top);

    // Whether width x height pixels of the given depth pass the memory cap.
    static bool ExceedsMaxMemory(double width, double height, double bits)
    {
        return width * height * bits / 8.0 > double(CXIMAGE_MAX_MEMORY);
    }

    // Place of a format id among the supported formats; 0 when not supported.
    static uint32_t FormatIndex(uint32_t formatId);

protected:
    void SetLastError(const char* text);
    void Release();
    // Lets a reader reach the info record of its helper images.
    static CxImageInfo& InfoOf(CxImage& image) { return image.info_; }
    bool Inside(int32_t x, int32_t y) const
    {
        return HasPixels() && x >= 0 && y >= 0 && x < header_.biWidth && y < header_.biHeight;
    }
    // Bytes left between the file's position and its end (0 when unknown).
    static uint32_t BytesLeft(CxFile* file);

    CxBitmapInfoHeader header_;
    CxImageInfo info_;
    CxBlock block_; // header copy, palette, rows
    std::vector<uint8_t> alpha_;

private:
    template <class Reader>
    bool TryReader(CxFile* file, int32_t start, bool& stop);
    void SyncHeaderCopy();
};
