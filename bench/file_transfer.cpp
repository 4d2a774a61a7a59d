// File transfer throughput on loopback, one 10 MiB file per iteration, everything in one
// process and, apart from the plain sender's thread, on one event loop:
//
//   BM_PlainTcp              the ceiling: plain TCP between two sockets, a thread writing the
//                            bytes in chunks of the transfer's size, the other end reading them.
//   BM_LinkAlone             the direct link's own share: the same bytes as chunk packets over
//                            a confirmed link between 127.0.0.2 and 127.0.0.3, framed, checked
//                            and handed to the other end, with no file and no digest.
//   BM_DirectLink            the whole transfer between two ends on 127.0.0.2 and 127.0.0.3:
//                            reading the file, the chunks, the acknowledgements, the digest on
//                            both sides, writing under the temporary name and the rename.
//   BM_ThroughService        the same with no link, relayed by the reference service (in this
//                            process, its clock following the real one) at the pace the client
//                            keeps under the service's default request budget.
//   BM_ThroughServiceUnpaced the service's budget raised and the client's pace lifted: what the
//                            relay itself carries.
//
// Each reports bytes per second; "of_plain" is the share of BM_PlainTcp's rate in the same run.

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "room/FileTransfer.h"
#include "server/FileRelay.h"
#include "tests/room/DirectLinkSupport.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

using namespace tavotest;

namespace {

constexpr int kFileBytes = 10 * 1024 * 1024;
double g_plainBytesPerSecond = 0;

struct tagSource {
    QTemporaryDir from;
    QTemporaryDir to;
    QString path = from.filePath(QStringLiteral("bench.bin"));
    bool ok = !WriteRandomFile(path, kFileBytes, 42).isEmpty();
};

void Report(benchmark::State& state, double seconds, bool plain = false) {
    const double rate = seconds > 0 ? kFileBytes / seconds : 0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileBytes);
    state.counters["MiB_per_s"] = rate / (1024 * 1024);
    if (plain) {
        g_plainBytesPerSecond = rate;
    } else if (g_plainBytesPerSecond > 0) {
        state.counters["of_plain"] = rate / g_plainBytesPerSecond;
    }
}

void BM_PlainTcp(benchmark::State& state) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        state.SkipWithError("no loopback socket");
        return;
    }
    const int sender = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(sender, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        state.SkipWithError("no loopback connection");
        return;
    }
    const int receiver = ::accept(listener, nullptr, nullptr);
    const std::vector<char> chunk(CFileTransfer::kChunkBytes, 'x');
    std::vector<char> buffer(100000);
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        std::thread writer([&] {
            for (int sent = 0; sent < kFileBytes;) {
                const int n = std::min<int>(static_cast<int>(chunk.size()), kFileBytes - sent);
                const ssize_t w = ::send(sender, chunk.data(), n, 0);
                if (w <= 0) {
                    return;
                }
                sent += static_cast<int>(w);
            }
        });
        for (int got = 0; got < kFileBytes;) {
            const ssize_t r = ::recv(receiver, buffer.data(), buffer.size(), 0);
            if (r <= 0) {
                break;
            }
            got += static_cast<int>(r);
        }
        writer.join();
        seconds += timer.nsecsElapsed() / 1e9;
    }
    ::close(sender);
    ::close(receiver);
    ::close(listener);
    Report(state, seconds / static_cast<double>(state.iterations()), true);
}
BENCHMARK(BM_PlainTcp)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LinkAlone(benchmark::State& state) {
    tagLinkEnd a(QStringLiteral("127.0.0.2"));
    tagLinkEnd b(QStringLiteral("127.0.0.3"));
    if (!a.Listen() || !b.Listen() || !a.ConnectTo(b)) {
        state.SkipWithError("no direct link on 127.0.0.2 and 127.0.0.3");
        return;
    }
    const QByteArray chunk(CFileTransfer::kChunkBytes, 'x');
    const size_t chunks = (kFileBytes + chunk.size() - 1) / chunk.size();
    double seconds = 0;
    for (auto _ : state) {
        b.handed.clear();
        QElapsedTimer timer;
        timer.start();
        for (size_t sent = 0; sent < chunks;) {
            CKParam packet;
            packet.SetShortInt(KEY_COMMAND, CMD_VIDEO);
            packet.SetChar(60, chunk.constData(), static_cast<unsigned short>(chunk.size()));
            const int result = a.outgoing.KSend(packet);
            if (result < 0) {
                state.SkipWithError("the link went down");
                return;
            }
            if (result == 0) {
                ++sent;
            } else {
                QCoreApplication::processEvents(QEventLoop::AllEvents);
            }
        }
        while (b.handed.size() < chunks && timer.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        seconds += timer.nsecsElapsed() / 1e9;
    }
    Report(state, seconds / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_LinkAlone)->Unit(benchmark::kMillisecond)->Iterations(5);

// Runs one transfer from a to b; its time in seconds, or -1 when it did not end well.
double Transfer(tagLinkEnd& a, tagLinkEnd& b, tagSource& source,
                const std::function<void()>& tick = {}) {
    a.endings.clear();
    b.endings.clear();
    QElapsedTimer timer;
    timer.start();
    if (!b.files->Expect(source.to.path()) || a.files->Send(source.path) <= 0) {
        return -1;
    }
    while ((a.endings.empty() || b.endings.empty()) && timer.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (tick) {
            tick();
        }
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (b.endings.empty() || b.endings[0].outcome != EFileOutcome::Done) {
        return -1;
    }
    QFile::remove(b.endings[0].path);
    return seconds;
}

void BM_DirectLink(benchmark::State& state) {
    tagSource source;
    tagLinkEnd a(QStringLiteral("127.0.0.2"));
    tagLinkEnd b(QStringLiteral("127.0.0.3"));
    CTestConnection noServiceA;
    CTestConnection noServiceB;
    if (!source.ok || !a.Listen() || !b.Listen() || !a.ConnectTo(b)) {
        state.SkipWithError("no direct link on 127.0.0.2 and 127.0.0.3");
        return;
    }
    a.AttachFiles(noServiceA);
    b.AttachFiles(noServiceB);
    double seconds = 0;
    for (auto _ : state) {
        const double s = Transfer(a, b, source);
        if (s < 0) {
            state.SkipWithError("the transfer failed");
            return;
        }
        seconds += s;
    }
    Report(state, seconds / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_DirectLink)->Unit(benchmark::kMillisecond)->Iterations(5);

void ThroughService(benchmark::State& state, bool unpaced) {
    tagServerConfig config = TestServiceConfig();
    if (unpaced) {
        config.limits.requestsPerSecond = 1000000;
        config.limits.requestBurst = 1000000;
    }
    CServiceHarness h(config);
    auto alice = h.Enter(1001, "alice", "alice123", "M-A");
    auto bob = h.Enter(1001, "bob", "bob123", "M-B");
    tagSource source;
    if (!alice || !bob || !source.ok) {
        state.SkipWithError("the room could not be entered");
        return;
    }
    h.Service().RoomServer(0).FileRelay().Pair(alice->id, bob->id);
    tagLinkEnd a(QStringLiteral("127.0.0.2"));
    tagLinkEnd b(QStringLiteral("127.0.0.3"));
    a.AttachFiles(alice->main);
    b.AttachFiles(bob->main);
    if (unpaced) {
        a.files->SetServicePacing(1000000);
    }
    // The service's clock follows the real one.
    QElapsedTimer clock;
    clock.start();
    int64_t advanced = 0;
    auto tick = [&] {
        const int64_t now = clock.elapsed();
        h.Clock().Advance(now - advanced);
        advanced = now;
    };
    double seconds = 0;
    for (auto _ : state) {
        const double s = Transfer(a, b, source, tick);
        if (s < 0) {
            state.SkipWithError("the transfer failed");
            return;
        }
        seconds += s;
    }
    Report(state, seconds / static_cast<double>(state.iterations()));
}

void BM_ThroughService(benchmark::State& state) {
    ThroughService(state, false);
}
BENCHMARK(BM_ThroughService)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ThroughServiceUnpaced(benchmark::State& state) {
    ThroughService(state, true);
}
BENCHMARK(BM_ThroughServiceUnpaced)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    CClock::Slot().Install(&TheSystemClock());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
