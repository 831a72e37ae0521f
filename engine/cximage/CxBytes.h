// Field readers for little- and big-endian file structures, and a buffered
// byte source for the readers that decode byte by byte.
#pragma once

#include <cstdint>
#include <cstring>

#include "CxFile.h"

inline uint16_t CxLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t CxLe32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t CxBe16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t CxBe32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

class CxByteSource {
public:
    explicit CxByteSource(CxFile* file) : file_(file) {}
    // The next byte, or -1 at the end of the file.
    int Get()
    {
        if (index_ >= count_) {
            count_ = file_->Read(buffer_, 1, sizeof buffer_);
            index_ = 0;
            if (count_ == 0)
                return -1;
        }
        return buffer_[index_++];
    }
    // Reads n bytes; false when the file ends first.
    bool Read(uint8_t* out, size_t n)
    {
        for (size_t i = 0; i < n; ++i) {
            const int b = Get();
            if (b < 0)
                return false;
            out[i] = uint8_t(b);
        }
        return true;
    }

private:
    CxFile* file_;
    uint8_t buffer_[4096];
    size_t count_ = 0;
    size_t index_ = 0;
};
