// Store operations per second on each engine: an account looked up by its name (as at every
// login and entry) and a room's settings written back (as after every change a manager makes),
// each statement its own transaction. SQLite is a file in WAL mode; PostgreSQL a private
// server on a unix socket of this machine, flushing its commits to disk as deployed.

#include "server/Seed.h"
#include "server/Store.h"
#include "tests/support/PostgresServer.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kAccounts = 1000;

// One store per engine, filled once: index 0 SQLite, 1 PostgreSQL. Rates are per second of
// wall time: a commit waits on the disk, not on the processor.
CStore* StoreFor(int engine, benchmark::State& state) {
    static QTemporaryDir dir;
    static std::unique_ptr<tavotest::CPostgresServer> server;
    static std::unique_ptr<CStore> stores[2];
    if (stores[engine]) {
        return stores[engine].get();
    }
    QString address = dir.filePath("bench.sqlite");
    if (engine == 1) {
        if (!server) {
            server = std::make_unique<tavotest::CPostgresServer>(true);
        }
        if (!server->Running()) {
            state.SkipWithError(server->Error().toStdString().c_str());
            return nullptr;
        }
        address = server->NewDatabase();
    }
    auto store = std::make_unique<CStore>();
    QString error;
    if (!store->Open(address, &error)) {
        state.SkipWithError(error.toStdString().c_str());
        return nullptr;
    }
    // Cheap hashes: the lookups read rows, they check no password.
    store->SetPasswordCost(1);
    SeedDemoData(*store);
    for (int i = 0; i < kAccounts; ++i) {
        store->AddAccount(QStringLiteral("user%1").arg(i), QStringLiteral("pw"), QString());
    }
    stores[engine] = std::move(store);
    return stores[engine].get();
}

void BM_AccountLookup(benchmark::State& state) {
    CStore* store = StoreFor(static_cast<int>(state.range(0)), state);
    if (!store) {
        return;
    }
    int i = 0;
    for (auto _ : state) {
        // Names in another letter case, as users type them.
        auto account = store->FindAccount(QStringLiteral("USER%1").arg(i++ % kAccounts));
        if (!account) {
            state.SkipWithError("an account was not found");
            return;
        }
        benchmark::DoNotOptimize(account);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RoomUpdate(benchmark::State& state) {
    CStore* store = StoreFor(static_cast<int>(state.range(0)), state);
    if (!store) {
        return;
    }
    auto room = store->Room(1001);
    if (!room) {
        state.SkipWithError("no room 1001");
        return;
    }
    int i = 0;
    for (auto _ : state) {
        room->topic = QStringLiteral("话题 %1").arg(i++);
        if (!store->UpdateRoom(*room)) {
            state.SkipWithError(store->LastError().toStdString().c_str());
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_AccountLookup)->ArgName("postgres")->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_RoomUpdate)->ArgName("postgres")->Arg(0)->Arg(1)->UseRealTime();

BENCHMARK_MAIN();
