#include "CxImagePSD.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "CxBytes.h"

namespace {

const int kModeBitmap = 0, kModeGray = 1, kModeIndexed = 2, kModeRgb = 3, kModeCmyk = 4, kModeMulti = 7,
          kModeDuotone = 8, kModeLab = 9;

uint8_t Clamp255(double v)
{
    return v <= 0 ? 0 : v >= 255 ? 255 : uint8_t(v);
}

uint8_t CmykChannel(double ink, double k)
{
    return Clamp255(std::floor((1.0 - (k + (1.0 - k) * ink)) * 255.0 + 0.5));
}

void LabToRgb(uint8_t lByte, uint8_t aByte, uint8_t bByte, uint8_t* bgr)
{
    const double l = lByte / 2.56, a = aByte - 128.0, b = bByte - 128.0;
    const double fy = (l + 16.0) / 116.0, fx = a / 500.0 + fy, fz = fy - b / 200.0;
    auto inverse = [](double t) { return t * t * t > 0.008856 ? t * t * t : (t - 16.0 / 116.0) / 7.787; };
    const double x = 95.047 * inverse(fx) / 100.0, y = 100.0 * inverse(fy) / 100.0,
                 z = 108.883 * inverse(fz) / 100.0;
    double r = x * 3.2406 + y * -1.5372 + z * -0.4986;
    double g = x * -0.9689 + y * 1.8758 + z * 0.0415;
    double bl = x * 0.0557 + y * -0.2040 + z * 1.0570;
    auto gamma = [](double v) { return v > 0.0031308 ? 1.055 * std::pow(v, 1.0 / 2.4) - 0.055 : 12.92 * v; };
    bgr[2] = Clamp255(gamma(r) * 256.0);
    bgr[1] = Clamp255(gamma(g) * 256.0);
    bgr[0] = Clamp255(gamma(bl) * 256.0);
}

} // namespace

bool CxImagePSD::Decode(CxFile* file)
{
    if (!file)
        return false;
    if (!DecodePsd(file)) {
        Release();
        SetLastError("error loading PSD file");
        return false;
    }
    return true;
}

bool CxImagePSD::DecodePsd(CxFile* file)
{
    uint8_t h[26];
    if (file->Read(h, 1, 26) != 26 || std::memcmp(h, "8BPS", 4) != 0 || CxBe16(h + 4) != 1)
        return false;
    const uint32_t channels = CxBe16(h + 12);
    const uint32_t rows = CxBe32(h + 14), columns = CxBe32(h + 18);
    const uint32_t depth = CxBe16(h + 22), mode = CxBe16(h + 24);
    if (channels == 0 || rows == 0 || columns == 0 || rows > 300000 || columns > 300000)
        return false;

    // Colour mode data: the colour table of indexed images.
    uint8_t lengthBytes[4];
    if (file->Read(lengthBytes, 1, 4) != 4)
        return false;
    const uint32_t modeDataLength = CxBe32(lengthBytes);
    if (modeDataLength > BytesLeft(file))
        return false;
    uint8_t colourTable[768];
    const bool haveColourTable = modeDataLength == 768;
    if (haveColourTable) {
        if (file->Read(colourTable, 1, 768) != 768)
            return false;
    } else if (!file->Seek(int32_t(modeDataLength), SEEK_CUR)) {
        return false;
    }

    // Image resources.
    if (file->Read(lengthBytes, 1, 4) != 4)
        return false;
    const uint64_t resourceLength = CxBe32(lengthBytes);
    uint64_t counted = 0;
    int32_t xRes = 0, yRes = 0;
    bool haveColourCount = false;
    uint32_t colourCount = 0;
    auto read = [&](uint8_t* out, uint32_t n) {
        if (file->Read(out, 1, n) != n)
            return false;
        counted += n;
        return true;
    };
    auto skip = [&](uint32_t n) {
        if (n > BytesLeft(file) || !file->Seek(int32_t(n), SEEK_CUR))
            return false;
        counted += n;
        return true;
    };
    while (counted < resourceLength) {
        uint8_t b[28];
        if (!read(b, 4))
            break;
        if (std::memcmp(b, "8BIM", 4) != 0)
            continue;
        if (!read(b, 3))
            break;
        const uint32_t id = CxBe16(b);
        const uint32_t nameLength = b[2];
        // The name field (length byte and text) is padded to an even size.
        if (!skip(nameLength + ((nameLength + 1) & 1)))
            break;
        if (!read(b, 4))
            break;
        const uint32_t size = CxBe32(b);
        bool ok = true;
        if (size == 0) {
        } else if (id == 1000) {
            ok = read(b, 10);
        } else if (id == 1005) {
            ok = read(b, 16);
            if (ok) {
                xRes = CxBe16(b);
                yRes = CxBe16(b + 8);
            }
        } else if (id == 1007) {
            ok = read(b, 14);
        } else if (id == 1033 || id == 1036) {
            // A thumbnail shorter than its own header is damaged.
            if (size < 28)
                return false;
            ok = read(b, 28);
            if (ok && id == 1036)
                ok = skip(size - 28);
            else if (ok && size > 28)
                ok = skip(((size - 29) / 3 + 1) * 3);
        } else if (id == 1034 || id == 1046 || id == 1047) {
            ok = read(b, 2);
            if (ok && id == 1046) {
                haveColourCount = true;
                colourCount = CxBe16(b);
            }
        } else if (id == 1037) {
            ok = read(b, 4);
        } else {
            ok = skip(size + (size & 1));
        }
        if (!ok)
            break;
    }
    if (counted != resourceLength)
        return false;

    // Layer and mask section.
    if (file->Read(lengthBytes, 1, 4) != 4)
        return false;
    const uint32_t layerLength = CxBe32(lengthBytes);
    if (layerLength > BytesLeft(file) || !file->Seek(int32_t(layerLength), SEEK_CUR))
        return false;

    // Image data: the channels one after another.
    uint8_t compressionBytes[2];
    if (file->Read(compressionBytes, 1, 2) != 2)
        return false;
    const uint32_t compression = CxBe16(compressionBytes);
    const uint64_t plane = uint64_t(rows) * columns;
    std::vector<uint8_t> data;
    if (compression == 0) {
        if (depth != 8 && depth != 16)
            return false;
        const uint32_t sampleBytes = depth / 8;
        if (plane * channels * sampleBytes > BytesLeft(file))
            return false;
        data.resize(plane * channels);
        if (sampleBytes == 1) {
            if (file->Read(data.data(), 1, data.size()) != data.size())
                return false;
        } else {
            CxByteSource source(file);
            for (uint8_t& v : data) {
                uint8_t sample[2];
                if (!source.Read(sample, 2))
                    return false;
                v = sample[0];
            }
        }
    } else if (compression == 1) {
        if (depth != 8)
            return false;
        const uint64_t counts = uint64_t(rows) * channels;
        if (counts * 2 > BytesLeft(file))
            return false;
        std::vector<uint8_t> table(counts * 2);
        if (file->Read(table.data(), 1, table.size()) != table.size())
            return false;
        uint64_t total = 0;
        for (uint64_t i = 0; i < counts; ++i)
            total += CxBe16(&table[i * 2]);
        // Each two packed bytes give at most 128 bytes.
        if (total > BytesLeft(file) || plane * channels > total * 64 + 128)
            return false;
        std::vector<uint8_t> packed(total);
        if (total == 0 || file->Read(packed.data(), 1, packed.size()) != packed.size())
            return false;
        data.resize(plane * channels);
        size_t in = 0;
        for (uint32_t c = 0; c < channels; ++c) {
            uint8_t* out = data.data() + c * plane;
            uint64_t filled = 0;
            while (filled < plane) {
                if (in >= packed.size())
                    return false;
                const uint8_t n = packed[in++];
                if (n < 128) {
                    const size_t count = size_t(n) + 1;
                    // A run past the channel's end or the packed data is refused.
                    if (count > plane - filled || count > packed.size() - in)
                        return false;
                    std::memcpy(out + filled, &packed[in], count);
                    in += count;
                    filled += count;
                } else if (n > 128) {
                    const size_t count = 257 - size_t(n);
                    if (count > plane - filled || in >= packed.size())
                        return false;
                    std::memset(out + filled, packed[in++], count);
                    filled += count;
                }
            }
        }
    } else {
        return false;
    }

    auto channel = [&](uint32_t c, uint64_t i) -> uint8_t { return c < channels ? data[c * plane + i] : 0; };
    uint32_t outBits = 24;
    switch (mode) {
    case kModeGray:
    case kModeDuotone:
        outBits = channels >= 2 ? 32 : 24;
        break;
    case kModeIndexed:
        if (!haveColourTable || (haveColourCount && colourCount == 0))
            return false;
        break;
    case kModeRgb:
        if (channels < 3)
            return false;
        outBits = channels >= 4 ? 32 : 24;
        break;
    case kModeCmyk:
        if (channels < 4)
            return false;
        outBits = channels >= 5 ? 32 : 24;
        break;
    case kModeMulti:
        if (channels > 4)
            return false;
        break;
    case kModeLab:
        if (channels < 3)
            return false;
        outBits = channels >= 4 ? 32 : 24;
        break;
    case kModeBitmap:
    default:
        return true; // no pixels for these modes
    }

    const uint32_t outBytes = outBits / 8;
    if (ExceedsMaxMemory(double(plane), 1, 24))
        return false;
    std::vector<uint8_t> pixels;
    try {
        pixels.resize(plane * outBytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (uint64_t i = 0; i < plane; ++i) {
        uint8_t* p = &pixels[i * outBytes];
        switch (mode) {
        case kModeGray:
        case kModeDuotone:
            p[0] = p[1] = p[2] = channel(0, i);
            if (outBytes == 4)
                p[3] = channel(1, i);
            break;
        case kModeIndexed: {
            const uint8_t index = channel(0, i);
            p[2] = colourTable[index];
            p[1] = colourTable[256 + index];
            p[0] = colourTable[512 + index];
            break;
        }
        case kModeRgb:
            p[0] = channel(2, i);
            p[1] = channel(1, i);
            p[2] = channel(0, i);
            if (outBytes == 4)
                p[3] = channel(3, i);
            break;
        case kModeCmyk:
        case kModeMulti: {
            // The file stores inverted ink; a missing channel carries no ink.
            auto ink = [&](uint32_t c) { return c < channels ? 1.0 - channel(c, i) / 256.0 : 0.0; };
            const double k = ink(3);
            p[2] = CmykChannel(ink(0), k);
            p[1] = CmykChannel(ink(1), k);
            p[0] = CmykChannel(ink(2), k);
            if (outBytes == 4)
                p[3] = channel(4, i);
            break;
        }
        case kModeLab:
            LabToRgb(channel(0, i), channel(1, i), channel(2, i), p);
            if (outBytes == 4)
                p[3] = channel(3, i);
            break;
        }
    }
    if (!FromArray(pixels.data(), columns, rows, outBits, columns * outBytes, true))
        return false;
    info_.formatId = CXIMAGE_FORMAT_PSD;
    SetXDpi(xRes > 0 ? xRes : 96);
    SetYDpi(yRes > 0 ? yRes : 96);
    return true;
}
