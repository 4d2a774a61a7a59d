#pragma once
// A thin hold on the SQLite C library: a database handle and prepared statements that bind and
// read Qt strings. Errors come back as results; nothing throws.

#include <QByteArray>
#include <QString>

#include <cstdint>

struct sqlite3;
struct sqlite3_stmt;

class CSqliteDb {
public:
    CSqliteDb() = default;
    ~CSqliteDb();
    CSqliteDb(const CSqliteDb&) = delete;
    CSqliteDb& operator=(const CSqliteDb&) = delete;

    // Opens (creating when missing) a database file, or ":memory:".
    bool Open(const QString& path);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    // Runs statements that return no rows.
    bool Exec(const char* sql);
    QString LastError() const;
    int64_t LastInsertId() const;
    int Changes() const;
    sqlite3* Handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

class CSqliteStatement {
public:
    CSqliteStatement(CSqliteDb& db, const char* sql);
    CSqliteStatement(CSqliteDb& db, const QByteArray& sql)
        : CSqliteStatement(db, sql.constData()) {}
    ~CSqliteStatement();
    CSqliteStatement(const CSqliteStatement&) = delete;
    CSqliteStatement& operator=(const CSqliteStatement&) = delete;

    bool Ok() const { return m_stmt != nullptr && !m_failed; }
    // Parameters are numbered from 1.
    CSqliteStatement& Bind(int index, int64_t value);
    CSqliteStatement& Bind(int index, int value) {
        return Bind(index, static_cast<int64_t>(value));
    }
    CSqliteStatement& Bind(int index, const QString& value);
    // Moves to the next row: true while there is one. A failure ends the rows and clears Ok().
    bool Step();
    // Runs a statement that returns no rows.
    bool Run();
    int64_t Int(int column) const;
    QString Text(int column) const;

private:
    sqlite3_stmt* m_stmt = nullptr;
    bool m_failed = false;
};
