#include "CxImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "CxImageBMP.h"
#include "CxImageGIF.h"
#include "CxImageICO.h"
#include "CxImagePCX.h"
#include "CxImagePSD.h"
#include "CxImageSKA.h"
#include "CxImageTGA.h"
#include "CxImageWBMP.h"
#include "CxImageWMF.h"

namespace {

// A resolution read from a file can be any 32-bit value; its pixels per metre
// saturate instead of overflowing the header's signed field.
int32_t DpiToPelsPerMeter(int32_t dpi)
{
    const double ppm = std::floor(dpi * 10000.0 / 254.0 + 0.5);
    return ppm >= double(INT32_MAX) ? INT32_MAX : int32_t(ppm);
}

uint32_t CountBits(uint32_t v)
{
    uint32_t n = 0;
    for (; v; v >>= 1)
        n += v & 1;
    return n;
}

uint32_t ShiftBy(uint32_t v, int s)
{
    if (s >= 32 || s <= -32)
        return 0;
    return s >= 0 ? v << s : v >> -s;
}

// Byte of a 32-bit pixel that holds the channel of a mask.
uint32_t MaskByte(uint32_t mask)
{
    return ((mask >> 8) != 0) + ((mask >> 16) != 0) + ((mask >> 24) != 0);
}

} // namespace

CxImage::CxImage(uint32_t formatId)
{
    std::memset(&header_, 0, sizeof header_);
    std::memset(&info_, 0, sizeof info_);
    header_.biSize = sizeof(CxBitmapInfoHeader);
    header_.biXPelsPerMeter = header_.biYPelsPerMeter = DpiToPelsPerMeter(96);
    info_.transparentIndex = -1;
    info_.xDpi = info_.yDpi = 96;
    info_.formatId = formatId;
    info_.littleEndianHost = true;
}

CxImage::~CxImage() {}

void CxImage::Release()
{
    block_.Clear();
    std::vector<uint8_t>().swap(alpha_);
}

void CxImage::SetLastError(const char* text)
{
    std::strncpy(info_.lastError, text, sizeof info_.lastError - 1);
    info_.lastError[sizeof info_.lastError - 1] = 0;
}

void CxImage::SyncHeaderCopy()
{
    if (!block_.empty())
        std::memcpy(block_.data(), &header_, sizeof header_);
}

uint32_t CxImage::BytesLeft(CxFile* file)
{
    int32_t size = file->Size();
    int32_t position = file->Tell();
    return size > position && position >= 0 ? uint32_t(size - position) : 0;
}

uint32_t CxImage::FormatIndex(uint32_t formatId)
{
    switch (formatId) {
    case CXIMAGE_FORMAT_BMP: return 1;
    case CXIMAGE_FORMAT_GIF: return 2;
    case CXIMAGE_FORMAT_ICO: return 3;
    case CXIMAGE_FORMAT_TGA: return 4;
    case CXIMAGE_FORMAT_PCX: return 5;
    case CXIMAGE_FORMAT_WBMP: return 6;
    case CXIMAGE_FORMAT_WMF: return 7;
    case CXIMAGE_FORMAT_SKA: return 8;
    case CXIMAGE_FORMAT_PSD: return 9;
    default: return 0;
    }
}

uint8_t* CxImage::Rows()
{
    return block_.empty() ? nullptr : block_.data() + sizeof header_ + header_.biClrUsed * 4;
}

const uint8_t* CxImage::Rows() const
{
    return block_.empty() ? nullptr : block_.data() + sizeof header_ + header_.biClrUsed * 4;
}

CxRgbQuad* CxImage::Palette()
{
    return block_.empty() || !header_.biClrUsed ? nullptr
                                                : reinterpret_cast<CxRgbQuad*>(block_.data() + sizeof header_);
}

const CxRgbQuad* CxImage::Palette() const
{
    return block_.empty() || !header_.biClrUsed
               ? nullptr
               : reinterpret_cast<const CxRgbQuad*>(block_.data() + sizeof header_);
}

uint8_t* CxImage::Create(uint32_t width, uint32_t height, uint32_t bits, uint32_t formatId)
{
    Release();
    if (width == 0 || height == 0) {
        SetLastError("CxImage::Create : width and height must be greater than zero");
        return nullptr;
    }
    if (bits <= 1)
        bits = 1;
    else if (bits <= 4)
        bits = 4;
    else if (bits <= 8)
        bits = 8;
    else
        bits = 24;
    if (ExceedsMaxMemory(width, height, bits) || width > 0x7FFFFFFFu ||
        height > 0x7FFFFFFFu) {
        SetLastError("CXIMAGE_MAX_MEMORY exceeded");
        return nullptr;
    }
    // The padded size is what gets allocated: computed in 64 bits, so a tall
    // 1-bit picture whose rows add up past 4 GB is refused instead of wrapping.
    const uint64_t rowBytes = ((uint64_t(width) * bits + 31) / 32) * 4;
    if (rowBytes * height > uint64_t(CXIMAGE_MAX_MEMORY)) {
        SetLastError("CXIMAGE_MAX_MEMORY exceeded");
        return nullptr;
    }
    const uint32_t entries = bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0;
    info_.rowBytes = uint32_t(rowBytes);
    header_.biSize = sizeof(CxBitmapInfoHeader);
    header_.biWidth = int32_t(width);
    header_.biHeight = int32_t(height);
    header_.biPlanes = 1;
    header_.biBitCount = uint16_t(bits);
    header_.biCompression = 0;
    header_.biSizeImage = info_.rowBytes * height;
    header_.biXPelsPerMeter = DpiToPelsPerMeter(info_.xDpi);
    header_.biYPelsPerMeter = DpiToPelsPerMeter(info_.yDpi);
    header_.biClrUsed = entries;
    header_.biClrImportant = 0;
    info_.formatId = formatId;
    info_.lastColorValid = false;
    // Rows are zeroed too, so a picture never shows old heap contents.
    if (!block_.Allocate(sizeof header_ + entries * 4 + size_t(header_.biSizeImage))) {
        Release();
        SetLastError("CxImage::Create can't allocate memory");
        return nullptr;
    }
    SyncHeaderCopy();
    return block_.data();
}

bool CxImage::LoadFromPath(const char* path, uint32_t formatId)
{
    if (FormatIndex(formatId) != 0) {
        CxIOFile file;
        if (!file.Open(path, "rb"))
            return false;
        bool ok = DecodeStream(&file, formatId);
        file.Close();
        if (ok)
            return true;
    }
    char firstError[sizeof info_.lastError];
    std::memcpy(firstError, info_.lastError, sizeof firstError);
    CxIOFile file;
    if (!file.Open(path, "rb"))
        return false;
    bool ok = DecodeStream(&file, CXIMAGE_FORMAT_UNKNOWN);
    file.Close();
    if (!ok && formatId != CXIMAGE_FORMAT_UNKNOWN)
        std::memcpy(info_.lastError, firstError, sizeof firstError);
    return ok;
}

bool CxImage::DecodeFile(FILE* stream, uint32_t formatId)
{
    CxIOFile file(stream);
    return DecodeStream(&file, formatId);
}

template <class Reader>
bool CxImage::TryReader(CxFile* file, int32_t start, bool& stop)
{
    Reader reader;
    CxImage& base = reader;
    const uint32_t readerId = base.info_.formatId;
    base.info_ = info_;
    base.info_.formatId = readerId;
    if (reader.Decode(file)) {
        TakeOver(base, true);
        stop = true;
        return true;
    }
    std::memcpy(info_.lastError, base.info_.lastError, sizeof info_.lastError);
    if (readerId == CXIMAGE_FORMAT_GIF || readerId == CXIMAGE_FORMAT_ICO)
        info_.frameCount = base.info_.frameCount;
    file->Seek(start, SEEK_SET);
    return false;
}

bool CxImage::DecodeStream(CxFile* file, uint32_t formatId)
{
    if (!file) {
        SetLastError("null file handler");
        return false;
    }
    const int32_t start = file->Tell();
    static const uint32_t order[] = {CXIMAGE_FORMAT_BMP, CXIMAGE_FORMAT_ICO, CXIMAGE_FORMAT_GIF,
                                     CXIMAGE_FORMAT_TGA, CXIMAGE_FORMAT_PCX, CXIMAGE_FORMAT_WBMP,
                                     CXIMAGE_FORMAT_WMF, CXIMAGE_FORMAT_SKA, CXIMAGE_FORMAT_PSD};
    const bool tryAll = formatId == CXIMAGE_FORMAT_UNKNOWN;
    if (tryAll || FormatIndex(formatId) != 0) {
        for (uint32_t id : order) {
            if (!tryAll && id != formatId)
                continue;
            bool stop = false;
            bool ok = false;
            switch (id) {
            case CXIMAGE_FORMAT_BMP: ok = TryReader<CxImageBMP>(file, start, stop); break;
            case CXIMAGE_FORMAT_ICO: ok = TryReader<CxImageICO>(file, start, stop); break;
            case CXIMAGE_FORMAT_GIF: ok = TryReader<CxImageGIF>(file, start, stop); break;
            case CXIMAGE_FORMAT_TGA: ok = TryReader<CxImageTGA>(file, start, stop); break;
            case CXIMAGE_FORMAT_PCX: ok = TryReader<CxImagePCX>(file, start, stop); break;
            case CXIMAGE_FORMAT_WBMP: ok = TryReader<CxImageWBMP>(file, start, stop); break;
            case CXIMAGE_FORMAT_WMF: ok = TryReader<CxImageWMF>(file, start, stop); break;
            case CXIMAGE_FORMAT_SKA: ok = TryReader<CxImageSKA>(file, start, stop); break;
            case CXIMAGE_FORMAT_PSD: ok = TryReader<CxImagePSD>(file, start, stop); break;
            }
            if (ok)
                return true;
            if (!tryAll) {
                Release(); // a failed read leaves the image empty
                return false;
            }
        }
    }
    Release();
    SetLastError("Decode: Unknown or wrong format");
    return false;
}

bool CxImage::FromArray(const uint8_t* array, uint32_t width, uint32_t height, uint32_t bits,
                        uint32_t bytesPerLine, bool flip)
{
    if (!array || !(bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32))
        return false;
    if (!Create(width, height, bits == 32 ? 24 : bits, CXIMAGE_FORMAT_UNKNOWN))
        return false;
    if (bits < 24)
        SetGrayRamp();
    if (bits == 32 && !AlphaCreate())
        return false;
    uint8_t* rows = Rows();
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* src = array + size_t(y) * bytesPerLine;
        const uint32_t row = flip ? height - 1 - y : y;
        uint8_t* dst = rows + size_t(row) * info_.rowBytes;
        if (bits == 32) {
            uint8_t* alpha = alpha_.data() + size_t(row) * width;
            for (uint32_t x = 0; x < width; ++x) {
                dst[3 * x] = src[4 * x];
                dst[3 * x + 1] = src[4 * x + 1];
                dst[3 * x + 2] = src[4 * x + 2];
                alpha[x] = src[4 * x + 3];
            }
        } else {
            std::memcpy(dst, src, std::min(info_.rowBytes, bytesPerLine));
        }
    }
    return true;
}

bool CxImage::CopyFrom(const CxImage& source, bool withPixels, bool withAlpha)
{
    if (&source == this)
        return true;
    info_ = source.info_;
    if (!source.HasPixels()) {
        Release();
        header_ = source.header_;
        return false;
    }
    if (!Create(source.Width(), source.Height(), source.BitDepth(), source.info_.formatId))
        return false;
    header_ = source.header_;
    if (withPixels) {
        // The same size, depth and palette length: the same block layout.
        std::memcpy(block_.data(), source.block_.data(), block_.size());
    } else {
        SyncHeaderCopy();
        const uint32_t entries = std::min<uint32_t>(std::min(source.header_.biClrUsed, header_.biClrUsed), 256);
        if (entries)
            std::memcpy(Palette(), source.Palette(), entries * 4);
    }
    if (withAlpha && source.HasAlpha())
        alpha_ = source.alpha_;
    return true;
}

void CxImage::TakeOver(CxImage& source, bool withFrames)
{
    if (&source == this)
        return;
    Release();
    header_ = source.header_;
    const int32_t frameToLoad = info_.frameToLoad, frameCount = info_.frameCount;
    const uint32_t frameDelay = info_.frameDelay;
    info_ = source.info_;
    if (!withFrames) {
        info_.frameToLoad = frameToLoad;
        info_.frameCount = frameCount;
        info_.frameDelay = frameDelay;
    }
    block_.Swap(source.block_);
    alpha_.swap(source.alpha_);
    source.Release();
    std::memset(&source.header_, 0, sizeof source.header_);
    std::memset(&source.info_, 0, sizeof source.info_);
}

CxRgbQuad CxImage::TransparentColor() const
{
    if (header_.biBitCount < 24 && info_.transparentIndex >= 0)
        return PaletteEntry(uint32_t(info_.transparentIndex));
    return info_.transparentColor;
}

uint8_t CxImage::PixelIndex(int32_t x, int32_t y) const
{
    if (!HasPixels() || header_.biClrUsed == 0)
        return 0;
    const uint8_t* rows = Rows();
    if (!Inside(x, y))
        return info_.transparentIndex >= 0 ? uint8_t(info_.transparentIndex) : rows[0];
    const uint8_t* row = rows + size_t(y) * info_.rowBytes;
    switch (header_.biBitCount) {
    case 8: return row[x];
    case 4: return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
    default: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

void CxImage::SetPixelIndex(int32_t x, int32_t y, uint8_t index)
{
    if (!HasPixels() || header_.biClrUsed == 0 || !Inside(x, y))
        return;
    uint8_t* row = Rows() + size_t(y) * info_.rowBytes;
    switch (header_.biBitCount) {
    case 8: row[x] = index; break;
    case 4: {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? uint8_t((b & 0xF0) | (index & 15)) : uint8_t((b & 0x0F) | ((index & 15) << 4));
        break;
    }
    default: {
        const uint8_t mask = uint8_t(0x80 >> (x & 7));
        uint8_t& b = row[x >> 3];
        b = (index & 1) ? uint8_t(b | mask) : uint8_t(b & ~mask);
        break;
    }
    }
}

CxRgbQuad CxImage::PixelColor(int32_t x, int32_t y, bool withAlpha) const
{
    if (!HasPixels())
        return info_.transparentColor;
    if (!Inside(x, y)) {
        if (info_.transparentIndex >= 0)
            return header_.biClrUsed ? PaletteEntry(uint32_t(info_.transparentIndex)) : info_.transparentColor;
        return PixelColor(0, 0, withAlpha);
    }
    CxRgbQuad c;
    if (header_.biClrUsed) {
        c = PaletteEntry(PixelIndex(x, y));
    } else {
        const uint8_t* p = Rows() + size_t(y) * info_.rowBytes + size_t(x) * 3;
        c = CxRgbQuad{p[0], p[1], p[2], info_.transparentColor.rgbReserved};
    }
    if (withAlpha && HasAlpha())
        c.rgbReserved = AlphaGet(x, y);
    return c;
}

void CxImage::SetPixelColor(int32_t x, int32_t y, CxRgbQuad colour, bool withAlpha)
{
    if (!Inside(x, y))
        return;
    if (header_.biClrUsed) {
        SetPixelIndex(x, y, NearestIndex(colour));
    } else {
        uint8_t* p = Rows() + size_t(y) * info_.rowBytes + size_t(x) * 3;
        p[0] = colour.rgbBlue;
        p[1] = colour.rgbGreen;
        p[2] = colour.rgbRed;
    }
    if (withAlpha)
        AlphaSet(x, y, colour.rgbReserved);
}

void CxImage::SetPixelRgb(int32_t x, int32_t y, uint32_t rgb)
{
    SetPixelColor(x, y, CxRgb(uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16)), false);
}

uint8_t CxImage::NearestIndex(CxRgbQuad colour)
{
    if (!HasPixels() || header_.biClrUsed == 0)
        return 0;
    if (info_.lastColorValid && info_.lastColor == colour)
        return info_.lastIndex;
    info_.lastColor = colour;
    info_.lastColorValid = true;
    uint32_t entries = header_.biClrImportant ? header_.biClrImportant : header_.biClrUsed;
    entries = std::min(entries, header_.biClrUsed);
    const CxRgbQuad* palette = Palette();
    long best = 200000;
    uint8_t bestIndex = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        const long db = long(palette[i].rgbBlue) - colour.rgbBlue;
        const long dg = long(palette[i].rgbGreen) - colour.rgbGreen;
        const long dr = long(palette[i].rgbRed) - colour.rgbRed;
        const long distance = db * db + dg * dg + dr * dr;
        if (distance < best) {
            best = distance;
            bestIndex = uint8_t(i);
            if (distance == 0)
                break;
        }
    }
    info_.lastIndex = bestIndex;
    return bestIndex;
}

CxRgbQuad CxImage::PaletteEntry(uint32_t index) const
{
    const CxRgbQuad* palette = Palette();
    if (!palette || index >= header_.biClrUsed)
        return CxRgbQuad{0, 0, 0, 0};
    return palette[index];
}

void CxImage::SetPaletteEntry(uint32_t index, uint8_t red, uint8_t green, uint8_t blue, uint8_t reserved)
{
    CxRgbQuad* palette = Palette();
    if (!palette || index >= header_.biClrUsed)
        return;
    palette[index] = CxRgbQuad{blue, green, red, reserved};
    info_.lastColorValid = false;
}

void CxImage::SetPaletteArrays(uint32_t count, const uint8_t* red, const uint8_t* green, const uint8_t* blue)
{
    CxRgbQuad* palette = Palette();
    if (!palette || !red)
        return;
    if (!green)
        green = red;
    if (!blue)
        blue = green;
    const uint32_t n = std::min(count, header_.biClrUsed);
    for (uint32_t i = 0; i < n; ++i)
        palette[i] = CxRgbQuad{blue[i], green[i], red[i], 0};
    info_.lastColorValid = false;
}

void CxImage::SetPaletteRgb(uint32_t count, const uint8_t* rgbTriples)
{
    CxRgbQuad* palette = Palette();
    if (!palette || !rgbTriples)
        return;
    const uint32_t n = std::min(count, header_.biClrUsed);
    for (uint32_t i = 0; i < n; ++i)
        palette[i] = CxRgbQuad{rgbTriples[3 * i + 2], rgbTriples[3 * i + 1], rgbTriples[3 * i], 0};
    info_.lastColorValid = false;
}

void CxImage::SetPaletteQuads(uint32_t count, const CxRgbQuad* entries)
{
    CxRgbQuad* palette = Palette();
    if (!palette || !entries)
        return;
    std::memcpy(palette, entries, std::min<size_t>(size_t(count) * 4, PaletteSize()));
    info_.lastColorValid = false;
}

void CxImage::SetGrayRamp()
{
    CxRgbQuad* palette = Palette();
    if (!palette || header_.biClrUsed < 2)
        return;
    const uint32_t step = 255 / (header_.biClrUsed - 1);
    for (uint32_t i = 0; i < header_.biClrUsed; ++i) {
        const uint8_t k = uint8_t(i * step);
        palette[i] = CxRgbQuad{k, k, k, 0};
    }
    info_.lastColorValid = false;
}

bool CxImage::IsGrayRamp() const
{
    const CxRgbQuad* palette = Palette();
    if (!palette)
        return false;
    for (uint32_t i = 0; i < header_.biClrUsed; ++i)
        if (palette[i].rgbBlue != i || palette[i].rgbGreen != i || palette[i].rgbRed != i)
            return false;
    return true;
}

void CxImage::SetTransparentIndex(int32_t index)
{
    if (index < 0)
        info_.transparentIndex = -1;
    else
        info_.transparentIndex = uint32_t(index) >= header_.biClrUsed ? 0 : index;
}

void CxImage::SetTransparentColor(CxRgbQuad colour)
{
    colour.rgbReserved = 0;
    info_.transparentColor = colour;
}

void CxImage::SetXDpi(int32_t dpi)
{
    if (dpi <= 0)
        dpi = 96;
    info_.xDpi = dpi;
    header_.biXPelsPerMeter = DpiToPelsPerMeter(dpi);
    SyncHeaderCopy();
}

void CxImage::SetYDpi(int32_t dpi)
{
    if (dpi <= 0)
        dpi = 96;
    info_.yDpi = dpi;
    header_.biYPelsPerMeter = DpiToPelsPerMeter(dpi);
    SyncHeaderCopy();
}

void CxImage::Fill(uint8_t index)
{
    if (!HasPixels())
        return;
    uint8_t value = index;
    if (header_.biBitCount == 4)
        value = uint8_t((index & 15) * 17);
    else if (header_.biBitCount == 1)
        value = index ? 255 : 0;
    std::memset(Rows(), value, header_.biSizeImage);
}

bool CxImage::AlphaCreate()
{
    if (!HasPixels())
        return false;
    if (alpha_.empty()) {
        try {
            alpha_.assign(size_t(Width()) * Height(), 255);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    return true;
}

void CxImage::AlphaSet(int32_t x, int32_t y, uint8_t value)
{
    if (!alpha_.empty() && Inside(x, y))
        alpha_[size_t(y) * Width() + x] = value;
}

uint8_t CxImage::AlphaGet(int32_t x, int32_t y) const
{
    if (alpha_.empty() || !Inside(x, y))
        return 0;
    return alpha_[size_t(y) * Width() + x];
}

void CxImage::AlphaInvert()
{
    for (uint8_t& a : alpha_)
        a = uint8_t(255 - a);
}

bool CxImage::AlphaCopy(const CxImage& source)
{
    if (source.alpha_.empty() || source.Width() != Width() || source.Height() != Height() || !HasPixels())
        return false;
    alpha_ = source.alpha_;
    return true;
}

void CxImage::AlphaFlip()
{
    if (alpha_.empty())
        return;
    const size_t w = Width();
    for (size_t y = 0, h = Height(); y < h / 2; ++y)
        std::swap_ranges(alpha_.begin() + y * w, alpha_.begin() + (y + 1) * w, alpha_.begin() + (h - 1 - y) * w);
}

void CxImage::AlphaMirror()
{
    if (alpha_.empty())
        return;
    const size_t w = Width();
    for (size_t y = 0, h = Height(); y < h; ++y)
        std::reverse(alpha_.begin() + y * w, alpha_.begin() + (y + 1) * w);
}

bool CxImage::IsPaletteAlpha() const
{
    const CxRgbQuad* palette = Palette();
    for (uint32_t i = 0; palette && i < header_.biClrUsed; ++i)
        if (palette[i].rgbReserved)
            return true;
    return false;
}

bool CxImage::RaiseDepth(uint32_t bits)
{
    if (bits != 4 && bits != 8 && bits != 24)
        return false;
    if (!HasPixels())
        return false;
    if (bits == BitDepth())
        return true;
    if (bits < BitDepth())
        return false;
    CxImage raised;
    raised.info_ = info_;
    if (!raised.Create(Width(), Height(), bits, info_.formatId)) {
        SetLastError(raised.LastError());
        return false;
    }
    const int32_t w = int32_t(Width()), h = int32_t(Height());
    if (bits <= 8) {
        raised.SetPaletteQuads(header_.biClrUsed, Palette());
        raised.AlphaCopy(*this);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                raised.SetPixelIndex(x, y, PixelIndex(x, y));
    } else {
        if (info_.transparentIndex >= 0)
            raised.info_.transparentColor = PaletteEntry(uint32_t(info_.transparentIndex));
        raised.AlphaCopy(*this);
        if (IsPaletteAlpha() && !HasAlpha())
            raised.AlphaCreate();
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                raised.SetPixelColor(x, y, PixelColor(x, y, true), true);
    }
    TakeOver(raised, true);
    return true;
}

bool CxImage::FlipRows(bool withAlpha)
{
    if (!HasPixels())
        return false;
    uint8_t* rows = Rows();
    const size_t rb = info_.rowBytes;
    for (size_t y = 0, h = Height(); y < h / 2; ++y)
        std::swap_ranges(rows + y * rb, rows + (y + 1) * rb, rows + (h - 1 - y) * rb);
    if (withAlpha)
        AlphaFlip();
    return true;
}

bool CxImage::MirrorRows(bool withAlpha)
{
    if (!HasPixels())
        return false;
    CxImage mirrored;
    if (!mirrored.CopyFrom(*this, false, true))
        return false;
    const int32_t w = int32_t(Width()), h = int32_t(Height());
    const uint8_t* src = Rows();
    uint8_t* dst = mirrored.Rows();
    const size_t rb = info_.rowBytes;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = src + size_t(y) * rb;
        uint8_t* d = dst + size_t(y) * rb;
        if (BitDepth() == 8) {
            for (int32_t x = 0; x < w; ++x)
                d[x] = s[w - 1 - x];
        } else if (BitDepth() == 24) {
            for (int32_t x = 0; x < w; ++x)
                std::memcpy(d + 3 * x, s + 3 * (w - 1 - x), 3);
        } else {
            for (int32_t x = 0; x < w; ++x)
                mirrored.SetPixelIndex(x, y, PixelIndex(w - 1 - x, y));
        }
    }
    if (withAlpha)
        mirrored.AlphaMirror();
    TakeOver(mirrored, true);
    return true;
}

bool CxImage::Invert()
{
    if (!HasPixels())
        return false;
    uint8_t* rows = Rows();
    if (BitDepth() > 8) {
        for (uint32_t i = 0; i < header_.biSizeImage; ++i)
            rows[i] = uint8_t(~rows[i]);
        info_.transparentColor.rgbBlue = uint8_t(~info_.transparentColor.rgbBlue);
        info_.transparentColor.rgbGreen = uint8_t(~info_.transparentColor.rgbGreen);
        info_.transparentColor.rgbRed = uint8_t(~info_.transparentColor.rgbRed);
    } else if (!IsGrayRamp()) {
        CxRgbQuad* palette = Palette();
        for (uint32_t i = 0; i < header_.biClrUsed; ++i) {
            palette[i].rgbBlue = uint8_t(~palette[i].rgbBlue);
            palette[i].rgbGreen = uint8_t(~palette[i].rgbGreen);
            palette[i].rgbRed = uint8_t(~palette[i].rgbRed);
        }
        info_.lastColorValid = false;
    } else {
        for (uint32_t i = 0; i < header_.biSizeImage; ++i)
            rows[i] = uint8_t(~rows[i]);
    }
    return true;
}

void CxImage::ExpandBitfields(const uint8_t* source, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                              uint32_t bits)
{
    if (!source || !HasPixels() || BitDepth() != 24)
        return;
    const size_t w = Width(), h = Height(), rb = info_.rowBytes;
    uint8_t* rows = Rows();
    if (bits == 16) {
        const int r = int(CountBits(redMask & 0xFFFF));
        const int g = int(CountBits(greenMask & 0xFFFF));
        const int b = int(CountBits(blueMask & 0xFFFF));
        const size_t stride = ((w + 1) / 2) * 4;
        // Backwards: the source may be these rows, and each pixel grows.
        for (size_t y = h; y-- > 0;) {
            for (size_t x = w; x-- > 0;) {
                const uint8_t* s = source + y * stride + 2 * x;
                const uint32_t p = uint32_t(s[0]) | (uint32_t(s[1]) << 8);
                uint8_t* d = rows + y * rb + 3 * x;
                const uint8_t blue = uint8_t(ShiftBy(p & blueMask, 8 - r));
                const uint8_t green = uint8_t(ShiftBy(p & greenMask, -(r + g - 8)));
                const uint8_t red = uint8_t(ShiftBy(p & redMask, -(r + g + b - 8)));
                d[0] = blue;
                d[1] = green;
                d[2] = red;
            }
        }
    } else if (bits == 32) {
        const uint32_t rByte = MaskByte(redMask), gByte = MaskByte(greenMask), bByte = MaskByte(blueMask);
        const size_t stride = w * 4;
        // Forwards: each pixel shrinks, so this is safe over the same rows too.
        for (size_t y = 0; y < h; ++y) {
            for (size_t x = 0; x < w; ++x) {
                const uint8_t* s = source + y * stride + 4 * x;
                uint8_t* d = rows + y * rb + 3 * x;
                const uint8_t blue = s[bByte], green = s[gByte], red = s[rByte];
                d[0] = blue;
                d[1] = green;
                d[2] = red;
            }
        }
    }
}

void CxImage::OverlayFrame(const CxImage& frame, int32_t left, int32_t top)
{
    if (!HasPixels() || !frame.HasPixels())
        return;
    const int32_t canvasW = int32_t(Width()), canvasH = int32_t(Height());
    const int32_t frameW = int32_t(frame.Width()), frameH = int32_t(frame.Height());
    const int32_t bottomRow = canvasH - top - frameH;
    const int32_t lastRow = canvasH - top - 1;
    const int32_t right = std::min(left + frameW, canvasW);
    const int32_t transparent = frame.TransparentIndex();
    for (int32_t fy = 0; fy < frameH; ++fy) {
        const int32_t cy = bottomRow + fy;
        if (cy < 0)
            continue;
        if (cy > lastRow || cy >= canvasH)
            break;
        if (BitDepth() == 8 && frame.BitDepth() == 8) {
            // Byte rows on both sides: the common case of animated pictures.
            const uint8_t* src = frame.Rows() + size_t(fy) * frame.RowBytes();
            uint8_t* dst = Rows() + size_t(cy) * info_.rowBytes;
            for (int32_t cx = std::max(left, 0); cx < right; ++cx) {
                const uint8_t index = src[cx - left];
                if (int32_t(index) != transparent)
                    dst[cx] = index;
            }
            continue;
        }
        for (int32_t cx = std::max(left, 0); cx < right; ++cx) {
            const uint8_t index = frame.PixelIndex(cx - left, fy);
            if (int32_t(index) != transparent)
                SetPixelIndex(cx, cy, index);
        }
    }
}
