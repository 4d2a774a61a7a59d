// The program itself: its admin command line creates, seeds and lists a database, and bad
// start-up input ends it. Its clean stop on SIGTERM is the process-number test's.

#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <unistd.h>
#include <tuple>

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

// On SQLite: the store tests run the commands' work on both engines, and the shared-database
// run drives the program's seed and list-rooms on PostgreSQL.
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

// Bad start-up input ends the program with a message that says what to mend, before it
// listens anywhere.
TEST(ServerProgram, RefusesToStartOnABadConfigurationLineOrADatabaseItCannotUse) {
    QTemporaryDir dir;
    auto start = [&](const QStringList& args, const QString& runAs = {}) {
        QProcess p;
        if (runAs.isEmpty()) {
            p.start(Program(), args);
        } else {
            p.start(QStringLiteral("setpriv"),
                    QStringList{"--reuid", runAs, "--regid", runAs, "--clear-groups", Program()} +
                        args);
        }
        const bool ended = p.waitForFinished(30000);
        if (!ended) {
            p.kill();
            p.waitForFinished();
        }
        return std::make_tuple(ended, p.exitCode(), QString::fromUtf8(p.readAllStandardError()));
    };
    const QString ini = dir.filePath("s.ini");
    const QStringList ports{"--db",         ":memory:", "--info-port",  "0",   "--hall-port", "0",
                            "--route-port", "0",        "--room-ports", "0:0", "--web-port",  "0"};
    for (const auto& [text, line] :
         {std::pair{QByteArray("[server]\nlisten = 127.0.0.1\n\n[limits]\nmax_strikes = 5\n"
                               "max_strkes = 6\n"),
                    6},
          std::pair{QByteArray("; ports\n[server]\nhall_port = 99999\n"), 3}}) {
        ASSERT_TRUE(WriteFile(ini, text));
        const auto [ended, rc, said] = start(QStringList{"--config", ini} + ports);
        ASSERT_TRUE(ended) << "the service started with " << text.toStdString();
        EXPECT_NE(rc, 0);
        EXPECT_TRUE(said.contains(QStringLiteral("s.ini:%1:").arg(line))) << said.toStdString();
    }

    // A port out of range is refused, whatever options follow it.
    {
        const auto [ended, rc, said] =
            start(ports + QStringList{"--info-port", "70000"} + QStringList{"--web-port", "0"});
        ASSERT_TRUE(ended);
        EXPECT_EQ(rc, 2);
        EXPECT_TRUE(said.contains("65535")) << said.toStdString();
    }

    // A PostgreSQL server nobody runs: the address is named (its password masked).
    QStringList args = ports;
    args[1] = "postgresql://tavo:secret@" + QUrl::toPercentEncoding(dir.filePath("no-server")) +
              ":5432/tavo";
    {
        const auto [ended, rc, said] = start(args);
        ASSERT_TRUE(ended);
        EXPECT_NE(rc, 0);
        EXPECT_TRUE(said.contains("tavo:***@") && said.contains("no-server") &&
                    !said.contains("secret"))
            << said.toStdString();
    }

    // A folder this user may not write: as root every folder is writable, so the service runs
    // as nobody there.
    const QString folder = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(folder));
    QString runAs;
    if (::geteuid() == 0) {
        TAVO_NEED(HaveProgram("setpriv"), "setpriv");
        ASSERT_TRUE(
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ExeOther));
        runAs = QStringLiteral("65534");
    }
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                  QFileDevice::ReadOther | QFileDevice::ExeOther));
    args[1] = folder + "/service.db";
    const auto [ended, rc, said] = start(args, runAs);
    ASSERT_TRUE(ended);
    EXPECT_NE(rc, 0);
    EXPECT_TRUE(said.contains(folder + "/service.db") && said.contains("not writable"))
        << said.toStdString();
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
