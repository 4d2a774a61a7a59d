#pragma once
// The database in an SQLite file (or in memory), on the SQLite C library.

#include "server/SqlDb.h"

struct sqlite3;

class CSqliteDb : public ISqlDb {
public:
    CSqliteDb() = default;
    ~CSqliteDb() override;
    CSqliteDb(const CSqliteDb&) = delete;
    CSqliteDb& operator=(const CSqliteDb&) = delete;

    // Opens (creating when missing) a database file, or ":memory:".
    bool Open(const QString& path);

    ESqlEngine Engine() const override { return ESqlEngine::Sqlite; }
    bool IsOpen() const override { return m_db != nullptr; }
    void Close() override;
    bool Exec(const QByteArray& script) override;
    std::unique_ptr<ISqlCursor> Prepare(const QByteArray& sql) override;
    int Changes() const override;
    QString LastError() const override;
    bool Begin() override { return Exec("BEGIN IMMEDIATE"); }
    bool Commit() override { return Exec("COMMIT"); }
    bool Rollback() override { return Exec("ROLLBACK"); }

private:
    sqlite3* m_db = nullptr;
};
