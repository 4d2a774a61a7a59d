// Recording and play-out.
//
//   BM_RecordThroughTheGraph/1  four minutes (a song's length, what users of a singing room
//                               record) of the pattern's picture (15 frames a second, a key
//                               frame every two seconds) and of GSM 6.10 sound (25 blocks a
//                               second), handed as copy-data messages to the AVI writer's source
//                               windows, written through its graph; the graph built, run,
//                               stopped and released as a recording does.
//   BM_LibavformatAlone/1       libavformat's AVI muxer alone writing the same packets to a file:
//                               the same input (the frame packets as the camera sends them, whose
//                               H.264 bytes it takes out of the packet, and the sound blocks), the
//                               same streams and muxer options, each packet written from where
//                               its bytes are (no copy, as the graph's muxer writes them), the
//                               file's opening and closing counted. The goal: the graph within
//                               10 % of this.
//   .../0                       the same with nothing recorded: the fixed cost of one recording.
//   BM_PlayOutPerFrame          a minute's recording played by the file player, each frame's
//                               message built into a frame packet and decoded as the recorder's
//                               display does.
//
// Costs are the process's CPU time (the graphs work on threads of their own), per second of media
// recorded and per frame played. Medians of three runs on the 2-core build machine, before and
// after the work below side by side:
//
//                                        graph            libavformat alone
//   recording, µs per media second       8.9 (was 20.7)   6.7      1.33 times (was 3.2)
//   fixed cost of a recording, µs        327              151
//   per packet, ns                       189              152
//   play-out, µs per frame               242 (was 228: its path is untouched; runs vary by 30 %)
//
// What bought it, each step measured against the step before:
// - The source filter packs its packets, thirty at a time, into one buffer that the multiplexer
//   writes packet by packet from where they lie: one allocation, copy, push, lock and map for
//   thirty packets rather than for each (graph 24.3 -> 12.6, about half). Pushing buffer lists
//   instead had bought 5 %, as every packet still had its buffer, map and references.
// - A sender remembers the windows it found while no window comes or goes, so a message no longer
//   takes the window table's lock and searches it (11.7 -> 9.9).
// - Sound blocks are placed by their count without a clock read; the clock's base time is taken
//   when the graph plays, not with every picture; a packet is packed with one resize and two
//   copies (each 2-3 %, inside the noise of one run).
// The bench had copied every packet into an AVPacket of its own on libavformat's side, half of
// that side's cost (15.5 against 7.8 µs then); libavformat alone now writes from the packets'
// memory as the graph's muxer does. Against the copying side the graph now costs less.
//
// What bounds the rest, per four-minute recording (profile): the source's lock, taken for each
// packet (~115 µs); the graph clock's reading for every picture (~105 µs); the packing and the
// batch's copy into its buffer (~100 µs); the file's bytes copied into buffers for the file
// writer (~35 µs); the graph's own fixed cost, its build, start, end-of-stream handshake and
// release (~175 µs beyond libavformat's opening and closing). A recording releases its graph when
// it stops, so each recording builds its own. The 10 % is 160 µs for the whole file, 17 ns a
// packet: less than the graph's fixed cost alone, and less than one lock and one clock read a
// packet. The goal cannot be met by a graph whose packets arrive as window messages, are stamped
// from the graph's clock and enter filters that lock; what is left is that structure's own price.

#include "media/AviRecord.h"
#include "media/FilterWindow.h"
#include "media/MakerFilters.h"
#include "media/VideoFileClient.h"
#include "protocol/KParam.h"
#include "protocol/keys/VideoKeys.h"
#include "tests/video/VideoTestSupport.h"
#include "video/VideoClientH264.h"
#include "video/VideoServerH264.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace {

constexpr int kSeconds = 240;
// The pictures are one encoded minute, played again; key frames fall every two seconds still.
constexpr int kEncodedSeconds = 60;
constexpr int kFps = 15;
constexpr int kBlocksPerSecond = 25;
constexpr int kGsmBlock = 65;

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct tagMedia {
    std::vector<QByteArray> framePackets;  // whole frame packets, as the camera sends them
    std::vector<tagEncodedFrame> frames;
    QByteArray block;  // one GSM 6.10 block
};

const tagMedia& Media() {
    static const tagMedia media = [] {
        tagMedia m;
        std::vector<int> keys;
        for (int i = 0; i < kEncodedSeconds * kFps; i += 2 * kFps) {
            keys.push_back(i);
        }
        const std::vector<tagEncodedFrame> minute =
            tavotest::EncodePattern(kEncodedSeconds * kFps, keys);
        for (int i = 0; i < kSeconds * kFps; ++i) {
            m.frames.push_back(minute[static_cast<size_t>(i) % minute.size()]);
            m.framePackets.push_back(CVideoServerH264::FramePacket(176, m.frames.back().key, i + 1,
                                                                   m.frames.back().bytes));
        }
        // Any 65 bytes stand for a block: the muxer does not look inside.
        m.block = QByteArray(kGsmBlock, '\x5a');
        return m;
    }();
    return media;
}

// The packets of that many seconds in the order a recording hands them over: per 1/75 s,
// video then sound.
template <typename FVideo, typename FAudio>
void Interleave(FVideo video, FAudio audio, int seconds = kSeconds) {
    size_t v = 0, a = 0;
    const size_t frames = static_cast<size_t>(seconds * kFps);
    const size_t blocks = static_cast<size_t>(seconds * kBlocksPerSecond);
    for (int tick = 0; v < frames || a < blocks; ++tick) {
        // 75 ticks a second: every 5th a frame (15/s), every 3rd a block (25/s).
        if (tick % 5 == 0 && v < frames) {
            video(v++);
        }
        if (tick % 3 == 0 && a < blocks) {
            audio(a++);
        }
    }
}

void BM_RecordThroughTheGraph(benchmark::State& state) {
    const tagMedia& m = Media();
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("graph.avi"));
    for (auto _ : state) {
        const double cpu = ProcessCpuSeconds();
        CAviRecord writer;
        int32_t video = 0, audio = 0;
        if (writer.Create(nullptr, {0, 0, 176, 144}, video, audio, path) != 0 ||
            writer.Start() != 0 || writer.SetFileName(path) != 0 || writer.Run() != 0) {
            state.SkipWithError("the writer's graph did not run");
            return;
        }
        if (state.range(0) != 0) {
            Interleave(
                [&](size_t i) {
                    CFilterWindow::SendCopyData(video, TAG_SOURCE_FRAME, m.framePackets[i]);
                },
                [&](size_t) { CFilterWindow::SendCopyData(audio, TAG_SOURCE_AUDIO, m.block); });
        }
        if (writer.Stop() != 0) {
            state.SkipWithError("the file was not completed");
            return;
        }
        writer.Close();
        state.SetIterationTime((ProcessCpuSeconds() - cpu) / kSeconds);
    }
    state.counters["file_bytes"] = static_cast<double>(QFileInfo(path).size());
}
// Argument 1: the four minutes of media; 0: the graph built, run and stopped with nothing in it
// (the fixed cost of a recording, also per media second of the four minutes).
BENCHMARK(BM_RecordThroughTheGraph)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMicrosecond);

void BM_LibavformatAlone(benchmark::State& state) {
    const tagMedia& m = Media();
    QTemporaryDir dir;
    const QByteArray path = QDir(dir.path()).filePath(QStringLiteral("alone.avi")).toUtf8();
    for (auto _ : state) {
        const double cpu = ProcessCpuSeconds();
        AVFormatContext* context = nullptr;
        avformat_alloc_output_context2(&context, nullptr, "avi", path.constData());
        AVStream* vs = avformat_new_stream(context, nullptr);
        vs->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        vs->codecpar->codec_id = AV_CODEC_ID_H264;
        vs->codecpar->codec_tag = MKTAG('H', '2', '6', '4');
        vs->codecpar->width = 176;
        vs->codecpar->height = 144;
        vs->time_base = AVRational{1, 30};
        vs->avg_frame_rate = AVRational{30, 1};
        AVStream* as = avformat_new_stream(context, nullptr);
        as->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
        as->codecpar->codec_id = AV_CODEC_ID_GSM_MS;
        as->codecpar->codec_tag = 0x0031;
        as->codecpar->sample_rate = 8000;
        av_channel_layout_default(&as->codecpar->ch_layout, 1);
        as->codecpar->block_align = kGsmBlock;
        as->codecpar->frame_size = 320;
        as->codecpar->bit_rate = 13000;
        as->time_base = AVRational{1, 8000};
        avio_open(&context->pb, path.constData(), AVIO_FLAG_WRITE);
        context->flush_packets = 0;
        if (avformat_write_header(context, nullptr) < 0) {
            state.SkipWithError("no header");
            return;
        }
        AVPacket* packet = av_packet_alloc();
        const auto write = [&](int stream, const char* bytes, int length, int64_t pts, bool key,
                               AVRational base) {
            // Written from where the bytes are, without a copy, as the graph's muxer does.
            packet->data = reinterpret_cast<uint8_t*>(const_cast<char*>(bytes));
            packet->size = length;
            packet->stream_index = stream;
            packet->pts = packet->dts = pts;
            packet->flags = key ? AV_PKT_FLAG_KEY : 0;
            av_packet_rescale_ts(packet, base, context->streams[stream]->time_base);
            av_write_frame(context, packet);
            av_packet_unref(packet);
        };
        Interleave(
            [&](size_t i) {
                if (state.range(0) == 0) {
                    return;
                }
                CKParam frame;
                bool key = false;
                char* bytes = nullptr;
                unsigned short length = 0;
                if (frame.SetBufferPtr(m.framePackets[i].constData(),
                                       static_cast<int>(m.framePackets[i].size())) == 0 &&
                    frame.GetBoolean(VideoFrameKey::KEY, key) == 0 &&
                    frame.GetCharNC(VideoFrameKey::DATA, &bytes, length) == 0) {
                    write(0, bytes, length, static_cast<int64_t>(i) * 2, key, AVRational{1, 30});
                }
            },
            [&](size_t i) {
                if (state.range(0) == 0) {
                    return;
                }
                write(1, m.block.constData(), static_cast<int>(m.block.size()),
                      static_cast<int64_t>(i) * 320, true, AVRational{1, 8000});
            });
        av_write_trailer(context);
        av_packet_free(&packet);
        avio_closep(&context->pb);
        avformat_free_context(context);
        state.SetIterationTime((ProcessCpuSeconds() - cpu) / kSeconds);
    }
}
// Arguments as above: 0 is a file opened and closed with nothing in it.
BENCHMARK(BM_LibavformatAlone)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMicrosecond);

// The recorder's display: each frame message becomes a frame packet and is decoded.
class CPlayedFrames : public CFilterWindow {
public:
    CPlayedFrames() {
        CreateMessageWindow(QStringLiteral("bench play-out"));
        IVideoSurface* window = nullptr;
        m_display.Create(nullptr, {0, 0, 176, 144}, {0, 0, 176, 144}, window);
        m_display.Open();
        m_display.Start();
    }
    int frames = 0;

protected:
    void OnCopyData(unsigned tag, const QByteArray& data) override {
        tagPlayFrameHeader header;
        if (tag != TAG_PLAY_FRAME || data.size() < static_cast<qsizetype>(sizeof header)) {
            return;
        }
        std::memcpy(&header, data.constData(), sizeof header);
        const QByteArray bytes = data.mid(sizeof header, header.length);
        const QByteArray packet = CVideoServerH264::FramePacket(
            static_cast<int>(header.flags >> 16), (header.flags & 1u) != 0, ++frames, bytes);
        benchmark::DoNotOptimize(packet.size());
        m_display.DecodeBuffer(bytes.constData(), static_cast<int>(bytes.size()));
    }

private:
    CVideoClientH264 m_display;
};

void BM_PlayOutPerFrame(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("play.avi"));
    {
        // The file to play: the graph's own recording of a minute of the packets above.
        const tagMedia& m = Media();
        CAviRecord writer;
        int32_t video = 0, audio = 0;
        writer.Create(nullptr, {0, 0, 176, 144}, video, audio, path);
        writer.Start();
        writer.SetFileName(path);
        writer.Run();
        Interleave(
            [&](size_t i) {
                CFilterWindow::SendCopyData(video, TAG_SOURCE_FRAME, m.framePackets[i]);
            },
            [&](size_t) { CFilterWindow::SendCopyData(audio, TAG_SOURCE_AUDIO, m.block); },
            kEncodedSeconds);
        writer.Stop();
    }
    for (auto _ : state) {
        CPlayedFrames frames;
        CVideoFileClient player;
        int width = 0, height = 0;
        if (player.Create(nullptr, {0, 0, 176, 144}, path, frames.Handle(), width, height) != 0) {
            state.SkipWithError("the recording does not play");
            return;
        }
        const double cpu = ProcessCpuSeconds();
        player.Run();
        // The file plays at its own pace; the cost is what the process spends meanwhile,
        // waiting for the frames' messages rather than spinning.
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (player.Position() >= player.Duration()) {
                loop.quit();
            }
        });
        poll.start(50);
        loop.exec();
        QCoreApplication::processEvents();
        const double spent = ProcessCpuSeconds() - cpu;
        player.Close();
        if (frames.frames == 0) {
            state.SkipWithError("no frame was played");
            return;
        }
        state.counters["frames"] = frames.frames;
        state.SetIterationTime(spent / frames.frames);
    }
}
BENCHMARK(BM_PlayOutPerFrame)->UseManualTime()->Iterations(2)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
