#include "video/H264Encoder.h"

#include <algorithm>

extern "C" {
#include <x264.h>
}

CH264Encoder::~CH264Encoder() {
    Close();
}

void CH264Encoder::Close() {
    if (m_x264) {
        x264_encoder_close(m_x264);
        m_x264 = nullptr;
    }
    m_width = m_height = m_fps = 0;
    m_pts = 0;
}

bool CH264Encoder::Open(int width, int height, int fps) {
    Close();
    if (width <= 0 || height <= 0 || width % 2 || height % 2 || fps < 1 || fps > 60) {
        return false;
    }
    x264_param_t p;
    if (x264_param_default_preset(&p, "veryfast", "zerolatency") < 0) {
        return false;
    }
    p.i_width = width;
    p.i_height = height;
    p.i_csp = X264_CSP_I420;
    p.i_fps_num = static_cast<uint32_t>(fps);
    p.i_fps_den = 1;
    p.i_timebase_num = 1;
    p.i_timebase_den = static_cast<uint32_t>(fps);
    // One thread: a QCIF picture takes about a millisecond, and frame threads would hold
    // pictures back.
    p.i_threads = 1;
    p.b_sliced_threads = 0;
    p.i_log_level = X264_LOG_NONE;
    // The sender forces a key frame every two seconds itself; this is the fallback.
    p.i_keyint_max = 2 * fps;
    p.i_keyint_min = 1;
    p.i_scenecut_threshold = 0;
    p.b_repeat_headers = 1;
    p.b_annexb = 1;
    p.rc.i_rc_method = X264_RC_CRF;
    p.rc.f_rf_constant = 23;
    // The buffer bounds the largest frame: at most kMaxFrameBytes, whatever the scene.
    const bool large = width * height > 176 * 144;
    p.rc.i_vbv_max_bitrate = large ? 768 : 320;
    p.rc.i_vbv_buffer_size = std::min(kMaxFrameBytes * 8 / 1000 - 8, large ? 200 : 120);
    if (x264_param_apply_profile(&p, "baseline") < 0) {
        return false;
    }
    m_x264 = x264_encoder_open(&p);
    if (!m_x264) {
        return false;
    }
    m_width = width;
    m_height = height;
    m_fps = fps;
    return true;
}

bool CH264Encoder::Encode(const tagI420Picture& picture, bool forceKey, tagEncodedFrame& out) {
    out.bytes.clear();
    out.key = false;
    if (!m_x264 || picture.width != m_width || picture.height != m_height ||
        picture.bytes.size() < tagI420Picture::ByteSize(m_width, m_height)) {
        return false;
    }
    x264_picture_t in;
    x264_picture_init(&in);
    in.img.i_csp = X264_CSP_I420;
    in.img.i_plane = 3;
    for (int i = 0; i < 3; ++i) {
        // x264 only reads the planes.
        in.img.plane[i] = const_cast<uint8_t*>(picture.Plane(i));
        in.img.i_stride[i] = picture.Stride(i);
    }
    in.i_type = forceKey ? X264_TYPE_IDR : X264_TYPE_AUTO;
    in.i_pts = m_pts++;
    x264_picture_t coded;
    x264_nal_t* nals = nullptr;
    int count = 0;
    const int size = x264_encoder_encode(m_x264, &nals, &count, &in, &coded);
    if (size <= 0 || count <= 0) {
        return false;
    }
    // The payloads of one call lie one after another in the encoder's buffer.
    out.bytes = QByteArray(reinterpret_cast<const char*>(nals[0].p_payload), size);
    out.key = coded.b_keyframe != 0;
    return true;
}
