#include "server/Store.h"

#include "protocol/LoginCipher.h"

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
CREATE TABLE IF NOT EXISTS room_formats(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  max_members INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS admin_queue(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  command TEXT NOT NULL,
  room INTEGER NOT NULL DEFAULT 0,
  text TEXT NOT NULL DEFAULT '',
  target TEXT NOT NULL DEFAULT '');
)sql";

const char* const kAccountColumns =
    "number, name, nickname, digest, created_at, last_login, login_count, money, level, "
    "entry_effect, "
    "entry_vip, signature";

const char* const kRoomColumns =
    "number, area, name, owner, password, max_members, topic, welcome, mic_mode, mic_forced, "
    "mic_seconds, "
    "public_text, dual_mic, quality, forbidden_nicknames, forbidden_texts, disabled_until, "
    "disabled_reason, "
    "disabled_by, server, isp, format, listed";

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

tagAccount CStore::ReadAccount(CSqliteStatement& q) {
    tagAccount a;
    a.number = static_cast<int>(q.Int(0));
    a.name = q.Text(1);
    a.nickname = q.Text(2);
    a.digest = q.Text(3);
    a.createdAt = q.Int(4);
    a.lastLogin = q.Int(5);
    a.loginCount = static_cast<int>(q.Int(6));
    a.money = static_cast<int>(q.Int(7));
    a.level = static_cast<int>(q.Int(8));
    a.entryEffect = static_cast<int>(q.Int(9));
    a.entryVip = static_cast<int>(q.Int(10));
    a.signature = q.Text(11);
    return a;
}

int CStore::AddAccount(const QString& name, const QString& password, const QString& nickname,
                       int number) {
    const QString trimmed = name.trimmed();
    // Names travel between blanks in the credential text and between commas in member texts.
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char(' ')) ||
        trimmed.contains(QLatin1Char(','))) {
        return -1;
    }
    if (number == 0) {
        CSqliteStatement next(m_db, "SELECT COALESCE(MAX(number), 10000) + 1 FROM accounts");
        if (!next.Step()) {
            return -1;
        }
        number = static_cast<int>(next.Int(0));
    }
    CSqliteStatement q(
        m_db,
        "INSERT INTO accounts(number, name, nickname, digest, created_at) VALUES(?, ?, ?, ?, "
        "strftime('%s','now'))");
    q.Bind(1, number)
        .Bind(2, trimmed)
        .Bind(3, nickname.isEmpty() ? trimmed : nickname)
        .Bind(4, PasswordDigest(password));
    return q.Run() ? number : -1;
}

bool CStore::SetPassword(const QString& name, const QString& password) {
    CSqliteStatement q(m_db, "UPDATE accounts SET digest = ? WHERE name = ?");
    q.Bind(1, PasswordDigest(password)).Bind(2, name);
    return q.Run() && m_db.Changes() == 1;
}

std::optional<tagAccount> CStore::FindAccount(const QString& nameOrNumber) {
    const QString key = nameOrNumber.trimmed();
    if (key.isEmpty()) {
        return std::nullopt;
    }
    {
        CSqliteStatement q(
            m_db, (QByteArray("SELECT ") + kAccountColumns + " FROM accounts WHERE name = ?")
                      .constData());
        q.Bind(1, key);
        if (q.Step()) {
            return ReadAccount(q);
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
    CSqliteStatement q(
        m_db,
        (QByteArray("SELECT ") + kAccountColumns + " FROM accounts WHERE number = ?").constData());
    q.Bind(1, number);
    if (q.Step()) {
        return ReadAccount(q);
    }
    return std::nullopt;
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
    std::vector<tagAccount> out;
    CSqliteStatement q(
        m_db,
        (QByteArray("SELECT ") + kAccountColumns + " FROM accounts ORDER BY number").constData());
    while (q.Step()) {
        out.push_back(ReadAccount(q));
    }
    return out;
}

bool CStore::AddArea(const tagArea& area) {
    CSqliteStatement q(m_db,
                       "INSERT OR REPLACE INTO areas(id, name, list, position) VALUES(?, ?, ?, ?)");
    q.Bind(1, area.id).Bind(2, area.name).Bind(3, area.list).Bind(4, area.position);
    return area.id > 0 && !area.name.isEmpty() && q.Run();
}

std::vector<tagArea> CStore::Areas(int list) {
    std::vector<tagArea> out;
    CSqliteStatement q(m_db,
                       "SELECT id, name, list, position FROM areas WHERE ? = 0 OR list = ? ORDER "
                       "BY list, position, id");
    q.Bind(1, list).Bind(2, list);
    while (q.Step()) {
        out.push_back({static_cast<int>(q.Int(0)), q.Text(1), static_cast<int>(q.Int(2)),
                       static_cast<int>(q.Int(3))});
    }
    return out;
}

tagRoomRecord CStore::ReadRoom(CSqliteStatement& q) {
    tagRoomRecord r;
    r.number = static_cast<int>(q.Int(0));
    r.area = static_cast<int>(q.Int(1));
    r.name = q.Text(2);
    r.owner = static_cast<int>(q.Int(3));
    r.password = q.Text(4);
    r.maxMembers = static_cast<int>(q.Int(5));
    r.topic = q.Text(6);
    r.welcome = q.Text(7);
    r.micMode = static_cast<int>(q.Int(8));
    r.micForced = q.Int(9) != 0;
    r.micSeconds = static_cast<int>(q.Int(10));
    r.publicText = q.Int(11) != 0;
    r.dualMic = q.Int(12) != 0;
    r.quality = static_cast<int>(q.Int(13));
    r.forbiddenNicknames = q.Text(14);
    r.forbiddenTexts = q.Text(15);
    r.disabledUntil = q.Int(16);
    r.disabledReason = q.Text(17);
    r.disabledBy = q.Text(18);
    r.server = static_cast<int>(q.Int(19));
    r.isp = q.Text(20);
    r.format = static_cast<int>(q.Int(21));
    r.listed = q.Int(22) != 0;
    return r;
}

namespace {
void BindRoom(CSqliteStatement& q, const tagRoomRecord& r) {
    q.Bind(1, r.number)
        .Bind(2, r.area)
        .Bind(3, r.name)
        .Bind(4, r.owner)
        .Bind(5, r.password)
        .Bind(6, r.maxMembers)
        .Bind(7, r.topic)
        .Bind(8, r.welcome)
        .Bind(9, r.micMode)
        .Bind(10, r.micForced ? 1 : 0)
        .Bind(11, r.micSeconds)
        .Bind(12, r.publicText ? 1 : 0)
        .Bind(13, r.dualMic ? 1 : 0)
        .Bind(14, r.quality)
        .Bind(15, r.forbiddenNicknames)
        .Bind(16, r.forbiddenTexts)
        .Bind(17, r.disabledUntil)
        .Bind(18, r.disabledReason)
        .Bind(19, r.disabledBy)
        .Bind(20, r.server)
        .Bind(21, r.isp)
        .Bind(22, r.format)
        .Bind(23, r.listed ? 1 : 0);
}
}  // namespace

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
    CSqliteStatement q(
        m_db, (QByteArray("INSERT INTO rooms(") + kRoomColumns +
               ") VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                  .constData());
    BindRoom(q, r);
    return q.Run() ? r.number : -1;
}

bool CStore::UpdateRoom(const tagRoomRecord& room) {
    CSqliteStatement q(
        m_db, (QByteArray("REPLACE INTO rooms(") + kRoomColumns +
               ") VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                  .constData());
    BindRoom(q, room);
    return room.number > 0 && q.Run();
}

std::optional<tagRoomRecord> CStore::Room(int number) {
    CSqliteStatement q(
        m_db, (QByteArray("SELECT ") + kRoomColumns + " FROM rooms WHERE number = ?").constData());
    q.Bind(1, number);
    if (q.Step()) {
        return ReadRoom(q);
    }
    return std::nullopt;
}

std::vector<tagRoomRecord> CStore::Rooms(int area) {
    std::vector<tagRoomRecord> out;
    CSqliteStatement q(m_db, (QByteArray("SELECT ") + kRoomColumns +
                              " FROM rooms WHERE ? = 0 OR area = ? ORDER BY number")
                                 .constData());
    q.Bind(1, area).Bind(2, area);
    while (q.Step()) {
        out.push_back(ReadRoom(q));
    }
    return out;
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
    CSqliteStatement q(
        m_db, "INSERT OR REPLACE INTO bans(room, who, until, reason, by) VALUES(?, ?, ?, ?, ?)");
    q.Bind(1, ban.room).Bind(2, ban.who).Bind(3, ban.until).Bind(4, ban.reason).Bind(5, ban.by);
    return !ban.who.isEmpty() && q.Run();
}

bool CStore::RemoveBan(int room, const QString& who) {
    CSqliteStatement q(m_db, "DELETE FROM bans WHERE room = ? AND who = ?");
    q.Bind(1, room).Bind(2, who);
    return q.Run() && m_db.Changes() > 0;
}

std::optional<tagBan> CStore::ActiveBan(int room, const QString& who, int64_t now) {
    // Room 0 bans from every room.
    CSqliteStatement q(
        m_db,
        "SELECT room, who, until, reason, by FROM bans WHERE (room = ? OR room = 0) AND who = ? "
        "AND until > ? ORDER BY until DESC LIMIT 1");
    q.Bind(1, room).Bind(2, who).Bind(3, now);
    if (q.Step()) {
        return tagBan{static_cast<int>(q.Int(0)), q.Text(1), q.Int(2), q.Text(3), q.Text(4)};
    }
    return std::nullopt;
}

bool CStore::AddFormat(const tagRoomFormat& format) {
    CSqliteStatement q(
        m_db, "INSERT OR REPLACE INTO room_formats(id, name, max_members) VALUES(?, ?, ?)");
    q.Bind(1, format.id).Bind(2, format.name).Bind(3, format.maxMembers);
    // A format travels as "id,name,members": a comma in the name would break it.
    return format.id > 0 && !format.name.isEmpty() && !format.name.contains(QLatin1Char(',')) &&
           q.Run();
}

std::vector<tagRoomFormat> CStore::Formats() {
    std::vector<tagRoomFormat> out;
    CSqliteStatement q(m_db, "SELECT id, name, max_members FROM room_formats ORDER BY id");
    while (q.Step()) {
        out.push_back({static_cast<int>(q.Int(0)), q.Text(1), static_cast<int>(q.Int(2))});
    }
    return out;
}

std::optional<tagRoomFormat> CStore::Format(int id) {
    CSqliteStatement q(m_db, "SELECT id, name, max_members FROM room_formats WHERE id = ?");
    q.Bind(1, id);
    if (q.Step()) {
        return tagRoomFormat{static_cast<int>(q.Int(0)), q.Text(1), static_cast<int>(q.Int(2))};
    }
    return std::nullopt;
}

bool CStore::Enqueue(const QString& command, int room, const QString& text, const QString& target) {
    CSqliteStatement q(m_db,
                       "INSERT INTO admin_queue(command, room, text, target) VALUES(?, ?, ?, ?)");
    q.Bind(1, command).Bind(2, room).Bind(3, text).Bind(4, target);
    return q.Run();
}

std::vector<tagAdminCommand> CStore::TakeQueue() {
    std::vector<tagAdminCommand> out;
    if (!m_db.Exec("BEGIN IMMEDIATE")) {
        return out;
    }
    {
        CSqliteStatement q(m_db,
                           "SELECT id, command, room, text, target FROM admin_queue ORDER BY id");
        while (q.Step()) {
            out.push_back({q.Int(0), q.Text(1), static_cast<int>(q.Int(2)), q.Text(3), q.Text(4)});
        }
    }
    if (!out.empty()) {
        CSqliteStatement del(m_db, "DELETE FROM admin_queue WHERE id <= ?");
        del.Bind(1, out.back().id);
        if (!del.Run()) {
            m_db.Exec("ROLLBACK");
            return {};
        }
    }
    m_db.Exec("COMMIT");
    return out;
}
