#pragma once
// The service's data, in SQLite or PostgreSQL (SqlDb.h): accounts with their password hashes,
// areas, rooms with their settings, ranks inside rooms, favourites, bans, reports and room
// formats.

#include "protocol/Refusal.h"
#include "server/PasswordHash.h"
#include "server/Sqlite.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// Rank codes inside a room.
enum : int {
    RANK_VISITOR = 10,
    RANK_MEMBER = 20,
    RANK_OPERATOR = 30,
    RANK_MANAGER = 40,
    RANK_OWNER = 60
};

struct tagAccount {
    int number = 0;
    QString name;
    QString nickname;
    QString digest;  // how the password is kept (PasswordHash.h): a scrypt hash, or an old MD5
    int64_t createdAt = 0;
    int64_t lastLogin = 0;
    int loginCount = 0;
    int money = 0;
    int level = 0;
    int entryEffect = 0;  // the room-entry settings of request 77
    int entryVip = 0;
    QString signature;
};

struct tagArea {
    int id = 0;
    QString name;
    int list = 1;  // which area document lists it (1 to 4)
    int position = 0;
};

struct tagRoomRecord {
    int number = 0;
    int area = 0;
    QString name;
    int owner = 0;     // account number, 0 for none
    QString password;  // non-empty: locked
    int maxMembers = 100;
    QString topic;
    QString welcome;  // the entry text, may hold "$某某人$" and "$某某房间$"
    int micMode = 1;  // 0 grab, 1 queue, 2 operators hand it out
    bool micForced = false;
    int micSeconds = 300;
    bool publicText = true;
    bool dualMic = false;
    int quality = 1;
    QString forbiddenNicknames;  // comma-separated
    QString forbiddenTexts;      // comma-separated
    int64_t disabledUntil = 0;   // seconds since 1970; 0 when usable
    QString disabledReason;
    QString disabledBy;
    int server = 1;  // which room server hosts it (1-based)
    QString isp;
    int format = 0;
    bool listed = true;  // shown in the room documents
};

struct tagBan {
    int room = 0;
    QString who;  // an account or visitor name
    int64_t until = 0;
    QString reason;
    QString by;
};

// What a member reported about a room, for the people who run the service.
struct tagReport {
    int id = 0;
    int room = 0;
    QString who;
    QString text;
    int64_t madeAt = 0;
};

struct tagRoomFormat {
    int id = 0;
    QString name;
    int maxMembers = 0;
};

// A room server as it told the database where it is.
struct tagRoomServerRow {
    int number = 0;
    QString host;
    int mainPort = 0;
    int secondPort = 0;
    int64_t heartbeat = 0;  // seconds since 1970
    QString instance;       // the process beating under the number
};

// The tables where processes beat under their numbers.
enum class EBeatTable { Halls, RoomServers };

// Who beats under a number: the process that wrote the row last, and when.
struct tagBeatHolder {
    QString instance;
    int64_t heartbeat = 0;
};

enum class EBeatKept { Kept, TakenOver, Failed };

// A login or a visitor the hall vouches for, and the room it is in.
struct tagPresenceRow {
    QString name;  // account name or visitor name
    int number = 0;
    QString nickname;
    bool registered = false;
    int userNumber = 0;  // the secret the hall told that client alone
    QString machine;
    int room = 0;        // 0: in no room
    int roomServer = 0;  // the room server the room is on
    int hall = 0;        // the hall that vouches for it
};

class CStore {
public:
    // Opens the database (a file, ":memory:" for a private one, or a "postgresql://" address)
    // and brings its tables to the latest schema.
    bool Open(const QString& address, QString* error = nullptr);
    bool IsOpen() const { return m_db->IsOpen(); }

    // The cost new password hashes are made with (log2 of scrypt's N).
    void SetPasswordCost(int cost) { m_passwordCost = cost; }
    int PasswordCost() const { return m_passwordCost; }
    // Accounts. AddAccount returns the new number (numbers from 10001 when 0 is given), or -1.
    int AddAccount(const QString& name, const QString& password, const QString& nickname,
                   int number = 0);
    bool SetPassword(const QString& name, const QString& password);
    // Replaces the way a password is kept, unless it was changed since `was` was read.
    bool ReplacePasswordHash(int number, const QString& was, const QString& hash);
    // By name (any letter case) or by number written in decimal.
    std::optional<tagAccount> FindAccount(const QString& nameOrNumber);
    std::optional<tagAccount> AccountByNumber(int number);
    bool RecordLogin(int number, int64_t now);
    bool SetEntryInfo(int number, int effect, int vip);
    std::vector<tagAccount> Accounts();

    bool AddArea(const tagArea& area);
    std::vector<tagArea> Areas(int list = 0);

    // Returns the room's number (a free one from 1001 when the record's is 0), or -1.
    int AddRoom(const tagRoomRecord& room);
    bool UpdateRoom(const tagRoomRecord& room);
    std::optional<tagRoomRecord> Room(int number);
    // Every room, or the rooms of one area.
    std::vector<tagRoomRecord> Rooms(int area = 0);
    std::vector<int> RoomsOwnedBy(int account);

    // Ranks given inside a room (operators and managers); 0 when none.
    int RankIn(int room, int account);
    bool SetRank(int room, int account, int rank);
    std::vector<int> RoomsManagedBy(int account);

    bool AddFavourite(int account, int room, int64_t now);
    std::vector<int> Favourites(int account);

    bool AddBan(const tagBan& ban);
    bool RemoveBan(int room, const QString& who);
    std::optional<tagBan> ActiveBan(int room, const QString& who, int64_t now);

    bool AddReport(const tagReport& report);
    // The reports about one room, or about every room (0), oldest first.
    std::vector<tagReport> Reports(int room);

    bool AddFormat(const tagRoomFormat& format);
    std::vector<tagRoomFormat> Formats();
    std::optional<tagRoomFormat> Format(int id);

    // A room server's beat: its row written anew with the time.
    bool BeatRoomServer(const tagRoomServerRow& row);
    // The room server of that number if it beat at `since` or later.
    std::optional<tagRoomServerRow> LiveRoomServer(int number, int64_t since);

    // Every live room server (beat at `since` or later), the least occupied first.
    std::vector<tagRoomServerRow> LiveRoomServers(int64_t since);
    // Puts the room on another room server, unless somebody moved it from `from` already.
    bool MoveRoom(int room, int from, int to);

    // A hall's beat: its row written anew with the time.
    bool BeatHall(int number, int64_t now, const QString& instance = QString());
    std::optional<tagBeatHolder> BeatHolder(EBeatTable table, int number);
    // The time written into the number's row, as long as `instance` still beats under it.
    EBeatKept KeepBeat(EBeatTable table, int number, const QString& instance, int64_t now);
    // The process's rows say it stopped, so a process starting under its numbers need not wait.
    bool EndBeats(const QString& instance);
    bool LiveHall(int number, int64_t since);
    // The numbers of the halls that beat at `since` or later.
    std::vector<int> LiveHalls(int64_t since);

    // Presence shared by the processes of one database.
    bool PutPresence(const tagPresenceRow& row);
    // Writes the row unless the name has one already; false then (or when the write failed).
    bool ClaimPresence(const tagPresenceRow& row);
    // The name's row, as long as the hall given wrote it last.
    bool RemovePresence(const QString& name, int hall);
    std::optional<tagPresenceRow> FindPresence(const QString& name);
    // The name's row, when a hall that beat at `since` or later vouches for it.
    std::optional<tagPresenceRow> LivePresence(const QString& name, int64_t since);
    // Forgets the rows of halls that did not beat since then (and of none), or of one hall.
    bool SweepPresence(int64_t since);
    bool ClearHallPresence(int hall);
    // Where the name is now; leaving is done only from the room it is in.
    bool SetPresenceRoom(const QString& name, int room, int roomServer);
    bool LeavePresenceRoom(const QString& name, int room);
    // A room server starting afresh: nobody is inside its rooms any more.
    bool EmptyRoomServer(int roomServer);
    // Rooms with members on live room servers outside first to last.
    std::vector<int> RoomsOccupiedElsewhere(int first, int last, int64_t since);
    // Members in the room on a room server that beat at `since` or later.
    int RoomOccupancy(int room, int64_t since);

    QString LastError() const { return m_db->LastError(); }
    // Whether the database is out of reach: a lookup that found nothing proves nothing then.
    bool Lost() const { return m_db->Lost(); }
    // The refusal for a row that was not found: `absent`, unless the database is out of reach.
    int MissingRefusal(int absent) const { return Lost() ? REFUSE_READ_DATASET : absent; }
    // The connection, for what keeps tables of its own in the same database (the admin queue).
    ISqlDb& Database() const { return *m_db; }

private:
    std::unique_ptr<ISqlDb> m_db = std::make_unique<CSqliteDb>();
    int m_passwordCost = kPasswordCost;
};
