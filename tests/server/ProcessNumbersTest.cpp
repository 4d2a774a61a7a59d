// Processes of one database under one hall and room-server number: a second one is refused
// while the first runs, one started after the first was killed takes the number, and one that
// had its number taken while it ran steps aside.

#include "server/Store.h"
#include "tests/support/ServiceProcess.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>

using namespace tavotest;

namespace {

constexpr int kHeartbeatSeconds = 1;

QByteArray Configuration(const QString& database) {
    return "[server]\ndatabase = " + database.toUtf8() +
           "\nlisten = 127.0.0.1\ninfo_port = 0\nhall_port = 0\nroute_port = 0\nweb_port = 0\n"
           "[rooms]\nservers = 0:0\nheartbeat_seconds = " +
           QByteArray::number(kHeartbeatSeconds) + "\n";
}

std::optional<tagBeatHolder> Hall(const QString& database) {
    CStore store;
    return store.Open(database) ? store.BeatHolder(EBeatTable::Halls, 1) : std::nullopt;
}

}  // namespace

TEST(ServerProcesses, ANumberIsServedByOneLiveProcessAtATime) {
    QTemporaryDir dir;
    const QString db = dir.filePath("shared.db");
    const QString program = QStringLiteral(TAVO_SERVERD);
    auto first = std::make_unique<CServiceProcess>(program, Configuration(db));
    ASSERT_TRUE(first->Running()) << first->Output().toStdString();
    {
        CServiceProcess second(program, Configuration(db));
        EXPECT_FALSE(second.Running());
        EXPECT_TRUE(second.Output().contains("hall 1 is served by another running process"))
            << second.Output().toStdString();
    }
    // The refused one cleared nothing: the first still beats under its number.
    const auto held = Hall(db);
    ASSERT_TRUE(held);

    // Killed, its row is still fresh: the next one waits a beat, sees no beat and starts.
    first->Kill();
    QElapsedTimer waited;
    waited.start();
    CServiceProcess third(program, Configuration(db));
    ASSERT_TRUE(third.Running()) << third.Output().toStdString();
    EXPECT_GE(waited.elapsed(), kHeartbeatSeconds * 1000);
    const auto taken = Hall(db);
    ASSERT_TRUE(taken);
    EXPECT_NE(taken->instance, held->instance);

    // Another process writing itself into the row while this one runs: this one ends.
    {
        CStore store;
        ASSERT_TRUE(store.Open(db));
        ASSERT_TRUE(store.BeatHall(1, std::time(nullptr), QStringLiteral("elsewhere")));
    }
    ASSERT_TRUE(third.EndsWithin(10000));
    EXPECT_NE(third.ExitCode(), 0);
    EXPECT_TRUE(third.Output().contains("hall 1 has been taken over"))
        << third.Output().toStdString();
    EXPECT_EQ(Hall(db)->instance, QStringLiteral("elsewhere"));

    // A clean stop leaves the row dead, so a start after it need not wait.
    CServiceProcess fourth(program, Configuration(db));
    ASSERT_TRUE(fourth.Running()) << fourth.Output().toStdString();
    EXPECT_EQ(fourth.Stop(), 0);
    EXPECT_EQ(Hall(db)->heartbeat, 0);
}
