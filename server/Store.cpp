#include "server/Store.h"

#include "server/Schema.h"
#include "server/SqlTable.h"

#include <QDateTime>

namespace {

const CSqlTable<tagAccount> kAccounts("accounts",
                                      {
                                          SqlColumn<&tagAccount::number>("number", SQL_KEY),
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
                                             SqlColumn<&tagArea::id>("id", SQL_KEY),
                                             SqlColumn<&tagArea::name>("name"),
                                             SqlColumn<&tagArea::list>("list"),
                                             SqlColumn<&tagArea::position>("position"),
                                         });

const CSqlTable<tagRoomRecord> kRooms(
    "rooms", {
                 SqlColumn<&tagRoomRecord::number>("number", SQL_KEY),
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
                                          SqlColumn<&tagBan::room>("room", SQL_KEY),
                                          SqlColumn<&tagBan::who>("who", SQL_KEY),
                                          SqlColumn<&tagBan::until>("until"),
                                          SqlColumn<&tagBan::reason>("reason"),
                                          SqlColumn<&tagBan::by>("by"),
                                      });

const CSqlTable<tagReport> kReports("reports", {
                                                   SqlColumn<&tagReport::id>("id", SQL_GENERATED),
                                                   SqlColumn<&tagReport::room>("room"),
                                                   SqlColumn<&tagReport::who>("who"),
                                                   SqlColumn<&tagReport::text>("text"),
                                                   SqlColumn<&tagReport::madeAt>("made_at"),
                                               });

const CSqlTable<tagRoomFormat> kFormats("room_formats",
                                        {
                                            SqlColumn<&tagRoomFormat::id>("id", SQL_KEY),
                                            SqlColumn<&tagRoomFormat::name>("name"),
                                            SqlColumn<&tagRoomFormat::maxMembers>("max_members"),
                                        });

const CSqlTable<tagRoomServerRow> kRoomServers(
    "room_servers", {
                        SqlColumn<&tagRoomServerRow::number>("number", SQL_KEY),
                        SqlColumn<&tagRoomServerRow::host>("host"),
                        SqlColumn<&tagRoomServerRow::mainPort>("main_port"),
                        SqlColumn<&tagRoomServerRow::secondPort>("second_port"),
                        SqlColumn<&tagRoomServerRow::heartbeat>("heartbeat"),
                        SqlColumn<&tagRoomServerRow::instance>("instance"),
                    });

const CSqlTable<tagPresenceRow> kPresence("presence",
                                          {
                                              SqlColumn<&tagPresenceRow::name>("name", SQL_KEY),
                                              SqlColumn<&tagPresenceRow::number>("number"),
                                              SqlColumn<&tagPresenceRow::nickname>("nickname"),
                                              SqlColumn<&tagPresenceRow::registered>("registered"),
                                              SqlColumn<&tagPresenceRow::userNumber>("user_number"),
                                              SqlColumn<&tagPresenceRow::machine>("machine"),
                                              SqlColumn<&tagPresenceRow::room>("room"),
                                              SqlColumn<&tagPresenceRow::roomServer>("room_server"),
                                              SqlColumn<&tagPresenceRow::hall>("hall"),
                                          });

// The first row's record, if there is a row.
template <typename TRecord>
std::optional<TRecord> First(const CSqlTable<TRecord>& table, CSqlStatement& q) {
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

const char* BeatTableName(EBeatTable table) {
    return table == EBeatTable::Halls ? "halls" : "room_servers";
}

std::vector<int> IntColumn(CSqlStatement& q) {
    std::vector<int> out;
    while (q.Step()) {
        out.push_back(static_cast<int>(q.Int(0)));
    }
    return out;
}

}  // namespace

bool CStore::Open(const QString& address, QString* error) {
    std::unique_ptr<ISqlDb> db = OpenSqlDb(address, error);
    if (!db) {
        return false;
    }
    QString why;
    if (!MigrateSchema(*db, &why)) {
        SetError(error, QStringLiteral("cannot bring the tables in %1 up to date: %2")
                            .arg(ShownAddress(address), why));
        return false;
    }
    m_db = std::move(db);
    return true;
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
        CSqlStatement next(*m_db, "SELECT COALESCE(MAX(number), 10000) + 1 FROM accounts");
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
    CSqlStatement q(*m_db, kAccounts.Insert());
    kAccounts.Bind(q, account);
    return q.Run() ? number : -1;
}

bool CStore::SetPassword(const QString& name, const QString& password) {
    const QString hash = HashPassword(password, m_passwordCost);
    if (hash.isEmpty()) {
        return false;
    }
    CSqlStatement q(*m_db, "UPDATE accounts SET digest = ? WHERE name = ?");
    q.Bind(1, hash).Bind(2, name);
    return q.Run() && m_db->Changes() == 1;
}

bool CStore::ReplacePasswordHash(int number, const QString& was, const QString& hash) {
    CSqlStatement q(*m_db, "UPDATE accounts SET digest = ? WHERE number = ? AND digest = ?");
    q.Bind(1, hash).Bind(2, number).Bind(3, was);
    return q.Run() && m_db->Changes() == 1;
}

std::optional<tagAccount> CStore::FindAccount(const QString& nameOrNumber) {
    const QString key = nameOrNumber.trimmed();
    if (key.isEmpty()) {
        return std::nullopt;
    }
    {
        CSqlStatement q(*m_db, kAccounts.Select("WHERE name = ?"));
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
    CSqlStatement q(*m_db, kAccounts.Select("WHERE number = ?"));
    q.Bind(1, number);
    return First(kAccounts, q);
}

bool CStore::RecordLogin(int number, int64_t now) {
    CSqlStatement q(
        *m_db,
        "UPDATE accounts SET last_login = ?, login_count = login_count + 1 WHERE number = ?");
    q.Bind(1, now).Bind(2, number);
    return q.Run();
}

bool CStore::SetEntryInfo(int number, int effect, int vip) {
    CSqlStatement q(*m_db, "UPDATE accounts SET entry_effect = ?, entry_vip = ? WHERE number = ?");
    q.Bind(1, effect).Bind(2, vip).Bind(3, number);
    return q.Run() && m_db->Changes() == 1;
}

std::vector<tagAccount> CStore::Accounts() {
    CSqlStatement q(*m_db, kAccounts.Select("ORDER BY number"));
    return kAccounts.ReadAll(q);
}

bool CStore::AddArea(const tagArea& area) {
    CSqlStatement q(*m_db, kAreas.Upsert());
    kAreas.Bind(q, area);
    return area.id > 0 && !area.name.isEmpty() && q.Run();
}

std::vector<tagArea> CStore::Areas(int list) {
    CSqlStatement q(*m_db, kAreas.Select("WHERE ? = 0 OR list = ? ORDER BY list, position, id"));
    q.Bind(1, list).Bind(2, list);
    return kAreas.ReadAll(q);
}

int CStore::AddRoom(const tagRoomRecord& room) {
    if (room.name.trimmed().isEmpty() || room.number < 0) {
        return -1;
    }
    tagRoomRecord r = room;
    if (r.number == 0) {
        CSqlStatement next(*m_db, "SELECT COALESCE(MAX(number), 1000) + 1 FROM rooms");
        if (!next.Step()) {
            return -1;
        }
        r.number = static_cast<int>(next.Int(0));
    }
    CSqlStatement q(*m_db, kRooms.Insert());
    kRooms.Bind(q, r);
    return q.Run() ? r.number : -1;
}

bool CStore::UpdateRoom(const tagRoomRecord& room) {
    CSqlStatement q(*m_db, kRooms.Upsert());
    kRooms.Bind(q, room);
    return room.number > 0 && q.Run();
}

std::optional<tagRoomRecord> CStore::Room(int number) {
    CSqlStatement q(*m_db, kRooms.Select("WHERE number = ?"));
    q.Bind(1, number);
    return First(kRooms, q);
}

std::vector<tagRoomRecord> CStore::Rooms(int area) {
    CSqlStatement q(*m_db, kRooms.Select("WHERE ? = 0 OR area = ? ORDER BY number"));
    q.Bind(1, area).Bind(2, area);
    return kRooms.ReadAll(q);
}

std::vector<int> CStore::RoomsOwnedBy(int account) {
    CSqlStatement q(*m_db, "SELECT number FROM rooms WHERE owner = ? ORDER BY number");
    q.Bind(1, account);
    return IntColumn(q);
}

int CStore::RankIn(int room, int account) {
    CSqlStatement q(*m_db, "SELECT rank FROM room_ranks WHERE room = ? AND account = ?");
    q.Bind(1, room).Bind(2, account);
    return q.Step() ? static_cast<int>(q.Int(0)) : 0;
}

bool CStore::SetRank(int room, int account, int rank) {
    if (rank <= RANK_MEMBER) {
        CSqlStatement q(*m_db, "DELETE FROM room_ranks WHERE room = ? AND account = ?");
        q.Bind(1, room).Bind(2, account);
        return q.Run();
    }
    CSqlStatement q(*m_db,
                    "INSERT INTO room_ranks(room, account, rank) VALUES(?, ?, ?) "
                    "ON CONFLICT(room, account) DO UPDATE SET rank = excluded.rank");
    q.Bind(1, room).Bind(2, account).Bind(3, rank);
    return q.Run();
}

std::vector<int> CStore::RoomsManagedBy(int account) {
    CSqlStatement q(*m_db,
                    "SELECT room FROM room_ranks WHERE account = ? AND rank >= 30 ORDER BY room");
    q.Bind(1, account);
    return IntColumn(q);
}

bool CStore::AddFavourite(int account, int room, int64_t now) {
    CSqlStatement q(*m_db,
                    "INSERT INTO favourites(account, room, added_at) VALUES(?, ?, ?) "
                    "ON CONFLICT DO NOTHING");
    q.Bind(1, account).Bind(2, room).Bind(3, now);
    return q.Run();
}

std::vector<int> CStore::Favourites(int account) {
    CSqlStatement q(*m_db,
                    "SELECT room FROM favourites WHERE account = ? ORDER BY added_at, rowid");
    q.Bind(1, account);
    return IntColumn(q);
}

bool CStore::AddBan(const tagBan& ban) {
    CSqlStatement q(*m_db, kBans.Upsert());
    kBans.Bind(q, ban);
    return !ban.who.isEmpty() && q.Run();
}

bool CStore::RemoveBan(int room, const QString& who) {
    CSqlStatement q(*m_db, "DELETE FROM bans WHERE room = ? AND who = ?");
    q.Bind(1, room).Bind(2, who);
    return q.Run() && m_db->Changes() > 0;
}

std::optional<tagBan> CStore::ActiveBan(int room, const QString& who, int64_t now) {
    // Room 0 bans from every room.
    CSqlStatement q(*m_db, kBans.Select("WHERE (room = ? OR room = 0) AND who = ? AND until > ? "
                                        "ORDER BY until DESC LIMIT 1"));
    q.Bind(1, room).Bind(2, who).Bind(3, now);
    return First(kBans, q);
}

bool CStore::AddReport(const tagReport& report) {
    CSqlStatement q(*m_db, kReports.Insert());
    kReports.Bind(q, report);
    return !report.text.isEmpty() && q.Run();
}

std::vector<tagReport> CStore::Reports(int room) {
    CSqlStatement q(*m_db, kReports.Select("WHERE room = ? OR ? = 0 ORDER BY id"));
    q.Bind(1, room).Bind(2, room);
    return kReports.ReadAll(q);
}

bool CStore::AddFormat(const tagRoomFormat& format) {
    CSqlStatement q(*m_db, kFormats.Upsert());
    kFormats.Bind(q, format);
    // A format travels as "id,name,members": a comma in the name would break it.
    return format.id > 0 && !format.name.isEmpty() && !format.name.contains(QLatin1Char(',')) &&
           q.Run();
}

std::vector<tagRoomFormat> CStore::Formats() {
    CSqlStatement q(*m_db, kFormats.Select("ORDER BY id"));
    return kFormats.ReadAll(q);
}

std::optional<tagRoomFormat> CStore::Format(int id) {
    CSqlStatement q(*m_db, kFormats.Select("WHERE id = ?"));
    q.Bind(1, id);
    return First(kFormats, q);
}

bool CStore::BeatRoomServer(const tagRoomServerRow& row) {
    CSqlStatement q(*m_db, kRoomServers.Upsert());
    kRoomServers.Bind(q, row);
    return q.Run();
}

std::optional<tagRoomServerRow> CStore::LiveRoomServer(int number, int64_t since) {
    CSqlStatement q(*m_db, kRoomServers.Select("WHERE number = ? AND heartbeat >= ?"));
    q.Bind(1, number).Bind(2, since);
    return First(kRoomServers, q);
}

std::vector<tagRoomServerRow> CStore::LiveRoomServers(int64_t since) {
    // The fewest members first, then the fewest rooms, so new and moved rooms spread out.
    CSqlStatement q(
        *m_db, kRoomServers.Select(
                   "WHERE heartbeat >= ? ORDER BY "
                   "(SELECT COUNT(*) FROM presence p WHERE p.room_server = room_servers.number), "
                   "(SELECT COUNT(*) FROM rooms r WHERE r.server = room_servers.number), number"));
    q.Bind(1, since);
    return kRoomServers.ReadAll(q);
}

bool CStore::MoveRoom(int room, int from, int to) {
    CSqlStatement q(*m_db, "UPDATE rooms SET server = ? WHERE number = ? AND server = ?");
    q.Bind(1, to).Bind(2, room).Bind(3, from);
    return q.Run() && m_db->Changes() > 0;
}

bool CStore::PutPresence(const tagPresenceRow& row) {
    CSqlStatement q(*m_db, kPresence.Upsert());
    kPresence.Bind(q, row);
    return !row.name.isEmpty() && q.Run();
}

bool CStore::ClaimPresence(const tagPresenceRow& row) {
    CSqlStatement q(*m_db, kPresence.Insert() + " ON CONFLICT(name) DO NOTHING");
    kPresence.Bind(q, row);
    return !row.name.isEmpty() && q.Run() && m_db->Changes() == 1;
}

bool CStore::BeatHall(int number, int64_t now, const QString& instance) {
    CSqlStatement q(*m_db,
                    "INSERT INTO halls(number, heartbeat, instance) VALUES(?, ?, ?) "
                    "ON CONFLICT(number) DO UPDATE SET heartbeat = excluded.heartbeat, "
                    "instance = excluded.instance");
    q.Bind(1, number).Bind(2, now).Bind(3, instance);
    return q.Run();
}

std::optional<tagBeatHolder> CStore::BeatHolder(EBeatTable table, int number) {
    CSqlStatement q(*m_db, QByteArray("SELECT instance, heartbeat FROM ") + BeatTableName(table) +
                               " WHERE number = ?");
    q.Bind(1, number);
    if (!q.Step()) {
        return std::nullopt;
    }
    return tagBeatHolder{q.Text(0), q.Int(1)};
}

EBeatKept CStore::KeepBeat(EBeatTable table, int number, const QString& instance, int64_t now) {
    CSqlStatement q(*m_db, QByteArray("UPDATE ") + BeatTableName(table) +
                               " SET heartbeat = ? WHERE number = ? AND instance = ?");
    q.Bind(1, now).Bind(2, number).Bind(3, instance);
    if (!q.Run()) {
        return EBeatKept::Failed;
    }
    return m_db->Changes() > 0 ? EBeatKept::Kept : EBeatKept::TakenOver;
}

bool CStore::EndBeats(const QString& instance) {
    for (EBeatTable table : {EBeatTable::Halls, EBeatTable::RoomServers}) {
        CSqlStatement q(*m_db, QByteArray("UPDATE ") + BeatTableName(table) +
                                   " SET heartbeat = 0 WHERE instance = ?");
        q.Bind(1, instance);
        if (!q.Run()) {
            return false;
        }
    }
    return true;
}

bool CStore::LiveHall(int number, int64_t since) {
    CSqlStatement q(*m_db, "SELECT 1 FROM halls WHERE number = ? AND heartbeat >= ?");
    q.Bind(1, number).Bind(2, since);
    return q.Step();
}

std::vector<int> CStore::LiveHalls(int64_t since) {
    CSqlStatement q(*m_db, "SELECT number FROM halls WHERE heartbeat >= ? ORDER BY number");
    q.Bind(1, since);
    return IntColumn(q);
}

bool CStore::RemovePresence(const QString& name, int hall) {
    // A login another hall took over is that hall's row now.
    CSqlStatement q(*m_db, "DELETE FROM presence WHERE name = ? AND hall = ?");
    q.Bind(1, name).Bind(2, hall);
    return q.Run();
}

std::optional<tagPresenceRow> CStore::LivePresence(const QString& name, int64_t since) {
    CSqlStatement q(*m_db, kPresence.Select("WHERE name = ? AND hall IN "
                                            "(SELECT number FROM halls WHERE heartbeat >= ?)"));
    q.Bind(1, name).Bind(2, since);
    return First(kPresence, q);
}

bool CStore::SweepPresence(int64_t since) {
    CSqlStatement q(*m_db,
                    "DELETE FROM presence WHERE hall NOT IN "
                    "(SELECT number FROM halls WHERE heartbeat >= ?)");
    q.Bind(1, since);
    return q.Run();
}

bool CStore::ClearHallPresence(int hall) {
    CSqlStatement q(*m_db, "DELETE FROM presence WHERE hall = ?");
    q.Bind(1, hall);
    return q.Run();
}

std::optional<tagPresenceRow> CStore::FindPresence(const QString& name) {
    CSqlStatement q(*m_db, kPresence.Select("WHERE name = ?"));
    q.Bind(1, name);
    return First(kPresence, q);
}

bool CStore::SetPresenceRoom(const QString& name, int room, int roomServer) {
    CSqlStatement q(*m_db, "UPDATE presence SET room = ?, room_server = ? WHERE name = ?");
    q.Bind(1, room).Bind(2, roomServer).Bind(3, name);
    return q.Run();
}

bool CStore::LeavePresenceRoom(const QString& name, int room) {
    CSqlStatement q(*m_db,
                    "UPDATE presence SET room = 0, room_server = 0 WHERE name = ? AND room = ?");
    q.Bind(1, name).Bind(2, room);
    return q.Run();
}

bool CStore::EmptyRoomServer(int roomServer) {
    CSqlStatement q(*m_db, "UPDATE presence SET room = 0, room_server = 0 WHERE room_server = ?");
    q.Bind(1, roomServer);
    return q.Run();
}

std::vector<int> CStore::RoomsOccupiedElsewhere(int first, int last, int64_t since) {
    CSqlStatement q(*m_db,
                    "SELECT DISTINCT p.room FROM presence p JOIN room_servers s ON s.number = "
                    "p.room_server WHERE p.room != 0 AND s.heartbeat >= ? AND "
                    "(p.room_server < ? OR p.room_server > ?) ORDER BY p.room");
    q.Bind(1, since).Bind(2, first).Bind(3, last);
    return IntColumn(q);
}

int CStore::RoomOccupancy(int room, int64_t since) {
    CSqlStatement q(*m_db,
                    "SELECT COUNT(*) FROM presence p JOIN room_servers s ON s.number = "
                    "p.room_server WHERE p.room = ? AND s.heartbeat >= ?");
    q.Bind(1, room).Bind(2, since);
    return q.Step() ? static_cast<int>(q.Int(0)) : 0;
}
