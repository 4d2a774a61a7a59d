#include "tests/support/PostgresServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QUrl>

#include <libpq-fe.h>

#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <csignal>

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
    QProcess initdb;
    Prepare(initdb, m_dir.filePath("initdb.log"));
    initdb.start(m_programs + "/initdb", {"--no-sync", "-A", "trust", "-U", "tavo", "-E", "UTF8",
                                          "--locale=C.UTF-8", "-D", m_dir.filePath("data")});
    if (!initdb.waitForFinished(-1) || initdb.exitStatus() != QProcess::NormalExit ||
        initdb.exitCode() != 0) {
        m_error = QStringLiteral("initdb failed: ") + Log("initdb.log");
        return;
    }
    Start();
}

CPostgresServer::~CPostgresServer() {
    Stop();
}

void CPostgresServer::Prepare(QProcess& process, const QString& log) {
    process.setStandardOutputFile(log, QIODevice::Append);
    process.setStandardErrorFile(log, QIODevice::Append);
    const passwd* user = ServerUser();
    const uid_t uid = user ? user->pw_uid : 0;
    const gid_t gid = user ? user->pw_gid : 0;
    process.setChildProcessModifier([uid, gid, parent = ::getpid()] {
        // The server dies with the test, whatever ends it. A change of user clears that wish,
        // so it is made after; a test that died meanwhile has no server either.
        if (uid != 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
            ::_exit(126);
        }
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) {
            ::_exit(125);
        }
    });
}

QString CPostgresServer::Log(const QString& name) const {
    QFile log(m_dir.filePath(name));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

bool CPostgresServer::Start() {
    if (Running()) {
        return true;
    }
    Prepare(m_server, m_dir.filePath("server.log"));
    m_server.start(m_programs + "/postgres",
                   {"-D", m_dir.filePath("data"), "-k", m_dir.path(), "-p", QString::number(kPort),
                    "-c", "listen_addresses=", "-c", m_durable ? "fsync=on" : "fsync=off"});
    const QByteArray address = Address(QStringLiteral("postgres")).toUtf8();
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000) {
        if (!m_server.waitForStarted(-1) || m_server.waitForFinished(50)) {
            m_error = QStringLiteral("the server ended: ") + Log("server.log");
            return false;
        }
        if (PQping(address.constData()) == PQPING_OK) {
            return true;
        }
    }
    m_error = QStringLiteral("the server did not answer at %1 within 20 seconds: %2")
                  .arg(QString::fromUtf8(address), Log("server.log"));
    Stop();
    return false;
}

bool CPostgresServer::Stop() {
    if (!Running()) {
        return true;
    }
    // SIGINT: a fast shutdown, ending every connection and keeping what was committed; one
    // that hangs is killed.
    ::kill(static_cast<pid_t>(m_server.processId()), SIGINT);
    if (!m_server.waitForFinished(10000)) {
        m_server.kill();
        m_server.waitForFinished();
    }
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
