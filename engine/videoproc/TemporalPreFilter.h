// Averages unchanged 16 x 16 blocks of an RGB24 frame with the one or two
// frames before it, before the GPU passes. Sizes must be multiples of 16.
#pragma once

#include <cstdint>
#include <vector>

class TemporalPreFilter {
public:
    struct Block {
        int column = 0, row = 0;          // origin in pixels
        int quietNew = 0, quietPrevious = 0;
        int sumPrevious[3] = {0, 0, 0};
        int sumBefore[3] = {0, 0, 0};
        bool still = false;
        bool threeFrames = false;
    };

    // Makes sure the block records exist for the size.
    void EnsureBlocks(int width, int height);
    // Forgets both reference frames (the frame size changed).
    void DropReferences();
    // source -> work, both RGB24 with rows stride bytes apart.
    void Run(const uint8_t* source, uint8_t* work, int width, int height, int stride);

    void SetThreshold(int threshold) { m_threshold = threshold; }
    int Threshold() const { return m_threshold; }
    int MovingCount() const { return m_moving; }
    const std::vector<Block>& Blocks() const { return m_blocks; }

private:
    bool Averaged(int bx, int by, bool allStill) const;

    std::vector<uint8_t> m_previous, m_before;   // packed rows
    std::vector<uint8_t> m_mask, m_previousMask; // one byte per pixel
    int m_moving = 0, m_lastMoving = 0;
    int m_threshold = 24;
    int m_blocksPerRow = 0, m_blockRows = 0;
    int m_width = 0, m_height = 0;
    std::vector<Block> m_blocks;
};
