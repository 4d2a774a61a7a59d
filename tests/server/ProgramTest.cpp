// The program itself: it starts on ports the system chooses, says which, answers on them and
// ends cleanly on SIGTERM; its admin command line creates, seeds and lists a database.

#include "protocol/Commands.h"
#include "tests/server/ServerHarness.h"
#include "tests/support/TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using namespace tavotest;

namespace {

QString Program() {
    return QStringLiteral(TAVO_SERVERD_PATH);
}

QString RunAdmin(const QString& db, const QStringList& args, int* exitCode) {
    QProcess p;
    p.start(Program(), QStringList{QStringLiteral("admin"), QStringLiteral("--db"), db} + args);
    p.waitForFinished(30000);
    *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

TEST(ServerProgram, AdminCommandsCreateSeedAndListTheDatabase) {
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("t.db"));
    int rc = -1;
    RunAdmin(db, {QStringLiteral("init")}, &rc);
    EXPECT_EQ(rc, 0);
    RunAdmin(db, {QStringLiteral("seed")}, &rc);
    EXPECT_EQ(rc, 0);
    const QString rooms = RunAdmin(db, {QStringLiteral("list-rooms")}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(rooms.contains(QStringLiteral("1003\t2\t密室")));
    EXPECT_TRUE(rooms.contains(QStringLiteral("locked")));
    RunAdmin(db, {QStringLiteral("no-such-command")}, &rc);
    EXPECT_EQ(rc, 2);
}

TEST(ServerProgram, StartsOnChosenPortsAnswersAndStopsOnSigterm) {
    QProcess server;
    server.start(
        Program(),
        {QStringLiteral("--db"), QStringLiteral(":memory:"), QStringLiteral("--info-port"),
         QStringLiteral("0"), QStringLiteral("--hall-port"), QStringLiteral("0"),
         QStringLiteral("--route-port"), QStringLiteral("0"), QStringLiteral("--room-ports"),
         QStringLiteral("0:0"), QStringLiteral("--web-port"), QStringLiteral("-1")});
    ASSERT_TRUE(server.waitForStarted());
    QByteArray banner;
    ASSERT_TRUE(WaitUntil(
        [&] {
            banner += server.readAllStandardOutput();
            return banner.contains('\n');
        },
        std::chrono::seconds(20)));
    const auto info =
        QRegularExpression(QStringLiteral("info=(\\d+)")).match(QString::fromUtf8(banner));
    ASSERT_TRUE(info.hasMatch()) << banner.toStdString();

    CTestClient route(kRouteFrame);
    ASSERT_TRUE(route.Open(info.captured(1).toUInt()));
    CKParam ask = Packet(CMD_SERVER_INFO);
    auto reply = route.Request(ask, CMD_SERVER_INFO_REPLY);
    ASSERT_TRUE(reply);
    EXPECT_GT(IntOf(*reply, 50), 0);

    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
    ASSERT_TRUE(server.waitForFinished(20000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
}
