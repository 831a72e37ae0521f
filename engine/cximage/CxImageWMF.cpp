#include "CxImageWMF.h"

#include <new>
#include <vector>

#include "CxBytes.h"

namespace {

const uint32_t kPlaceableKey = 0x9AC6CDD7u;
const uint32_t kEmfSignature = 0x464D4520u;

// The record chain holds together before GDI plays it: every record is at
// least its own header long and lies inside the bytes (a record of length 0
// would be played forever), and a Windows metafile's records that name an
// object of the metafile's table name one inside it.
bool EnhancedRecordsHold(const uint8_t* bytes, size_t size)
{
    if (size < 88 || CxLe32(bytes + 48) > size)
        return false;
    for (size_t at = 0; at + 8 <= size;) {
        const uint32_t type = CxLe32(bytes + at);
        const uint32_t length = CxLe32(bytes + at + 4);
        if (length < 8 || length % 4 || length > size - at || (at == 0 && length < 88))
            return false;
        if (type == 14) // EMR_EOF
            return true;
        at += length;
    }
    return false;
}

bool WindowsRecordsHold(const uint8_t* bytes, size_t size)
{
    if (size < 18)
        return false;
    const size_t headerWords = CxLe16(bytes + 2);
    const uint32_t objects = CxLe16(bytes + 10);
    if (headerWords < 9 || headerWords * 2 > size)
        return false;
    for (size_t at = headerWords * 2; at + 6 <= size;) {
        const uint64_t length = uint64_t(CxLe32(bytes + at)) * 2;
        const uint16_t function = CxLe16(bytes + at + 4);
        if (length < 6 || length > size - at)
            return false;
        if (function == 0) // end of the metafile
            return true;
        // Parameters that are indexes into the object table.
        int indexes = 0;
        switch (function) {
        case 0x012D: // SelectObject
        case 0x01F0: // DeleteObject
        case 0x0234: // SelectPalette
        case 0x012C: // SelectClipRegion
        case 0x012B: // PaintRegion
        case 0x012A: // InvertRegion
            indexes = 1;
            break;
        case 0x0228: // FillRegion
        case 0x0429: // FrameRegion
            indexes = 2;
            break;
        default:
            break;
        }
        if (length < 6 + uint64_t(indexes) * 2)
            return false;
        for (int i = 0; i < indexes; ++i) {
            if (CxLe16(bytes + at + 6 + 2 * i) >= objects)
                return false;
        }
        at += size_t(length);
    }
    return false;
}

} // namespace

void CxImageWMF::LimitSize(int64_t& width, int64_t& height)
{
    if (width <= kMaxSide && height <= kMaxSide)
        return;
    if (width >= height) {
        height = height * kMaxSide / width;
        width = kMaxSide;
    } else {
        width = width * kMaxSide / height;
        height = kMaxSide;
    }
    if (width < 1)
        width = 1;
    if (height < 1)
        height = 1;
}

bool CxImageWMF::Decode(CxFile* file)
{
    if (!file)
        return false;
    const int32_t start = file->Tell();
    const int32_t fileLength = file->Size();
    std::vector<uint8_t> bytes;
    bool enhanced = false;
    int64_t width = 0, height = 0;

    uint8_t p[22];
    uint8_t m[18];
    if (file->Read(p, 1, 22) == 22 && CxLe32(p) == kPlaceableKey) {
        uint16_t sum = 0;
        for (int i = 0; i < 10; ++i)
            sum ^= CxLe16(p + 2 * i);
        const int32_t inch = CxLe16(p + 14);
        const uint32_t words = file->Read(m, 1, 18) == 18 ? CxLe32(m + 6) : 0;
        const uint16_t type = CxLe16(m);
        if (sum == CxLe16(p + 20) && inch >= 1 && inch <= 2540 && words && (type == 1 || type == 2) &&
            uint64_t(words) * 2 <= uint64_t(fileLength > 0 ? fileLength : 0)) {
            bytes.resize(size_t(words) * 2);
            if (file->Seek(start + 22, SEEK_SET) && file->Read(bytes.data(), 1, bytes.size()) == bytes.size()) {
                int32_t dpiX = 96, dpiY = 96;
                ScreenDpi(dpiX, dpiY);
                const int32_t left = int16_t(CxLe16(p + 6)), top = int16_t(CxLe16(p + 8));
                const int32_t right = int16_t(CxLe16(p + 10)), bottom = int16_t(CxLe16(p + 12));
                width = ((right - left) * dpiX + inch / 2) / inch;
                height = ((bottom - top) * dpiY + inch / 2) / inch;
            } else {
                bytes.clear();
            }
        }
    }
    if (bytes.empty()) {
        file->Seek(start, SEEK_SET);
        uint8_t e[108];
        if (file->Read(e, 1, 108) == 108 && CxLe32(e) == 1 && CxLe32(e + 40) == kEmfSignature &&
            fileLength > start) {
            bytes.resize(size_t(fileLength - start));
            if (file->Seek(start, SEEK_SET) && file->Read(bytes.data(), 1, bytes.size()) == bytes.size()) {
                enhanced = true;
                width = int64_t(int32_t(CxLe32(e + 16))) - int32_t(CxLe32(e + 8));
                height = int64_t(int32_t(CxLe32(e + 20))) - int32_t(CxLe32(e + 12));
            } else {
                bytes.clear();
            }
        }
    }
    if (bytes.empty()) {
        SetLastError("corrupted WMF");
        return false;
    }
    if (width <= 0 || height <= 0) {
        SetLastError("empty WMF");
        return false;
    }
    if (enhanced ? !EnhancedRecordsHold(bytes.data(), bytes.size())
                 : !WindowsRecordsHold(bytes.data(), bytes.size())) {
        SetLastError("corrupted WMF");
        return false;
    }
    LimitSize(width, height);
    return Render(bytes.data(), bytes.size(), enhanced, int32_t(width), int32_t(height));
}
