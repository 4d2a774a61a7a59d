#pragma once
// The service's hold on its database, whichever engine keeps it: a connection that runs
// scripts and transactions, and prepared statements with positional binds ("?", numbered from
// 1) and typed reads. SQLite keeps a file; PostgreSQL serves several processes on several
// machines. Statements are written once: what the engines spell differently is mended in the
// engine's own Prepare (placeholders) and in the schema's translation (Schema.cpp). Errors come
// back as results; nothing throws.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

enum class ESqlEngine { Sqlite, Postgres };

// One execution of a prepared statement: binds, then rows.
class ISqlCursor {
public:
    virtual ~ISqlCursor() = default;
    virtual bool Ok() const = 0;
    virtual void Bind(int index, int64_t value) = 0;
    virtual void Bind(int index, const QString& value) = 0;
    // Runs the statement at the first call; true while there is a row. A failure ends the rows
    // and clears Ok().
    virtual bool Step() = 0;
    virtual int64_t Int(int column) const = 0;
    virtual QString Text(int column) const = 0;
};

class ISqlDb {
public:
    virtual ~ISqlDb() = default;
    virtual ESqlEngine Engine() const = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // Runs statements that return nothing the caller reads, separated by ';'.
    virtual bool Exec(const QByteArray& script) = 0;
    virtual std::unique_ptr<ISqlCursor> Prepare(const QByteArray& sql) = 0;
    // Rows the last insert, update or delete touched.
    virtual int Changes() const = 0;
    virtual QString LastError() const = 0;
    // A transaction that holds the write lock from its start, so a check and the change that
    // depends on it cannot be split by another process.
    virtual bool Begin() = 0;
    virtual bool Commit() = 0;
    virtual bool Rollback() = 0;
    // Whether the database is out of reach (a server that went away), so a row that was not
    // found may well be there.
    virtual bool Lost() const { return false; }
};

// "postgresql://user@host:port/db" (or "postgres://") opens PostgreSQL, anything else is an
// SQLite file (":memory:" for a private one). Null, with the address in the reason, when it
// cannot be opened.
std::unique_ptr<ISqlDb> OpenSqlDb(const QString& address, QString* error);
bool IsPostgresAddress(const QString& address);
// The address with any password in it masked, for messages and logs.
QString ShownAddress(const QString& address);

// A prepared statement of one connection:
//   CSqlStatement q(db, "SELECT name FROM accounts WHERE number = ?");
//   q.Bind(1, 10001);
//   while (q.Step()) { ... q.Text(0) ... }
class CSqlStatement {
public:
    CSqlStatement(ISqlDb& db, const QByteArray& sql) : m_cursor(db.Prepare(sql)) {}
    CSqlStatement(ISqlDb& db, const char* sql) : CSqlStatement(db, QByteArray(sql)) {}

    bool Ok() const { return m_cursor && m_cursor->Ok(); }
    CSqlStatement& Bind(int index, int64_t value) {
        if (m_cursor) {
            m_cursor->Bind(index, value);
        }
        return *this;
    }
    CSqlStatement& Bind(int index, int value) { return Bind(index, static_cast<int64_t>(value)); }
    CSqlStatement& Bind(int index, const QString& value) {
        if (m_cursor) {
            m_cursor->Bind(index, value);
        }
        return *this;
    }
    bool Step() { return m_cursor && m_cursor->Step(); }
    // Runs a statement whose rows, if any, are not wanted.
    bool Run() {
        while (Step()) {
        }
        return Ok();
    }
    int64_t Int(int column) const { return m_cursor ? m_cursor->Int(column) : 0; }
    QString Text(int column) const { return m_cursor ? m_cursor->Text(column) : QString(); }

private:
    std::unique_ptr<ISqlCursor> m_cursor;
};
