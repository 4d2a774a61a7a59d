#pragma once
// Settings. The registry profile "Software\ZEL\<name>\Main" becomes a JSON file per profile
// name under the user's configuration folder; each value keeps its kind, a 32-bit number or a
// text, as the registry does, so a text standing where a number belongs can be seen and
// repaired. Private profile files (cfg.ini, config.ini) are read with the INI functions below.

#include <QString>
#include <QStringList>

#include <memory>

class CProfileStore {
public:
    enum class EKind { Missing, Number, Text };

    // The store of one profile name; every store of the same name shares its values.
    static CProfileStore& Open(const QString& name);

    // Where profiles live: $TAVO_CONFIG_HOME when set, else <XDG config>/tavo.
    static QString Root();
    // Tests point the stores at a folder of their own; every open store is forgotten.
    static void SetRoot(const QString& root);

    QString Name() const;
    EKind Kind(const QString& section, const QString& key) const;
    // A number, or def when the value is missing or a text.
    int GetInt(const QString& section, const QString& key, int def) const;
    // A text, or def when the value is missing; a number reads as its decimal text.
    QString GetString(const QString& section, const QString& key,
                      const QString& def = QString()) const;
    bool WriteInt(const QString& section, const QString& key, int value);
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool Remove(const QString& section, const QString& key);
    QStringList Keys(const QString& section) const;

    struct CState;
    explicit CProfileStore(std::shared_ptr<CState> state);

private:
    std::shared_ptr<CState> m_state;
};

// The application's profile: the store of the profile name the application object holds.
// The trace log replaces that name when it opens; settings read afterwards live under it.
class CAppProfile {
public:
    static QString ProfileName();
    static void SetProfileName(const QString& name);
    static CProfileStore& Store();

    static int GetProfileInt(const QString& section, const QString& key, int def);
    static QString GetProfileString(const QString& section, const QString& key,
                                    const QString& def = QString());
    static bool WriteProfileInt(const QString& section, const QString& key, int value);
    static bool WriteProfileString(const QString& section, const QString& key,
                                   const QString& value);
};

// Private profile files. Sections and keys match without regard to case, as on Windows.
// Files are UTF-8; a file that is not valid UTF-8 is read in the ANSI code page.
QString GetPrivateProfileString(const QString& section, const QString& key, const QString& def,
                                const QString& path);
int GetPrivateProfileInt(const QString& section, const QString& key, int def, const QString& path);
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& path);
