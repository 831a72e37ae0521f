// The desktop source's worker: a hidden pop-up window on its own thread and a
// thread timer that copies the chosen area, draws the cursor (with its halo),
// letterboxes the copy into 480 x 360 and writes it into the frame record.
#pragma once

#include "ColorConverter.h"
#include "CritSec.h"
#include "DesktopVideo.h"
#include "MessageWindow.h"
#include "SharedFrameWriter.h"
#include "ThreadTimer.h"

#include <windows.h>

#include <cstdint>
#include <vector>

constexpr int kDesktopFrameWidth = 480;
constexpr int kDesktopFrameHeight = 360;
constexpr int kDesktopPreviewWidth = 400;
constexpr int kDesktopPreviewHeight = 300;

struct DesktopCaptureRect {
    int sourceX = 0;
    int sourceY = 0;
    int width = 0;   // even
    int height = 0;
};

class CDesktopVideoOper : public tq::CMessageWindow, public tq::ITimerCallback {
public:
    explicit CDesktopVideoOper(CDesktopVideo* owner);
    ~CDesktopVideoOper() override;

    void OnTimer(UINT_PTR timerId) override;
    // Copies the area into the frame record (one tick's work).
    void CopyScreenToBitmap(const DesktopCaptureRect& rect, const DesktopCursorMark& mark);
    // Tests: the rectangle of the last tick.
    DesktopCaptureRect LastRect();

private:
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    void OnNotifyDeskTopConf();
    void OnNotifyDeskTopStart();
    void OnStopDesktopVideo();
    void OnReopenDesktopVideo();
    void StartTimer();
    void KillTimer();
    void FreeBuffers();
    void WriteFrame(const uint8_t* bits);

    CDesktopVideo* const m_owner;
    DesktopSettings m_settings;
    DesktopCaptureRect m_rect;
    UINT_PTR m_timer = 0;
    std::vector<uint8_t> m_bits;     // the 480 x 360 picture, 32 bits per pixel
    std::vector<uint8_t> m_preview;  // 400 x 300 RGB24
    CColorConverter m_converter;
    tq::CSharedFrameWriter m_writer;
    tq::CCritSec m_lock;  // the worker's lock, over the capture rectangle
};
