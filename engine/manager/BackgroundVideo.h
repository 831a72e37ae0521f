// The fixed picture shown while no live source runs: every start writes one
// 480 x 360 frame into the shared frame record and the preview.
#pragma once

#include "SharedFrameWriter.h"

#include <windows.h>
#include <cstdint>
#include <vector>

class VcamManger;

class CBackgroundVideo {
public:
    CBackgroundVideo() = default;
    virtual void OnTimer(uint32_t unused);
    virtual ~CBackgroundVideo() = default;

    bool StartBackgroundVideo();
    bool StopBackgroundVideo();
    void SetManager(VcamManger* manager) { m_manager = manager; }

    static constexpr int kWidth = 480;
    static constexpr int kHeight = 360;
    static constexpr int kResourceId = 102;

    // Decodes a PNG held in memory into bottom-up RGB24 rows of width x 3
    // bytes; false when it is not a picture GDI+ can read.
    static bool DecodePicture(const void* data, size_t size, std::vector<uint8_t>& rgb, int& width, int& height);

private:
    bool LoadPicture();

    std::vector<uint8_t> m_picture;  // 480 x 360 RGB24, bottom row first
    VcamManger* m_manager = nullptr;
    tq::CSharedFrameWriter m_writer;  // holds the SynFrameEvent handle
    std::vector<uint8_t> m_preview;
};
