#include "GifFrames.h"
#include "CxImage.h"
#include "CxImageGIF.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// The file's bytes as the library's byte stream; counts what is read.
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
        m_read += items * size;
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
    int32_t GetC() override
    {
        if (m_position >= m_bytes.size())
            return -1;
        ++m_read;
        return m_bytes[m_position++];
    }
    char* GetS(char*, int) override { return nullptr; }
    int32_t Scanf(const char*, void*) override { return -1; }

    uint64_t BytesRead() const { return m_read; }

private:
    const std::vector<uint8_t>& m_bytes;
    size_t m_position = 0;
    uint64_t m_read = 0;
};

// The whole file, or false when it cannot be read or is larger than limit.
bool ReadWholeFile(const std::string& path, size_t limit, std::vector<uint8_t>& out)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (bytes.size() + got > limit) {
            fclose(file);
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    fclose(file);
    out.swap(bytes);
    return true;
}

// The image's picture scaled to width x height; false when it has no pixels.
bool FrameFromImage(const CxImage& image, int width, int height, GifFrame& out)
{
    if (!image.HasPixels())
        return false;
    out.hasTransparency = image.HasTransparency();
    const CxRgbQuad transparent = image.TransparentColor();
    out.transparentRed = transparent.rgbRed;
    out.transparentGreen = transparent.rgbGreen;
    out.transparentBlue = transparent.rgbBlue;
    out.delay = int32_t(image.FrameDelay());
    const int sourceWidth = int(image.Width()), sourceHeight = int(image.Height());
    if (sourceWidth <= 0 || sourceHeight <= 0)
        return false;
    // Nearest neighbour, read straight from the image (y = 0 is the bottom
    // row): every pixel keeps a colour of the GIF, so the transparent colour
    // stays exact (a filtering scaler shifts it and the "transparent" pixels
    // would then cover the picture).
    std::vector<int32_t> columns(static_cast<size_t>(width));
    for (int column = 0; column < width; ++column)
        columns[size_t(column)] = int32_t((int64_t(2 * column + 1) * sourceWidth) / (2 * int64_t(width)));
    std::vector<uint8_t> scaled(size_t(width) * height * 3);
    uint8_t* target = scaled.data();
    for (int row = 0; row < height; ++row) {
        const int32_t sourceRow = int32_t((int64_t(2 * row + 1) * sourceHeight) / (2 * int64_t(height)));
        for (int column = 0; column < width; ++column, target += 3) {
            const CxRgbQuad colour = image.PixelColor(columns[size_t(column)], sourceRow, true);
            target[0] = colour.rgbBlue;
            target[1] = colour.rgbGreen;
            target[2] = colour.rgbRed;
        }
    }
    out.pixels.swap(scaled);
    out.width = width;
    out.height = height;
    return true;
}

} // namespace

struct CGifFrames::Reader {
    explicit Reader(const std::vector<uint8_t>& bytes) : stream(bytes) {}
    CxMemoryFile stream;
    CxImageGIF gif;
};

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

CGifFrames::CGifFrames(PerfClock clock, size_t cacheBytes) : m_clock(std::move(clock)), m_cacheBytes(cacheBytes)
{
    if (!m_clock.ticks || m_clock.frequency <= 0)
        m_clock = PerfClock::System();
}

CGifFrames::~CGifFrames() = default;

void CGifFrames::Reset()
{
    DropReader();
    m_frames.clear();
    m_current = GifFrame();
    m_currentIndex = -1;
    m_frameCount = 0;
    m_index = 0;
    m_shownIndex = -1;
    m_cacheAll = false;
}

bool CGifFrames::Load(const std::string& path, int width, int height)
{
    std::vector<uint8_t> file;
    if (!ReadWholeFile(path, kMaxFileBytes, file))
        return false;
    return LoadOwned(std::move(file), width, height);
}

bool CGifFrames::StartReader()
{
    DropReader();
    m_reader.reset(new Reader(m_file));
    if (!m_reader->gif.OpenFrames(&m_reader->stream))
        return false;
    // The reader holds pictures of the GIF's screen size.
    const int64_t screen = int64_t(m_reader->gif.ScreenWidth()) * m_reader->gif.ScreenHeight();
    return screen > 0 && screen <= kMaxScreenPixels;
}

void CGifFrames::DropReader()
{
    if (m_reader)
        m_bytesReadBefore += m_reader->stream.BytesRead();
    m_reader.reset();
    m_readerNext = 0;
}

bool CGifFrames::LoadBytes(const std::vector<uint8_t>& file, int width, int height)
{
    if (file.size() > kMaxFileBytes) {
        Reset();
        ReleaseFile();
        return false;
    }
    std::vector<uint8_t> copy;
    try {
        copy = file;
    } catch (const std::bad_alloc&) {
        Reset();
        ReleaseFile();
        return false;
    }
    return LoadOwned(std::move(copy), width, height);
}

void CGifFrames::ReleaseFile()
{
    std::vector<uint8_t>().swap(m_file);
}

bool CGifFrames::LoadOwned(std::vector<uint8_t>&& file, int width, int height)
{
    Reset();
    ReleaseFile();
    if (width <= 0 || height <= 0 || file.size() > kMaxFileBytes)
        return false;
    m_width = width;
    m_height = height;
    try {
        m_file.swap(file);
        GifFrame first;
        if (m_file.size() >= 4 && memcmp(m_file.data(), "GIF8", 4) == 0) {
            if (!StartReader()) {
                Reset();
                ReleaseFile();
                return false;
            }
            m_reader->gif.NextFrame(&m_reader->stream);
            m_readerNext = 1;
            if (!FrameFromImage(m_reader->gif, width, height, first)) {
                Reset();
                ReleaseFile();
                return false;
            }
            m_frameCount = std::max(1, int32_t(m_reader->gif.FrameCount()));
        } else {
            // Not a GIF: the library's other readers, one still frame.
            CxImage image(CXIMAGE_FORMAT_UNKNOWN);
            CxMemoryFile stream(m_file);
            image.DecodeStream(&stream, CXIMAGE_FORMAT_UNKNOWN);
            m_bytesReadBefore += stream.BytesRead();
            if (!FrameFromImage(image, width, height, first)) {
                Reset();
                ReleaseFile();
                return false;
            }
            m_frameCount = 1;
        }
        const uint64_t frameBytes = uint64_t(width) * uint64_t(height) * 3;
        m_cacheAll = uint64_t(m_frameCount) * frameBytes <= m_cacheBytes;
        if (m_cacheAll) {
            m_frames.reserve(size_t(m_frameCount));
            m_frames.push_back(std::move(first));
        } else {
            m_current = std::move(first);
            m_currentIndex = 0;
        }
        if (m_frameCount == 1) {
            DropReader();
            ReleaseFile();
        }
    } catch (const std::bad_alloc&) {
        Reset();
    }
    if (m_frameCount == 0)
        ReleaseFile();
    return m_frameCount > 0;
}

const GifFrame* CGifFrames::FrameAt(int index)
{
    if (m_cacheAll && size_t(index) < m_frames.size())
        return &m_frames[size_t(index)];
    if (!m_cacheAll && index == m_currentIndex)
        return &m_current;
    GifFrame frame;
    try {
        // Frames come in order; the animation starting over takes the reader
        // back to the first frame (without counting the frames again).
        bool ready = m_reader && m_readerNext <= index;
        if (!ready && m_reader && m_reader->gif.Rewind(&m_reader->stream)) {
            m_readerNext = 0;
            ready = true;
        }
        if (!ready)
            ready = StartReader();
        if (ready) {
            while (m_readerNext <= index) {
                // At the end of the file the picture stays the last one composed.
                m_reader->gif.NextFrame(&m_reader->stream);
                ++m_readerNext;
            }
            // A frame that cannot be decoded keeps its place and draws nothing.
            if (!FrameFromImage(m_reader->gif, m_width, m_height, frame))
                frame = GifFrame();
        }
    } catch (const std::bad_alloc&) {
        frame = GifFrame();
    }
    if (m_cacheAll) {
        m_frames.push_back(std::move(frame));
        if (int32_t(m_frames.size()) >= m_frameCount) {
            // Every frame is kept: the file is not read again.
            DropReader();
            ReleaseFile();
        }
        return &m_frames.back();
    }
    m_current = std::move(frame);
    m_currentIndex = index;
    return &m_current;
}

const GifFrame* CGifFrames::FrameToShow()
{
    if (m_frameCount <= 0)
        return nullptr;
    if (m_index >= m_frameCount)
        m_index = 0;
    const int64_t now = m_clock.ticks();
    const int64_t elapsed = int64_t(double(now - m_lastSwitch) / double(m_clock.frequency) * 1000.0);
    const GifFrame* frame = FrameAt(m_index);
    m_shownIndex = m_index;
    if (elapsed < int64_t(frame->delay) * 10)
        return frame;
    ++m_index;
    m_lastSwitch = now;
    return frame;
}

uint64_t CGifFrames::BytesRead() const
{
    return m_bytesReadBefore + (m_reader ? m_reader->stream.BytesRead() : 0);
}

size_t CGifFrames::HeldBytes() const
{
    size_t held = m_file.capacity() + m_current.pixels.capacity() + m_frames.capacity() * sizeof(GifFrame);
    for (const GifFrame& frame : m_frames)
        held += frame.pixels.capacity();
    if (m_reader)
        held += sizeof(Reader) + m_reader->gif.HeldBytes();
    return held;
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
