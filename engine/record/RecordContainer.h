// The recording's file: H.264 and MP3 packets into a container that
// libavformat writes, chosen by the file's extension ("mkv" without one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVStream;
struct AVPacket;
extern "C" {
#include <libavutil/rational.h>
}

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
    // at the first video packet written. Pictures go to the nearest free slot
    // of the frame rate; sound after its first packet follows its samples.
    bool WriteVideo(uint32_t timeMs, const uint8_t* data, int size, int flags);
    bool WriteAudio(uint32_t timeMs, const uint8_t* data, int size);
    // Finishes the file. A file that received no picture holds nothing a
    // player could show (the sound waits for the first picture), and some
    // containers are unreadable without one: it is removed, and Close
    // answers false. True when a finished file with pictures remains.
    bool Close();

    bool IsOpen() const { return m_context != nullptr; }
    uint64_t BytesWritten() const { return m_bytesWritten; }
    // Short name of the chosen container ("matroska", "mp4", ...).
    std::string FormatName() const;

private:
    bool Write(AVStream* stream, int64_t pts, int64_t duration, AVRational timeBase, const uint8_t* data, int size,
               bool key);
    bool WriteHeldAudio();
    // Samples in the MP3 frames of one packet (one frame's worth when none parses).
    static int64_t SamplesIn(const uint8_t* data, int size);

    std::string m_path;
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
    // AVI keeps no time stamps: its sound is counted in MP3 frames from the
    // start of the file.
    bool m_constantRate = false;
    static constexpr int kMp3FrameSamples = 1152;
    int64_t m_lastVideoPts = -1;
    // The sound's place: its first packet's samples after the first picture,
    // and the samples written since.
    bool m_audioStarted = false;
    int64_t m_audioStartSamples = 0;
    int64_t m_audioSamples = 0;
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
