#pragma once
// One console client running a script against the reference service, in a process of its own
// with a configuration folder of its own.

#include "tests/support/ServiceProcess.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>

namespace tavotest {

// A script that logs the user in and enters the room (1001 unless named), then goes on with the
// rest.
QString InRoom(const char* user, const char* password, const QString& rest, int room = 1001);

class CConsoleClient {
public:
    // Starts the client with the script's lines, on the build's program folder or another;
    // piped, the lines are fed to its input instead of named as a script.
    CConsoleClient(const CServiceProcess& service, const QString& script,
                   const QString& programFolder = QStringLiteral(TAVO_PROGRAM_DIR),
                   bool piped = false);
    ~CConsoleClient();
    CConsoleClient(const CConsoleClient&) = delete;
    CConsoleClient& operator=(const CConsoleClient&) = delete;

    // Waits for a printed text.
    bool WaitFor(const QByteArray& text, std::chrono::milliseconds limit);
    // Waits for the script to end; true when it did, in time.
    bool WaitEnd(std::chrono::milliseconds limit);
    QByteArray Output();
    QString Text() { return QString::fromUtf8(Output()); }
    int ExitCode() const { return m_process.exitCode(); }
    bool Running() const { return m_process.state() != QProcess::NotRunning; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_out;
};

// Both scripts ended in time and well; otherwise what each printed.
::testing::AssertionResult EndedWell(CConsoleClient& first, CConsoleClient& second,
                                     std::chrono::milliseconds limit);

}  // namespace tavotest
