#include "server/Sqlite.h"

#include <sqlite3.h>

namespace {

class CSqliteCursor : public ISqlCursor {
public:
    CSqliteCursor(sqlite3* db, const QByteArray& sql) {
        if (!db || sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &m_stmt,
                                      nullptr) != SQLITE_OK) {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
        }
    }
    ~CSqliteCursor() override { sqlite3_finalize(m_stmt); }
    CSqliteCursor(const CSqliteCursor&) = delete;
    CSqliteCursor& operator=(const CSqliteCursor&) = delete;

    bool Ok() const override { return m_stmt != nullptr && !m_failed; }
    void Bind(int index, int64_t value) override {
        if (m_stmt && sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK) {
            m_failed = true;
        }
    }
    void Bind(int index, const QString& value) override {
        const QByteArray bytes = value.toUtf8();
        if (m_stmt &&
            sqlite3_bind_text(m_stmt, index, bytes.constData(), static_cast<int>(bytes.size()),
                              SQLITE_TRANSIENT) != SQLITE_OK) {
            m_failed = true;
        }
    }
    bool Step() override {
        if (!Ok()) {
            return false;
        }
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            m_failed = true;
        }
        return false;
    }
    int64_t Int(int column) const override {
        return m_stmt ? sqlite3_column_int64(m_stmt, column) : 0;
    }
    QString Text(int column) const override {
        if (!m_stmt) {
            return QString();
        }
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return text ? QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column)) : QString();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    bool m_failed = false;
};

}  // namespace

CSqliteDb::~CSqliteDb() {
    Close();
}

bool CSqliteDb::Open(const QString& path) {
    Close();
    const QByteArray name = path.toUtf8();
    if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        return false;
    }
    // The admin command line writes while the service runs: wait for each other's locks.
    sqlite3_busy_timeout(m_db, 5000);
    return Exec(
        "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; "
        "PRAGMA foreign_keys = ON");
}

void CSqliteDb::Close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

bool CSqliteDb::Exec(const QByteArray& script) {
    return m_db && sqlite3_exec(m_db, script.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::unique_ptr<ISqlCursor> CSqliteDb::Prepare(const QByteArray& sql) {
    return std::make_unique<CSqliteCursor>(m_db, sql);
}

QString CSqliteDb::LastError() const {
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("database not open");
}

int CSqliteDb::Changes() const {
    return m_db ? sqlite3_changes(m_db) : 0;
}
