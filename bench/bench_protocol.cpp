// Packets and frames: building, reading and checking packets of realistic sizes, and the
// reassembly of a long stream of mixed frames arriving in reads of random size, beside memcpy
// of the same bytes.
#include "protocol/FrameCodec.h"
#include "protocol/KParam.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

#include <cstring>
#include <random>
#include <vector>

namespace {

// A packet of about `size` bytes shaped like real traffic: a command, a few numbers, a text
// and a byte payload.
void BuildPacket(CKParam& packet, int size) {
    packet.SetShortInt(KEY_COMMAND, 452);
    packet.SetInt(40, 1);
    packet.SetBoolean(50, true);
    const int payload = size - packet.GetLength() - 6;
    if (payload > 0) {
        static const QByteArray bytes(4000, 'x');
        packet.SetChar(30, bytes.constData(), static_cast<unsigned short>(payload));
    }
}

void BM_BuildPacket(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CKParam packet;
        BuildPacket(packet, size);
        benchmark::DoNotOptimize(packet.GetBufferPtr());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildPacket)->Arg(12)->Arg(100)->Arg(500)->Arg(2000);

void BM_ReadPacket(benchmark::State& state) {
    CKParam source;
    BuildPacket(source, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CKParam packet;
        packet.SetBufferPtr(source.GetBufferPtr(), source.GetLength());
        short command = 0;
        int number = 0;
        bool flag = false;
        char* view = nullptr;
        unsigned short n = 0;
        packet.GetShortInt(KEY_COMMAND, command);
        packet.GetInt(40, number);
        packet.GetBoolean(50, flag);
        packet.GetCharNC(30, &view, n);
        benchmark::DoNotOptimize(command + number + flag + n);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadPacket)->Arg(12)->Arg(100)->Arg(500)->Arg(2000);

void BM_PacketCrc(benchmark::State& state) {
    CKParam packet;
    BuildPacket(packet, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.GetPacketCrc());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PacketCrc)->Arg(12)->Arg(100)->Arg(500)->Arg(2000);

// A stream of frames of sizes in [minSize, maxSize], and read sizes as a network delivers them.
struct Stream {
    QByteArray bytes;
    std::vector<int> reads;
    int frames = 0;
};

Stream MakeStream(int minSize, int maxSize) {
    Stream s;
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> sizes(minSize, maxSize);
    while (s.bytes.size() < 8 * 1024 * 1024) {
        CKParam packet;
        BuildPacket(packet, sizes(rng));
        packet.SetInt(KEY_SEQUENCE, s.frames + 1);
        s.bytes += BuildFrame(kTcpFrame, 0, packet.GetBufferPtr(), packet.GetLength());
        ++s.frames;
    }
    std::uniform_int_distribution<int> readSizes(1, 65536);
    for (int at = 0; at < s.bytes.size();) {
        const int n = std::min(readSizes(rng), static_cast<int>(s.bytes.size()) - at);
        s.reads.push_back(n);
        at += n;
    }
    return s;
}

void BM_Reassembly(benchmark::State& state) {
    const Stream s = MakeStream(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    int delivered = 0;
    // The connection keeps the packet it loads frames into, as here.
    CKParam packet;
    for (auto _ : state) {
        CFrameAssembler assembler(kTcpFrame);
        const char* p = s.bytes.constData();
        for (int n : s.reads) {
            assembler.Feed(p, n, [&](const char* bytes, int length) {
                // What the connection does with each frame: load it into a packet and read it.
                packet.SetBufferPtr(bytes, length);
                int sequence = 0;
                packet.GetInt(KEY_SEQUENCE, sequence);
                delivered += sequence > 0;
                return CFrameAssembler::EVerdict::Continue;
            });
            p += n;
        }
    }
    if (delivered != s.frames * static_cast<int>(state.iterations())) {
        state.SkipWithError("frames lost in reassembly");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * s.bytes.size());
}
BENCHMARK(BM_Reassembly)
    ->Args({12, 200})
    ->Args({1000, 2000})
    ->Args({1000, 29000})
    ->Unit(benchmark::kMillisecond);

// The ceiling: copying the same bytes in the same read sizes.
void BM_MemcpyReads(benchmark::State& state) {
    const Stream s = MakeStream(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<char> sink(70000);
    for (auto _ : state) {
        const char* p = s.bytes.constData();
        for (int n : s.reads) {
            std::memcpy(sink.data(), p, static_cast<size_t>(n));
            benchmark::ClobberMemory();
            p += n;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * s.bytes.size());
}
BENCHMARK(BM_MemcpyReads)
    ->Args({12, 200})
    ->Args({1000, 2000})
    ->Args({1000, 29000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
