// What a speaking client spends on the real room road, per voice quality: a client in this
// process (start-up, hall, room 1001 of the reference service, which runs as a process of its
// own so its work is not counted here) holds the microphone while its capture object records
// from the WAV-file devices, encodes, builds the audio packets and sends them on the second
// room connection over loopback.
//
//   BM_RoomVoiceCpu/q      the recorder unpaced: CPU seconds of this whole process (device
//                          stand-in, capture thread, room core) per second of voice sent, and
//                          the capture thread's own share.
//   BM_RoomVoiceLatency/q  the recorder in real time: from the device reporting a completed
//                          block to the packet handed to the connection's send, mean and 99th
//                          percentile in milliseconds.
//   BM_RawEncode/q         the codec library alone on the same sound, for scale.

#include "audio/AudioFormats.h"
#include "audio/MyWaveIn.h"
#include "audio/RecordSource.h"
#include "bench/SpeechLike.h"
#include "platform/Clock.h"
#include "platform/audio/WavFile.h"
#include "platform/audio/WaveSystem.h"
#include "room/RoomAudio.h"
#include "tests/support/ClientHarness.h"

extern "C" {
#include <bcg729/encoder.h>
}
#include <lame/lame.h>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>
#include <random>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

using Clock = std::chrono::steady_clock;

tagWavData Voice(int rate, int channels, double seconds) {
    tagWavData wav;
    wav.rate = rate;
    wav.channels = channels;
    wav.samples = SpeechLike(rate, channels, seconds);
    return wav;
}

double BlockSeconds(int quality) {
    return quality == AUDIO_QUALITY_SPEECH ? 0.25 : 5760.0 / 22050;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// The moments the recorder reported completed blocks, oldest first.
class CCompletions {
public:
    void Completed(Clock::time_point at) {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_bOn)
            m_times.push_back(at);
    }
    // The oldest report not yet matched with a packet; false when there is none.
    bool Take(Clock::time_point& at) {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_times.empty())
            return false;
        at = m_times.front();
        m_times.pop_front();
        return true;
    }
    void Switch(bool on) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_bOn = on;
        m_times.clear();
    }

private:
    std::mutex m_mutex;
    std::deque<Clock::time_point> m_times;
    bool m_bOn = false;
};

CCompletions g_completions;
IWaveBackend* g_inner = nullptr;

// The WAV-file devices with a stopwatch on the recorder's reports: a backend of its own behind
// the same door, handing every call to the file backend underneath.
class CTimedBackend : public IWaveBackend {
public:
    explicit CTimedBackend(IWaveBackend& inner) : m_inner(inner) {}
    QString Name() const override { return QStringLiteral("timed"); }
    int InputDeviceCount() override { return m_inner.InputDeviceCount(); }
    int OutputDeviceCount() override { return m_inner.OutputDeviceCount(); }
    std::unique_ptr<CWaveInDevice> OpenInput(const tagWaveFormat& format, WaveCallback callback,
                                             int& error) override {
        return m_inner.OpenInput(
            format,
            [callback](EWaveMsg msg, tagWaveHeader* header) {
                if (msg == EWaveMsg::Data)
                    g_completions.Completed(Clock::now());
                callback(msg, header);
            },
            error);
    }
    std::unique_ptr<CWaveOutDevice> OpenOutput(const tagWaveFormat& format, WaveCallback callback,
                                               int& error) override {
        return m_inner.OpenOutput(format, std::move(callback), error);
    }
    IAudioMixer& Mixer() override { return m_inner.Mixer(); }

private:
    IWaveBackend& m_inner;
};

// The speaking client, in the room with the microphone, while the benchmarks run.
CVoiceClient* g_client = nullptr;
QTemporaryDir* g_dir = nullptr;

// Runs the event loop (without polling) until done() holds or the limit passes.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    QEventLoop loop;
    QTimer check;
    const auto end = Clock::now() + limit;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || Clock::now() >= end)
            loop.quit();
    });
    check.start(50);
    if (!done())
        loop.exec();
    return done();
}

// Speaks `seconds` of voice in a quality on the given pace; the blocks sent, and through
// onSent every packet's moment on the capture thread.
struct tagSession {
    int blocks = 0;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double captureThreadCpu = 0;
    std::vector<double> latencyMs;
    int unmatched = 0;
};

tagSession Speak(int quality, const QString& pace, double seconds, bool timeLatency) {
    tagSession session;
    const tagWaveFormat format = CaptureFormat(quality);
    const QString input = g_dir->filePath(QStringLiteral("voice-%1.wav").arg(quality));
    WriteWavFile(input, Voice(static_cast<int>(format.nSamplesPerSec), format.nChannels, seconds));
    CWaveSystem::Select("wav:lines=Stereo Mix,pace=" + pace + ",in=" + input);
    g_inner = &CWaveSystem::Current();
    CWaveSystem::Select(QStringLiteral("timed"));

    CMyWaveIn& capture = g_client->Audio().Capture();
    CVoiceTap& tap = g_client->Tap();
    const int expected = static_cast<int>(seconds * format.nSamplesPerSec * format.nBlockAlign) /
                         CaptureBlockBytes(quality);
    std::mutex mutex;
    double threadCpu = 0;
    tap.OnSent([&](Clock::time_point at) {
        std::lock_guard<std::mutex> guard(mutex);
        threadCpu = ThreadCpuSeconds();
        if (!timeLatency)
            return;
        Clock::time_point completed;
        if (g_completions.Take(completed))
            session.latencyMs.push_back(
                std::chrono::duration<double, std::milli>(at - completed).count());
        else
            ++session.unmatched;
    });
    const int sentBefore = tap.Sent();
    g_completions.Switch(timeLatency);
    capture.StopCapture();
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    capture.StartCapture(quality);
    // Every completed block is voice, so each becomes one packet.
    RunUntil([&] { return tap.Sent() - sentBefore >= expected; },
             std::chrono::milliseconds(static_cast<int>(seconds * 1000) + 20000));
    session.wallSeconds = std::chrono::duration<double>(Clock::now() - wall0).count();
    session.cpuSeconds = ProcessCpuSeconds() - cpu0;
    g_completions.Switch(false);
    tap.OnSent(nullptr);
    {
        std::lock_guard<std::mutex> guard(mutex);
        session.blocks = tap.Sent() - sentBefore;
        session.captureThreadCpu = threadCpu;
    }
    capture.StopCapture();
    return session;
}

void BM_RoomVoiceCpu(benchmark::State& state) {
    const int quality = static_cast<int>(state.range(0));
    // Starting the capture starts a new capture thread, whose clock starts at zero: its
    // reading at the last packet is its whole share.
    tagSession session;
    for (auto _ : state) {
        session = Speak(quality, QStringLiteral("fast"), 60.0, false);
        state.SetIterationTime(session.wallSeconds);
    }
    const double voice = session.blocks * BlockSeconds(quality);
    if (session.blocks == 0 || voice <= 0) {
        state.SkipWithError("no voice was sent");
        return;
    }
    state.counters["voice_s"] = voice;
    state.counters["cpu_s_per_voice_s"] = session.cpuSeconds / voice;
    state.counters["capture_thread_cpu_s_per_voice_s"] = session.captureThreadCpu / voice;
    state.counters["realtime_x"] = voice / session.wallSeconds;
}
BENCHMARK(BM_RoomVoiceCpu)
    ->DenseRange(1, 3)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_RoomVoiceLatency(benchmark::State& state) {
    const int quality = static_cast<int>(state.range(0));
    tagSession session;
    for (auto _ : state) {
        session = Speak(quality, QStringLiteral("real"), 15.0, true);
        state.SetIterationTime(session.wallSeconds);
    }
    std::vector<double>& ms = session.latencyMs;
    if (ms.empty()) {
        state.SkipWithError("no packet was matched with its block");
        return;
    }
    const double voice = session.blocks * BlockSeconds(quality);
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms) sum += v;
    const size_t p99 =
        std::min(ms.size() - 1, static_cast<size_t>(std::ceil(0.99 * ms.size())) - 1);
    state.counters["blocks"] = static_cast<double>(ms.size());
    state.counters["latency_mean_ms"] = sum / ms.size();
    state.counters["latency_p99_ms"] = ms[p99];
    state.counters["latency_max_ms"] = ms.back();
    state.counters["unmatched"] = session.unmatched;
    state.counters["cpu_s_per_voice_s"] = voice > 0 ? session.cpuSeconds / voice : 0;
}
BENCHMARK(BM_RoomVoiceLatency)
    ->DenseRange(1, 3)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The codec library alone, one block at a time, on the same sound.
void BM_RawEncode(benchmark::State& state) {
    const int quality = static_cast<int>(state.range(0));
    const tagWaveFormat format = CaptureFormat(quality);
    const tagWavData voice = Voice(static_cast<int>(format.nSamplesPerSec), format.nChannels, 10.0);
    const size_t values = static_cast<size_t>(CaptureBlockBytes(quality) / 2);
    const size_t blocks = voice.samples.size() / values;
    std::vector<short> block(values);
    std::vector<unsigned char> out(8192);
    int64_t i = 0;
    if (quality == AUDIO_QUALITY_SPEECH) {
        bcg729EncoderChannelContextStruct* enc = initBcg729EncoderChannel(0);
        for (auto _ : state) {
            std::copy_n(voice.samples.data() + (i++ % blocks) * values, values, block.begin());
            for (int f = 0; f < 25; ++f) {
                uint8_t n = 0;
                bcg729Encoder(enc, block.data() + f * 80, out.data() + f * 10, &n);
            }
            benchmark::DoNotOptimize(out.data());
        }
        closeBcg729EncoderChannel(enc);
    } else {
        lame_global_flags* gf = lame_init();
        lame_set_in_samplerate(gf, 22050);
        lame_set_num_channels(gf, 2);
        lame_set_out_samplerate(gf, 0);
        lame_set_mode(gf, JOINT_STEREO);
        lame_set_VBR(gf, vbr_off);
        lame_set_brate(gf, quality == AUDIO_QUALITY_HIFI ? 64 : 32);
        lame_set_disable_reservoir(gf, 1);
        lame_set_bWriteVbrTag(gf, 0);
        lame_init_params(gf);
        for (auto _ : state) {
            std::copy_n(voice.samples.data() + (i++ % blocks) * values, values, block.begin());
            int total = 0;
            for (int c = 0; c < 10; ++c)
                total += lame_encode_buffer_interleaved(gf, block.data() + c * 1152, 576,
                                                        out.data(), static_cast<int>(out.size()));
            benchmark::DoNotOptimize(total);
        }
        lame_close(gf);
    }
    // Seconds of one core per second of voice, comparable with the room road's figure.
    state.counters["cpu_s_per_voice_s"] =
        benchmark::Counter(BlockSeconds(quality), benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}
BENCHMARK(BM_RawEncode)->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    CClock::Slot().Install(&TheSystemClock());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CWaveSystem::Register(QStringLiteral("timed"), [](const QString&) {
        return std::unique_ptr<IWaveBackend>(new CTimedBackend(*g_inner));
    });
    QTemporaryDir dir;
    g_dir = &dir;
    // Voice faster than real time is many requests a second; the service is told to take them.
    CServiceProcess service(QStringLiteral(TAVO_SERVERD),
                            {"requests_per_second=100000", "request_burst=100000"});
    if (!service.Running()) {
        std::fprintf(stderr, "the service did not start:\n%s\n", qPrintable(service.Output()));
        return 1;
    }
    // Taking the microphone starts a capture in the room's quality; each benchmark then
    // restarts it in its own.
    const QString first = dir.filePath(QStringLiteral("first.wav"));
    WriteWavFile(first, Voice(22050, 2, 2.0));
    CWaveSystem::Select("wav:lines=Stereo Mix,pace=real,loop=1,in=" + first);
    CVoiceClient client(QStringLiteral(TAVO_PROGRAM_DIR));
    tagMixSettings mix;
    mix.isOpenMix = 0;
    mix.Save();
    client.Tap();
    g_client = &client;
    int status = 0;
    client.Run(service, [&](CTavoClientDlg& hall) {
        if (!client.EnterRoom(hall, 1001, 30s) || !client.TakeMic(30s)) {
            std::fprintf(stderr, "the client did not get into the room with the microphone\n");
            status = 1;
            return;
        }
        benchmark::RunSpecifiedBenchmarks();
    });
    benchmark::Shutdown();
    g_client = nullptr;
    return status;
}
