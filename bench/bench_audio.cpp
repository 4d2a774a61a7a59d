// The audio path's cost beside the libraries' own: encoding a block in each quality, decoding
// a packet, the voice level, the CPU a speaking client spends per second of voice, and the
// time from a completed capture block to the packet handed to the sender.

#include "audio/AudioFormats.h"
#include "audio/EchoFilter.h"
#include "audio/Mp3Decoder.h"
#include "audio/Mp3Encode.h"
#include "audio/MyWaveIn.h"
#include "audio/VoiceLevel.h"
#include "audio/WaveCompress729.h"
#include "audio/WaveIn.h"
#include "bench/SpeechLike.h"
#include "platform/Clock.h"
#include "protocol/KParam.h"

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}
#include <fftw3.h>
#include <lame/lame.h>
#include <mpg123.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <random>
#include <thread>
#include <vector>

namespace {

const std::vector<short>& MusicVoice() {
    static const std::vector<short> v = SpeechLike(22050, 2, 10.0);
    return v;
}
const std::vector<short>& SpeechVoice() {
    static const std::vector<short> v = SpeechLike(8000, 1, 10.0);
    return v;
}
// Block i of a sound, cycling.
const short* Block(const std::vector<short>& sound, size_t values, int64_t i) {
    const size_t blocks = sound.size() / values;
    return sound.data() + static_cast<size_t>(i % blocks) * values;
}

lame_global_flags* RawLame(int bitrate) {
    lame_global_flags* gf = lame_init();
    lame_set_in_samplerate(gf, 22050);
    lame_set_num_channels(gf, 2);
    lame_set_out_samplerate(gf, 0);
    lame_set_mode(gf, JOINT_STEREO);
    lame_set_VBR(gf, vbr_off);
    lame_set_brate(gf, bitrate);
    lame_set_copyright(gf, 0);
    lame_set_original(gf, 1);
    lame_set_error_protection(gf, 0);
    lame_set_extension(gf, 0);
    lame_set_emphasis(gf, 0);
    lame_set_strict_ISO(gf, 0);
    lame_set_disable_reservoir(gf, 1);
    lame_set_bWriteVbrTag(gf, 0);
    lame_init_params(gf);
    return gf;
}

void BM_EncodeBlock_Ours(benchmark::State& state) {
    CMp3Encode encoder;
    encoder.Init(static_cast<int>(state.range(0)), CaptureFormat(AUDIO_QUALITY_HIFI));
    std::vector<unsigned char> out(5000);
    int64_t i = 0;
    for (auto _ : state) {
        unsigned n = 0;
        encoder.Encode(Block(MusicVoice(), kMp3BlockBytes / 2, i++), out.data(), out.size(), &n);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_EncodeBlock_Ours)->Arg(64)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_EncodeBlock_RawLame(benchmark::State& state) {
    lame_global_flags* gf = RawLame(static_cast<int>(state.range(0)));
    std::vector<unsigned char> out(5000);
    int64_t i = 0;
    for (auto _ : state) {
        short* block = const_cast<short*>(Block(MusicVoice(), kMp3BlockBytes / 2, i++));
        int total = 0;
        for (int c = 0; c < 10; ++c)
            total += lame_encode_buffer_interleaved(gf, block + c * 1152, 576, out.data(),
                                                    static_cast<int>(out.size()));
        benchmark::DoNotOptimize(total);
    }
    lame_close(gf);
}
BENCHMARK(BM_EncodeBlock_RawLame)->Arg(64)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_EncodeSpeech_Ours(benchmark::State& state) {
    CWaveCompress729 codec;
    CEchoFilter echo;
    std::vector<short> block(2000);
    unsigned char out[250];
    int64_t i = 0;
    for (auto _ : state) {
        std::copy_n(Block(SpeechVoice(), 2000, i++), 2000, block.begin());
        echo.Apply(block.data(), 2000);
        int n = 0;
        codec.Compress(block.data(), 4000, out, &n);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_EncodeSpeech_Ours)->Unit(benchmark::kMicrosecond);

void BM_EncodeSpeech_RawBcg729(benchmark::State& state) {
    bcg729EncoderChannelContextStruct* enc = initBcg729EncoderChannel(0);
    std::vector<short> block(2000);
    unsigned char out[250];
    int64_t i = 0;
    for (auto _ : state) {
        std::copy_n(Block(SpeechVoice(), 2000, i++), 2000, block.begin());
        for (int f = 0; f < 25; ++f) {
            uint8_t n = 0;
            bcg729Encoder(enc, block.data() + f * 80, out + f * 10, &n);
        }
        benchmark::DoNotOptimize(out);
    }
    closeBcg729EncoderChannel(enc);
}
BENCHMARK(BM_EncodeSpeech_RawBcg729)->Unit(benchmark::kMicrosecond);

// A stream of packets of one quality, encoded once.
const std::vector<std::vector<unsigned char>>& Packets(int bitrate) {
    static std::map<int, std::vector<std::vector<unsigned char>>> cache;
    auto& packets = cache[bitrate];
    if (packets.empty()) {
        CMp3Encode encoder;
        encoder.Init(bitrate, CaptureFormat(AUDIO_QUALITY_HIFI));
        for (int64_t i = 0; i < 38; ++i) {
            std::vector<unsigned char> out(5000);
            unsigned n = 0;
            encoder.Encode(Block(MusicVoice(), kMp3BlockBytes / 2, i), out.data(), out.size(), &n);
            out.resize(n);
            packets.push_back(out);
        }
    }
    return packets;
}

void BM_DecodePacket_Ours(benchmark::State& state) {
    const auto& packets = Packets(static_cast<int>(state.range(0)));
    CMp3Decoder decoder;
    std::vector<unsigned char> out(23040);
    size_t i = 0;
    for (auto _ : state) {
        const auto& p = packets[i++ % packets.size()];
        benchmark::DoNotOptimize(decoder.Decode(p.data(), p.size(), out.data(), out.size()));
    }
}
BENCHMARK(BM_DecodePacket_Ours)->Arg(64)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_DecodePacket_RawMpg123(benchmark::State& state) {
    const auto& packets = Packets(static_cast<int>(state.range(0)));
    mpg123_init();
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_FLAGS, MPG123_QUIET, 0.0);
    mpg123_open_feed(h);
    std::vector<unsigned char> out(8192);
    size_t i = 0;
    for (auto _ : state) {
        const auto& p = packets[i++ % packets.size()];
        size_t done = 0;
        int ret = mpg123_decode(h, p.data(), p.size(), out.data(), out.size(), &done);
        while (ret == MPG123_OK || ret == MPG123_NEW_FORMAT)
            ret = mpg123_decode(h, nullptr, 0, out.data(), out.size(), &done);
        benchmark::DoNotOptimize(done);
    }
    mpg123_delete(h);
}
BENCHMARK(BM_DecodePacket_RawMpg123)->Arg(64)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_DecodeSpeech_Ours(benchmark::State& state) {
    CWaveCompress729 codec;
    unsigned char coded[250];
    int n = 0;
    codec.Compress(SpeechVoice().data(), 4000, coded, &n);
    std::vector<short> out(2000);
    for (auto _ : state) {
        codec.DeCompress(coded, 250, out.data(), &n);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_DecodeSpeech_Ours)->Unit(benchmark::kMicrosecond);

void BM_DecodeSpeech_RawBcg729(benchmark::State& state) {
    CWaveCompress729 codec;
    unsigned char coded[250];
    int n = 0;
    codec.Compress(SpeechVoice().data(), 4000, coded, &n);
    bcg729DecoderChannelContextStruct* dec = initBcg729DecoderChannel();
    std::vector<short> out(2000);
    for (auto _ : state) {
        for (int f = 0; f < 25; ++f)
            bcg729Decoder(dec, coded + f * 10, 10, 0, 0, 0, out.data() + f * 80);
        benchmark::DoNotOptimize(out.data());
    }
    closeBcg729DecoderChannel(dec);
}
BENCHMARK(BM_DecodeSpeech_RawBcg729)->Unit(benchmark::kMicrosecond);

void BM_VoiceLevel_Ours(benchmark::State& state) {
    CVoiceLevel level;
    int64_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(level.Level(Block(MusicVoice(), 11520, i++), 11520));
}
BENCHMARK(BM_VoiceLevel_Ours);

void BM_VoiceLevel_RawFftw(benchmark::State& state) {
    double* in = fftw_alloc_real(512);
    fftw_complex* out = fftw_alloc_complex(257);
    fftw_plan plan = fftw_plan_dft_r2c_1d(512, in, out, FFTW_ESTIMATE);
    int64_t i = 0;
    for (auto _ : state) {
        const short* b = Block(MusicVoice(), 11520, i++);
        for (int k = 0; k < 512; ++k) in[k] = b[2 * k];
        fftw_execute(plan);
        benchmark::DoNotOptimize(out[16][0]);
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
}
BENCHMARK(BM_VoiceLevel_RawFftw);

// An owner that takes every packet at once and notes when it came.
class CSinkOwner : public IVoiceOwner {
public:
    QString VoiceOwnId() const override { return QStringLiteral("10001"); }
    tagMicState VoiceMicState() const override {
        tagMicState s;
        s.ownId = s.mainHolder = QStringLiteral("10001");
        return s;
    }
    void PostVoiceMeter(int, int) override {}
    void SendVoicePacket(CKParam& packet) override {
        sentAt = std::chrono::steady_clock::now();
        bytes += packet.GetLength();
    }
    std::chrono::steady_clock::time_point sentAt;
    int64_t bytes = 0;
};

// A capture object in a quality as StartCapture would leave it, without a device.
class CBenchCapture : public CMyWaveIn {
public:
    explicit CBenchCapture(int quality) { m_nQuality = quality; }
};

// The whole hook per block: level, gate, encoding, packet. Reported as the time from the
// completed block to the packet in the sender's hands, and as seconds of voice one second of
// one core's time covers (its inverse is the CPU share of a speaking client).
void BM_BlockToSender(benchmark::State& state) {
    const int quality = static_cast<int>(state.range(0));
    CBenchCapture capture(quality);
    CSinkOwner owner;
    capture.SetRoomWindow(&owner);
    const bool speech = quality == AUDIO_QUALITY_SPEECH;
    const size_t values = speech ? 2000 : kMp3BlockBytes / 2;
    const auto& sound = speech ? SpeechVoice() : MusicVoice();
    std::vector<short> block(values);
    int64_t i = 0;
    for (auto _ : state) {
        std::copy_n(Block(sound, values, i++), values, block.begin());
        const auto start = std::chrono::steady_clock::now();
        capture.OnWaveData(reinterpret_cast<char*>(block.data()), static_cast<int>(values * 2),
                           nullptr);
        state.SetIterationTime(std::chrono::duration<double>(owner.sentAt - start).count());
    }
    const double blockSeconds = speech ? 0.25 : 5760.0 / 22050;
    state.counters["voice_s_per_cpu_s"] =
        benchmark::Counter(blockSeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["packet_bytes"] =
        benchmark::Counter(static_cast<double>(owner.bytes) / std::max<int64_t>(1, i));
}
BENCHMARK(BM_BlockToSender)->Arg(1)->Arg(2)->Arg(3)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The other part of the way from a completed block to the sender: the device's report wakes
// the capture thread through its event. Measured as half a round trip between two threads.
void BM_CaptureThreadWakeup(benchmark::State& state) {
    CWaveEvent ping;
    CWaveEvent pong;
    std::atomic<bool> quit{false};
    std::thread capture([&] {
        for (;;) {
            ping.Wait();
            if (quit)
                return;
            pong.Set();
        }
    });
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ping.Set();
        pong.Wait();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 2);
    }
    quit = true;
    ping.Set();
    capture.join();
}
BENCHMARK(BM_CaptureThreadWakeup)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    CClock::Slot().Install(&TheSystemClock());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
