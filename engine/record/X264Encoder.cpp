#include "X264Encoder.h"

#include <cstring>

namespace tq {

CX264Encoder::CX264Encoder()
    : m_header(new uint8_t[HeaderCapacity]())
{
    memset(&m_param, 0, sizeof(m_param));
    x264_picture_init(&m_picture);
}

CX264Encoder::~CX264Encoder()
{
    Close();
    delete[] m_header;
}

bool CX264Encoder::Open(int width, int height, int fps, int kbps)
{
    Close();
    x264_param_default(&m_param);
    if (x264_param_default_preset(&m_param, "slow", "film") < 0)
        return false;

    m_param.i_width = width;
    m_param.i_height = height;
    m_param.i_csp = X264_CSP_I420;
    m_param.i_fps_num = fps;
    m_param.i_fps_den = 1;
    m_param.i_keyint_max = 30;
    m_param.i_keyint_min = 30;
    m_param.i_scenecut_threshold = 40;
    m_param.i_bframe = 0;
    m_param.i_bframe_pyramid = 0;
    m_param.i_frame_reference = 3;
    m_param.b_deblocking_filter = 1;
    m_param.i_deblocking_filter_alphac0 = 0;
    m_param.i_deblocking_filter_beta = 0;
    m_param.b_cabac = 1;
    m_param.i_threads = X264_THREADS_AUTO;
    m_param.i_lookahead_threads = X264_THREADS_AUTO;
    m_param.b_sliced_threads = 0;
    m_param.i_sync_lookahead = 0;
    m_param.analyse.i_me_method = X264_ME_HEX;
    m_param.analyse.i_me_range = 16;
    m_param.analyse.i_subpel_refine = 7;
    m_param.analyse.b_psnr = 1;
    m_param.analyse.b_ssim = 1;
    m_param.rc.i_rc_method = X264_RC_CRF;
    m_param.rc.i_bitrate = kbps;
    m_param.rc.i_vbv_max_bitrate = kbps;
    m_param.rc.i_vbv_buffer_size = kbps;
    m_param.rc.f_vbv_buffer_init = 0.9f;
    m_param.rc.b_mb_tree = 1;
    m_param.rc.i_lookahead = 0;

    m_encoder = x264_encoder_open(&m_param);
    if (!m_encoder)
        return false;
    if (x264_picture_alloc(&m_picture, X264_CSP_I420, width, height) < 0) {
        Close();
        return false;
    }
    m_pictureAllocated = true;
    m_picture.i_pts = 0;
    m_width = width;
    m_height = height;

    x264_nal_t* nals = nullptr;
    int nalCount = 0;
    m_headerLength = 0;
    if (x264_encoder_headers(m_encoder, &nals, &nalCount) < 0) {
        Close();
        return false;
    }
    for (int i = 0; i < nalCount; ++i) {
        if (nals[i].i_payload <= 0 || m_headerLength + nals[i].i_payload > HeaderCapacity)
            break;
        memcpy(m_header + m_headerLength, nals[i].p_payload, nals[i].i_payload);
        m_headerLength += nals[i].i_payload;
    }
    return true;
}

void CX264Encoder::Close()
{
    if (m_pictureAllocated) {
        x264_picture_clean(&m_picture);
        m_pictureAllocated = false;
    }
    x264_picture_init(&m_picture);
    if (m_encoder) {
        x264_encoder_close(m_encoder);
        m_encoder = nullptr;
    }
    m_pending.clear();
}

bool CX264Encoder::Encode(const uint8_t* source, uint32_t timeMs, uint8_t* destination, int capacity,
                          int* size, bool* keyFrame, uint32_t* outTimeMs)
{
    *size = 0;
    if (!m_encoder || !source || !destination)
        return false;

    // Plane by plane, so the copy does not depend on how x264 laid them out.
    const uint8_t* from = source;
    for (int plane = 0; plane < 3; ++plane) {
        int w = plane ? m_width / 2 : m_width;
        int h = plane ? m_height / 2 : m_height;
        uint8_t* to = m_picture.img.plane[plane];
        for (int row = 0; row < h; ++row) {
            memcpy(to, from, w);
            to += m_picture.img.i_stride[plane];
            from += w;
        }
    }
    m_pending.emplace_back(m_picture.i_pts, timeMs);

    x264_nal_t* nals = nullptr;
    int nalCount = 0;
    x264_picture_t out;
    x264_picture_init(&out);
    int bytes = x264_encoder_encode(m_encoder, &nals, &nalCount, &m_picture, &out);
    m_picture.i_pts += 1;
    return TakeOutput(bytes, nals, nalCount, out, destination, capacity, size, keyFrame, outTimeMs);
}

bool CX264Encoder::Flush(uint8_t* destination, int capacity, int* size, bool* keyFrame, uint32_t* outTimeMs)
{
    *size = 0;
    if (!m_encoder || !destination)
        return false;
    while (x264_encoder_delayed_frames(m_encoder) > 0) {
        x264_nal_t* nals = nullptr;
        int nalCount = 0;
        x264_picture_t out;
        x264_picture_init(&out);
        int bytes = x264_encoder_encode(m_encoder, &nals, &nalCount, nullptr, &out);
        if (bytes < 0)
            return false;
        if (bytes > 0)
            return TakeOutput(bytes, nals, nalCount, out, destination, capacity, size, keyFrame, outTimeMs);
    }
    return false;
}

bool CX264Encoder::TakeOutput(int bytes, const x264_nal_t* nals, int nalCount, const x264_picture_t& out,
                              uint8_t* destination, int capacity, int* size, bool* keyFrame, uint32_t* outTimeMs)
{
    if (bytes <= 0 || nalCount <= 0)
        return false;
    uint32_t time = 0;
    while (!m_pending.empty() && m_pending.front().first <= out.i_pts) {
        time = m_pending.front().second;
        m_pending.pop_front();
    }
    if (bytes > capacity)
        return false;
    // x264 lays the units of one picture out one after the other.
    memcpy(destination, nals[0].p_payload, bytes);
    *size = bytes;
    *keyFrame = out.b_keyframe != 0;
    *outTimeMs = time;
    return true;
}

bool CX264Encoder::EffectiveParameters(x264_param_t* param)
{
    if (!m_encoder)
        return false;
    x264_encoder_parameters(m_encoder, param);
    return true;
}

} // namespace tq
