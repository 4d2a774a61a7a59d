#include "tests/support/PostgresServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QUrl>

#include <libpq-fe.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <vector>

namespace tavotest {
namespace {

// The socket's name only: the server listens on no network address.
constexpr int kPort = 5432;

const passwd* ServerUser() {
    return ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
}

}  // namespace

QString CPostgresServer::Programs() {
    const QByteArray given = qgetenv("TAVO_PG_BIN");
    if (!given.isEmpty()) {
        return QFile::exists(QString::fromLocal8Bit(given) + "/postgres")
                   ? QString::fromLocal8Bit(given)
                   : QString();
    }
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    // The newest version installed.
    const QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        const QString bin = versions.filePath(*it + "/bin");
        if (QFile::exists(bin + "/postgres") && QFile::exists(bin + "/initdb")) {
            return bin;
        }
    }
    return QString();
}

CPostgresServer::CPostgresServer(bool durable) : m_programs(Programs()), m_durable(durable) {
    if (m_programs.isEmpty()) {
        m_error = QStringLiteral("no PostgreSQL server programs under /usr/lib/postgresql");
        return;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    if (const passwd* user = ServerUser()) {
        if (::chown(QFile::encodeName(m_dir.path()).constData(), user->pw_uid, user->pw_gid) != 0) {
            m_error = QStringLiteral("cannot give the temporary folder to nobody");
            return;
        }
    }
    const pid_t initdb = Spawn(m_programs + "/initdb",
                               {"--no-sync", "-A", "trust", "-U", "tavo", "-E", "UTF8",
                                "--locale=C.UTF-8", "-D", m_dir.filePath("data")},
                               m_dir.filePath("initdb.log"));
    int status = 0;
    if (initdb <= 0 || ::waitpid(initdb, &status, 0) != initdb || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        QFile log(m_dir.filePath("initdb.log"));
        log.open(QIODevice::ReadOnly);
        m_error = QStringLiteral("initdb failed: ") + QString::fromLocal8Bit(log.readAll());
        return;
    }
    Start();
}

CPostgresServer::~CPostgresServer() {
    Stop();
}

pid_t CPostgresServer::Spawn(const QString& program, const QStringList& args, const QString& log) {
    std::vector<QByteArray> strings{QFile::encodeName(program)};
    for (const QString& a : args) {
        strings.push_back(a.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& s : strings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    const QByteArray logPath = QFile::encodeName(log);
    const passwd* user = ServerUser();
    const uid_t uid = user ? user->pw_uid : 0;
    const gid_t gid = user ? user->pw_gid : 0;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    // The child: the server dies with the test, whatever ends it. A change of user clears
    // that wish, so it is made after; a test that died meanwhile has no server either.
    if (user && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
        ::_exit(126);
    }
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) {
        ::_exit(125);
    }
    const int fd = ::open(logPath.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) {
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

bool CPostgresServer::Start() {
    if (m_pid > 0) {
        return true;
    }
    m_pid = Spawn(m_programs + "/postgres",
                  {"-D", m_dir.filePath("data"), "-k", m_dir.path(), "-p", QString::number(kPort),
                   "-c", "listen_addresses=", "-c", m_durable ? "fsync=on" : "fsync=off"},
                  m_dir.filePath("server.log"));
    const QByteArray address = Address(QStringLiteral("postgres")).toUtf8();
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000) {
        int status = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            QFile log(m_dir.filePath("server.log"));
            log.open(QIODevice::ReadOnly);
            m_error = QStringLiteral("the server ended: ") + QString::fromLocal8Bit(log.readAll());
            m_pid = 0;
            return false;
        }
        if (PQping(address.constData()) == PQPING_OK) {
            return true;
        }
        QThread::msleep(50);
    }
    QFile log(m_dir.filePath("server.log"));
    log.open(QIODevice::ReadOnly);
    m_error = QStringLiteral("the server did not answer at %1 within 20 seconds: %2")
                  .arg(QString::fromUtf8(address), QString::fromLocal8Bit(log.readAll()));
    Stop();
    return false;
}

bool CPostgresServer::Stop() {
    if (m_pid <= 0) {
        return true;
    }
    // SIGINT: a fast shutdown, ending every connection and keeping what was committed; one
    // that hangs is killed.
    ::kill(m_pid, SIGINT);
    int status = 0;
    QElapsedTimer waited;
    waited.start();
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (waited.elapsed() > 10000) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        QThread::msleep(20);
    }
    m_pid = 0;
    return true;
}

QString CPostgresServer::Address(const QString& database) const {
    // Concatenated: the folder's "%2F" must not meet arg().
    return QStringLiteral("postgresql://tavo@") +
           QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path())) + QLatin1Char(':') +
           QString::number(kPort) + QLatin1Char('/') + database;
}

QString CPostgresServer::NewDatabase() {
    const QString name = QStringLiteral("test%1").arg(++m_databases);
    const QByteArray address = Address(QStringLiteral("postgres")).toUtf8();
    PGconn* conn = PQconnectdb(address.constData());
    PGresult* made = PQexec(conn, QByteArray("CREATE DATABASE " + name.toLatin1()).constData());
    const bool ok = PQresultStatus(made) == PGRES_COMMAND_OK;
    if (!ok) {
        m_error = QString::fromUtf8(PQerrorMessage(conn));
    }
    PQclear(made);
    PQfinish(conn);
    return ok ? Address(name) : QString();
}

}  // namespace tavotest
