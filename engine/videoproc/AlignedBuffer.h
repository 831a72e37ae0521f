// A heap block with a fixed alignment, re-made only when the size changes.
#pragma once

#include <malloc.h>
#include <cstddef>
#include <cstdint>

class AlignedBuffer {
public:
    explicit AlignedBuffer(size_t alignment) : m_alignment(alignment) {}
    ~AlignedBuffer() { Free(); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;

    // False when the block cannot be allocated (the old one is gone then).
    bool Ensure(size_t size)
    {
        if (m_data && m_size == size)
            return true;
        Free();
        m_data = static_cast<uint8_t*>(_aligned_malloc(size ? size : 1, m_alignment));
        m_size = m_data ? size : 0;
        return m_data != nullptr;
    }
    void Free()
    {
        if (m_data)
            _aligned_free(m_data);
        m_data = nullptr;
        m_size = 0;
    }
    uint8_t* Data() const { return m_data; }
    size_t Size() const { return m_size; }

private:
    size_t m_alignment;
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
};
