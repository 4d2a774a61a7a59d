// The console client's scripts against the reference service in a process of its own: a script
// whose service goes away under it ends, and ends with a failure once a command finds nothing
// to act on.

#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;
using namespace tavotest;

TEST(ConsoleScript, EndsWithAFailureWhenTheServiceDiesUnderIt) {
    auto service = std::make_unique<CServiceProcess>(QStringLiteral(TAVO_SERVERD));
    ASSERT_TRUE(service->Running()) << service->Output().toStdString();
    QTemporaryDir dir;
    QFile script(dir.filePath("lost.tavo"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("enter 1001\nwait-line window open 15\nsleep 3\nrelease\nleave\n");
    script.close();

    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAVO_CONFIG_HOME", dir.filePath("config"));
    cli.setProcessEnvironment(env);
    cli.setProcessChannelMode(QProcess::MergedChannels);
    cli.setWorkingDirectory(dir.path());
    cli.start(QStringLiteral(TAVO_CLI),
              {"--config-url", service->ConfigUrl(), "--server",
               QString("127.0.0.1:%1").arg(service->InfoPort()), "--program-folder",
               QStringLiteral(TAVO_PROGRAM_DIR), "--script", script.fileName()});
    QByteArray out;
    ASSERT_TRUE(WaitUntil(
        [&] {
            out += cli.readAll();
            return out.contains("window open");
        },
        30s))
        << out.toStdString();

    service.reset();
    ASSERT_TRUE(WaitUntil([&] { return cli.state() == QProcess::NotRunning; }, 60s))
        << "the script never ended:\n"
        << (out + cli.readAll()).toStdString();
    out += cli.readAll();
    EXPECT_NE(cli.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("FAILED: release")) << out.toStdString();
}
