// A full-frame animated GIF, or a single picture of another format that the
// image-file library reads. Frames are decoded by the library as they come
// due and scaled (nearest neighbour) to the frame size; the reader keeps the
// picture composed so far, so each frame costs its own decoding only. What a
// layer holds is bounded whatever the file says: the file's bytes, the
// reader's pictures (the GIF's screen size is capped) and the scaled frames
// (all of them only while they fit the cache budget; otherwise the one shown,
// and the reader starts over at the end of the animation).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct GifFrame {
    bool hasTransparency = false;
    uint8_t transparentRed = 0, transparentGreen = 0, transparentBlue = 0;
    int32_t width = 0, height = 0;
    int32_t delay = 10;           // hundredths of a second
    std::vector<uint8_t> pixels;  // RGB24 (blue, green, red), bottom row first
};

// A performance counter: ticks and their frequency (QueryPerformanceCounter by default).
struct PerfClock {
    std::function<int64_t()> ticks;
    int64_t frequency = 0;
    static PerfClock System();
};

class CGifFrames {
public:
    static constexpr size_t kMaxFileBytes = size_t(64) << 20;    // larger files are refused
    static constexpr int64_t kMaxScreenPixels = int64_t(4096) * 4096;
    static constexpr size_t kMaxCachedBytes = size_t(64) << 20;  // scaled frames kept for the next loop

    explicit CGifFrames(PerfClock clock = PerfClock::System(), size_t cacheBytes = kMaxCachedBytes);
    ~CGifFrames();
    CGifFrames(const CGifFrames&) = delete;
    CGifFrames& operator=(const CGifFrames&) = delete;

    // Decodes the first frame, scaled to width x height. A file that is no
    // GIF is read by the library's other readers as one still frame. False
    // when nothing can be decoded (no frames then).
    bool Load(const std::string& path, int width, int height);
    bool LoadBytes(const std::vector<uint8_t>& file, int width, int height);

    // The frame to show for this camera frame (moves on by the frames' delays,
    // decoding a frame when it comes due), or null without frames. The
    // pointer holds until the next call.
    const GifFrame* FrameToShow();
    // Blends the frame to show over a whole bottom-up RGB24 frame of its size.
    void Draw(uint8_t* pixels, int width, int height);

    int FrameCount() const { return m_frameCount; }
    // The index of the frame FrameToShow returned last (-1 before the first call).
    int ShownIndex() const { return m_shownIndex; }
    // The file's bytes the library has read so far, over every decode.
    uint64_t BytesRead() const;
    // What the layer holds now: file bytes, the reader's pictures and the frames.
    size_t HeldBytes() const;

private:
    struct Reader;

    bool LoadOwned(std::vector<uint8_t>&& file, int width, int height);
    void ReleaseFile();
    const GifFrame* FrameAt(int index);
    bool StartReader();
    void DropReader();
    void Reset();

    PerfClock m_clock;
    size_t m_cacheBytes;
    int32_t m_index = 0;
    int32_t m_shownIndex = -1;
    int64_t m_lastSwitch = -10000;
    int32_t m_frameCount = 0;
    int32_t m_width = 0, m_height = 0;
    std::vector<uint8_t> m_file;
    std::unique_ptr<Reader> m_reader;     // null for a still picture or once every frame is cached
    int32_t m_readerNext = 0;             // the frame the reader composes next
    bool m_cacheAll = false;              // every frame fits the cache budget
    std::vector<GifFrame> m_frames;       // cached frames, in order from frame 0
    GifFrame m_current;                   // the last frame decoded, when not cached
    int32_t m_currentIndex = -1;
    uint64_t m_bytesReadBefore = 0;       // by readers already gone
};

// Mixes one GIF frame over a frame of the same size (both bottom-up RGB24).
void BlendGifFrame(const GifFrame& gif, uint8_t* pixels);
