// Skin smoothing on the CPU: an edge-preserving 8 x 8 block filter, then an
// unsharp mask over a three-box Gaussian, then (auto mode) the tone stage.
#pragma once

#include "AlignedBuffer.h"
#include "VideoProcessing.h"

class CpuVideoProcessing : public VideoProcessing {
public:
    // Longest row or column the line buffers hold.
    static const int kMaxLine = 4800;

    CpuVideoProcessing();
    ~CpuVideoProcessing() override;

    bool Init(HWND window, int width, int height) override;
    bool Prepare(HWND window, int width, int height) override;
    void Uninit() override;
    bool ProcessStep(uint8_t* source, uint8_t* destination, int width, int height, int stride) override;
    void SetStrength(int percent) override;
    void SetMix(int percent) override;

    float Sigma() const { return m_sigma; }
    float BlockMix() const { return m_blockMix; }
    float Amount() const { return m_amount; }
    float Radius() const { return m_radius; }

    // The stages, public so each can be checked on its own.
    void BlockFilter(const uint8_t* source, uint8_t* destination, int width, int height, int stride, float k);
    bool ContrastStage(const uint8_t* source, uint8_t* destination, int width, int height, int stride);

private:
    void BuildSpatialTable();
    // boxes: the band's 8 x 8 box sums at the block's first byte (rows
    // boxStride apart), or null to sum them here.
    void FilterBlock(const uint8_t* source, uint8_t* destination, int x, int y, int stride, float k,
                     const uint16_t* boxes, int boxStride);

    AlignedBuffer m_work{32};
    int m_workWidth = 0, m_workHeight = 0, m_workStride = 0;
    float m_sigma = 0.41f;
    float m_blockMix = 0.21f;
    float m_amount = 0.29f;
    float m_radius = 15.0f;
    AlignedBuffer m_lineA{16};
    AlignedBuffer m_lineB{16};
    AlignedBuffer m_blurA{16};
    AlignedBuffer m_blurB{16};
    AlignedBuffer m_columnSums{16};
    // Eight rows turned into 16-bit columns for the row boxes.
    AlignedBuffer m_columnsA{16};
    AlignedBuffer m_columnsB{16};
    // A band's box sums (8 rows) and three scratch rows.
    AlignedBuffer m_bandSums{16};
    int m_spatial[8][8];
    int m_spatialSlot[8][8];
    // exp weights by (spatial slot, patch distance) for the k in use.
    static const int kSpatialSlots = 15;
    static const int kCachedDistances = 1 << 15;
    AlignedBuffer m_weightCache{16};
    float m_weightCacheK = 0.0f;
    bool m_weightCacheValid = false;
};
