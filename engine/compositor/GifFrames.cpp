#include "GifFrames.h"
#include "CxImage.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// The file's bytes as the library's byte stream.
class CxMemoryFile : public CxFile {
public:
    explicit CxMemoryFile(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    bool Close() override { return true; }
    size_t Read(void* buffer, size_t size, size_t count) override
    {
        if (size == 0 || m_position >= m_bytes.size())
            return 0;
        const size_t items = std::min(count, (m_bytes.size() - m_position) / size);
        memcpy(buffer, m_bytes.data() + m_position, items * size);
        m_position += items * size;
        return items;
    }
    size_t Write(const void*, size_t, size_t) override { return 0; }
    bool Seek(int32_t offset, int origin) override
    {
        const int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? int64_t(m_position) : int64_t(m_bytes.size());
        const int64_t target = base + offset;
        if (target < 0)
            return false;
        m_position = size_t(target);
        return true;
    }
    int32_t Tell() override { return int32_t(m_position); }
    int32_t Size() override { return int32_t(m_bytes.size()); }
    bool Flush() override { return true; }
    bool Eof() override { return m_position >= m_bytes.size(); }
    int32_t Error() override { return 0; }
    int32_t GetC() override { return m_position < m_bytes.size() ? m_bytes[m_position++] : -1; }
    char* GetS(char*, int) override { return nullptr; }
    int32_t Scanf(const char*, void*) override { return -1; }

private:
    const std::vector<uint8_t>& m_bytes;
    size_t m_position = 0;
};

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        // GIF offsets are 32-bit: larger files are not ours to read.
        if (bytes.size() + got > size_t(INT32_MAX)) {
            fclose(file);
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    fclose(file);
    out.swap(bytes);
    return true;
}

// Frame `index` of the file, scaled to width x height; false when the image
// has no pixels.
bool DecodeFrame(const std::vector<uint8_t>& file, int index, int width, int height, GifFrame& out,
                 int32_t* frameCount)
{
    CxImage image(CXIMAGE_FORMAT_UNKNOWN);
    if (index > 0)
        image.SelectFrame(index);
    CxMemoryFile stream(file);
    image.DecodeStream(&stream, CXIMAGE_FORMAT_GIF);
    if (!image.HasPixels())
        return false;
    if (frameCount)
        *frameCount = image.FrameCount();
    out.hasTransparency = image.HasTransparency();
    const CxRgbQuad transparent = image.TransparentColor();
    out.transparentRed = transparent.rgbRed;
    out.transparentGreen = transparent.rgbGreen;
    out.transparentBlue = transparent.rgbBlue;
    out.delay = int32_t(image.FrameDelay());
    const int sourceWidth = int(image.Width()), sourceHeight = int(image.Height());
    if (sourceWidth <= 0 || sourceHeight <= 0)
        return false;
    std::vector<uint8_t> packed(size_t(sourceWidth) * sourceHeight * 3);
    uint8_t* target = packed.data();
    for (int y = 0; y < sourceHeight; ++y) {  // y = 0 is the bottom row
        for (int x = 0; x < sourceWidth; ++x, target += 3) {
            const CxRgbQuad colour = image.PixelColor(x, y, true);
            target[0] = colour.rgbBlue;
            target[1] = colour.rgbGreen;
            target[2] = colour.rgbRed;
        }
    }
    if (sourceWidth == width && sourceHeight == height) {
        out.pixels.swap(packed);
    } else {
        // Nearest neighbour: every pixel keeps a colour of the GIF, so the
        // transparent colour stays exact (a filtering scaler shifts it and the
        // "transparent" pixels would then cover the picture).
        std::vector<uint8_t> scaled(size_t(width) * height * 3);
        for (int row = 0; row < height; ++row) {
            const int64_t sourceRow = (int64_t(2 * row + 1) * sourceHeight) / (2 * int64_t(height));
            const uint8_t* source = packed.data() + size_t(sourceRow) * sourceWidth * 3;
            uint8_t* target = scaled.data() + size_t(row) * width * 3;
            for (int column = 0; column < width; ++column, target += 3) {
                const int64_t sourceColumn = (int64_t(2 * column + 1) * sourceWidth) / (2 * int64_t(width));
                memcpy(target, source + sourceColumn * 3, 3);
            }
        }
        out.pixels.swap(scaled);
    }
    out.width = width;
    out.height = height;
    return true;
}

} // namespace

PerfClock PerfClock::System()
{
    PerfClock clock;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    clock.frequency = frequency.QuadPart;
    clock.ticks = [] {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return int64_t(now.QuadPart);
    };
    return clock;
}

CGifFrames::CGifFrames(PerfClock clock) : m_clock(std::move(clock))
{
    if (!m_clock.ticks || m_clock.frequency <= 0)
        m_clock = PerfClock::System();
}

bool CGifFrames::Load(const std::string& path, int width, int height)
{
    std::vector<uint8_t> file;
    if (!ReadWholeFile(path, file))
        return false;
    return LoadBytes(file, width, height);
}

bool CGifFrames::LoadBytes(const std::vector<uint8_t>& file, int width, int height)
{
    m_frames.clear();
    m_frameCount = 0;
    m_index = 0;
    if (width <= 0 || height <= 0)
        return false;
    m_width = width;
    m_height = height;
    try {
        GifFrame first;
        int32_t frameCount = 0;
        if (!DecodeFrame(file, 0, width, height, first, &frameCount))
            return false;
        m_frames.push_back(std::move(first));
        m_frameCount = std::max(1, frameCount);
        // Every later frame now, so the frame thread never decodes. A frame
        // that fails keeps its place (and a default delay) and draws nothing.
        for (int index = 1; index < m_frameCount; ++index) {
            GifFrame frame;
            if (!DecodeFrame(file, index, width, height, frame, nullptr))
                frame = GifFrame();
            m_frames.push_back(std::move(frame));
        }
    } catch (const std::bad_alloc&) {
        // Out of memory part way: show the frames decoded so far.
        m_frameCount = int32_t(m_frames.size());
    }
    return !m_frames.empty();
}

const GifFrame* CGifFrames::FrameToShow()
{
    if (m_frames.empty())
        return nullptr;
    if (m_index >= m_frameCount || size_t(m_index) >= m_frames.size())
        m_index = 0;
    const int64_t now = m_clock.ticks();
    const int64_t elapsed = int64_t(double(now - m_lastSwitch) / double(m_clock.frequency) * 1000.0);
    const GifFrame& frame = m_frames[size_t(m_index)];
    if (elapsed < int64_t(frame.delay) * 10)
        return &frame;
    ++m_index;
    m_lastSwitch = now;
    return &frame;
}

void CGifFrames::Draw(uint8_t* pixels, int width, int height)
{
    const GifFrame* frame = FrameToShow();
    if (!frame || !pixels || frame->width != width || frame->height != height || frame->pixels.empty())
        return;
    BlendGifFrame(*frame, pixels);
}

void BlendGifFrame(const GifFrame& gif, uint8_t* pixels)
{
    const uint8_t* source = gif.pixels.data();
    const size_t count = size_t(gif.width) * gif.height;
    for (size_t i = 0; i < count; ++i, source += 3, pixels += 3) {
        const bool isKey = source[0] == gif.transparentBlue && source[1] == gif.transparentGreen &&
                           source[2] == gif.transparentRed;
        if (isKey)
            continue;
        if (gif.hasTransparency) {
            pixels[0] = source[0];
            pixels[1] = source[1];
            pixels[2] = source[2];
        } else {
            for (int c = 0; c < 3; ++c)
                pixels[c] = uint8_t(std::min(255, 2 * ((135 * source[c] + 120 * pixels[c]) / 255)));
        }
    }
}
