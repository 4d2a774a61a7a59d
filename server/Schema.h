#pragma once
// The service's tables, made and changed by numbered migrations on either engine. The number
// of the last one applied is kept in the table schema_version; at start the ones after it run,
// in order, in one transaction, so a database is always at one whole version. A database made
// before the numbering has the tables of migration 1 and is taken up by it in place.

#include "server/SqlDb.h"

// The version the migrations bring a database to.
int LatestSchemaVersion();
// The version a database is at: 0 when it has not been numbered yet, -1 on a failure.
int SchemaVersion(ISqlDb& db);
// Applies what is missing; false, with the reason, when a migration fails (nothing of it stays).
bool MigrateSchema(ISqlDb& db, QString* error);
// A migration's text as the engine speaks it (written once, in SQLite's words).
QByteArray SchemaText(const char* ddl, ESqlEngine engine);
