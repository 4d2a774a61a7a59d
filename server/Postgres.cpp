#include "server/Postgres.h"

#include <libpq-fe.h>

#include <cstdlib>

namespace {

// A reconnection is tried at most this often while the server stays away, so requests that
// need the database fail quickly instead of each waiting for a connection attempt.
constexpr qint64 kRetryMs = 1000;

// "?" becomes "$1", "$2", ...; text in quotes is left alone.
QByteArray NumberPlaceholders(const QByteArray& sql, int* count) {
    QByteArray out;
    out.reserve(sql.size() + 16);
    int n = 0;
    char quote = 0;
    for (const char c : sql) {
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?') {
            out += '$' + QByteArray::number(++n);
            continue;
        }
        out += c;
    }
    *count = n;
    return out;
}

bool IsRead(const QByteArray& sql) {
    return sql.trimmed().left(6).toUpper() == "SELECT";
}

class CPostgresCursor : public ISqlCursor {
public:
    CPostgresCursor(CPostgresDb& db, const QByteArray& sql) : m_db(db) {
        int count = 0;
        m_sql = NumberPlaceholders(sql, &count);
        m_params.resize(static_cast<size_t>(count));
        m_given.resize(static_cast<size_t>(count));
    }
    ~CPostgresCursor() override { PQclear(m_result); }
    CPostgresCursor(const CPostgresCursor&) = delete;
    CPostgresCursor& operator=(const CPostgresCursor&) = delete;

    bool Ok() const override { return m_db.IsOpen() && !m_failed; }
    void Bind(int index, int64_t value) override { Set(index, QByteArray::number(value)); }
    void Bind(int index, const QString& value) override { Set(index, value.toUtf8()); }
    bool Step() override {
        if (!Ok()) {
            return false;
        }
        if (!m_result) {
            m_result = m_db.Run(m_sql, m_params, m_given);
            if (!m_result) {
                m_failed = true;
                return false;
            }
        }
        return ++m_row < PQntuples(m_result);
    }
    int64_t Int(int column) const override {
        return Here(column) ? std::strtoll(PQgetvalue(m_result, m_row, column), nullptr, 10) : 0;
    }
    QString Text(int column) const override {
        return Here(column) ? QString::fromUtf8(PQgetvalue(m_result, m_row, column),
                                                PQgetlength(m_result, m_row, column))
                            : QString();
    }

private:
    void Set(int index, const QByteArray& value) {
        if (index < 1 || index > static_cast<int>(m_params.size())) {
            m_failed = true;
            return;
        }
        m_params[static_cast<size_t>(index - 1)] = value;
        m_given[static_cast<size_t>(index - 1)] = true;
    }
    bool Here(int column) const {
        return m_result && m_row >= 0 && m_row < PQntuples(m_result) && column >= 0 &&
               column < PQnfields(m_result) && !PQgetisnull(m_result, m_row, column);
    }

    CPostgresDb& m_db;
    QByteArray m_sql;
    std::vector<QByteArray> m_params;
    std::vector<bool> m_given;
    PGresult* m_result = nullptr;
    int m_row = -1;
    bool m_failed = false;
};

void IgnoreNotice(void*, const char*) {
    // "relation already exists, skipping" and its kind are expected while the schema is made.
}

}  // namespace

CPostgresDb::~CPostgresDb() {
    Close();
}

bool CPostgresDb::Open(const QString& address) {
    Close();
    m_address = address;
    const QByteArray conninfo = address.toUtf8();
    // What the address sets wins over these defaults.
    const char* const keys[] = {"connect_timeout", "client_encoding", "application_name", "dbname",
                                nullptr};
    const char* const values[] = {"5", "UTF8", "tavo-serverd", conninfo.constData(), nullptr};
    m_conn = PQconnectdbParams(keys, values, 1);
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        Fail("cannot connect to");
        Close();
        return false;
    }
    PQsetNoticeProcessor(m_conn, IgnoreNotice, nullptr);
    return true;
}

void CPostgresDb::Close() {
    if (m_conn) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
    m_prepared.clear();
    m_inTransaction = false;
}

void CPostgresDb::Fail(const char* what) {
    const QString reason =
        m_conn ? QString::fromUtf8(PQerrorMessage(m_conn)).trimmed() : QStringLiteral("no memory");
    m_error = QStringLiteral("%1 %2: %3").arg(QLatin1String(what), ShownAddress(m_address), reason);
}

bool CPostgresDb::Connected() {
    if (!m_conn) {
        return false;
    }
    if (PQstatus(m_conn) == CONNECTION_OK) {
        return true;
    }
    if (m_failedAttempt.isValid() && m_failedAttempt.elapsed() < kRetryMs) {
        Fail("lost the connection to");
        return false;
    }
    PQreset(m_conn);
    // Prepared statements and an open transaction died with the old connection.
    m_prepared.clear();
    m_inTransaction = false;
    if (PQstatus(m_conn) != CONNECTION_OK) {
        Fail("cannot connect again to");
        m_failedAttempt.start();
        return false;
    }
    m_failedAttempt.invalidate();
    PQsetNoticeProcessor(m_conn, IgnoreNotice, nullptr);
    return true;
}

bool CPostgresDb::Exec(const QByteArray& script) {
    if (!Connected()) {
        return false;
    }
    PGresult* result = PQexec(m_conn, script.constData());
    const ExecStatusType status = PQresultStatus(result);
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!ok) {
        Fail("failed on");
    }
    PQclear(result);
    return ok;
}

std::unique_ptr<ISqlCursor> CPostgresDb::Prepare(const QByteArray& sql) {
    return std::make_unique<CPostgresCursor>(*this, sql);
}

PGresult* CPostgresDb::Run(const QByteArray& sql, const std::vector<QByteArray>& params,
                           const std::vector<bool>& given) {
    std::vector<const char*> values(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
        values[i] = given[i] ? params[i].constData() : nullptr;
    }
    const int count = static_cast<int>(params.size());
    // A read that met a dropped connection is asked once more on a new one; nothing it did
    // can have been kept.
    const bool again = IsRead(sql) && !m_inTransaction;
    for (int attempt = 0; attempt < (again ? 2 : 1); ++attempt) {
        if (!Connected()) {
            return nullptr;
        }
        auto known = m_prepared.find(sql);
        if (known == m_prepared.end()) {
            const QByteArray name = "s" + QByteArray::number(m_prepared.size() + 1);
            PGresult* made = PQprepare(m_conn, name.constData(), sql.constData(), count, nullptr);
            const bool ok = PQresultStatus(made) == PGRES_COMMAND_OK;
            PQclear(made);
            if (!ok) {
                Fail("failed on");
                if (PQstatus(m_conn) == CONNECTION_OK) {
                    return nullptr;
                }
                continue;
            }
            known = m_prepared.emplace(sql, name).first;
        }
        PGresult* result = PQexecPrepared(m_conn, known->second.constData(), count, values.data(),
                                          nullptr, nullptr, 0);
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
            m_changes = std::atoi(PQcmdTuples(result));
            return result;
        }
        Fail("failed on");
        PQclear(result);
        if (PQstatus(m_conn) == CONNECTION_OK) {
            return nullptr;
        }
    }
    return nullptr;
}

bool CPostgresDb::Lost() const {
    return !m_conn || PQstatus(m_conn) != CONNECTION_OK;
}

bool CPostgresDb::Begin() {
    m_inTransaction = Exec("BEGIN");
    return m_inTransaction;
}

bool CPostgresDb::Commit() {
    m_inTransaction = false;
    return Exec("COMMIT");
}

bool CPostgresDb::Rollback() {
    m_inTransaction = false;
    return Exec("ROLLBACK");
}
