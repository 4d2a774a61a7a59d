#pragma once
// The reference service in a process of its own, with a fresh database seeded with the demo
// data, on loopback ports the system picks. What the tests and benchmarks that need a whole
// service share.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tavotest {

class CServiceProcess {
public:
    // limits: lines of the service's [limits] section ("requests_per_second=1000").
    explicit CServiceProcess(const QString& program, const QStringList& limits = {});
    // One process of a service of several on one database: the configuration file's text as
    // given, the roles and the database in it.
    CServiceProcess(const QString& program, const QByteArray& configuration);
    ~CServiceProcess();
    CServiceProcess(const CServiceProcess&) = delete;
    CServiceProcess& operator=(const CServiceProcess&) = delete;

    // Whether it started and printed its ports.
    bool Running() const { return m_started; }
    int InfoPort() const { return m_infoPort; }
    int WebPort() const { return m_webPort; }
    // The main port of the first room server.
    int RoomPort() const { return m_roomPort; }
    QString ConfigUrl() const;
    // Asks the service to end (SIGTERM) and waits: its exit code, -1 when it did not exit.
    int Stop();
    // Ends it at once (SIGKILL), as a machine that fails.
    void Kill();
    // Whether it ends by itself within `ms`, and with which code.
    bool EndsWithin(int ms) { return m_process.waitForFinished(ms); }
    int ExitCode() const { return m_process.exitCode(); }
    // What the service printed so far, for a failure's message.
    QString Output();

private:
    void Launch(const QString& program, const QStringList& args);

    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_banner;
    int m_infoPort = 0;
    int m_webPort = 0;
    int m_roomPort = 0;
    bool m_started = false;
};

}  // namespace tavotest
