// Trace-log lines per second: one writer and four writers on one log, with the default line
// (time field on) written to a file in a private folder, and the same lines formatted and
// dropped (output mode 1) to show what the file costs. The log's limit is large enough that
// only the last benchmark runs into backups, which it does every 100 KB.
#include "infra/TraceLog.h"
#include "platform/Clock.h"
#include "platform/Profile.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

namespace {

CTraceLog* g_log = nullptr;       // 1 GB limit
CTraceLog* g_smallLog = nullptr;  // 100 KB limit

void WriteLines(benchmark::State& state, CTraceLog& log) {
    const QByteArray text(60, 'x');
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            log.Write(TRACE_NORMAL, "CVideoServer", "frame %d sent, %s", n++, text.constData()));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_TraceToFile(benchmark::State& state) {
    g_log->SetOutput(0);
    WriteLines(state, *g_log);
}
BENCHMARK(BM_TraceToFile)->Threads(1)->Threads(4)->UseRealTime();

void BM_TraceDropped(benchmark::State& state) {
    g_log->SetOutput(1);
    WriteLines(state, *g_log);
}
BENCHMARK(BM_TraceDropped)->Threads(1)->Threads(4)->UseRealTime();

void BM_TraceWithBackups(benchmark::State& state) {
    WriteLines(state, *g_smallLog);
}
BENCHMARK(BM_TraceWithBackups)->Threads(1)->Threads(4)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    CClock::Slot().Install(&TheSystemClock());
    QTemporaryDir dir;
    CProfileStore::SetRoot(dir.path());
    QDir::setCurrent(dir.path());
    CTraceLog log;
    CTraceLog smallLog;
    if (!log.Open(QStringLiteral("BenchTrace"), 1000000) ||
        !smallLog.Open(QStringLiteral("BenchSmall"), 100)) {
        return 1;
    }
    g_log = &log;
    g_smallLog = &smallLog;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    log.Close();
    smallLog.Close();
    return 0;
}
