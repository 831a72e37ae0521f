// The recording's file: H.264 and MP3 packets into a container that
// libavformat writes, chosen by the file's extension ("mkv" without one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVStream;
struct AVPacket;

namespace tq {

class CRecordContainer {
public:
    CRecordContainer();
    ~CRecordContainer();
    CRecordContainer(const CRecordContainer&) = delete;
    CRecordContainer& operator=(const CRecordContainer&) = delete;

    void SetVideoFormat(int width, int height, int fps, int kbps);
    void SetAudioFormat(uint8_t channels, uint16_t bits, int sampleRate, int kbps);
    // Replaces the video extradata (Annex B headers) when given some.
    void SetExtradata(const uint8_t* bytes, int length);

    bool Open(const std::string& path);
    // Stamps are milliseconds of the producer's clock; the file's time starts
    // at the first video packet written.
    bool WriteVideo(uint32_t timeMs, const uint8_t* data, int size, int flags);
    bool WriteAudio(uint32_t timeMs, const uint8_t* data, int size);
    void Close();

    bool IsOpen() const { return m_context != nullptr; }
    uint64_t BytesWritten() const { return m_bytesWritten; }
    // Short name of the chosen container ("matroska", "mp4", ...).
    std::string FormatName() const;

private:
    bool Write(AVStream* stream, int64_t ptsMs, int64_t durationMs, const uint8_t* data, int size, bool key);
    bool WriteHeldAudio();

    AVFormatContext* m_context = nullptr;
    AVStream* m_videoStream = nullptr;
    AVStream* m_audioStream = nullptr;
    AVPacket* m_packet = nullptr;
    bool m_headerWritten = false;

    int m_width = 400, m_height = 300, m_fps = 10, m_videoKbps = 500;
    uint8_t m_channels = 2;
    uint16_t m_bitsPerSample = 16;
    int m_sampleRate = 44100;
    int m_audioKbps = 128;

    uint64_t m_bytesWritten = 0;
    uint32_t m_firstVideoMs = 0;
    uint32_t m_lastAudioMs = 0;
    bool m_videoStarted = false;
    int64_t m_lastVideoPts = -1;
    int64_t m_lastAudioPts = -1;
    std::vector<uint8_t> m_extradata;

    // Sound that reaches the writer while the video encoder still holds the
    // first pictures; written once the first picture's time is known.
    struct HeldAudio {
        uint32_t timeMs;
        std::vector<uint8_t> data;
    };
    std::vector<HeldAudio> m_heldAudio;
};

} // namespace tq
