// What live video costs and how late it is.
//
//   BM_EncodeAndWrap       one QCIF picture of the test pattern: our encoder, the frame packet
//                          and the room video packet (470) around it, as the sender and the
//                          room make them.
//   BM_X264Alone           libx264 alone with the same settings on the same pictures.
//   BM_Decode              one frame through our decoder (the padded copy and the key-frame
//                          check included).
//   BM_AvcodecAlone        libavcodec alone with the same settings on the same frames.
//   BM_DecodeAndDraw       what a receiver does per frame: decoding and the 32-bit picture
//                          handed to its surface.
//   BM_GlassToGlass        the test-pattern camera at 15 frames a second, sent as a holder of
//                          video 1 through the reference service over loopback to another
//                          member, decoded and drawn: from the moment the camera took a
//                          picture to the moment it was drawn, median and 99th percentile in
//                          milliseconds, and the frame interval beside them.

#include "platform/MessageWindow.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "protocol/keys/VideoKeys.h"
#include "tests/support/ServiceHarness.h"
#include "tests/video/VideoTestSupport.h"
#include "video/FrameTimes.h"
#include "video/H264Decoder.h"
#include "video/H264Encoder.h"
#include "video/VideoClientH264.h"
#include "video/VideoServerH264.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <x264.h>
}

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <vector>

using namespace tavotest;

namespace {

constexpr int kPictures = 64;
constexpr int kFps = 15;

const std::vector<tagI420Picture>& Pictures() {
    static const auto pictures = PatternI420(kPictures, 176, 144);
    return pictures;
}

// The frames of the decoding benchmarks: a key frame every two seconds, as the sender makes.
const std::vector<tagEncodedFrame>& Frames() {
    static const auto frames = EncodePattern(kPictures, {0, 2 * kFps});
    return frames;
}

QByteArray RoomPacket(const QByteArray& frame, bool key) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, CMD_VIDEO);
    p.SetInt(VideoKey::SLOT, 1);
    p.SetInt(VideoKey::ONE, 1);
    p.SetBoolean(VideoKey::KEY_FRAME, key);
    p.SetChar(VideoKey::FRAME, frame.constData(), static_cast<unsigned short>(frame.size()));
    p.SetCString(VideoKey::SENDER, QStringLiteral("bob"));
    p.SetCString(VideoKey::VIEWERS, QString());
    return QByteArray(p.GetBufferPtr(), p.GetLength());
}

void BM_EncodeAndWrap(benchmark::State& state) {
    CH264Encoder encoder;
    encoder.Open(176, 144, kFps);
    size_t i = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        const tagI420Picture& picture = Pictures()[i % kPictures];
        tagEncodedFrame frame;
        encoder.Encode(picture, i % (2 * kFps) == 0, frame);
        const QByteArray packet = RoomPacket(
            CVideoServerH264::FramePacket(176, frame.key, static_cast<int>(i), frame.bytes),
            frame.key);
        bytes += packet.size();
        benchmark::DoNotOptimize(packet.constData());
        ++i;
    }
    state.counters["bytes_per_frame"] = double(bytes) / double(std::max<size_t>(i, 1));
}
BENCHMARK(BM_EncodeAndWrap)->Unit(benchmark::kMicrosecond);

void BM_X264Alone(benchmark::State& state) {
    // The encoder's own settings, made here without it.
    x264_param_t p;
    x264_param_default_preset(&p, "veryfast", "zerolatency");
    p.i_width = 176;
    p.i_height = 144;
    p.i_csp = X264_CSP_I420;
    p.i_fps_num = kFps;
    p.i_fps_den = 1;
    p.i_timebase_num = 1;
    p.i_timebase_den = kFps;
    p.i_threads = 1;
    p.b_sliced_threads = 0;
    p.i_log_level = X264_LOG_NONE;
    p.i_keyint_max = 2 * kFps;
    p.i_keyint_min = 1;
    p.i_scenecut_threshold = 0;
    p.b_repeat_headers = 1;
    p.b_annexb = 1;
    p.rc.i_rc_method = X264_RC_CRF;
    p.rc.f_rf_constant = 23;
    p.rc.i_vbv_max_bitrate = 320;
    p.rc.i_vbv_buffer_size = 120;
    x264_param_apply_profile(&p, "baseline");
    x264_t* x264 = x264_encoder_open(&p);
    size_t i = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        tagI420Picture& picture = const_cast<tagI420Picture&>(Pictures()[i % kPictures]);
        x264_picture_t in;
        x264_picture_init(&in);
        in.img.i_csp = X264_CSP_I420;
        in.img.i_plane = 3;
        for (int k = 0; k < 3; ++k) {
            in.img.plane[k] = picture.Plane(k);
            in.img.i_stride[k] = picture.Stride(k);
        }
        in.i_type = i % (2 * kFps) == 0 ? X264_TYPE_IDR : X264_TYPE_AUTO;
        in.i_pts = static_cast<int64_t>(i);
        x264_picture_t out;
        x264_nal_t* nals = nullptr;
        int count = 0;
        bytes += x264_encoder_encode(x264, &nals, &count, &in, &out);
        benchmark::DoNotOptimize(nals);
        ++i;
    }
    x264_encoder_close(x264);
    state.counters["bytes_per_frame"] = double(bytes) / double(std::max<size_t>(i, 1));
}
BENCHMARK(BM_X264Alone)->Unit(benchmark::kMicrosecond);

void BM_Decode(benchmark::State& state) {
    CH264Decoder decoder;
    decoder.Open();
    size_t i = 0;
    for (auto _ : state) {
        const QByteArray& bytes = Frames()[i % kPictures].bytes;
        benchmark::DoNotOptimize(decoder.Decode(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                                static_cast<int>(bytes.size())));
        ++i;
    }
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMicrosecond);

void BM_AvcodecAlone(benchmark::State& state) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    context->thread_count = 1;
    context->err_recognition |= AV_EF_EXPLODE | AV_EF_CRCCHECK | AV_EF_BITSTREAM;
    avcodec_open2(context, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    // The frames with the padding the decoder needs, made once.
    std::vector<QByteArray> padded;
    for (const tagEncodedFrame& f : Frames()) {
        padded.push_back(f.bytes + QByteArray(AV_INPUT_BUFFER_PADDING_SIZE, '\0'));
    }
    size_t i = 0;
    for (auto _ : state) {
        const QByteArray& bytes = padded[i % kPictures];
        packet->data = reinterpret_cast<uint8_t*>(const_cast<char*>(bytes.constData()));
        packet->size = static_cast<int>(bytes.size()) - AV_INPUT_BUFFER_PADDING_SIZE;
        avcodec_send_packet(context, packet);
        while (avcodec_receive_frame(context, frame) == 0) {
            benchmark::DoNotOptimize(frame->data[0]);
        }
        ++i;
    }
    packet->data = nullptr;
    packet->size = 0;
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
}
BENCHMARK(BM_AvcodecAlone)->Unit(benchmark::kMicrosecond);

class CNoSurface : public IVideoSurface {
public:
    void DrawPicture(const tagVideoPicture& picture) override {
        benchmark::DoNotOptimize(&picture);
    }
};

void BM_DecodeAndDraw(benchmark::State& state) {
    CNoSurface surface;
    CVideoClientH264 receiver;
    IVideoSurface* window = nullptr;
    const tagVideoRect rect{0, 0, 176, 144};
    receiver.Create(&surface, rect, rect, window);
    receiver.Open();
    receiver.Start();
    size_t i = 0;
    for (auto _ : state) {
        const QByteArray& bytes = Frames()[i % kPictures].bytes;
        receiver.DecodeBuffer(bytes.constData(), static_cast<int>(bytes.size()));
        ++i;
    }
}
BENCHMARK(BM_DecodeAndDraw)->Unit(benchmark::kMicrosecond);

// --- Glass to glass ------------------------------------------------------------------------

// The sender's notification window: each frame packet goes out as the room sends it.
class CSendingWindow : public CMessageWindow {
public:
    explicit CSendingWindow(CTestConnection& second) : m_second(second) {
        CreateMessageWindow(QStringLiteral("sender"));
    }
    ~CSendingWindow() override { DestroyMessageWindow(); }

protected:
    void OnCopyData(unsigned tag, const QByteArray& data) override {
        if (tag != CVideoServerH264::TAG_FRAME) {
            return;
        }
        CKParam frame;
        frame.SetBufferPtr(data.constData(), static_cast<int>(data.size()));
        const QByteArray bytes = RoomPacket(data, frame.BoolOr(VideoFrameKey::KEY, false));
        CKParam packet;
        packet.SetBufferPtr(bytes.constData(), static_cast<int>(bytes.size()));
        m_second.Send(packet);
    }

private:
    CTestConnection& m_second;
};

class CTimingSurface : public IVideoSurface {
public:
    void DrawPicture(const tagVideoPicture&) override { drawnNs = MonotonicNs(); }
    int64_t drawnNs = -1;
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t at =
        std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5));
    return values[at];
}

void BM_GlassToGlass(benchmark::State& state) {
    CScopedEnv camera("TAVO_VIDEO_SOURCE", PatternSource(kFps).toUtf8());
    CServiceHarness h;
    auto singer =
        h.Enter(1002, QStringLiteral("bob"), QStringLiteral("bob123"), QStringLiteral("M-B"));
    auto viewer = h.Enter(1002, QStringLiteral("fan"), QString(), QStringLiteral("M-F"));
    CKParam grab = Packet(CMD_GRAB_MIC);
    if (!singer || !viewer || RoomRequest(singer->main, grab) != 0) {
        state.SkipWithError("the room could not be entered");
        return;
    }
    CSendingWindow window(singer->second);
    CVideoServerH264 sender;
    const tagVideoRect large{0, 0, 352, 288};
    const tagVideoRect small{0, 0, 176, 144};
    if (sender.Create(nullptr, large, small, small, &window, 1) != 0) {
        state.SkipWithError("no camera");
        return;
    }
    sender.Open();
    sender.SetFrameRate(kFps);
    sender.Start();
    sender.EnableSmallWindow(true);

    CTimingSurface surface;
    CVideoClientH264 receiver;
    IVideoSurface* drawn = nullptr;
    receiver.Create(&surface, small, small, drawn);
    receiver.Open();
    receiver.Start();

    constexpr int kFrames = 150;
    std::vector<double> latencies;
    QElapsedTimer clock;
    clock.start();
    int64_t advanced = 0;
    size_t seen = 0;
    for (auto _ : state) {
        while (latencies.size() < kFrames && clock.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            // The service's clock keeps up with the real one.
            const int64_t now = clock.elapsed();
            h.Clock().Advance(now - advanced);
            advanced = now;
            const auto packets = viewer->second.All(CMD_VIDEO);
            for (; seen < packets.size(); ++seen) {
                CKParam p;
                packets[seen].Load(p);
                char* data = nullptr;
                unsigned short n = 0;
                CKParam frame;
                if (p.GetCharNC(VideoKey::FRAME, &data, n) != 0 ||
                    frame.SetBufferPtr(data, n) != 0) {
                    continue;
                }
                char* h264 = nullptr;
                unsigned short length = 0;
                const int number = frame.IntOr(VideoFrameKey::NUMBER, -1);
                if (frame.GetCharNC(VideoFrameKey::DATA, &h264, length) != 0) {
                    continue;
                }
                surface.drawnNs = -1;
                receiver.DecodeBuffer(h264, length);
                const int64_t captured = CFrameTimes::Senders().CapturedAt(number);
                if (surface.drawnNs > 0 && captured > 0) {
                    latencies.push_back(double(surface.drawnNs - captured) / 1e6);
                }
            }
            viewer->second.received.clear();
            seen = 0;
        }
    }
    sender.Stop();
    sender.Close();
    sender.Release();
    state.counters["frames"] = double(latencies.size());
    state.counters["median_ms"] = Percentile(latencies, 0.5);
    state.counters["p99_ms"] = Percentile(latencies, 0.99);
    state.counters["interval_ms"] = 1000.0 / kFps;
}
BENCHMARK(BM_GlassToGlass)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
