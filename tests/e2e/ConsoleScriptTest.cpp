// The console client's scripts against the reference service in a process of its own: a script
// whose service goes away under it ends, and ends with a failure once a command finds nothing
// to act on.

#include "tests/e2e/ConsoleClient.h"

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;
using namespace tavotest;

TEST(ConsoleScript, EndsWithAFailureWhenTheServiceDiesUnderIt) {
    auto service = std::make_unique<CServiceProcess>(QStringLiteral(TAVO_SERVERD));
    ASSERT_TRUE(service->Running()) << service->Output().toStdString();
    CConsoleClient cli(*service, "enter 1001\nwait-line window open 15\nsleep 3\nrelease\nleave\n");
    ASSERT_TRUE(cli.WaitFor("window open", 30s)) << cli.Output().toStdString();

    service.reset();
    ASSERT_TRUE(cli.WaitEnd(60s)) << "the script never ended:\n" << cli.Output().toStdString();
    EXPECT_NE(cli.ExitCode(), 0) << cli.Output().toStdString();
    EXPECT_TRUE(cli.Output().contains("FAILED: release")) << cli.Output().toStdString();
}
