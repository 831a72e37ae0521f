#include "CxImageWBMP.h"

#include "CxBytes.h"

namespace {

// Multi-byte integer: 7 bits a byte, most significant group first.
bool ReadMultiByte(CxFile* file, uint32_t& value, bool& tooLong)
{
    value = 0;
    for (int i = 0;; ++i) {
        uint8_t b;
        if (file->Read(&b, 1, 1) != 1)
            return false;
        if (i == 4 && (value >> 25) != 0)
            tooLong = true;
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80))
            return true;
        if (i >= 4)
            tooLong = true;
    }
}

} // namespace

bool CxImageWBMP::Decode(CxFile* file)
{
    if (!file)
        return false;
    uint32_t type, fixedHeader, width, height;
    bool tooLong = false;
    if (!ReadMultiByte(file, type, tooLong) || !ReadMultiByte(file, fixedHeader, tooLong) ||
        !ReadMultiByte(file, width, tooLong) || !ReadMultiByte(file, height, tooLong)) {
        SetLastError("Not a WBMP");
        return false;
    }
    if (type != 0) {
        SetLastError("Unsupported WBMP type");
        return false;
    }
    if (tooLong || width < 1 || height < 1 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
        SetLastError("Corrupted WBMP");
        return false;
    }
    const uint32_t rowBytes = (width + 7) / 8;
    if (!ExceedsMaxMemory(width, height, 1) && uint64_t(rowBytes) * height > BytesLeft(file)) {
        SetLastError("Corrupted WBMP");
        return false;
    }
    if (!Create(width, height, 1, CXIMAGE_FORMAT_WBMP)) {
        SetLastError("WBMP Create failed");
        return false;
    }
    SetGrayRamp();
    for (uint32_t i = 0; i < height; ++i) {
        uint8_t* row = Rows() + size_t(height - 1 - i) * info_.rowBytes;
        if (file->Read(row, 1, rowBytes) != rowBytes) {
            Release();
            SetLastError("Corrupted WBMP");
            return false;
        }
    }
    return true;
}
