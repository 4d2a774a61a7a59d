#include "tests/support/ServiceProcess.h"

#include "tests/support/TestSupport.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#include <sys/prctl.h>

#include <csignal>

namespace tavotest {

CServiceProcess::CServiceProcess(const QString& program, const QStringList& limits) {
    QStringList args{"--db",      m_dir.filePath("service.sqlite"),
                     "--seed",    "--listen",
                     "127.0.0.1", "--info-port",
                     "0",         "--hall-port",
                     "0",         "--route-port",
                     "0",         "--room-ports",
                     "0:0",       "--web-port",
                     "0"};
    const QString ini = m_dir.filePath("service.ini");
    if (!limits.isEmpty() && WriteFile(ini, ("[limits]\n" + limits.join('\n') + '\n').toUtf8())) {
        args << "--config" << ini;
    }
    Launch(program, args);
}

CServiceProcess::CServiceProcess(const QString& program, const QByteArray& configuration) {
    const QString ini = m_dir.filePath("service.ini");
    WriteFile(ini, configuration);
    Launch(program, {"--config", ini});
}

void CServiceProcess::Launch(const QString& program, const QStringList& args) {
    m_process.setProgram(program);
    m_process.setArguments(args);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    // A run that is killed takes its service with it.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start();
    // The first line names the ports.
    static const QRegularExpression kPorts(QStringLiteral("info=(\\d+).*web=(\\d+)"));
    const QDeadlineTimer deadline(15000);
    QRegularExpressionMatch ports;
    while (!(ports = kPorts.match(m_banner)).hasMatch() &&
           m_process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        m_process.waitForReadyRead(100);
        m_banner += QString::fromUtf8(m_process.readAllStandardOutput());
    }
    if (ports.hasMatch()) {
        m_started = true;
        m_infoPort = ports.captured(1).toInt();
        m_webPort = ports.captured(2).toInt();
        static const QRegularExpression kRoom(QStringLiteral("room\\d+=(\\d+)"));
        m_roomPort = kRoom.match(m_banner).captured(1).toInt();
    }
}

CServiceProcess::~CServiceProcess() {
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

int CServiceProcess::Stop() {
    m_process.terminate();
    if (!m_process.waitForFinished(10000) || m_process.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    return m_process.exitCode();
}

void CServiceProcess::Kill() {
    m_process.kill();
    m_process.waitForFinished();
}

QString CServiceProcess::ConfigUrl() const {
    return QStringLiteral("http://127.0.0.1:%1/config.xml").arg(m_webPort);
}

QString CServiceProcess::Output() {
    m_banner += QString::fromUtf8(m_process.readAllStandardOutput());
    return m_banner + QString::fromUtf8(m_process.readAllStandardError());
}

}  // namespace tavotest
