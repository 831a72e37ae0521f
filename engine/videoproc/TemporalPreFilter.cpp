#include "TemporalPreFilter.h"

#include <cstdlib>
#include <cstring>

void TemporalPreFilter::EnsureBlocks(int width, int height)
{
    const size_t count = (size_t)width * height / 256 + 1;
    if (m_blocks.size() != count)
        m_blocks.assign(count, Block());
}

void TemporalPreFilter::DropReferences()
{
    m_previous.clear();
    m_before.clear();
    m_mask.clear();
    m_previousMask.clear();
    m_moving = m_lastMoving = 0;
}

bool TemporalPreFilter::Averaged(int bx, int by, bool allStill) const
{
    if (allStill)
        return true;
    for (int y = (by > 0 ? by - 1 : 0); y <= by + 1 && y < m_blockRows; ++y)
        for (int x = (bx > 0 ? bx - 1 : 0); x <= bx + 1 && x < m_blocksPerRow; ++x)
            if (!m_blocks[(size_t)y * m_blocksPerRow + x].still)
                return false;
    return true;
}

void TemporalPreFilter::Run(const uint8_t* source, uint8_t* work, int width, int height, int stride)
{
    if (width != m_width || height != m_height)
        DropReferences();
    m_width = width;
    m_height = height;
    EnsureBlocks(width, height);
    m_blocksPerRow = width / 16;
    m_blockRows = height / 16;
    const size_t rowBytes = (size_t)width * 3;
    const size_t pixels = (size_t)width * height;

    for (int y = 0; y < height; ++y)
        std::memcpy(work + (size_t)y * stride, source + (size_t)y * stride, rowBytes);

    // 1. Motion mask: green brightened by at least the threshold.
    if (!m_previous.empty()) {
        m_previousMask.swap(m_mask);
        m_mask.assign(pixels, 0);
        int moving = 0;
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = source + (size_t)y * stride + 1;
            const uint8_t* p = &m_previous[y * rowBytes] + 1;
            uint8_t* m = &m_mask[(size_t)y * width];
            for (int x = 0; x < width; ++x)
                if (s[x * 3] - p[x * 3] >= m_threshold) {
                    m[x] = 255;
                    ++moving;
                }
        }
        m_lastMoving = m_moving;
        m_moving = moving;
    } else {
        // No history yet: the source's green bytes stand in for both masks.
        m_mask.resize(pixels);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                m_mask[(size_t)y * width + x] = source[(size_t)y * stride + x * 3 + 1];
        m_previousMask = m_mask;
        m_lastMoving = m_moving;
        m_moving = 0;
    }

    // 2. Both reference frames are needed.
    if (m_previous.empty() || m_before.empty()) {
        m_previous.resize(rowBytes * height);
        for (int y = 0; y < height; ++y)
            std::memcpy(&m_previous[y * rowBytes], source + (size_t)y * stride, rowBytes);
        m_before = m_previous;
        return;
    }

    // 3. Judge the blocks.
    const bool muchMotion = m_moving > width / 3;
    for (int by = 0; by < m_blockRows; ++by) {
        for (int bx = 0; bx < m_blocksPerRow; ++bx) {
            Block& block = m_blocks[(size_t)by * m_blocksPerRow + bx];
            block.column = bx * 16;
            block.row = by * 16;
            if (!muchMotion) {
                block.still = true;
                block.threeFrames = width / 3 >= m_lastMoving;
                continue;
            }
            block.quietNew = block.quietPrevious = 0;
            for (int c = 0; c < 3; ++c)
                block.sumPrevious[c] = block.sumBefore[c] = 0;
            for (int y = block.row; y < block.row + 16; ++y) {
                const uint8_t* p = &m_previous[y * rowBytes + block.column * 3];
                const uint8_t* b = &m_before[y * rowBytes + block.column * 3];
                for (int x = 0; x < 16; ++x) {
                    const size_t at = (size_t)y * width + block.column + x;
                    if (m_mask[at] < 5)
                        ++block.quietNew;
                    if (m_previousMask[at] < 5)
                        ++block.quietPrevious;
                    for (int c = 0; c < 3; ++c) {
                        block.sumPrevious[c] += p[x * 3 + c];
                        block.sumBefore[c] += b[x * 3 + c];
                    }
                }
            }
            bool close = true;
            for (int c = 0; c < 3; ++c)
                if (std::abs(block.sumPrevious[c] / 256 - block.sumBefore[c] / 256) > 3)
                    close = false;
            block.still = block.quietNew == 256 && close;
            block.threeFrames = block.still && block.quietPrevious == 256;
        }
    }

    // 4. Average the still blocks whose neighbourhood is still too.
    for (int by = 0; by < m_blockRows; ++by) {
        for (int bx = 0; bx < m_blocksPerRow; ++bx) {
            if (!Averaged(bx, by, !muchMotion))
                continue;
            const Block& block = m_blocks[(size_t)by * m_blocksPerRow + bx];
            for (int y = block.row; y < block.row + 16; ++y) {
                const uint8_t* s = source + (size_t)y * stride + block.column * 3;
                const uint8_t* p = &m_previous[y * rowBytes + block.column * 3];
                const uint8_t* b = &m_before[y * rowBytes + block.column * 3];
                uint8_t* w = work + (size_t)y * stride + block.column * 3;
                for (int i = 0; i < 48; ++i)
                    w[i] = block.threeFrames ? (uint8_t)((b[i] + 2 * s[i] + p[i]) / 4)
                                             : (uint8_t)((p[i] + s[i]) / 2);
            }
        }
    }

    // 5. Shift the history.
    m_before.swap(m_previous);
    for (int y = 0; y < height; ++y)
        std::memcpy(&m_previous[y * rowBytes], source + (size_t)y * stride, rowBytes);
}
