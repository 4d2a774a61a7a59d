#pragma once
// The database on a PostgreSQL server, through libpq. Statements are prepared on the server
// once per connection and kept by their text. A connection that drops is opened again at the
// next statement (at most once a second while the server stays away): a read that met the drop
// is asked again on the new connection; a write that met it fails, since it cannot be known
// whether the server kept it, and its caller refuses as for any database failure.

#include "server/SqlDb.h"

#include <QElapsedTimer>

#include <map>
#include <vector>

struct pg_conn;
struct pg_result;

class CPostgresDb : public ISqlDb {
public:
    CPostgresDb() = default;
    ~CPostgresDb() override;
    CPostgresDb(const CPostgresDb&) = delete;
    CPostgresDb& operator=(const CPostgresDb&) = delete;

    // Connects to a "postgresql://" address; false, with the reason in LastError, when the
    // server cannot be reached or refuses.
    bool Open(const QString& address);

    ESqlEngine Engine() const override { return ESqlEngine::Postgres; }
    bool IsOpen() const override { return m_conn != nullptr; }
    void Close() override;
    bool Exec(const QByteArray& script) override;
    std::unique_ptr<ISqlCursor> Prepare(const QByteArray& sql) override;
    int Changes() const override { return m_changes; }
    QString LastError() const override { return m_error; }
    bool Begin() override;
    bool Commit() override;
    bool Rollback() override;
    bool Lost() const override;

    // Runs a prepared statement (its text with $n placeholders); the result, owned by the
    // caller, or null with LastError set.
    pg_result* Run(const QByteArray& sql, const std::vector<QByteArray>& params,
                   const std::vector<bool>& given);

private:
    bool Connected();
    void Fail(const char* what);

    pg_conn* m_conn = nullptr;
    QString m_address;
    QString m_error;
    int m_changes = 0;
    bool m_inTransaction = false;
    std::map<QByteArray, QByteArray> m_prepared;  // statement text -> server-side name
    QElapsedTimer m_failedAttempt;                // running while the last reconnection failed
};
