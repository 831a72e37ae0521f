#include "CxImageBMP.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "CxBytes.h"

namespace {

const char kCorrupted[] = "corrupted BMP";

int32_t PelsPerMeterToDpi(int32_t ppm)
{
    return int32_t(std::floor(ppm * 254.0 / 10000.0 + 0.5));
}

} // namespace

bool CxImageBMP::Decode(CxFile* file)
{
    if (!file)
        return false;
    const int32_t start = file->Tell();
    uint8_t fileHeader[14];
    if (file->Read(fileHeader, 1, 14) != 14) {
        SetLastError("Not a BMP");
        return false;
    }
    uint32_t pixelOffset = 0;
    if (fileHeader[0] == 'B' && fileHeader[1] == 'M') {
        pixelOffset = CxLe32(fileHeader + 10);
    } else {
        file->Seek(start, SEEK_SET);
    }

    const int32_t infoStart = file->Tell();
    uint8_t ih[40];
    if (file->Read(ih, 1, 40) != 40) {
        SetLastError("Error reading BMP info");
        return false;
    }
    uint32_t headerSize = CxLe32(ih);
    int64_t width = int32_t(CxLe32(ih + 4));
    int64_t height = int32_t(CxLe32(ih + 8));
    uint32_t planes = CxLe16(ih + 12);
    uint32_t bitCount = CxLe16(ih + 14);
    uint32_t compression = CxLe32(ih + 16);
    uint32_t sizeImage = CxLe32(ih + 20);
    int32_t xPels = int32_t(CxLe32(ih + 24));
    int32_t yPels = int32_t(CxLe32(ih + 28));
    uint32_t colorsUsed = CxLe32(ih + 32);
    const bool os2 = headerSize == 12;
    if (os2) {
        width = CxLe16(ih + 4);
        height = CxLe16(ih + 6);
        planes = CxLe16(ih + 8);
        bitCount = CxLe16(ih + 10);
        compression = sizeImage = 0;
        xPels = yPels = 0;
        colorsUsed = 0;
        file->Seek(-28, SEEK_CUR);
    } else if (headerSize == 40) {
    } else if (headerSize == 64) {
        file->Seek(24, SEEK_CUR);
    } else if (headerSize == 124) {
        file->Seek(84, SEEK_CUR);
    } else {
        const double needed = double((int64_t(bitCount) * width + 31) / 32) * double(height) * 4.0;
        if (headerSize > 40 && double(sizeImage) >= needed && planes == 1 && colorsUsed == 0) {
            if (compression == 0)
                file->Seek(int32_t(headerSize - 40), SEEK_CUR);
        } else {
            SetLastError("Error reading BMP info");
            return false;
        }
    }
    if (colorsUsed == 0 && bitCount <= 8)
        colorsUsed = 1u << bitCount;

    const bool topFirst = height < 0;
    if (topFirst)
        height = -height;
    if (width <= 0 || height <= 0) {
        Create(0, 0, bitCount, CXIMAGE_FORMAT_BMP);
        return false;
    }
    const uint32_t w = uint32_t(width), h = uint32_t(height);

    // Raw rows must be in the file before a buffer is sized for them.
    const uint64_t fileStride = ((uint64_t(bitCount) * w + 31) / 32) * 4;
    const bool raw = (compression == 0 && (bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 ||
                                           bitCount == 24 || bitCount == 32)) ||
                     (compression == 3 && (bitCount == 16 || bitCount == 32));
    if (raw) {
        const uint32_t rounded = bitCount > 8 ? 24 : bitCount;
        const int32_t size = file->Size();
        if (!ExceedsMaxMemory(w, h, rounded) && (size < 0 || fileStride * h > uint64_t(size))) {
            SetLastError(kCorrupted);
            return false;
        }
    }

    if (!Create(w, h, bitCount, CXIMAGE_FORMAT_BMP))
        return false;
    SetXDpi(PelsPerMeterToDpi(xPels));
    SetYDpi(PelsPerMeterToDpi(yPels));

    if (PaletteEntries()) {
        const uint32_t entrySize = os2 ? 3 : 4;
        const uint32_t keep = std::min(colorsUsed, PaletteEntries());
        uint8_t entries[256 * 4];
        if (file->Read(entries, entrySize, keep) != keep) {
            Release();
            SetLastError(kCorrupted);
            return false;
        }
        CxRgbQuad* palette = Palette();
        for (uint32_t i = 0; i < keep; ++i)
            palette[i] = CxRgbQuad{entries[i * entrySize], entries[i * entrySize + 1], entries[i * entrySize + 2], 0};
        // Entries beyond what the depth holds are passed over.
        if (colorsUsed > keep && pixelOffset == 0)
            file->Seek(int32_t(std::min<uint64_t>(uint64_t(colorsUsed - keep) * entrySize, 0x7FFFFFFF)), SEEK_CUR);
    }

    auto toPixels = [&]() {
        if (pixelOffset != 0)
            file->Seek(start + int32_t(pixelOffset), SEEK_SET);
    };
    auto readMasks = [&](uint32_t& red, uint32_t& green, uint32_t& blue, uint32_t r, uint32_t g, uint32_t b) {
        red = r;
        green = g;
        blue = b;
        if (compression != 3)
            return true;
        // The masks follow the first 40 bytes of the info header, whatever its size.
        uint8_t m[12];
        file->Seek(infoStart + 40, SEEK_SET);
        if (file->Read(m, 1, 12) != 12)
            return false;
        red = CxLe32(m);
        green = CxLe32(m + 4);
        blue = CxLe32(m + 8);
        return true;
    };

    bool ok = true;
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
        toPixels();
        if (compression == 0) {
            ok = file->Read(Rows(), 1, header_.biSizeImage) == header_.biSizeImage;
        } else if (compression == 1 || compression == 2) {
            ok = DecodeRle(file, compression == 2);
        } else {
            Release();
            SetLastError("compression type not supported");
            return false;
        }
        break;
    case 16: {
        uint32_t red, green, blue;
        if (!readMasks(red, green, blue, 0x7C00, 0x3E0, 0x1F)) {
            ok = false;
            break;
        }
        toPixels();
        const size_t bytes = size_t(((w + 1) / 2) * 4) * h;
        ok = file->Read(Rows(), 1, bytes) == bytes;
        if (ok)
            ExpandBitfields(Rows(), red, green, blue, 16);
        break;
    }
    case 24:
        if (compression != 0) {
            Release();
            SetLastError("unknown compression");
            return false;
        }
        toPixels();
        ok = file->Read(Rows(), 1, header_.biSizeImage) == header_.biSizeImage;
        break;
    case 32: {
        if (compression != 0 && compression != 3) {
            Release();
            SetLastError("unknown compression");
            return false;
        }
        uint32_t red, green, blue;
        if (!readMasks(red, green, blue, 0xFF0000, 0xFF00, 0xFF)) {
            ok = false;
            break;
        }
        toPixels();
        const size_t bytes = size_t(w) * h * 4;
        std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bytes]);
        if (!buffer) {
            Release();
            SetLastError("can't allocate memory");
            return false;
        }
        ok = file->Read(buffer.get(), 1, bytes) == bytes;
        if (!ok)
            break;
        if (compression == 0 && AlphaCreate()) {
            bool allZero = true;
            for (size_t i = 0, n = size_t(w) * h; i < n; ++i) {
                alpha_[i] = buffer[4 * i + 3];
                allZero = allZero && alpha_[i] == 0;
            }
            if (allZero)
                AlphaInvert();
        }
        ExpandBitfields(buffer.get(), red, green, blue, 32);
        break;
    }
    default:
        break;
    }
    if (!ok) {
        Release();
        SetLastError(kCorrupted);
        return false;
    }
    if (topFirst)
        FlipRows(true);
    return true;
}

bool CxImageBMP::DecodeRle(CxFile* file, bool fourBits)
{
    CxByteSource source(file);
    uint8_t* rows = Rows();
    const uint64_t total = header_.biSizeImage;
    const uint64_t rowBytes = info_.rowBytes;
    uint64_t x = 0, y = 0; // x in pixels for RLE4, bytes for RLE8
    auto put = [&](uint8_t value) {
        if (fourBits) {
            const uint64_t at = y * rowBytes + x / 2;
            if (at < total) {
                uint8_t& b = rows[at];
                b = (x & 1) ? uint8_t((b & 0xF0) | (value & 15)) : uint8_t((b & 0x0F) | (value << 4));
            }
        } else {
            const uint64_t at = y * rowBytes + x;
            if (at < total)
                rows[at] = value;
        }
        ++x;
    };
    for (;;) {
        const int count = source.Get();
        const int value = source.Get();
        if (count < 0 || value < 0)
            return false;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(fourBits ? uint8_t((i & 1) ? value & 15 : value >> 4) : uint8_t(value));
            continue;
        }
        switch (value) {
        case 0:
            x = 0;
            ++y;
            break;
        case 1:
            return true;
        case 2: {
            const int dx = source.Get();
            const int dy = source.Get();
            if (dx < 0 || dy < 0)
                return false;
            x += fourBits ? uint64_t(dx / 2) * 2 : uint64_t(dx);
            y += uint64_t(dy);
            break;
        }
        default: {
            const int n = value;
            const int bytes = fourBits ? (n + 1) / 2 : n;
            uint8_t data[256];
            if (!source.Read(data, size_t(bytes)))
                return false;
            for (int i = 0; i < n; ++i)
                put(fourBits ? uint8_t((i & 1) ? data[i / 2] & 15 : data[i / 2] >> 4) : data[i]);
            if ((bytes & 1) && source.Get() < 0)
                return false;
            break;
        }
        }
    }
}
