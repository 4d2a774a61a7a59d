#include "server/Sqlite.h"

#include <sqlite3.h>

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
    return true;
}

void CSqliteDb::Close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

bool CSqliteDb::Exec(const char* sql) {
    return m_db && sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString CSqliteDb::LastError() const {
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("database not open");
}

int64_t CSqliteDb::LastInsertId() const {
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

int CSqliteDb::Changes() const {
    return m_db ? sqlite3_changes(m_db) : 0;
}

CSqliteStatement::CSqliteStatement(CSqliteDb& db, const char* sql) {
    if (!db.Handle() || sqlite3_prepare_v2(db.Handle(), sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        m_stmt = nullptr;
    }
}

CSqliteStatement::~CSqliteStatement() {
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
    }
}

CSqliteStatement& CSqliteStatement::Bind(int index, int64_t value) {
    if (m_stmt && sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK) {
        m_failed = true;
    }
    return *this;
}

CSqliteStatement& CSqliteStatement::Bind(int index, const QString& value) {
    const QByteArray bytes = value.toUtf8();
    if (m_stmt &&
        sqlite3_bind_text(m_stmt, index, bytes.constData(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
        m_failed = true;
    }
    return *this;
}

bool CSqliteStatement::Step() {
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

bool CSqliteStatement::Run() {
    if (!Ok()) {
        return false;
    }
    while (Step()) {
    }
    return Ok();
}

int64_t CSqliteStatement::Int(int column) const {
    return m_stmt ? sqlite3_column_int64(m_stmt, column) : 0;
}

QString CSqliteStatement::Text(int column) const {
    if (!m_stmt) {
        return QString();
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column)) : QString();
}
