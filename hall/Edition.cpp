#include "hall/Edition.h"

#include "platform/Profile.h"

#include <QDir>
#include <QFileInfo>

#include <iterator>

namespace {

// Our own editions. Every one of them finds its hall on this machine unless configured
// otherwise: the reference service runs there.
constexpr tagEditionRow kEditions[] = {
    {"TavoSun", 10, "127.0.0.1", nullptr},
    {"TavoTavo", 20, "127.0.0.1", nullptr},
    {"TavoRiver", 30, "127.0.0.1", nullptr},
    {"TavoHill", 40, "127.0.0.1", nullptr},
    {"TavoStar", 50, "127.0.0.1", "TavoStarUpdate.exe"},
    {"TavoLake", 60, "127.0.0.1", nullptr},
    {"TavoCloud", 70, "127.0.0.1", "TavoCloudUpdate.exe"},
};

}  // namespace

QString ReadEditionName(const QString& programFolder) {
    const QString path = QDir(programFolder).filePath(QStringLiteral("cfg.ini"));
    QString fallback = QString::fromLatin1(kDefaultEditionName);
    if (!QFileInfo::exists(path)) {
        return fallback;
    }
    const QString name =
        GetPrivateProfileString(QStringLiteral("Version"), QStringLiteral("name"), fallback, path)
            .trimmed();
    return name.isEmpty() ? fallback : name;
}

const tagEditionRow* FindEdition(const QString& name) {
    for (const auto& row : kEditions) {
        if (name == QLatin1String(row.name)) {
            return &row;
        }
    }
    return nullptr;
}

int EditionCode(const QString& name) {
    const tagEditionRow* row = FindEdition(name);
    return row ? row->code : kUnknownEditionCode;
}

QString DefaultHallAddress(const QString& name) {
    const tagEditionRow* row = FindEdition(name);
    return QString::fromLatin1(row ? row->hallAddress : "127.0.0.1");
}

QString EditionUpdater(int code) {
    for (const auto& row : kEditions) {
        if (row.code == code && row.updater) {
            return QString::fromLatin1(row.updater);
        }
    }
    return QString();
}
