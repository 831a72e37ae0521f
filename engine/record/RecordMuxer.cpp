#include "RecordMuxer.h"

#include "LameEncoder.h"
#include "X264Encoder.h"

#include <mmsystem.h>
#include <algorithm>
#include <cstring>
#include <new>

namespace tq {

// ---- video encode thread

CVideoEncodeThread::CVideoEncodeThread(CRecordMuxer* muxer)
    : m_muxer(muxer)
{
}

CVideoEncodeThread::~CVideoEncodeThread()
{
    CloseEncoder();
}

bool CVideoEncodeThread::OpenEncoder(int width, int height, int fps, int kbps)
{
    m_encoder = new (std::nothrow) CX264Encoder;
    m_output = CRecordPacket::Create(CRecordPacket::Video);
    if (m_encoder && m_output && m_encoder->Open(width, height, fps, kbps))
        return true;
    delete m_output;
    m_output = nullptr;
    delete m_encoder;
    m_encoder = nullptr;
    return false;
}

void CVideoEncodeThread::Push(CRecordPacket* packet)
{
    if (m_encoder)
        m_input.Push(packet);
    else
        delete packet;
}

void CVideoEncodeThread::CloseEncoder()
{
    Stop(INFINITE);
    delete m_encoder;
    m_encoder = nullptr;
    delete m_output;
    m_output = nullptr;
}

void CVideoEncodeThread::PushOutput(bool key, uint32_t time)
{
    // The encoder writes into one full-size buffer; the packet that travels
    // on holds only the picture's bytes (a few kilobytes, not 450).
    CRecordPacket* packet = CRecordPacket::Create(CRecordPacket::Video, std::max(m_output->size, 1));
    if (!packet)
        return;
    memcpy(packet->data, m_output->data, m_output->size);
    packet->size = m_output->size;
    packet->timeMs = time;
    packet->flags = key ? CRecordPacket::KeyFrame : 0;
    m_muxer->PushPacket(packet);
}

void CVideoEncodeThread::EncodeOne(CRecordPacket* input)
{
    bool key = false;
    uint32_t time = 0;
    if (m_encoder->Encode(input->data, input->timeMs, m_output->data, m_output->capacity, &m_output->size, &key, &time))
        PushOutput(key, time);
    m_muxer->GiveBackPicture(input);
}

void CVideoEncodeThread::Drain()
{
    while (CRecordPacket* input = m_input.Pop())
        EncodeOne(input);
    bool key = false;
    uint32_t time = 0;
    while (m_encoder->Flush(m_output->data, m_output->capacity, &m_output->size, &key, &time))
        PushOutput(key, time);
}

void CVideoEncodeThread::Run()
{
    if (!m_encoder)
        return;
    while (!StopRequested()) {
        CRecordPacket* input = m_input.Pop();
        if (!input) {
            Sleep(10);
            continue;
        }
        EncodeOne(input);
    }
    Drain();
}

// ---- audio encode thread

CAudioEncodeThread::CAudioEncodeThread(CRecordMuxer* muxer)
    : m_muxer(muxer)
{
}

CAudioEncodeThread::~CAudioEncodeThread()
{
    CloseEncoder();
}

bool CAudioEncodeThread::OpenEncoder(uint8_t channels, uint16_t bits, int sampleRate, int kbps)
{
    m_encoder = new (std::nothrow) CLameEncoder;
    m_sampleRate = sampleRate > 0 ? sampleRate : 44100;
    m_started = false;
    m_samplesOut = 0;
    if (m_encoder && m_encoder->Open(channels, bits, sampleRate, kbps))
        return true;
    delete m_encoder;
    m_encoder = nullptr;
    return false;
}

void CAudioEncodeThread::Push(CRecordPacket* packet)
{
    if (m_encoder)
        m_input.Push(packet);
    else
        delete packet;
}

void CAudioEncodeThread::CloseEncoder()
{
    Stop(INFINITE);
    delete m_encoder;
    m_encoder = nullptr;
}

void CAudioEncodeThread::PushFrames(const uint8_t* data, int size)
{
    CRecordPacket* last = nullptr;
    int offset = 0;
    while (offset < size) {
        int length = size - offset >= 4 ? MpegAudioFrameLength(data + offset) : -1;
        int samples = length > 0 ? MpegAudioFrameSamples(data + offset) : 0;
        if (length <= 0 || length > size - offset || samples <= 0) {
            // Bytes that are no whole frame (LAME's very last output) stay
            // with the frame before them.
            length = size - offset;
            if (last && last->size + length <= last->capacity) {
                memcpy(last->data + last->size, data + offset, length);
                last->size += length;
            }
            break;
        }
        if (last)
            m_muxer->PushPacket(last);
        last = CRecordPacket::Create(CRecordPacket::Sound);
        if (!last)
            return;  // out of memory: the rest of this output is lost
        memcpy(last->data, data + offset, length);
        last->size = length;
        last->timeMs = m_startMs + uint32_t(m_samplesOut * 1000 / m_sampleRate);
        m_samplesOut += samples;
        offset += length;
    }
    if (last)
        m_muxer->PushPacket(last);
}

void CAudioEncodeThread::EncodeOne(CRecordPacket* input)
{
    if (!m_started) {
        m_started = true;
        m_startMs = input->timeMs;
    }
    CRecordPacket* output = CRecordPacket::Create(CRecordPacket::Sound);
    if (output && m_encoder->Encode(input->data, input->size, output->data, output->capacity, &output->size))
        PushFrames(output->data, output->size);
    delete output;
    delete input;
}

void CAudioEncodeThread::Drain()
{
    while (CRecordPacket* input = m_input.Pop())
        EncodeOne(input);
    // The sound LAME still holds follows the frames before it.
    for (;;) {
        CRecordPacket* output = CRecordPacket::Create(CRecordPacket::Sound);
        if (!output || !m_encoder->Flush(output->data, output->capacity, &output->size)) {
            delete output;
            break;
        }
        PushFrames(output->data, output->size);
        delete output;
    }
}

void CAudioEncodeThread::Run()
{
    if (!m_encoder)
        return;
    while (!StopRequested()) {
        CRecordPacket* input = m_input.Pop();
        if (!input) {
            Sleep(10);
            continue;
        }
        EncodeOne(input);
    }
    Drain();
}

// ---- muxer

CRecordMuxer::CRecordMuxer() = default;

CRecordMuxer::~CRecordMuxer()
{
    Stop();
    delete m_videoThread;
    delete m_audioThread;
}

bool CRecordMuxer::Init()
{
    m_running = false;
    return true;
}

void CRecordMuxer::SetVideoFormat(int width, int height, int fps, int)
{
    m_width = width;
    m_height = height;
    m_fps = fps;
}

void CRecordMuxer::SetAudioFormat(uint8_t channels, uint16_t bits, int sampleRate, int kbps)
{
    m_channels = channels;
    m_bits = bits;
    m_sampleRate = sampleRate;
    m_audioKbps = kbps;
}

void CRecordMuxer::Notify(int code, int reason)
{
    if (m_owner)
        m_owner->OnMuxerEvent(code, reason, 0);
}

void CRecordMuxer::FailStart()
{
    // CloseEncoder stops a thread that started and frees its encoder.
    delete m_videoThread;
    delete m_audioThread;
    m_videoThread = nullptr;
    m_audioThread = nullptr;
    Notify(IRecordMuxerOwner::MuxerFailed, IRecordMuxerOwner::StartFailed);
}

void CRecordMuxer::Start(const std::string& path)
{
    if (m_running || m_videoThread || m_audioThread)
        return;
    m_videoThread = new (std::nothrow) CVideoEncodeThread(this);
    m_audioThread = new (std::nothrow) CAudioEncodeThread(this);
    if (!m_videoThread || !m_audioThread
        || !m_videoThread->OpenEncoder(m_width, m_height, m_fps, VideoKbps)
        || !m_audioThread->OpenEncoder(m_channels, m_bits, m_sampleRate, m_audioKbps)) {
        FailStart();
        return;
    }

    const CX264Encoder* video = m_videoThread->Encoder();
    m_container.SetVideoFormat(m_width, m_height, m_fps, VideoKbps);
    m_container.SetAudioFormat(m_channels, m_bits, m_sampleRate, m_audioKbps);
    m_container.SetExtradata(video->HeaderBytes(), video->HeaderLength());
    if (!m_container.Open(path)) {
        FailStart();
        return;
    }
    m_formatName = m_container.FormatName();

    // Pictures and sound are taken from here on: the queues hold them until
    // the writing loop runs, so nothing offered right after the start is lost.
    m_audioStarted = false;
    m_videoStarted = false;
    m_running = true;
    if (!m_videoThread->Start(false) || !m_audioThread->Start(false) || !CEncodeThread::Start(false)) {
        CEncodeThread::Stop(INFINITE);
        m_running = false;
        m_container.Close();
        FailStart();
    }
}

void CRecordMuxer::Stop()
{
    // The encode threads first: they encode what is queued and drain their
    // encoders into the muxer's queue, which the muxer's thread then writes.
    if (m_videoThread) {
        m_videoThread->CloseEncoder();
        delete m_videoThread;
        m_videoThread = nullptr;
    }
    if (m_audioThread) {
        m_audioThread->CloseEncoder();
        delete m_audioThread;
        m_audioThread = nullptr;
    }
    CEncodeThread::Stop(INFINITE);
    m_running = false;
}

void CRecordMuxer::PushVideo(uint8_t* pixels, int width, int height, uint32_t timeMs)
{
    if (!m_videoThread || !m_running || !pixels)
        return;
    if (width <= 0 || height <= 0 || (width | height) & 1 || width * height * 3 / 2 > CRecordPacket::VideoCapacity)
        return;
    // Each picture takes the next slot of the stated rate, so no two share a
    // time in any container or reader; a source faster than that rate
    // gives up the pictures that would run ahead of the clock.
    if (!m_videoStarted) {
        m_videoStarted = true;
        m_firstVideoMs = timeMs;
        m_lastVideoSlot = -1;
    }
    const int fps = m_fps > 0 ? m_fps : 10;
    const int64_t slot = (int64_t(int32_t(timeMs - m_firstVideoMs)) * fps + 500) / 1000;
    const int64_t taken = std::max(slot, m_lastVideoSlot + 1);
    if (taken > slot + 1)
        return;
    // A picture buffer the video thread has finished with, else a new one.
    CRecordPacket* packet = m_sparePictures.Pop();
    if (!packet)
        packet = CRecordPacket::Create(CRecordPacket::Video);
    if (!packet)
        return;
    packet->type = CRecordPacket::Input;
    packet->flags = 0;
    // The rows come bottom first and x264 takes them top first: the
    // conversion reads them in that order, so the caller's picture is only
    // read. A width Flip leaves alone is taken as it comes, as before.
    const bool bottomUp = width < 1366;
    if (!CRgb24ToI420::Convert(pixels, packet->data, width, height, &packet->size, bottomUp)) {
        delete packet;
        return;
    }
    m_lastVideoSlot = taken;
    packet->timeMs = m_firstVideoMs + uint32_t((taken * 1000 + fps / 2) / fps);
    m_videoThread->Push(packet);
}

void CRecordMuxer::PushAudio(const uint8_t* data, int length)
{
    if (!m_running || !m_audioThread || !data || length <= 0)
        return;
    // Blocks arrive with jitter: only the first one's arrival counts, the
    // rest follow by the samples before them, so the stamps never overlap.
    if (!m_audioStarted) {
        m_audioStarted = true;
        m_audioStartMs = timeGetTime();
        m_audioSamplesIn = 0;
    }
    const int bytesPerSampleFrame = (m_channels > 1 ? 2 : 1) * 2;
    const int rate = m_sampleRate > 0 ? m_sampleRate : 44100;
    // A block larger than one packet goes in several packets.
    while (length > 0) {
        int size = std::min<int>(length, CRecordPacket::SoundCapacity);
        CRecordPacket* packet = CRecordPacket::Create(CRecordPacket::Sound);
        if (!packet)
            return;
        packet->type = CRecordPacket::Input;
        memcpy(packet->data, data, size);
        packet->size = size;
        packet->timeMs = m_audioStartMs + uint32_t(m_audioSamplesIn * 1000 / rate);
        m_audioThread->Push(packet);
        m_audioSamplesIn += size / bytesPerSampleFrame;
        data += size;
        length -= size;
    }
}

void CRecordMuxer::GiveBackPicture(CRecordPacket* packet)
{
    // A few are kept, so a steady recording allocates no picture buffers;
    // a backlog's buffers beyond them are freed.
    if (m_sparePictures.Size() < kSparePictures)
        m_sparePictures.Push(packet);
    else
        delete packet;
}

bool CRecordMuxer::OnStart()
{
    Notify(IRecordMuxerOwner::MuxerStarted);
    return true;
}

bool CRecordMuxer::WritePacket(CRecordPacket* packet)
{
    bool ok = packet->type == CRecordPacket::Sound
        ? m_container.WriteAudio(packet->timeMs, packet->data, packet->size)
        : m_container.WriteVideo(packet->timeMs, packet->data, packet->size, packet->flags);
    m_bytesWritten = m_container.BytesWritten();
    delete packet;
    return ok;
}

void CRecordMuxer::Run()
{
    m_running = true;
    bool ok = true;
    while (ok && !StopRequested()) {
        CRecordPacket* packet = m_queue.Pop();
        if (!packet) {
            Sleep(10);
            continue;
        }
        ok = WritePacket(packet);
    }
    // Stop comes after the encode threads have drained into the queue:
    // everything still queued belongs in the file.
    while (ok) {
        CRecordPacket* packet = m_queue.Pop();
        if (!packet)
            break;
        ok = WritePacket(packet);
    }
    m_running = false;
    const bool hasPictures = m_container.Close();
    if (!ok)
        Notify(IRecordMuxerOwner::MuxerFailed, IRecordMuxerOwner::WriteFailed);
    else if (!hasPictures)
        Notify(IRecordMuxerOwner::MuxerFailed, IRecordMuxerOwner::NoPicture);
    else
        Notify(IRecordMuxerOwner::MuxerEnded);
}

} // namespace tq
