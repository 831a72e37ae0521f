// In-memory CxFile over a byte vector, for tests and fuzzing.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "CxFile.h"

class CxMemFile : public CxFile {
public:
    explicit CxMemFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    CxMemFile(const uint8_t* data, size_t size) : bytes_(data, data + size) {}

    bool Close() override { return true; }
    size_t Read(void* buffer, size_t size, size_t count) override
    {
        if (size == 0 || position_ >= bytes_.size())
            return 0;
        const size_t items = std::min(count, (bytes_.size() - position_) / size);
        if (items == 0)
            return 0;
        std::memcpy(buffer, bytes_.data() + position_, items * size);
        position_ += items * size;
        return items;
    }
    size_t Write(const void*, size_t, size_t) override { return 0; }
    bool Seek(int32_t offset, int origin) override
    {
        int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? int64_t(position_) : int64_t(bytes_.size());
        const int64_t target = base + offset;
        if (target < 0)
            return false;
        position_ = size_t(target);
        return true;
    }
    int32_t Tell() override { return int32_t(position_); }
    int32_t Size() override { return int32_t(bytes_.size()); }
    bool Flush() override { return true; }
    bool Eof() override { return position_ >= bytes_.size(); }
    int32_t Error() override { return 0; }
    int32_t GetC() override { return position_ < bytes_.size() ? bytes_[position_++] : -1; }
    char* GetS(char*, int) override { return nullptr; }
    int32_t Scanf(const char*, void*) override { return -1; }

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
};
