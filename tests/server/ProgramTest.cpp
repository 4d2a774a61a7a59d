// The program itself: it ends cleanly on SIGTERM; its admin command line creates, seeds and
// lists a database.

#include "protocol/Commands.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

QString Program() {
    return QStringLiteral(TAVO_SERVERD);
}

QString RunAdmin(const QString& db, const QStringList& args, int* exitCode) {
    QProcess p;
    p.start(Program(), QStringList{"admin", "--db", db} + args);
    p.waitForFinished(30000);
    *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

TEST(ServerProgram, AdminCommandsCreateSeedAndListTheDatabase) {
    QTemporaryDir dir;
    const QString db = dir.filePath("t.db");
    int rc = -1;
    RunAdmin(db, {"init"}, &rc);
    EXPECT_EQ(rc, 0);
    RunAdmin(db, {"seed"}, &rc);
    EXPECT_EQ(rc, 0);
    const QString rooms = RunAdmin(db, {"list-rooms"}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(rooms.contains("1003\t2\t密室"));
    EXPECT_TRUE(rooms.contains("locked"));
    RunAdmin(db, {"no-such-command"}, &rc);
    EXPECT_EQ(rc, 2);
}

TEST(ServerProgram, StopsCleanlyOnSigterm) {
    CServiceProcess service(Program());
    ASSERT_TRUE(service.Running()) << service.Output().toStdString();
    // Once it answers it runs its loop.
    CTestConnection route(kRouteFrame);
    ASSERT_TRUE(route.Open(static_cast<unsigned>(service.InfoPort())));
    ASSERT_TRUE(route.Request(Packet(CMD_SERVER_INFO), CMD_SERVER_INFO_REPLY));
    EXPECT_EQ(service.Stop(), 0) << service.Output().toStdString();
}
