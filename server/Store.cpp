#include "server/Store.h"

#include "server/SqlTable.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

const char* const kSchema = R"sql(
PRAGMA journal_mode = WAL;
PRAGMA synchronous = NORMAL;
PRAGMA foreign_keys = ON;
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
  added_at INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(account, room));
CREATE TABLE IF NOT EXISTS bans(
  room INTEGER NOT NULL,
  who TEXT NOT NULL COLLATE NOCASE,
  until INTEGER NOT NULL,
  reason TEXT NOT NULL DEFAULT '',
  by TEXT NOT NULL DEFAULT '',
  PRIMARY KEY(room, who));
CREATE TABLE IF NOT EXISTS reports(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  room INTEGER NOT NULL,
  who TEXT NOT NULL,
  text TEXT NOT NULL,
  made_at INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS room_formats(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  max_members INTEGER NOT NULL);
)sql";

const CSqlTable<tagAccount> kAccounts("accounts",
                                      {
                                          SqlColumn<&tagAccount::number>("number"),
                                          SqlColumn<&tagAccount::name>("name"),
                                          SqlColumn<&tagAccount::nickname>("nickname"),
                                          SqlColumn<&tagAccount::digest>("digest"),
                                          SqlColumn<&tagAccount::createdAt>("created_at"),
                                          SqlColumn<&tagAccount::lastLogin>("last_login"),
                                          SqlColumn<&tagAccount::loginCount>("login_count"),
                                          SqlColumn<&tagAccount::money>("money"),
                                          SqlColumn<&tagAccount::level>("level"),
                                          SqlColumn<&tagAccount::entryEffect>("entry_effect"),
                                          SqlColumn<&tagAccount::entryVip>("entry_vip"),
                                          SqlColumn<&tagAccount::signature>("signature"),
                                      });

const CSqlTable<tagArea> kAreas("areas", {
                                             SqlColumn<&tagArea::id>("id"),
                                             SqlColumn<&tagArea::name>("name"),
                                             SqlColumn<&tagArea::list>("list"),
                                             SqlColumn<&tagArea::position>("position"),
                                         });

const CSqlTable<tagRoomRecord> kRooms(
    "rooms", {
                 SqlColumn<&tagRoomRecord::number>("number"),
                 SqlColumn<&tagRoomRecord::area>("area"),
                 SqlColumn<&tagRoomRecord::name>("name"),
                 SqlColumn<&tagRoomRecord::owner>("owner"),
                 SqlColumn<&tagRoomRecord::password>("password"),
                 SqlColumn<&tagRoomRecord::maxMembers>("max_members"),
                 SqlColumn<&tagRoomRecord::topic>("topic"),
                 SqlColumn<&tagRoomRecord::welcome>("welcome"),
                 SqlColumn<&tagRoomRecord::micMode>("mic_mode"),
                 SqlColumn<&tagRoomRecord::micForced>("mic_forced"),
                 SqlColumn<&tagRoomRecord::micSeconds>("mic_seconds"),
                 SqlColumn<&tagRoomRecord::publicText>("public_text"),
                 SqlColumn<&tagRoomRecord::dualMic>("dual_mic"),
                 SqlColumn<&tagRoomRecord::quality>("quality"),
                 SqlColumn<&tagRoomRecord::forbiddenNicknames>("forbidden_nicknames"),
                 SqlColumn<&tagRoomRecord::forbiddenTexts>("forbidden_texts"),
                 SqlColumn<&tagRoomRecord::disabledUntil>("disabled_until"),
                 SqlColumn<&tagRoomRecord::disabledReason>("disabled_reason"),
                 SqlColumn<&tagRoomRecord::disabledBy>("disabled_by"),
                 SqlColumn<&tagRoomRecord::server>("server"),
                 SqlColumn<&tagRoomRecord::isp>("isp"),
                 SqlColumn<&tagRoomRecord::format>("format"),
                 SqlColumn<&tagRoomRecord::listed>("listed"),
             });

const CSqlTable<tagBan> kBans("bans", {
                                          SqlColumn<&tagBan::room>("room"),
                                          SqlColumn<&tagBan::who>("who"),
                                          SqlColumn<&tagBan::until>("until"),
                                          SqlColumn<&tagBan::reason>("reason"),
                                          SqlColumn<&tagBan::by>("by"),
                                      });

const CSqlTable<tagReport> kReports("reports", {
                                                   SqlColumn<&tagReport::id>("id", true),
                                                   SqlColumn<&tagReport::room>("room"),
                                                   SqlColumn<&tagReport::who>("who"),
                                                   SqlColumn<&tagReport::text>("text"),
                                                   SqlColumn<&tagReport::madeAt>("made_at"),
                                               });

const CSqlTable<tagRoomFormat> kFormats("room_formats",
                                        {
                                            SqlColumn<&tagRoomFormat::id>("id"),
                                            SqlColumn<&tagRoomFormat::name>("name"),
                                            SqlColumn<&tagRoomFormat::maxMembers>("max_members"),
                                        });

// The first row's record, if there is a row.
template <typename TRecord>
std::optional<TRecord> First(const CSqlTable<TRecord>& table, CSqliteStatement& q) {
    if (q.Step()) {
        return table.Read(q);
    }
    return std::nullopt;
}

void SetError(QString* error, const QString& text) {
    if (error) {
        *error = text;
    }
}

std::vector<int> IntColumn(CSqliteStatement& q) {
    std::vector<int> out;
    while (q.Step()) {
        out.push_back(static_cast<int>(q.Int(0)));
    }
    return out;
}

}  // namespace

bool CStore::Open(const QString& path, QString* error) {
    // SQLite writes its journal beside the database, so a folder it cannot write fails only at
    // the first change, long after start-up; and a missing one gives a bare "unable to open".
    // Both are told here, before anything runs.
    if (path != QLatin1String(":memory:") && !path.startsWith(QLatin1String("file:"))) {
        const QFileInfo file(path);
        const QFileInfo folder(file.absolutePath());
        if (!folder.isDir()) {
            SetError(error, QStringLiteral("the database folder %1 does not exist")
                                .arg(folder.absoluteFilePath()));
            return false;
        }
        if (!folder.isWritable() || (file.exists() && !file.isWritable())) {
            SetError(error, QStringLiteral("cannot write the database %1: its folder or the file "
                                           "is not writable by this user")
                                .arg(file.absoluteFilePath()));
            return false;
        }
    }
    if (!m_db.Open(path)) {
        SetError(error, QStringLiteral("cannot open %1: %2").arg(path, m_db.LastError()));
        return false;
    }
    if (!CreateSchema()) {
        SetError(error,
                 QStringLiteral("cannot create the tables in %1: %2").arg(path, m_db.LastError()));
        m_db.Close();
        return false;
    }
    return true;
}

bool CStore::CreateSchema() {
    return m_db.Exec(kSchema);
}

int CStore::AddAccount(const QString& name, const QString& password, const QString& nickname,
                       int number) {
    const QString trimmed = name.trimmed();
    // Names travel between blanks in the credential text and between commas in member texts.
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char(' ')) ||
        trimmed.contains(QLatin1Char(','))) {
        return -1;
    }
    const QString hash = HashPassword(password, m_passwordCost);
    if (hash.isEmpty()) {
        return -1;
    }
    if (number == 0) {
        CSqliteStatement next(m_db, "SELECT COALESCE(MAX(number), 10000) + 1 FROM accounts");
        if (!next.Step()) {
            return -1;
        }
        number = static_cast<int>(next.Int(0));
    }
    tagAccount account;
    account.number = number;
    account.name = trimmed;
    account.nickname = nickname.isEmpty() ? trimmed : nickname;
    account.digest = hash;
    account.createdAt = QDateTime::currentSecsSinceEpoch();
    CSqliteStatement q(m_db, kAccounts.Insert());
    kAccounts.Bind(q, account);
    return q.Run() ? number : -1;
}

bool CStore::SetPassword(const QString& name, const QString& password) {
    const QString hash = HashPassword(password, m_passwordCost);
    if (hash.isEmpty()) {
        return false;
    }
    CSqliteStatement q(m_db, "UPDATE accounts SET digest = ? WHERE name = ?");
    q.Bind(1, hash).Bind(2, name);
    return q.Run() && m_db.Changes() == 1;
}

bool CStore::ReplacePasswordHash(int number, const QString& was, const QString& hash) {
    CSqliteStatement q(m_db, "UPDATE accounts SET digest = ? WHERE number = ? AND digest = ?");
    q.Bind(1, hash).Bind(2, number).Bind(3, was);
    return q.Run() && m_db.Changes() == 1;
}

std::optional<tagAccount> CStore::FindAccount(const QString& nameOrNumber) {
    const QString key = nameOrNumber.trimmed();
    if (key.isEmpty()) {
        return std::nullopt;
    }
    {
        CSqliteStatement q(m_db, kAccounts.Select("WHERE name = ?"));
        q.Bind(1, key);
        if (auto account = First(kAccounts, q)) {
            return account;
        }
    }
    bool isNumber = false;
    const int number = key.toInt(&isNumber);
    if (isNumber) {
        return AccountByNumber(number);
    }
    return std::nullopt;
}

std::optional<tagAccount> CStore::AccountByNumber(int number) {
    CSqliteStatement q(m_db, kAccounts.Select("WHERE number = ?"));
    q.Bind(1, number);
    return First(kAccounts, q);
}

bool CStore::RecordLogin(int number, int64_t now) {
    CSqliteStatement q(
        m_db, "UPDATE accounts SET last_login = ?, login_count = login_count + 1 WHERE number = ?");
    q.Bind(1, now).Bind(2, number);
    return q.Run();
}

bool CStore::SetEntryInfo(int number, int effect, int vip) {
    CSqliteStatement q(m_db,
                       "UPDATE accounts SET entry_effect = ?, entry_vip = ? WHERE number = ?");
    q.Bind(1, effect).Bind(2, vip).Bind(3, number);
    return q.Run() && m_db.Changes() == 1;
}

std::vector<tagAccount> CStore::Accounts() {
    CSqliteStatement q(m_db, kAccounts.Select("ORDER BY number"));
    return kAccounts.ReadAll(q);
}

bool CStore::AddArea(const tagArea& area) {
    CSqliteStatement q(m_db, kAreas.Insert("INSERT OR REPLACE"));
    kAreas.Bind(q, area);
    return area.id > 0 && !area.name.isEmpty() && q.Run();
}

std::vector<tagArea> CStore::Areas(int list) {
    CSqliteStatement q(m_db, kAreas.Select("WHERE ? = 0 OR list = ? ORDER BY list, position, id"));
    q.Bind(1, list).Bind(2, list);
    return kAreas.ReadAll(q);
}

int CStore::AddRoom(const tagRoomRecord& room) {
    if (room.name.trimmed().isEmpty() || room.number < 0) {
        return -1;
    }
    tagRoomRecord r = room;
    if (r.number == 0) {
        CSqliteStatement next(m_db, "SELECT COALESCE(MAX(number), 1000) + 1 FROM rooms");
        if (!next.Step()) {
            return -1;
        }
        r.number = static_cast<int>(next.Int(0));
    }
    CSqliteStatement q(m_db, kRooms.Insert());
    kRooms.Bind(q, r);
    return q.Run() ? r.number : -1;
}

bool CStore::UpdateRoom(const tagRoomRecord& room) {
    CSqliteStatement q(m_db, kRooms.Insert("REPLACE"));
    kRooms.Bind(q, room);
    return room.number > 0 && q.Run();
}

std::optional<tagRoomRecord> CStore::Room(int number) {
    CSqliteStatement q(m_db, kRooms.Select("WHERE number = ?"));
    q.Bind(1, number);
    return First(kRooms, q);
}

std::vector<tagRoomRecord> CStore::Rooms(int area) {
    CSqliteStatement q(m_db, kRooms.Select("WHERE ? = 0 OR area = ? ORDER BY number"));
    q.Bind(1, area).Bind(2, area);
    return kRooms.ReadAll(q);
}

std::vector<int> CStore::RoomsOwnedBy(int account) {
    CSqliteStatement q(m_db, "SELECT number FROM rooms WHERE owner = ? ORDER BY number");
    q.Bind(1, account);
    return IntColumn(q);
}

int CStore::RankIn(int room, int account) {
    CSqliteStatement q(m_db, "SELECT rank FROM room_ranks WHERE room = ? AND account = ?");
    q.Bind(1, room).Bind(2, account);
    return q.Step() ? static_cast<int>(q.Int(0)) : 0;
}

bool CStore::SetRank(int room, int account, int rank) {
    if (rank <= RANK_MEMBER) {
        CSqliteStatement q(m_db, "DELETE FROM room_ranks WHERE room = ? AND account = ?");
        q.Bind(1, room).Bind(2, account);
        return q.Run();
    }
    CSqliteStatement q(m_db,
                       "INSERT OR REPLACE INTO room_ranks(room, account, rank) VALUES(?, ?, ?)");
    q.Bind(1, room).Bind(2, account).Bind(3, rank);
    return q.Run();
}

std::vector<int> CStore::RoomsManagedBy(int account) {
    CSqliteStatement q(
        m_db, "SELECT room FROM room_ranks WHERE account = ? AND rank >= 30 ORDER BY room");
    q.Bind(1, account);
    return IntColumn(q);
}

bool CStore::AddFavourite(int account, int room, int64_t now) {
    CSqliteStatement q(m_db,
                       "INSERT OR IGNORE INTO favourites(account, room, added_at) VALUES(?, ?, ?)");
    q.Bind(1, account).Bind(2, room).Bind(3, now);
    return q.Run();
}

std::vector<int> CStore::Favourites(int account) {
    CSqliteStatement q(m_db,
                       "SELECT room FROM favourites WHERE account = ? ORDER BY added_at, rowid");
    q.Bind(1, account);
    return IntColumn(q);
}

bool CStore::AddBan(const tagBan& ban) {
    CSqliteStatement q(m_db, kBans.Insert("INSERT OR REPLACE"));
    kBans.Bind(q, ban);
    return !ban.who.isEmpty() && q.Run();
}

bool CStore::RemoveBan(int room, const QString& who) {
    CSqliteStatement q(m_db, "DELETE FROM bans WHERE room = ? AND who = ?");
    q.Bind(1, room).Bind(2, who);
    return q.Run() && m_db.Changes() > 0;
}

std::optional<tagBan> CStore::ActiveBan(int room, const QString& who, int64_t now) {
    // Room 0 bans from every room.
    CSqliteStatement q(m_db, kBans.Select("WHERE (room = ? OR room = 0) AND who = ? AND until > ? "
                                          "ORDER BY until DESC LIMIT 1"));
    q.Bind(1, room).Bind(2, who).Bind(3, now);
    return First(kBans, q);
}

bool CStore::AddReport(const tagReport& report) {
    CSqliteStatement q(m_db, kReports.Insert());
    kReports.Bind(q, report);
    return !report.text.isEmpty() && q.Run();
}

std::vector<tagReport> CStore::Reports(int room) {
    CSqliteStatement q(m_db, kReports.Select("WHERE room = ? OR ? = 0 ORDER BY id"));
    q.Bind(1, room).Bind(2, room);
    return kReports.ReadAll(q);
}

bool CStore::AddFormat(const tagRoomFormat& format) {
    CSqliteStatement q(m_db, kFormats.Insert("INSERT OR REPLACE"));
    kFormats.Bind(q, format);
    // A format travels as "id,name,members": a comma in the name would break it.
    return format.id > 0 && !format.name.isEmpty() && !format.name.contains(QLatin1Char(',')) &&
           q.Run();
}

std::vector<tagRoomFormat> CStore::Formats() {
    CSqliteStatement q(m_db, kFormats.Select("ORDER BY id"));
    return kFormats.ReadAll(q);
}

std::optional<tagRoomFormat> CStore::Format(int id) {
    CSqliteStatement q(m_db, kFormats.Select("WHERE id = ?"));
    q.Bind(1, id);
    return First(kFormats, q);
}
