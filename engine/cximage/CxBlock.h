// The pixel block's storage: one zero-filled heap block that owns its bytes.
// calloc hands large blocks over as fresh zero pages, so a big picture costs
// no writes until its rows are used (a hostile header may ask for the cap).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <utility>

class CxBlock {
public:
    CxBlock() = default;
    CxBlock(const CxBlock&) = delete;
    CxBlock& operator=(const CxBlock&) = delete;
    ~CxBlock() { std::free(data_); }

    // Replaces the bytes by size zero bytes; false (and empty) when memory
    // cannot be had.
    bool Allocate(size_t size)
    {
        Clear();
        data_ = static_cast<uint8_t*>(std::calloc(size, 1));
        size_ = data_ ? size : 0;
        return data_ != nullptr;
    }
    void Clear()
    {
        std::free(data_);
        data_ = nullptr;
        size_ = 0;
    }
    void Swap(CxBlock& other)
    {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
    }

    bool empty() const { return data_ == nullptr; }
    size_t size() const { return size_; }
    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};
