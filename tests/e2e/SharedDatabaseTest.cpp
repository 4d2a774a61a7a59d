// The service as several processes on one PostgreSQL database: a hall process and two
// room-server processes, console clients entering rooms on both through the one hall, the
// admin command line reaching both, and a second hall process whose client it reaches too.

#include "tests/e2e/ConsoleClient.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

constexpr int kHeartbeatSeconds = 1;

QByteArray Configuration(const QString& database, bool hall, bool rooms, int firstRoomServer,
                         int hallNumber = 1) {
    auto yes = [](bool on) { return QByteArray(on ? "yes" : "no"); };
    return "[server]\ndatabase = " + database.toUtf8() +
           "\nlisten = 127.0.0.1\ninfo_port = 0\nhall_port = 0\nroute_port = 0\nweb_port = 0\n"
           "[rooms]\nservers = 0:0\nfirst_number = " +
           QByteArray::number(firstRoomServer) +
           "\nheartbeat_seconds = " + QByteArray::number(kHeartbeatSeconds) +
           "\n[roles]\nhall = " + yes(hall) + "\nhall_number = " + QByteArray::number(hallNumber) +
           "\nweb = " + yes(hall) + "\nrooms = " + yes(rooms) + "\n";
}

// What the admin command line printed, when it succeeded.
std::optional<QString> Admin(const QString& database, const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(TAVO_SERVERD), QStringList{"admin", "--db", database} + args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The directory's line of one room as a client printed it last.
QByteArray DirectoryLine(const QByteArray& output, const QByteArray& room) {
    QByteArray last;
    for (const QByteArray& line : output.split('\n')) {
        if (line.contains("房间") && line.contains(room) && line.contains('[')) {
            last = line;
        }
    }
    return last;
}

const char kDirectory[] = "rooms 0 0\nsleep 2\nrooms\n";

}  // namespace

TEST(SharedDatabase, OneHallAndTwoRoomServerProcessesServeClientsBanThemAndMoveALostRoom) {
    CPostgresServer postgres;
    TAVO_NEED(postgres.Running(), "a PostgreSQL server (" + postgres.Error().toStdString() + ")");
    const QString db = postgres.NewDatabase();
    ASSERT_TRUE(Admin(db, {"seed"}));
    ASSERT_TRUE(Admin(db, {"set-room", "1002", "server=2"}));

    CServiceProcess first(QStringLiteral(TAVO_SERVERD), Configuration(db, false, true, 1));
    CServiceProcess second(QStringLiteral(TAVO_SERVERD), Configuration(db, false, true, 2));
    CServiceProcess hall(QStringLiteral(TAVO_SERVERD), Configuration(db, true, false, 1));
    for (CServiceProcess* p : {&first, &second, &hall}) {
        ASSERT_TRUE(p->Running()) << p->Output().toStdString();
    }

    // Bob in 1002 on the second process, then Alice in 1001 on the first; each reads the
    // directory the hall process serves.
    CConsoleClient bob(
        hall, InRoom("bob", "bob123", "sleep 3\n" + QString(kDirectory) + "sleep 60\n", 1002));
    ASSERT_TRUE(bob.WaitFor("window open", 30s)) << bob.Output().toStdString();
    CConsoleClient alice(hall, InRoom("alice", "alice123", QString(kDirectory) + "sleep 60\n"));
    ASSERT_TRUE(alice.WaitFor("window open", 30s)) << alice.Output().toStdString();
    for (CConsoleClient* c : {&alice, &bob}) {
        // The list prints a line per room: both lines, before their figures are read.
        ASSERT_TRUE(WaitUntil(
            [&] {
                return !DirectoryLine(c->Output(), "1001").isEmpty() &&
                       !DirectoryLine(c->Output(), "1002").isEmpty();
            },
            20s))
            << c->Output().toStdString();
        EXPECT_TRUE(DirectoryLine(c->Output(), "1001").contains("[1/100]"))
            << c->Output().toStdString();
        EXPECT_TRUE(DirectoryLine(c->Output(), "1002").contains("[1/200]"))
            << c->Output().toStdString();
    }

    // A text notice to every room from the command line reaches the rooms of both processes.
    ASSERT_TRUE(Admin(db, {"text-notice", "0", "维护通知"}));
    for (CConsoleClient* c : {&alice, &bob}) {
        EXPECT_TRUE(c->WaitFor("维护通知", 15s)) << c->Output().toStdString();
    }

    // Erin logged in at a second hall process: the command line's quit-client reaches her
    // through that hall, whichever hall reads the queue first.
    CServiceProcess secondHall(QStringLiteral(TAVO_SERVERD), Configuration(db, true, false, 1, 2));
    ASSERT_TRUE(secondHall.Running()) << secondHall.Output().toStdString();
    CConsoleClient erin(secondHall, "login erin erin123\nwait-line 登陆成功 10\nsleep 90\n");
    ASSERT_TRUE(erin.WaitFor("登陆成功", 30s)) << erin.Output().toStdString();
    ASSERT_TRUE(Admin(db, {"quit-client", "erin"}));
    EXPECT_TRUE(erin.WaitEnd(40s)) << erin.Output().toStdString();

    // A ban from the command line, on every room: refused at the next entry on either server.
    ASSERT_TRUE(Admin(db, {"ban", "0", "dave", "1"}));
    CConsoleClient dave(hall,
                        "login dave dave123\nwait-line 登陆成功 10\nenter 1001\n"
                        "wait-line 用户被禁止进入房间 20\nenter 1002\n"
                        "wait-line 用户被禁止进入房间 20\n");
    ASSERT_TRUE(dave.WaitEnd(60s)) << dave.Output().toStdString();
    EXPECT_FALSE(dave.Output().contains("FAILED")) << dave.Output().toStdString();
    EXPECT_FALSE(dave.Output().contains("window open")) << dave.Output().toStdString();

    // The second process dies with Bob inside; once its beats are missed, 1002 is moved to the
    // first, the database says so, and Carol enters it through the hall as ever. Bob, still
    // listed in 1002 by the dead server, no longer counts.
    second.Kill();
    QThread::sleep(3 * kHeartbeatSeconds + 1);
    CConsoleClient carol(hall, InRoom("carol", "carol123", QString(kDirectory) + "leave\n", 1002));
    ASSERT_TRUE(carol.WaitEnd(60s)) << carol.Output().toStdString();
    EXPECT_FALSE(carol.Output().contains("FAILED")) << carol.Output().toStdString();
    EXPECT_TRUE(DirectoryLine(carol.Output(), "1002").contains("[1/200]"))
        << carol.Output().toStdString();
    EXPECT_TRUE(DirectoryLine(carol.Output(), "1001").contains("[1/100]"))
        << carol.Output().toStdString();
    EXPECT_TRUE(Admin(db, {"list-rooms"})
                    .value_or(QString())
                    .contains(QRegularExpression("1002\t[^\n]*server=1")));
}
