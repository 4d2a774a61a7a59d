#include "video/H264Decoder.h"

#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace {
constexpr int kNalIdr = 5;
constexpr int kMaxFrameBytes = 1 << 20;
}  // namespace

CH264Decoder::~CH264Decoder() {
    Close();
}

bool CH264Decoder::Open() {
    Close();
    // Damaged frames from the network are expected and counted; the library's complaints
    // about each would only flood the terminal.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) {
        return false;
    }
    m_context = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_picture = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_context || !m_frame || !m_picture || !m_packet) {
        Close();
        return false;
    }
    m_context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    m_context->thread_count = 1;
    // A damaged frame is an error, not a picture with holes concealed from older ones.
    m_context->err_recognition |= AV_EF_EXPLODE | AV_EF_CRCCHECK | AV_EF_BITSTREAM;
    if (avcodec_open2(m_context, codec, nullptr) < 0) {
        Close();
        return false;
    }
    m_waitKey = true;
    return true;
}

void CH264Decoder::Close() {
    avcodec_free_context(&m_context);
    av_frame_free(&m_frame);
    av_frame_free(&m_picture);
    av_packet_free(&m_packet);
    av_freep(&m_padded);
    m_paddedSize = 0;
    m_waitKey = true;
}

bool CH264Decoder::HasIdr(const uint8_t* data, int length) {
    for (int i = 0; i + 3 < length; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if ((data[i + 3] & 0x1f) == kNalIdr) {
                return true;
            }
            i += 2;
        }
    }
    return false;
}

CH264Decoder::EResult CH264Decoder::Decode(const uint8_t* data, int length) {
    if (!m_context || !data || length <= 0 || length > kMaxFrameBytes) {
        return FAILED;
    }
    if (m_waitKey) {
        if (!HasIdr(data, length)) {
            return SKIPPED;
        }
        // Whatever the decoder kept belongs to the broken stretch.
        avcodec_flush_buffers(m_context);
    }
    // The parser may read a little past the end of the bytes.
    const int need = length + AV_INPUT_BUFFER_PADDING_SIZE;
    if (need > m_paddedSize) {
        av_freep(&m_padded);
        m_padded = static_cast<uint8_t*>(av_malloc(need));
        m_paddedSize = m_padded ? need : 0;
        if (!m_padded) {
            return FAILED;
        }
    }
    std::memcpy(m_padded, data, length);
    std::memset(m_padded + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    m_packet->data = m_padded;
    m_packet->size = length;
    int rc = avcodec_send_packet(m_context, m_packet);
    m_packet->data = nullptr;
    m_packet->size = 0;
    bool got = false;
    while (rc >= 0) {
        rc = avcodec_receive_frame(m_context, m_frame);
        if (rc < 0) {
            break;
        }
        const bool damaged = m_frame->decode_error_flags != 0 ||
                             (m_frame->flags & AV_FRAME_FLAG_CORRUPT) != 0 ||
                             m_frame->format != AV_PIX_FMT_YUV420P;
        if (damaged) {
            av_frame_unref(m_frame);
            m_waitKey = true;
            return FAILED;
        }
        av_frame_unref(m_picture);
        av_frame_move_ref(m_picture, m_frame);
        got = true;
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
        m_waitKey = true;
        return FAILED;
    }
    if (!got) {
        // Low delay gives a picture for every frame; a frame without one was not a picture.
        m_waitKey = true;
        return FAILED;
    }
    m_waitKey = false;
    return DECODED;
}
