#pragma once
// A private PostgreSQL server for a test or a benchmark: made by initdb in a temporary folder,
// listening only on a unix socket there, and gone with the object (or with the process, should
// it die first). As root it runs as "nobody", since PostgreSQL refuses to run as root.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace tavotest {

class CPostgresServer {
public:
    // Makes and starts the server; Running() says whether it came up, Error() why not. Tests
    // run it without flushing to disk; a benchmark asks for a durable one, as deployed.
    explicit CPostgresServer(bool durable = false);
    ~CPostgresServer();
    CPostgresServer(const CPostgresServer&) = delete;
    CPostgresServer& operator=(const CPostgresServer&) = delete;

    // The folder of the server's programs (initdb, postgres), empty when they are missing.
    static QString Programs();

    bool Running() const { return m_server.state() != QProcess::NotRunning; }
    QString Error() const { return m_error; }
    // A new, empty database on the server, as the "postgresql://" address the service reads.
    QString NewDatabase();
    // Ends the server as an administrator would (its data stays), and starts it again.
    bool Stop();
    bool Start();

private:
    QString Address(const QString& database) const;
    // Readies a process of the server's programs: its output to the log, run as the server's
    // user, dying with the test.
    void Prepare(QProcess& process, const QString& log);
    QString Log(const QString& name) const;

    QTemporaryDir m_dir;
    QString m_programs;
    QProcess m_server;
    int m_databases = 0;
    bool m_durable = false;
    QString m_error;
};

}  // namespace tavotest
