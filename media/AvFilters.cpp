#include "media/AvFilters.h"

#include "media/LogicElement.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

GstCaps* GsmCaps() {
    return gst_caps_new_simple("audio/ms-gsm", "rate", G_TYPE_INT, 8000, "channels", G_TYPE_INT, 1,
                               nullptr);
}

GstCaps* SpeechCaps() {
    return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "rate", G_TYPE_INT,
                               8000, "channels", G_TYPE_INT, 1, "layout", G_TYPE_STRING,
                               "interleaved", nullptr);
}

GstCaps* H264Caps() {
    return gst_caps_new_empty_simple("video/x-h264");
}

GstCaps* PacketsCaps(const GstCaps* media) {
    GstStructure* fields = gst_structure_copy(gst_caps_get_structure(media, 0));
    gst_structure_set(fields, "media", G_TYPE_STRING, gst_structure_get_name(fields), nullptr);
    gst_structure_set_name(fields, "application/x-tavo-packets");
    return gst_caps_new_full(fields, nullptr);
}

namespace {

// 16-bit speech in, one GSM 6.10 block out for every 320 samples.
class CGsmCompressor : public CElementLogic {
public:
    ~CGsmCompressor() override {
        avcodec_free_context(&m_codec);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
    }

    void Build() override {
        AddInput("sink", SpeechCaps());
        AddOutput("src", GsmCaps());
    }

    GstFlowReturn OnBuffer(int, GstBuffer* buffer) override {
        if (!m_codec && !Open()) {
            gst_buffer_unref(buffer);
            return GST_FLOW_NOT_NEGOTIATED;
        }
        if (!GST_CLOCK_TIME_IS_VALID(m_firstPts) && GST_BUFFER_PTS_IS_VALID(buffer)) {
            m_firstPts = GST_BUFFER_PTS(buffer);
        }
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto* samples = reinterpret_cast<const int16_t*>(map.data);
            m_pending.insert(m_pending.end(), samples, samples + map.size / 2);
            gst_buffer_unmap(buffer, &map);
        }
        gst_buffer_unref(buffer);
        GstFlowReturn flow = GST_FLOW_OK;
        size_t used = 0;
        while (flow == GST_FLOW_OK && m_pending.size() - used >= kGsmBlockSamples) {
            flow = Encode(m_pending.data() + used);
            used += kGsmBlockSamples;
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(used));
        return flow;
    }

    void OnEndOfStream(int) override { EndOutput(); }

    void OnReset() override {
        m_pending.clear();
        m_blocks = 0;
        m_firstPts = GST_CLOCK_TIME_NONE;
    }

private:
    bool Open() {
        const AVCodec* codec = avcodec_find_encoder_by_name("libgsm_ms");
        if (!codec) {
            return false;
        }
        m_codec = avcodec_alloc_context3(codec);
        m_codec->sample_rate = 8000;
        m_codec->sample_fmt = AV_SAMPLE_FMT_S16;
        av_channel_layout_default(&m_codec->ch_layout, 1);
        m_codec->bit_rate = 13000;
        if (avcodec_open2(m_codec, codec, nullptr) < 0) {
            avcodec_free_context(&m_codec);
            return false;
        }
        m_frame = av_frame_alloc();
        m_packet = av_packet_alloc();
        GstCaps* caps = GsmCaps();
        StartOutput(caps, GST_FORMAT_TIME);
        gst_caps_unref(caps);
        return true;
    }

    GstFlowReturn Encode(const int16_t* samples) {
        m_frame->nb_samples = kGsmBlockSamples;
        m_frame->format = AV_SAMPLE_FMT_S16;
        m_frame->sample_rate = 8000;
        av_channel_layout_default(&m_frame->ch_layout, 1);
        if (av_frame_get_buffer(m_frame, 0) < 0) {
            return GST_FLOW_ERROR;
        }
        std::memcpy(m_frame->data[0], samples, kGsmBlockSamples * 2);
        int sent = avcodec_send_frame(m_codec, m_frame);
        av_frame_unref(m_frame);
        if (sent < 0) {
            return GST_FLOW_ERROR;
        }
        GstFlowReturn flow = GST_FLOW_OK;
        while (flow == GST_FLOW_OK && avcodec_receive_packet(m_codec, m_packet) == 0) {
            GstBuffer* out = gst_buffer_new_memdup(m_packet->data, m_packet->size);
            const GstClockTime start = GST_CLOCK_TIME_IS_VALID(m_firstPts) ? m_firstPts : 0;
            GST_BUFFER_PTS(out) = start + gst_util_uint64_scale(m_blocks, GST_SECOND * 320, 8000);
            GST_BUFFER_DURATION(out) = GST_SECOND * 320 / 8000;
            ++m_blocks;
            av_packet_unref(m_packet);
            flow = Push(out);
        }
        return flow;
    }

    AVCodecContext* m_codec = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    std::vector<int16_t> m_pending;
    uint64_t m_blocks = 0;
    GstClockTime m_firstPts = GST_CLOCK_TIME_NONE;
};

// H.264 and GSM 6.10 in, the bytes of an AVI file out. The file is written through a byte
// stream whose seeks move the file writer's position, so the muxer can go back and fill in
// its headers and index at the end.
class CAviMux : public CElementLogic {
public:
    ~CAviMux() override {
        Free();
        av_packet_free(&m_packet);
    }

    void Build() override {
        GstCaps* accepts = gst_caps_merge(H264Caps(), GsmCaps());
        accepts = gst_caps_merge(accepts, gst_caps_new_empty_simple("application/x-tavo-packets"));
        AddInput("sink_0", gst_caps_ref(accepts));
        AddInput("sink_1", accepts);
        AddOutput("src", gst_caps_new_empty_simple("video/x-msvideo"));
        m_inputs.resize(2);
    }

    bool OnCaps(int input, GstCaps* caps) override { return Learn(m_inputs[input], caps); }

    GstFlowReturn OnBuffer(int input, GstBuffer* buffer) override {
        if (m_failed) {
            gst_buffer_unref(buffer);
            return GST_FLOW_ERROR;
        }
        if (!m_context) {
            if (!ReadyForHeader()) {
                m_waiting.push_back({input, buffer});
                return GST_FLOW_OK;
            }
            if (!WriteHeader()) {
                gst_buffer_unref(buffer);
                m_failed = true;
                GST_ELEMENT_ERROR(Element(), RESOURCE, WRITE, ("the AVI header cannot be written"),
                                  (nullptr));
                return GST_FLOW_ERROR;
            }
            for (auto& [waitingInput, waiting] : m_waiting) {
                Write(waitingInput, waiting);
            }
            m_waiting.clear();
        }
        return Write(input, buffer);
    }

    void OnEndOfStream(int input) override {
        m_inputs[input].ended = true;
        for (int i = 0; i < InputCount(); ++i) {
            if (InputLinked(i) && !m_inputs[i].ended) {
                return;
            }
        }
        Finish();
    }

    void OnReset() override { Free(); }

private:
    struct tagInput {
        bool known = false;
        bool video = false;
        int width = 0;
        int height = 0;
        bool packed = false;
        bool ended = false;
        int stream = -1;
        int64_t firstPts = -1;
        int64_t lastDts = -1;
        int64_t blocks = 0;
    };

    static bool Learn(tagInput& in, GstCaps* caps) {
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        if (!s) {
            return false;
        }
        // Packets that come together are of the media the caps name.
        const char* media = gst_structure_get_name(s);
        in.packed = gst_structure_has_name(s, "application/x-tavo-packets");
        if (in.packed) {
            media = gst_structure_get_string(s, "media");
            if (!media) {
                return false;
            }
        }
        if (g_str_equal(media, "video/x-h264")) {
            in.video = true;
            gst_structure_get_int(s, "width", &in.width);
            gst_structure_get_int(s, "height", &in.height);
        } else if (g_str_equal(media, "audio/ms-gsm")) {
            in.video = false;
        } else {
            return false;
        }
        in.known = true;
        return true;
    }

    bool ReadyForHeader() {
        for (int i = 0; i < InputCount(); ++i) {
            if (!InputLinked(i) || m_inputs[i].known) {
                continue;
            }
            GstCaps* caps = PeerCaps(i);
            const bool learnt = caps && Learn(m_inputs[i], caps);
            if (caps) {
                gst_caps_unref(caps);
            }
            if (!learnt) {
                return false;
            }
        }
        return true;
    }

    bool WriteHeader() {
        if (avformat_alloc_output_context2(&m_context, nullptr, "avi", nullptr) < 0) {
            return false;
        }
        for (tagInput& in : m_inputs) {
            if (!in.known) {
                continue;
            }
            AVStream* st = avformat_new_stream(m_context, nullptr);
            in.stream = st->index;
            AVCodecParameters* par = st->codecpar;
            if (in.video) {
                par->codec_type = AVMEDIA_TYPE_VIDEO;
                par->codec_id = AV_CODEC_ID_H264;
                par->codec_tag = MKTAG('H', '2', '6', '4');
                par->width = in.width > 0 ? in.width : 176;
                par->height = in.height > 0 ? in.height : 144;
                st->time_base = kVideoBase;
                st->avg_frame_rate = AVRational{kVideoBase.den, kVideoBase.num};
            } else {
                par->codec_type = AVMEDIA_TYPE_AUDIO;
                par->codec_id = AV_CODEC_ID_GSM_MS;
                par->codec_tag = 0x0031;  // WAVE_FORMAT_GSM610
                par->sample_rate = 8000;
                av_channel_layout_default(&par->ch_layout, 1);
                par->block_align = kGsmBlockBytes;
                par->frame_size = kGsmBlockSamples;
                par->bit_rate = 13000;
                st->time_base = AVRational{1, 8000};
            }
        }
        constexpr int kBufferBytes = 32768;
        auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
        m_context->pb = avio_alloc_context(buffer, kBufferBytes, 1, this, nullptr,
                                           &CAviMux::WriteBytes, &CAviMux::SeekBytes);
        if (!m_context->pb) {
            av_free(buffer);
            return false;
        }
        m_context->pb->seekable = AVIO_SEEKABLE_NORMAL;
        m_context->flush_packets = 0;
        GstCaps* caps = gst_caps_new_empty_simple("video/x-msvideo");
        StartOutput(caps, GST_FORMAT_BYTES);
        gst_caps_unref(caps);
        return avformat_write_header(m_context, nullptr) >= 0;
    }

    GstFlowReturn Write(int input, GstBuffer* buffer) {
        tagInput& in = m_inputs[input];
        GstMapInfo map;
        if (in.stream < 0 || !gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            gst_buffer_unref(buffer);
            return GST_FLOW_OK;
        }
        int written = 0;
        if (!in.packed) {
            const int64_t pts = GST_BUFFER_PTS_IS_VALID(buffer) ? GST_BUFFER_PTS(buffer) : 0;
            written = WritePacket(in, map.data, map.size, pts,
                                  !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT));
        } else {
            // Records run to the buffer's end; one that claims more bytes than are left ends
            // the buffer.
            size_t at = 0;
            tagPacketHead head;
            while (written >= 0 && map.size - at >= sizeof head) {
                std::memcpy(&head, map.data + at, sizeof head);
                at += sizeof head;
                if (head.length > map.size - at) {
                    break;
                }
                written = WritePacket(in, map.data + at, head.length,
                                      static_cast<int64_t>(head.pts), (head.flags & 1u) == 0);
                at += head.length;
            }
        }
        gst_buffer_unmap(buffer, &map);
        gst_buffer_unref(buffer);
        return written < 0 ? GST_FLOW_ERROR : GST_FLOW_OK;
    }

    int WritePacket(tagInput& in, const uint8_t* data, size_t size, int64_t pts, bool key) {
        if (!m_packet) {
            m_packet = av_packet_alloc();
        }
        // The muxer writes the bytes where they are; it keeps nothing of them.
        AVPacket* packet = m_packet;
        packet->data = const_cast<uint8_t*>(data);
        packet->size = static_cast<int>(size);
        packet->stream_index = in.stream;
        AVRational base;
        if (in.video) {
            // A picture's place follows the time it was taken, at a fixed rate; pictures the
            // camera skipped leave empty places, as AVI keeps them.
            if (in.firstPts < 0) {
                in.firstPts = pts;
            }
            int64_t dts = av_rescale_q(pts - in.firstPts, AVRational{1, GST_SECOND}, kVideoBase);
            dts = std::max(dts, in.lastDts + 1);
            in.lastDts = dts;
            packet->pts = packet->dts = dts;
            base = kVideoBase;
            if (key) {
                packet->flags |= AV_PKT_FLAG_KEY;
            }
        } else {
            packet->pts = packet->dts = in.blocks * kGsmBlockSamples;
            packet->duration = kGsmBlockSamples;
            in.blocks += 1;
            base = AVRational{1, 8000};
            packet->flags |= AV_PKT_FLAG_KEY;
        }
        av_packet_rescale_ts(packet, base, m_context->streams[in.stream]->time_base);
        const int written = av_write_frame(m_context, packet);
        av_packet_unref(packet);
        return written;
    }

    void Finish() {
        // A recording that got nothing is still a whole (empty) file.
        if (!m_context && !m_failed && ReadyForHeader() && !WriteHeader()) {
            m_failed = true;
        }
        if (m_context && !m_finished && !m_failed) {
            m_finished = true;
            av_write_trailer(m_context);
            avio_flush(m_context->pb);
        }
        if (!OutputStarted()) {
            GstCaps* caps = gst_caps_new_empty_simple("video/x-msvideo");
            StartOutput(caps, GST_FORMAT_BYTES);
            gst_caps_unref(caps);
        }
        EndOutput();
    }

    void Free() {
        for (auto& waiting : m_waiting) {
            gst_buffer_unref(waiting.second);
        }
        m_waiting.clear();
        if (m_context) {
            if (m_context->pb) {
                av_freep(&m_context->pb->buffer);
                avio_context_free(&m_context->pb);
            }
            avformat_free_context(m_context);
            m_context = nullptr;
        }
        m_inputs.assign(m_inputs.size(), tagInput{});
        m_position = 0;
        m_size = 0;
        m_finished = false;
        m_failed = false;
    }

    static int WriteBytes(void* opaque, uint8_t* data, int size) {
        auto* self = static_cast<CAviMux*>(opaque);
        GstBuffer* out = gst_buffer_new_memdup(data, static_cast<gsize>(size));
        GST_BUFFER_OFFSET(out) = self->m_position;
        self->m_position += static_cast<uint64_t>(size);
        self->m_size = std::max(self->m_size, self->m_position);
        return self->Push(out) == GST_FLOW_OK ? size : AVERROR(EIO);
    }

    static int64_t SeekBytes(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<CAviMux*>(opaque);
        int64_t target = 0;
        switch (whence & ~AVSEEK_FORCE) {
            case AVSEEK_SIZE:
                return static_cast<int64_t>(self->m_size);
            case SEEK_SET:
                target = offset;
                break;
            case SEEK_CUR:
                target = static_cast<int64_t>(self->m_position) + offset;
                break;
            case SEEK_END:
                target = static_cast<int64_t>(self->m_size) + offset;
                break;
            default:
                return AVERROR(EINVAL);
        }
        if (target < 0 || !self->SeekOutput(static_cast<uint64_t>(target))) {
            return AVERROR(EIO);
        }
        self->m_position = static_cast<uint64_t>(target);
        return target;
    }

    static constexpr AVRational kVideoBase{1, 30};

    std::vector<tagInput> m_inputs;
    std::vector<std::pair<int, GstBuffer*>> m_waiting;
    AVFormatContext* m_context = nullptr;
    AVPacket* m_packet = nullptr;
    uint64_t m_position = 0;
    uint64_t m_size = 0;
    bool m_finished = false;
    bool m_failed = false;
};

}  // namespace

GstElement* MakeGsmCompressor(const char* name) {
    return MakeLogicElement(name, std::make_unique<CGsmCompressor>());
}

GstElement* MakeAviMux(const char* name) {
    return MakeLogicElement(name, std::make_unique<CAviMux>());
}
