#include "tests/e2e/ConsoleClient.h"

#include "tests/support/TestSupport.h"

#include <QProcessEnvironment>

namespace tavotest {

QString InRoom(const char* user, const char* password, const QString& rest, int room) {
    return QStringLiteral(
               "login %1 %2\nwait-line 登陆成功 15\nenter %3\nwait-line window open 30\n")
               .arg(QLatin1String(user), QLatin1String(password))
               .arg(room) +
           rest;
}

CConsoleClient::CConsoleClient(const CServiceProcess& service, const QString& script,
                               const QString& programFolder, bool piped) {
    const QString file = m_dir.filePath(QStringLiteral("run.tavo"));
    WriteFile(file, script.toUtf8());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAVO_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_STATE_HOME"), m_dir.filePath(QStringLiteral("state")));
    GiveLinkAddress(env);
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setWorkingDirectory(m_dir.path());
    QStringList arguments{
        "--config-url",     service.ConfigUrl(),
        "--server",         QStringLiteral("127.0.0.1:%1").arg(service.InfoPort()),
        "--program-folder", programFolder};
    if (!piped) {
        arguments << "--script" << file;
    }
    m_process.start(QStringLiteral(TAVO_CLI), arguments);
    if (piped) {
        m_process.write(script.toUtf8());
        m_process.closeWriteChannel();
    }
}

CConsoleClient::~CConsoleClient() {
    if (Running()) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

QByteArray CConsoleClient::Output() {
    m_out += m_process.readAll();
    return m_out;
}

bool CConsoleClient::WaitFor(const QByteArray& text, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return Output().contains(text); }, limit);
}

bool CConsoleClient::WaitEnd(std::chrono::milliseconds limit) {
    const bool ended = WaitUntil([&] { return !Running(); }, limit);
    Output();
    return ended;
}

::testing::AssertionResult EndedWell(CConsoleClient& first, CConsoleClient& second,
                                     std::chrono::milliseconds limit) {
    if (first.WaitEnd(limit) && second.WaitEnd(limit) && first.ExitCode() == 0 &&
        second.ExitCode() == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << first.Output().toStdString() << "\n----\n"
                                         << second.Output().toStdString();
}

}  // namespace tavotest
