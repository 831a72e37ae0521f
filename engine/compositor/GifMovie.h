// An animated GIF sticker: the frames decoded through GDI+ and fitted into
// the sticker box at load; a thread timer on the loading (UI) thread moves the
// current frame on by each frame's delay, looping for ever. The frame thread
// only reads the current index; frames never change after load. A sticker
// keeps its frames only up to a byte budget (each frame counted at 8 KB at
// least, which also bounds their number and the time loading takes); a longer
// animation loops over the frames kept.
#pragma once

#include "StickerPicture.h"
#include "ThreadTimer.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CGifMovie : public tq::ITimerCallback {
public:
    using Clock = std::function<uint32_t()>;  // milliseconds
    static constexpr size_t kMaxHeldBytes = size_t(64) << 20;
    static constexpr size_t kMinFrameBytes = 8192;

    explicit CGifMovie(Clock clock = Clock(), size_t maxHeldBytes = kMaxHeldBytes);
    ~CGifMovie();
    CGifMovie(const CGifMovie&) = delete;
    CGifMovie& operator=(const CGifMovie&) = delete;

    // Decodes every frame; false (no frames) when the file is no picture GDI+ reads.
    bool Load(const std::string& path);
    // Starts the clock and the timer on this thread.
    void Start();
    // Brings the current frame up to the clock; the timer calls it.
    void Advance();

    // The frame to show now, or null without frames (any thread).
    const StickerPicture* CurrentFrame() const;
    int CurrentIndex() const { return m_index.load(); }
    int FrameCount() const { return int(m_frames.size()); }
    // Delays in hundredths of a second (a missing or zero delay counts as 10).
    const std::vector<int>& Delays() const { return m_delays; }

private:
    void OnTimer(UINT_PTR timerId) override;
    void ArmTimer(uint32_t milliseconds);

    Clock m_clock;
    size_t m_maxHeldBytes;
    std::vector<StickerPicture> m_frames;
    std::vector<int> m_delays;
    uint64_t m_loopMs = 0;
    uint32_t m_start = 0;
    std::atomic<int> m_index{0};
    UINT_PTR m_timer = 0;
};
