#include "platform/StringTable.h"

#include "platform/StringIds.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <atomic>
#include <mutex>

namespace {

std::atomic<bool> g_traditional{false};

std::vector<tagStringEntry> ReadSet(const QString& folder) {
    std::vector<tagStringEntry> entries;
    const QStringList files =
        QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        QFile file(folder + QLatin1Char('/') + name);
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        for (const QString& raw : lines) {
            QString line = raw;
            if (line.endsWith(QLatin1Char('\r'))) {
                line.chop(1);
            }
            if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
                continue;
            }
            const int tab = line.indexOf(QLatin1Char('\t'));
            bool ok = false;
            const int id = line.left(tab).toInt(&ok);
            if (tab < 0 || !ok) {
                continue;
            }
            QString text = line.mid(tab + 1);
            // A text the code names carries its name between the number and the text.
            static const QRegularExpression named(QStringLiteral("^IDS_[A-Z0-9_]+\t"));
            const QRegularExpressionMatch m = named.match(text);
            if (m.hasMatch()) {
                text = text.mid(m.capturedLength());
            }
            entries.push_back({id, text, name});
        }
    }
    return entries;
}

const QHash<int, QString>& Table(bool traditional) {
    static std::once_flag once;
    static QHash<int, QString> tables[2];
    std::call_once(once, [] {
        for (int t = 0; t < 2; ++t) {
            for (const auto& e : StringTableEntries(t == 1)) {
                tables[t].insert(e.id, e.text);
            }
        }
    });
    return tables[traditional ? 1 : 0];
}

}  // namespace

std::vector<tagStringEntry> StringTableEntries(bool traditional) {
    return ReadSet(traditional ? QStringLiteral(":/strings-hk") : QStringLiteral(":/strings"));
}

QString LoadString(int id) {
    const bool traditional = g_traditional.load(std::memory_order_relaxed);
    const auto& table = Table(traditional);
    auto it = table.find(id);
    if (it != table.end()) {
        return *it;
    }
    // A text not yet translated falls back to the simplified set.
    return traditional ? Table(false).value(id) : QString();
}

void SetStringLanguage(const QString& language) {
    g_traditional.store(language.toUpper() == QLatin1String("HONGKONG"), std::memory_order_relaxed);
}

QString RefusalText(int code) {
    // A refusal code's text has the code's number.
    constexpr int kFirstRefusal = 128;
    constexpr int kLastRefusal = 167;
    return LoadString(code >= kFirstRefusal && code <= kLastRefusal ? code : IDS_UNKNOWN_ERROR);
}
