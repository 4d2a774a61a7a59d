#include "tests/support/TestSupport.h"

#include "platform/Profile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QThread>

#include <atomic>

#include <unistd.h>

namespace tavotest {

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > limit.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::usleep(200);
    }
    return true;
}

void Spin(std::chrono::milliseconds time) {
    WaitUntil([] { return false; }, time);
}

bool HaveProgram(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

bool RunProgram(const QString& program, const QStringList& args, QByteArray* out, int timeoutMs) {
    if (!HaveProgram(program)) {
        return false;
    }
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        return false;
    }
    if (out != nullptr) {
        *out = p.readAllStandardOutput();
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray WriteRandomFile(const QString& path, int bytes, unsigned seed) {
    QByteArray data((bytes + 3) / 4 * 4, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    rng.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    data.truncate(bytes);
    if (!WriteFile(path, data)) {
        return QByteArray();
    }
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

QByteArray Sha256Of(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        return QByteArray();
    }
    return hash.result();
}

QStringList FolderNames(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

bool ToolsRequired() {
    return qEnvironmentVariableIntValue("TAVO_REQUIRE_TOOLS") == 1;
}

CTempConfig::CTempConfig() {
    CProfileStore::SetRoot(m_dir.path());
}

CTempConfig::~CTempConfig() {
    CProfileStore::SetRoot(QString());
}

CScopedEnv::CScopedEnv(const char* name, const QByteArray& value)
    : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
}

CScopedEnv::~CScopedEnv() {
    if (m_had) {
        qputenv(m_name, m_old);
    } else {
        qunsetenv(m_name);
    }
}

QString LinkAddress(int n) {
    const unsigned pid = static_cast<unsigned>(::getpid());
    return QStringLiteral("127.%1.%2.%3").arg(1 + pid % 250).arg(pid / 250 % 250).arg(n);
}

void GiveLinkAddress(QProcessEnvironment& env) {
    // From 100 up, clear of the ends a test names itself.
    static std::atomic<int> next{100};
    env.insert(QStringLiteral("TAVO_P2P_ADDRESS"), LinkAddress(next++ % 155 + 100));
}

}  // namespace tavotest
