#include "server/SqlDb.h"

#include "server/Postgres.h"
#include "server/Sqlite.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {
void SetError(QString* error, const QString& text) {
    if (error) {
        *error = text;
    }
}
}  // namespace

bool IsPostgresAddress(const QString& address) {
    return address.startsWith(QLatin1String("postgresql://")) ||
           address.startsWith(QLatin1String("postgres://"));
}

QString ShownAddress(const QString& address) {
    if (!IsPostgresAddress(address)) {
        return address;
    }
    static const QRegularExpression password(QStringLiteral("^(\\w+://[^:@/]*):[^@/]*@"));
    QString shown = address;
    shown.replace(password, QStringLiteral("\\1:***@"));
    return shown;
}

std::unique_ptr<ISqlDb> OpenSqlDb(const QString& address, QString* error) {
    if (IsPostgresAddress(address)) {
        auto db = std::make_unique<CPostgresDb>();
        if (!db->Open(address)) {
            SetError(error, db->LastError());
            return nullptr;
        }
        return db;
    }
    // SQLite writes its journal beside the database, so a folder it cannot write fails only at
    // the first change, long after start-up; and a missing one gives a bare "unable to open".
    // Both are told here, before anything runs.
    if (address != QLatin1String(":memory:") && !address.startsWith(QLatin1String("file:"))) {
        const QFileInfo file(address);
        const QFileInfo folder(file.absolutePath());
        if (!folder.isDir()) {
            SetError(error, QStringLiteral("the database folder %1 does not exist")
                                .arg(folder.absoluteFilePath()));
            return nullptr;
        }
        if (!folder.isWritable() || (file.exists() && !file.isWritable())) {
            SetError(error, QStringLiteral("cannot write the database %1: its folder or the file "
                                           "is not writable by this user")
                                .arg(file.absoluteFilePath()));
            return nullptr;
        }
    }
    auto db = std::make_unique<CSqliteDb>();
    if (!db->Open(address)) {
        SetError(error, QStringLiteral("cannot open %1: %2").arg(address, db->LastError()));
        return nullptr;
    }
    return db;
}
