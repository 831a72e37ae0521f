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
    if (m_encoder && m_encoder->Open(width, height, fps, kbps))
        return true;
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
}

void CVideoEncodeThread::EncodeOne(CRecordPacket* input)
{
    CRecordPacket* output = CRecordPacket::Create(CRecordPacket::Video);
    bool key = false;
    uint32_t time = 0;
    if (output && m_encoder->Encode(input->data, input->timeMs, output->data, output->capacity,
                                    &output->size, &key, &time)) {
        output->timeMs = time;
        output->flags = key ? CRecordPacket::KeyFrame : 0;
        m_muxer->PushPacket(output);
    } else {
        delete output;
    }
    delete input;
}

void CVideoEncodeThread::Drain()
{
    while (CRecordPacket* input = m_input.Pop())
        EncodeOne(input);
    for (;;) {
        CRecordPacket* output = CRecordPacket::Create(CRecordPacket::Video);
        bool key = false;
        uint32_t time = 0;
        if (!output || !m_encoder->Flush(output->data, output->capacity, &output->size, &key, &time)) {
            delete output;
            break;
        }
        output->timeMs = time;
        output->flags = key ? CRecordPacket::KeyFrame : 0;
        m_muxer->PushPacket(output);
    }
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

void CAudioEncodeThread::EncodeOne(CRecordPacket* input)
{
    CRecordPacket* output = CRecordPacket::Create(CRecordPacket::Sound);
    if (output && m_encoder->Encode(input->data, input->size, output->data, output->capacity, &output->size)) {
        output->type = CRecordPacket::Sound;
        output->timeMs = input->timeMs;
        m_muxer->PushPacket(output);
    } else {
        delete output;
    }
    m_lastTimeMs = input->timeMs;
    delete input;
}

void CAudioEncodeThread::Drain()
{
    while (CRecordPacket* input = m_input.Pop())
        EncodeOne(input);
    // The sound LAME still holds, stamped after the last block, about one
    // frame apart.
    for (;;) {
        CRecordPacket* output = CRecordPacket::Create(CRecordPacket::Sound);
        if (!output || !m_encoder->Flush(output->data, output->capacity, &output->size)) {
            delete output;
            break;
        }
        m_lastTimeMs += 26;
        output->timeMs = m_lastTimeMs;
        m_muxer->PushPacket(output);
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
    m_converter.Init();
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
    CRecordPacket* packet = CRecordPacket::Create(CRecordPacket::Video);
    if (!packet)
        return;
    packet->type = CRecordPacket::Input;
    CRgb24ToI420::Flip(pixels, width, height);
    bool converted = m_converter.Convert(pixels, packet->data, width, height, &packet->size);
    CRgb24ToI420::Flip(pixels, width, height);
    if (!converted) {
        delete packet;
        return;
    }
    packet->timeMs = timeMs;
    m_videoThread->Push(packet);
}

void CRecordMuxer::PushAudio(const uint8_t* data, int length)
{
    if (!m_running || !m_audioThread || !data || length <= 0)
        return;
    uint32_t now = timeGetTime();
    // Stamps must grow: a push in the same millisecond as the previous one
    // goes 2 ms later, and a later push never falls behind that.
    if (int32_t(now - m_lastAudioPushMs) <= 0 && m_lastAudioPushMs != 0)
        now = m_lastAudioPushMs + 2;
    // A block larger than one packet goes in several packets.
    while (length > 0) {
        int size = std::min<int>(length, CRecordPacket::SoundCapacity);
        CRecordPacket* packet = CRecordPacket::Create(CRecordPacket::Sound);
        if (!packet)
            return;
        packet->type = CRecordPacket::Input;
        memcpy(packet->data, data, size);
        packet->size = size;
        packet->timeMs = now;
        m_audioThread->Push(packet);
        m_lastAudioPushMs = now;
        data += size;
        length -= size;
        if (length > 0)
            now += 2;
    }
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
