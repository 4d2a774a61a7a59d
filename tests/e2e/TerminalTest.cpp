// The console client typed at: on a terminal (a pseudo-terminal here) it edits lines with a
// prompt, completes command names and the members of the room, lists its commands and keeps a
// history in the state folder; fed through a pipe it reads plain lines and prints no prompt;
// running a script, it ends with a failure when the service dies under it.

#include "tests/e2e/ConsoleClient.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <memory>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

// tavo-cli on the far side of a pseudo-terminal.
class CTerminalClient {
public:
    CTerminalClient(const CServiceProcess& service, const QString& home) {
        const QByteArray server = "127.0.0.1:" + QByteArray::number(service.InfoPort());
        QList<QByteArray> args{TAVO_CLI, "--config-url", service.ConfigUrl().toUtf8()};
        args << "--server" << server << "--program-folder" << TAVO_PROGRAM_DIR;
        std::vector<char*> argv;
        for (QByteArray& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        const QByteArray config = QDir(home).filePath("config").toUtf8();
        const QByteArray state = QDir(home).filePath("state").toUtf8();
        m_pid = forkpty(&m_fd, nullptr, nullptr, nullptr);
        if (m_pid == 0) {
            setenv("TAVO_CONFIG_HOME", config.constData(), 1);
            setenv("XDG_STATE_HOME", state.constData(), 1);
            setenv("TERM", "xterm", 1);
            setenv("LANG", "C.UTF-8", 1);
            chdir(home.toLocal8Bit().constData());
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~CTerminalClient() {
        if (m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    bool Started() const { return m_pid > 0; }
    void Type(const QByteArray& keys) {
        [[maybe_unused]] auto n = write(m_fd, keys.data(), keys.size());
    }
    // Reads until the screen shows the text; true when it did in time.
    bool WaitFor(const QByteArray& text, int seconds = 20) {
        return ReadUntil([&] { return m_screen.contains(text); }, seconds);
    }
    // Whether the program ended, and how.
    bool Ended(int seconds, int* code) {
        return ReadUntil(
            [&] {
                int status = 0;
                if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                    m_pid = -1;
                    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                }
                return m_pid < 0;
            },
            seconds);
    }
    const QByteArray& Screen() const { return m_screen; }

private:
    // Keeps what the program prints until the condition holds; true when it did in time.
    template <typename F>
    bool ReadUntil(F done, int seconds) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < seconds * 1000) {
            pollfd p{m_fd, POLLIN, 0};
            char buffer[4096];
            if (poll(&p, 1, 50) > 0) {
                const ssize_t n = read(m_fd, buffer, sizeof buffer);
                m_screen.append(buffer, std::max<ssize_t>(n, 0));
            }
        }
        return done();
    }

    pid_t m_pid = -1;
    int m_fd = -1;
    QByteArray m_screen;
};

}  // namespace

TEST(ConsoleTerminal, EditsOnATerminalReadsAPipeAndEndsAScriptWhoseServiceDies) {
    auto service = std::make_unique<CServiceProcess>(QStringLiteral(TAVO_SERVERD));
    ASSERT_TRUE(service->Running()) << service->Output().toStdString();
    // Bob waits in the room, so there is a member to complete.
    CConsoleClient bob(*service, InRoom("bob", "bob123", "sleep 60\n"));
    ASSERT_TRUE(bob.WaitFor("window open", 30s)) << bob.Output().toStdString();

    QTemporaryDir home;
    CTerminalClient alice(*service, home.path());
    ASSERT_TRUE(alice.Started());
    ASSERT_TRUE(alice.WaitFor("tavo> ")) << alice.Screen().toStdString();
    alice.Type("login alice alice123\r");
    ASSERT_TRUE(alice.WaitFor("登陆成功")) << alice.Screen().toStdString();
    alice.Type("enter 1001\r");
    ASSERT_TRUE(alice.WaitFor("window open")) << alice.Screen().toStdString();
    ASSERT_TRUE(alice.WaitFor("[成员] 2")) << alice.Screen().toStdString();

    // A command name, then a member's identifier and a nickname, each completed by Tab.
    alice.Type("hel\t\r");
    ASSERT_TRUE(alice.WaitFor("> help\r\n")) << alice.Screen().toStdString();
    for (const char* listed : {"whisper ID TEXT", "rooms [LIST INDEX]", "kick ID REASON"}) {
        EXPECT_TRUE(alice.WaitFor(listed, 5)) << listed;
    }
    alice.Type("whisper bo\t");
    ASSERT_TRUE(alice.WaitFor("whisper bob ")) << alice.Screen().toStdString();
    alice.Type("hello\r");
    EXPECT_TRUE(alice.WaitFor("> whisper bob hello")) << alice.Screen().toStdString();
    EXPECT_TRUE(bob.WaitFor("hello", 10s)) << bob.Output().toStdString();
    alice.Type("block 鲍\t\r");
    EXPECT_TRUE(alice.WaitFor("> block 鲍勃")) << alice.Screen().toStdString();

    // Quitting asks first, on a line of its own.
    alice.Type("quit\r");
    ASSERT_TRUE(alice.WaitFor("(ok/cancel) ")) << alice.Screen().toStdString();
    alice.Type("ok\r");
    int code = -1;
    ASSERT_TRUE(alice.Ended(20, &code)) << alice.Screen().toStdString();
    EXPECT_EQ(code, 0);
    QFile history(QDir(home.path()).filePath("state/tavo/cli_history"));
    ASSERT_TRUE(history.open(QIODevice::ReadOnly));
    const QByteArray kept = history.readAll();
    EXPECT_TRUE(kept.contains("\nhelp") && kept.contains("\nwhisper bob hello\n"))
        << kept.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(home.path()).filePath(".tavo_history")));

    // Fed through a pipe: no prompt, and a room list asked for before any area was chosen is
    // not silence.
    CConsoleClient piped(*service, "help rooms\nrooms\nlogin alice alice123\nquit\n",
                         QStringLiteral(TAVO_PROGRAM_DIR), true);
    ASSERT_TRUE(piped.WaitEnd(30s)) << piped.Output().toStdString();
    const QByteArray out = piped.Output();
    EXPECT_EQ(piped.ExitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("rooms [LIST INDEX]")) << out.toStdString();
    EXPECT_TRUE(out.contains("no rooms listed")) << out.toStdString();
    EXPECT_FALSE(out.contains("tavo> ")) << out.toStdString();

    // A script whose service goes away under it ends, and ends with a failure once a command
    // finds nothing to act on.
    CConsoleClient visitor(*service,
                           "enter 1001\nwait-line window open 15\nsleep 3\nrelease\nleave\n");
    ASSERT_TRUE(visitor.WaitFor("window open", 30s)) << visitor.Output().toStdString();
    service.reset();
    ASSERT_TRUE(visitor.WaitEnd(60s)) << "the script never ended:\n"
                                      << visitor.Output().toStdString();
    EXPECT_NE(visitor.ExitCode(), 0) << visitor.Output().toStdString();
    EXPECT_TRUE(visitor.Output().contains("FAILED: release")) << visitor.Output().toStdString();
}
