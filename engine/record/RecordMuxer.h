// Turns the recorder's frames and sound into one file: a video and an audio
// encode thread feed the muxer's own thread, which writes the packets.
#pragma once

#include "EncodeThread.h"
#include "RecordContainer.h"
#include "RecordPacket.h"
#include "Rgb24ToI420.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace tq {

class CX264Encoder;
class CLameEncoder;
class CRecordMuxer;

class IRecordMuxerOwner {
public:
    enum { MuxerEnded = 0, MuxerStarted = 1, MuxerFailed = 2 };
    // Second argument of MuxerFailed. NoPicture: the recording received no
    // picture, and its file was removed.
    enum { StartFailed = 1, WriteFailed = 2, NoPicture = 3 };
    virtual ~IRecordMuxerOwner() = default;
    // Called on the muxer's thread (1, 0, and 2 for a failed write) or on the
    // caller of Start (2 for a failed start).
    virtual void OnMuxerEvent(int code, int, int) = 0;
};

class CVideoEncodeThread : public CEncodeThread {
public:
    explicit CVideoEncodeThread(CRecordMuxer* muxer);
    ~CVideoEncodeThread() override;

    bool OpenEncoder(int width, int height, int fps, int kbps);
    const CX264Encoder* Encoder() const { return m_encoder; }
    void Push(CRecordPacket* packet);
    // Ends the thread after it has encoded what was queued and drained the
    // encoder, then closes the encoder.
    void CloseEncoder();

protected:
    bool OnStart() override { return true; }
    void OnStop() override { m_input.Clear(); }
    void Run() override;

private:
    void EncodeOne(CRecordPacket* input);
    void Drain();
    void PushOutput(bool key, uint32_t time);

    CRecordMuxer* m_muxer;
    CX264Encoder* m_encoder = nullptr;
    CRecordPacket* m_output = nullptr;  // what the encoder writes into
    CPacketQueue m_input;
};

class CAudioEncodeThread : public CEncodeThread {
public:
    explicit CAudioEncodeThread(CRecordMuxer* muxer);
    ~CAudioEncodeThread() override;

    bool OpenEncoder(uint8_t channels, uint16_t bits, int sampleRate, int kbps);
    void Push(CRecordPacket* packet);
    void CloseEncoder();

protected:
    bool OnStart() override { return true; }
    void OnStop() override { m_input.Clear(); }
    void Run() override;

private:
    void EncodeOne(CRecordPacket* input);
    void Drain();
    // Hands on the encoder's output one MP3 frame per packet, each stamped by
    // the samples encoded before it.
    void PushFrames(const uint8_t* data, int size);

    CRecordMuxer* m_muxer;
    CLameEncoder* m_encoder = nullptr;
    CPacketQueue m_input;
    int m_sampleRate = 44100;
    // The first block's stamp and the samples handed on since.
    bool m_started = false;
    uint32_t m_startMs = 0;
    int64_t m_samplesOut = 0;
};

class CRecordMuxer : public CEncodeThread {
public:
    enum { VideoKbps = 500 };

    CRecordMuxer();
    ~CRecordMuxer() override;

    bool Init();
    void SetOwner(IRecordMuxerOwner* owner) { m_owner = owner; }
    void SetVideoFormat(int width, int height, int fps, int ignored);
    void SetAudioFormat(uint8_t channels, uint16_t bits, int sampleRate, int kbps);
    // Opens the encoders and the file and starts the three threads; failures
    // are reported to the owner with 2.
    void Start(const std::string& path);
    // Writes everything pushed so far, finishes the file and ends the threads.
    // Producers must have stopped pushing.
    void Stop();

    // pixels: RGB24 rows bottom row first; left as they were on return.
    void PushVideo(uint8_t* pixels, int width, int height, uint32_t timeMs);
    // data: interleaved 16-bit PCM in the format given to SetAudioFormat.
    void PushAudio(const uint8_t* data, int length);
    void PushPacket(CRecordPacket* packet) { m_queue.Push(packet); }
    // The video thread hands back an input picture it has encoded.
    void GiveBackPicture(CRecordPacket* packet);

    bool IsRunning() const { return m_running; }
    uint64_t BytesWritten() const { return m_bytesWritten; }
    std::string FormatName() const { return m_formatName; }

protected:
    bool OnStart() override;
    void OnStop() override { m_queue.Clear(); }
    void Run() override;

private:
    bool WritePacket(CRecordPacket* packet);
    void Notify(int code, int reason = 0);
    void FailStart();

    std::atomic<bool> m_running{false};
    IRecordMuxerOwner* m_owner = nullptr;
    CVideoEncodeThread* m_videoThread = nullptr;
    CAudioEncodeThread* m_audioThread = nullptr;
    CRecordContainer m_container;
    CPacketQueue m_queue;
    enum { kSparePictures = 4 };
    CPacketQueue m_sparePictures;
    std::atomic<uint64_t> m_bytesWritten{0};
    std::string m_formatName;

    int m_width = 400, m_height = 300, m_fps = 10;
    uint8_t m_channels = 2;
    uint16_t m_bits = 16;
    int m_sampleRate = 44100;
    int m_audioKbps = 128;
    // Sound is stamped by its sample count from the first block; the first
    // block's arrival sets the start.
    bool m_audioStarted = false;
    uint32_t m_audioStartMs = 0;
    int64_t m_audioSamplesIn = 0;
    // Pictures are placed on slots of the stated rate from the first one.
    bool m_videoStarted = false;
    uint32_t m_firstVideoMs = 0;
    int64_t m_lastVideoSlot = -1;
};

} // namespace tq
