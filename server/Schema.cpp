#include "server/Schema.h"

#include <QRegularExpression>

namespace {

// Written in SQLite's words with two marks: {serial} is a key the database numbers, and
// {rowid} gives a table whose rows are read in the order they came a column of that order
// (SQLite keeps one in every table already).
const char* const kMigrations[] = {
    // 1: the tables as they were before migrations were numbered.
    R"sql(
CREATE TABLE IF NOT EXISTS accounts(
  number INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE COLLATE NOCASE,
  nickname TEXT NOT NULL DEFAULT '',
  digest TEXT NOT NULL,
  created_at INTEGER NOT NULL DEFAULT 0,
  last_login INTEGER NOT NULL DEFAULT 0,
  login_count INTEGER NOT NULL DEFAULT 0,
  money INTEGER NOT NULL DEFAULT 0,
  level INTEGER NOT NULL DEFAULT 0,
  entry_effect INTEGER NOT NULL DEFAULT 0,
  entry_vip INTEGER NOT NULL DEFAULT 0,
  signature TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS areas(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  list INTEGER NOT NULL DEFAULT 1,
  position INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS rooms(
  number INTEGER PRIMARY KEY,
  area INTEGER NOT NULL DEFAULT 0,
  name TEXT NOT NULL,
  owner INTEGER NOT NULL DEFAULT 0,
  password TEXT NOT NULL DEFAULT '',
  max_members INTEGER NOT NULL DEFAULT 100,
  topic TEXT NOT NULL DEFAULT '',
  welcome TEXT NOT NULL DEFAULT '',
  mic_mode INTEGER NOT NULL DEFAULT 1,
  mic_forced INTEGER NOT NULL DEFAULT 0,
  mic_seconds INTEGER NOT NULL DEFAULT 300,
  public_text INTEGER NOT NULL DEFAULT 1,
  dual_mic INTEGER NOT NULL DEFAULT 0,
  quality INTEGER NOT NULL DEFAULT 1,
  forbidden_nicknames TEXT NOT NULL DEFAULT '',
  forbidden_texts TEXT NOT NULL DEFAULT '',
  disabled_until INTEGER NOT NULL DEFAULT 0,
  disabled_reason TEXT NOT NULL DEFAULT '',
  disabled_by TEXT NOT NULL DEFAULT '',
  server INTEGER NOT NULL DEFAULT 1,
  isp TEXT NOT NULL DEFAULT '',
  format INTEGER NOT NULL DEFAULT 0,
  listed INTEGER NOT NULL DEFAULT 1);
CREATE TABLE IF NOT EXISTS room_ranks(
  room INTEGER NOT NULL,
  account INTEGER NOT NULL,
  rank INTEGER NOT NULL,
  PRIMARY KEY(room, account));
CREATE TABLE IF NOT EXISTS favourites(
  account INTEGER NOT NULL,
  room INTEGER NOT NULL,
  added_at INTEGER NOT NULL DEFAULT 0{rowid},
  PRIMARY KEY(account, room));
CREATE TABLE IF NOT EXISTS bans(
  room INTEGER NOT NULL,
  who TEXT NOT NULL COLLATE NOCASE,
  until INTEGER NOT NULL,
  reason TEXT NOT NULL DEFAULT '',
  by TEXT NOT NULL DEFAULT '',
  PRIMARY KEY(room, who));
CREATE TABLE IF NOT EXISTS reports(
  id {serial},
  room INTEGER NOT NULL,
  who TEXT NOT NULL,
  text TEXT NOT NULL,
  made_at INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS room_formats(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  max_members INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS gifts(
  number INTEGER NOT NULL,
  kind INTEGER NOT NULL DEFAULT 0,
  name TEXT NOT NULL,
  value INTEGER NOT NULL,
  animation TEXT NOT NULL DEFAULT '',
  width INTEGER NOT NULL DEFAULT 400,
  height INTEGER NOT NULL DEFAULT 300,
  seconds INTEGER NOT NULL DEFAULT 5,
  mark INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(number, kind));
CREATE TABLE IF NOT EXISTS admin_queue(
  id {serial},
  command TEXT NOT NULL,
  room INTEGER NOT NULL DEFAULT 0,
  text TEXT NOT NULL DEFAULT '',
  target TEXT NOT NULL DEFAULT '');
)sql",
    // 2: room servers of every process, where clients reach them and when they last beat.
    R"sql(
CREATE TABLE room_servers(
  number INTEGER PRIMARY KEY,
  host TEXT NOT NULL,
  main_port INTEGER NOT NULL,
  second_port INTEGER NOT NULL,
  heartbeat INTEGER NOT NULL);
)sql",
    // 3: who is present, for every process: the hall's proof of each login and visitor, which
    // room servers take at room login, and where each of them is, which gives the occupancy.
    R"sql(
CREATE TABLE presence(
  name TEXT NOT NULL COLLATE NOCASE,
  number INTEGER NOT NULL,
  nickname TEXT NOT NULL DEFAULT '',
  registered INTEGER NOT NULL DEFAULT 0,
  user_number INTEGER NOT NULL,
  machine TEXT NOT NULL DEFAULT '',
  room INTEGER NOT NULL DEFAULT 0,
  room_server INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(name));
CREATE INDEX presence_room ON presence(room);
)sql",
    // 4: halls beat like room servers, and each presence row and admin command names the hall
    // it belongs to, so the rows of a hall that stopped beating can be swept and a command for
    // a client reaches the hall holding it.
    R"sql(
CREATE TABLE halls(
  number INTEGER PRIMARY KEY,
  heartbeat INTEGER NOT NULL);
ALTER TABLE presence ADD COLUMN hall INTEGER NOT NULL DEFAULT 0;
CREATE INDEX presence_hall ON presence(hall);
ALTER TABLE admin_queue ADD COLUMN hall INTEGER NOT NULL DEFAULT 0;
)sql",
    // 5: each hall and room server row names the process that beats under its number, so a
    // second process given the same number is told apart from the first.
    R"sql(
ALTER TABLE halls ADD COLUMN instance TEXT NOT NULL DEFAULT '';
ALTER TABLE room_servers ADD COLUMN instance TEXT NOT NULL DEFAULT '';
)sql",
};

constexpr int kCount = static_cast<int>(sizeof(kMigrations) / sizeof(kMigrations[0]));

void SetError(QString* error, const QString& text) {
    if (error) {
        *error = text;
    }
}

}  // namespace

QByteArray SchemaText(const char* ddl, ESqlEngine engine) {
    QString text = QString::fromUtf8(ddl);
    if (engine == ESqlEngine::Sqlite) {
        text.replace(QLatin1String("{serial}"), QLatin1String("INTEGER PRIMARY KEY AUTOINCREMENT"));
        text.replace(QLatin1String("{rowid}"), QString());
        return text.toUtf8();
    }
    // PostgreSQL's INTEGER is 32 bits; SQLite's holds 64 (times, ban ends).
    static const QRegularExpression integer(QStringLiteral("\\bINTEGER\\b"));
    text.replace(integer, QStringLiteral("BIGINT"));
    text.replace(QLatin1String("{serial}"),
                 QLatin1String("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"));
    text.replace(QLatin1String("{rowid}"),
                 QLatin1String(",\n  rowid BIGINT GENERATED ALWAYS AS IDENTITY"));
    // SQLite's NOCASE as a collation of the same name: comparisons, keys and unique names all
    // ignore letter case, with no lower() in any statement.
    if (text.contains(QLatin1String("COLLATE NOCASE"))) {
        text.prepend(QLatin1String(
            "CREATE COLLATION IF NOT EXISTS nocase "
            "(provider = icu, locale = 'und-u-ks-level2', deterministic = false);\n"));
    }
    return text.toUtf8();
}

int LatestSchemaVersion() {
    return kCount;
}

int SchemaVersion(ISqlDb& db) {
    if (!db.Exec("CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)")) {
        return -1;
    }
    CSqlStatement q(db, "SELECT COALESCE(MAX(version), 0) FROM schema_version");
    return q.Step() ? static_cast<int>(q.Int(0)) : -1;
}

bool MigrateSchema(ISqlDb& db, QString* error) {
    if (!db.Begin()) {
        SetError(error, db.LastError());
        return false;
    }
    // Processes starting together on one server take their turns; each sees what the one
    // before it did.
    if (db.Engine() == ESqlEngine::Postgres &&
        !db.Exec("SELECT pg_advisory_xact_lock(1952543599)")) {
        SetError(error, db.LastError());
        db.Rollback();
        return false;
    }
    int version = SchemaVersion(db);
    if (version < 0 || version > kCount) {
        SetError(error, version < 0 ? db.LastError()
                                    : QStringLiteral("the database is at schema version %1, "
                                                     "newer than this program's %2")
                                          .arg(version)
                                          .arg(kCount));
        db.Rollback();
        return false;
    }
    for (; version < kCount; ++version) {
        CSqlStatement mark(db, "INSERT INTO schema_version(version) VALUES(?)");
        mark.Bind(1, version + 1);
        if (!db.Exec(SchemaText(kMigrations[version], db.Engine())) || !mark.Run()) {
            SetError(error,
                     QStringLiteral("migration %1: %2").arg(version + 1).arg(db.LastError()));
            db.Rollback();
            return false;
        }
    }
    if (!db.Commit()) {
        SetError(error, db.LastError());
        return false;
    }
    return true;
}
