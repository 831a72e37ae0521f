#include "RecordContainer.h"

#include "LameEncoder.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

#include <windows.h>

#include <cstring>

namespace tq {

namespace {

// Sound held back before the first picture: at most this many packets
// (several seconds of MP3), so a video encoder that never delivers cannot
// make it grow without end.
const size_t kMaxHeldAudio = 512;

} // namespace

CRecordContainer::CRecordContainer() = default;

CRecordContainer::~CRecordContainer()
{
    Close();
}

void CRecordContainer::SetVideoFormat(int width, int height, int fps, int kbps)
{
    m_width = width;
    m_height = height;
    m_fps = fps > 0 ? fps : 10;
    m_videoKbps = kbps;
}

void CRecordContainer::SetAudioFormat(uint8_t channels, uint16_t bits, int sampleRate, int kbps)
{
    m_channels = channels;
    m_bitsPerSample = bits;
    m_sampleRate = sampleRate;
    m_audioKbps = kbps;
}

void CRecordContainer::SetExtradata(const uint8_t* bytes, int length)
{
    if (bytes && length > 0)
        m_extradata.assign(bytes, bytes + length);
}

std::string CRecordContainer::FormatName() const
{
    return m_context && m_context->oformat ? m_context->oformat->name : "";
}

bool CRecordContainer::Open(const std::string& path)
{
    Close();
    avformat_alloc_output_context2(&m_context, nullptr, nullptr, path.c_str());
    if (!m_context) {
        // No format for the extension: the one whose extension is "mkv"
        // (libavformat names it "matroska").
        const AVOutputFormat* mkv = av_guess_format(nullptr, "recording.mkv", nullptr);
        avformat_alloc_output_context2(&m_context, mkv, nullptr, path.c_str());
    }
    if (!m_context)
        return false;

    m_path = path;
    const AVOutputFormat* format = m_context->oformat;
    if (format->audio_codec == AV_CODEC_ID_NONE || format->video_codec == AV_CODEC_ID_NONE) {
        Close();
        return false;
    }

    m_videoStream = avformat_new_stream(m_context, nullptr);
    if (!m_videoStream) {
        Close();
        return false;
    }
    m_constantRate = strcmp(format->name, "avi") == 0;
    m_videoStream->id = 0;
    m_videoStream->time_base = AVRational{1, m_fps};
    m_videoStream->avg_frame_rate = AVRational{m_fps, 1};
    AVCodecParameters* video = m_videoStream->codecpar;
    video->codec_type = AVMEDIA_TYPE_VIDEO;
    video->codec_id = AV_CODEC_ID_H264;
    video->bit_rate = int64_t(m_videoKbps) * 1000;
    video->width = m_width;
    video->height = m_height;
    video->format = AV_PIX_FMT_YUV420P;
    if (!m_extradata.empty()) {
        video->extradata = static_cast<uint8_t*>(av_mallocz(m_extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!video->extradata) {
            Close();
            return false;
        }
        memcpy(video->extradata, m_extradata.data(), m_extradata.size());
        video->extradata_size = int(m_extradata.size());
    }

    m_audioStream = avformat_new_stream(m_context, nullptr);
    if (!m_audioStream) {
        Close();
        return false;
    }
    m_audioStream->id = 1;
    m_audioStream->time_base = m_constantRate ? AVRational{kMp3FrameSamples, m_sampleRate} : AVRational{1, m_sampleRate};
    AVCodecParameters* audio = m_audioStream->codecpar;
    audio->codec_type = AVMEDIA_TYPE_AUDIO;
    audio->codec_id = AV_CODEC_ID_MP3;
    audio->format = AV_SAMPLE_FMT_S16;
    audio->bit_rate = int64_t(m_audioKbps) * 1000;
    audio->sample_rate = m_sampleRate;
    audio->frame_size = kMp3FrameSamples;
    av_channel_layout_default(&audio->ch_layout, m_channels);

    if (!(format->flags & AVFMT_NOFILE)) {
        if (avio_open(&m_context->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) {
            Close();
            return false;
        }
    }
    m_packet = av_packet_alloc();
    if (!m_packet || avformat_write_header(m_context, nullptr) < 0) {
        Close();
        return false;
    }
    m_headerWritten = true;
    m_bytesWritten = 0;
    m_firstVideoMs = 0;
    m_lastAudioMs = 0;
    m_videoStarted = false;
    m_lastVideoPts = -1;
    m_audioStarted = false;
    m_audioStartSamples = 0;
    m_audioSamples = 0;
    m_heldAudio.clear();
    return true;
}

bool CRecordContainer::Write(AVStream* stream, int64_t pts, int64_t duration, AVRational timeBase, const uint8_t* data,
                             int size, bool key)
{
    av_packet_unref(m_packet);
    m_packet->stream_index = stream->index;
    m_packet->data = const_cast<uint8_t*>(data);
    m_packet->size = size;
    m_packet->pts = pts;
    m_packet->dts = pts;
    m_packet->duration = duration;
    m_packet->flags = key ? AV_PKT_FLAG_KEY : 0;
    // The muxer may have chosen another time base than milliseconds.
    av_packet_rescale_ts(m_packet, timeBase, stream->time_base);
    int result = av_interleaved_write_frame(m_context, m_packet);
    av_packet_unref(m_packet);
    if (result != 0)
        return false;
    m_bytesWritten += size;
    return true;
}

bool CRecordContainer::WriteVideo(uint32_t timeMs, const uint8_t* data, int size, int flags)
{
    if (!data || size <= 0 || !m_context || !m_videoStream || !m_headerWritten)
        return false;
    if (!m_videoStarted) {
        m_videoStarted = true;
        m_firstVideoMs = timeMs;
    }
    const int64_t ms = int64_t(uint32_t(timeMs - m_firstVideoMs));
    // The nearest slot of the stated rate: readers count pictures at that
    // rate, and two pictures in one slot would share a time there.
    int64_t pts = (ms * m_fps + 500) / 1000;
    // Two pictures in one slot (or a clock step back): keep the time stamps
    // increasing instead of letting the muxer refuse the packet.
    if (pts <= m_lastVideoPts)
        pts = m_lastVideoPts + 1;
    m_lastVideoPts = pts;
    const bool written = Write(m_videoStream, pts, 1, AVRational{1, m_fps}, data, size, (flags & 1) != 0);
    if (!written)
        return false;
    return WriteHeldAudio();
}

bool CRecordContainer::WriteHeldAudio()
{
    std::vector<HeldAudio> held;
    held.swap(m_heldAudio);
    for (const HeldAudio& packet : held) {
        if (!WriteAudio(packet.timeMs, packet.data.data(), int(packet.data.size())))
            return false;
    }
    return true;
}

int64_t CRecordContainer::SamplesIn(const uint8_t* data, int size)
{
    int64_t samples = 0;
    int offset = 0;
    while (size - offset >= 4) {
        const int length = MpegAudioFrameLength(data + offset);
        if (length <= 0 || length > size - offset)
            break;
        samples += MpegAudioFrameSamples(data + offset);
        offset += length;
    }
    return samples > 0 ? samples : kMp3FrameSamples;
}

bool CRecordContainer::WriteAudio(uint32_t timeMs, const uint8_t* data, int size)
{
    if (!data || size <= 0 || !m_context || !m_audioStream || !m_headerWritten)
        return false;
    if (!m_videoStarted) {
        if (m_heldAudio.size() < kMaxHeldAudio)
            m_heldAudio.push_back(HeldAudio{timeMs, std::vector<uint8_t>(data, data + size)});
        return true;
    }
    // Sound from before the first picture, or older than what was written.
    if (int32_t(timeMs - m_firstVideoMs) < 0 || (m_audioStarted && int32_t(timeMs - m_lastAudioMs) < 0))
        return true;
    // The first packet's stamp places the sound; after it every packet
    // follows the samples written before it, so the track neither overlaps
    // nor leaves gaps, and its stated length is what it decodes to. AVI
    // counts its sound from the start of the file whatever the stamps say.
    if (!m_audioStarted) {
        m_audioStarted = true;
        m_audioStartSamples = m_constantRate ? 0 : int64_t(uint32_t(timeMs - m_firstVideoMs)) * m_sampleRate / 1000;
        m_audioSamples = 0;
    }
    m_lastAudioMs = timeMs;
    const int64_t samples = SamplesIn(data, size);
    const int64_t pts = m_audioStartSamples + m_audioSamples;
    m_audioSamples += samples;
    return Write(m_audioStream, pts, samples, AVRational{1, m_sampleRate}, data, size, true);
}

bool CRecordContainer::Close()
{
    if (!m_context)
        return false;
    const bool hasPictures = m_headerWritten && m_videoStarted;
    if (m_headerWritten)
        av_write_trailer(m_context);
    m_headerWritten = false;
    m_videoStream = nullptr;
    m_audioStream = nullptr;
    if (m_context->pb && !(m_context->oformat->flags & AVFMT_NOFILE))
        avio_closep(&m_context->pb);
    avformat_free_context(m_context);
    m_context = nullptr;
    av_packet_free(&m_packet);
    m_heldAudio.clear();
    if (!hasPictures && !m_path.empty()) {
        // The name as libavformat opened it: UTF-8.
        const int length = MultiByteToWideChar(CP_UTF8, 0, m_path.c_str(), -1, nullptr, 0);
        std::wstring wide(length > 0 ? size_t(length) : 0, L'\0');
        if (length > 0 && MultiByteToWideChar(CP_UTF8, 0, m_path.c_str(), -1, &wide[0], length) > 0)
            DeleteFileW(wide.c_str());
    }
    m_path.clear();
    return hasPictures;
}

} // namespace tq
