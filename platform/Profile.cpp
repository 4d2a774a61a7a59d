#include "platform/Profile.h"

#include "platform/CodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

#include <map>
#include <mutex>

struct CProfileStore::CState {
    QString name;
    QString path;
    mutable std::mutex mutex;
    QJsonObject sections;
};

namespace {

std::mutex g_registryMutex;
QString g_root;
std::map<QString, std::unique_ptr<CProfileStore>>& Registry() {
    static std::map<QString, std::unique_ptr<CProfileStore>> stores;
    return stores;
}

QString g_appProfileName = QStringLiteral("TavoTavo");
std::mutex g_appMutex;

bool Save(const CProfileStore::CState& state) {
    QDir().mkpath(QFileInfo(state.path).absolutePath());
    QSaveFile file(state.path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(QJsonDocument(state.sections).toJson(QJsonDocument::Indented));
    return file.commit();
}

// Profile names come from files and the user; keep them to one path component.
QString SafeFileName(const QString& name) {
    QString safe = name;
    for (QChar& c : safe) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QChar(0)) {
            c = QLatin1Char('_');
        }
    }
    if (safe.isEmpty() || safe == QLatin1String(".") || safe == QLatin1String("..")) {
        safe = QStringLiteral("_") + safe;
    }
    return safe;
}

}  // namespace

CProfileStore::CProfileStore(std::shared_ptr<CState> state) : m_state(std::move(state)) {}

QString CProfileStore::Root() {
    std::lock_guard lock(g_registryMutex);
    if (!g_root.isEmpty()) {
        return g_root;
    }
    const QByteArray env = qgetenv("TAVO_CONFIG_HOME");
    if (!env.isEmpty()) {
        return QString::fromLocal8Bit(env);
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tavo");
}

void CProfileStore::SetRoot(const QString& root) {
    std::lock_guard lock(g_registryMutex);
    g_root = root;
    Registry().clear();
}

CProfileStore& CProfileStore::Open(const QString& name) {
    const QString root = Root();
    std::lock_guard lock(g_registryMutex);
    auto& stores = Registry();
    auto it = stores.find(name);
    if (it != stores.end()) {
        return *it->second;
    }
    auto state = std::make_shared<CState>();
    state->name = name;
    state->path = root + QStringLiteral("/ZEL/") + SafeFileName(name) + QStringLiteral(".json");
    QFile file(state->path);
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
        if (doc.isObject()) {
            state->sections = doc.object();
        }
    }
    auto& slot = stores[name];
    slot = std::make_unique<CProfileStore>(std::move(state));
    return *slot;
}

QString CProfileStore::Name() const {
    return m_state->name;
}

CProfileStore::EKind CProfileStore::Kind(const QString& section, const QString& key) const {
    std::lock_guard lock(m_state->mutex);
    const QJsonValue value = m_state->sections.value(section).toObject().value(key);
    if (value.isDouble()) {
        return EKind::Number;
    }
    if (value.isString()) {
        return EKind::Text;
    }
    return EKind::Missing;
}

int CProfileStore::GetInt(const QString& section, const QString& key, int def) const {
    std::lock_guard lock(m_state->mutex);
    const QJsonValue value = m_state->sections.value(section).toObject().value(key);
    return value.isDouble() ? static_cast<int>(value.toInteger(def)) : def;
}

QString CProfileStore::GetString(const QString& section, const QString& key,
                                 const QString& def) const {
    std::lock_guard lock(m_state->mutex);
    const QJsonValue value = m_state->sections.value(section).toObject().value(key);
    if (value.isString()) {
        return value.toString();
    }
    if (value.isDouble()) {
        return QString::number(value.toInteger());
    }
    return def;
}

bool CProfileStore::WriteInt(const QString& section, const QString& key, int value) {
    std::lock_guard lock(m_state->mutex);
    QJsonObject object = m_state->sections.value(section).toObject();
    object.insert(key, value);
    m_state->sections.insert(section, object);
    return Save(*m_state);
}

bool CProfileStore::WriteString(const QString& section, const QString& key, const QString& value) {
    std::lock_guard lock(m_state->mutex);
    QJsonObject object = m_state->sections.value(section).toObject();
    object.insert(key, value);
    m_state->sections.insert(section, object);
    return Save(*m_state);
}

bool CProfileStore::Remove(const QString& section, const QString& key) {
    std::lock_guard lock(m_state->mutex);
    QJsonObject object = m_state->sections.value(section).toObject();
    if (!object.contains(key)) {
        return false;
    }
    object.remove(key);
    m_state->sections.insert(section, object);
    return Save(*m_state);
}

QStringList CProfileStore::Keys(const QString& section) const {
    std::lock_guard lock(m_state->mutex);
    return m_state->sections.value(section).toObject().keys();
}

QString CAppProfile::ProfileName() {
    std::lock_guard lock(g_appMutex);
    return g_appProfileName;
}

void CAppProfile::SetProfileName(const QString& name) {
    std::lock_guard lock(g_appMutex);
    g_appProfileName = name;
}

CProfileStore& CAppProfile::Store() {
    return CProfileStore::Open(ProfileName());
}

int CAppProfile::GetProfileInt(const QString& section, const QString& key, int def) {
    return Store().GetInt(section, key, def);
}

QString CAppProfile::GetProfileString(const QString& section, const QString& key,
                                      const QString& def) {
    return Store().GetString(section, key, def);
}

bool CAppProfile::WriteProfileInt(const QString& section, const QString& key, int value) {
    return Store().WriteInt(section, key, value);
}

bool CAppProfile::WriteProfileString(const QString& section, const QString& key,
                                     const QString& value) {
    return Store().WriteString(section, key, value);
}

namespace {

QString ReadIniText(const QString& path, bool* ok) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *ok = false;
        return QString();
    }
    *ok = true;
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        text = FromAnsi(bytes);
    }
    return text;
}

// Finds the line index range of a section's body: [begin, end).
bool FindSection(const QStringList& lines, const QString& section, int* begin, int* end) {
    int i = 0;
    for (; i < lines.size(); ++i) {
        const QString t = lines[i].trimmed();
        if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')) &&
            t.mid(1, t.size() - 2).trimmed().compare(section, Qt::CaseInsensitive) == 0) {
            break;
        }
    }
    if (i == lines.size()) {
        return false;
    }
    *begin = i + 1;
    int j = *begin;
    while (j < lines.size() && !lines[j].trimmed().startsWith(QLatin1Char('['))) {
        ++j;
    }
    *end = j;
    return true;
}

int FindKey(const QStringList& lines, int begin, int end, const QString& key, QString* value) {
    for (int i = begin; i < end; ++i) {
        const QString& line = lines[i];
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || line.trimmed().startsWith(QLatin1Char(';'))) {
            continue;
        }
        if (line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            if (value) {
                QString v = line.mid(eq + 1).trimmed();
                if (v.size() >= 2 && v.startsWith(QLatin1Char('"')) &&
                    v.endsWith(QLatin1Char('"'))) {
                    v = v.mid(1, v.size() - 2);
                }
                *value = v;
            }
            return i;
        }
    }
    return -1;
}

}  // namespace

QString GetPrivateProfileString(const QString& section, const QString& key, const QString& def,
                                const QString& path) {
    bool ok = false;
    const QStringList lines = ReadIniText(path, &ok).split(QLatin1Char('\n'));
    int begin = 0;
    int end = 0;
    QString value;
    if (!ok || !FindSection(lines, section, &begin, &end) ||
        FindKey(lines, begin, end, key, &value) < 0) {
        return def;
    }
    return value;
}

int GetPrivateProfileInt(const QString& section, const QString& key, int def, const QString& path) {
    const QString text = GetPrivateProfileString(section, key, QString(), path);
    if (text.isNull()) {
        return def;
    }
    // Windows reads the leading decimal digits and gives 0 for a value without any.
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    for (; i < text.size() && text[i].isDigit(); ++i) {
        value = value * 10 + text[i].digitValue();
        if (value > 0x7FFFFFFFLL) {
            break;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& path) {
    bool ok = false;
    QString text = ReadIniText(path, &ok);
    QStringList lines = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
    }
    int begin = 0;
    int end = 0;
    const QString entry = key + QLatin1Char('=') + value;
    if (!FindSection(lines, section, &begin, &end)) {
        if (!lines.isEmpty() && lines.last().isEmpty()) {
            lines.removeLast();
        }
        lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
    } else {
        const int at = FindKey(lines, begin, end, key, nullptr);
        if (at >= 0) {
            lines[at] = entry;
        } else {
            lines.insert(end, entry);
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(lines.join(QLatin1String("\n")).toUtf8() + "\n");
    return file.commit();
}
