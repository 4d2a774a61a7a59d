#pragma once
// Who is present in the service: visitors with the names the hall gave them, logged-in
// accounts with the machine they logged in from, and which room each of them is in. The hall
// writes it, the room servers read it to know who a room login claims to be.
//
// Every change is also written to the database it is given (Share), so that the room servers
// and halls of other processes on that database know the same logins, visitors and rooms.
//
// Names and numbers of members are public: everybody in a room reads them in the member list.
// What proves a room login is the user number the hall handed out with the presence: a random
// value for each login and each visitor that only its client is told, and that it sends back
// with every request. It is never the account's or the visitor's public number.

#include "server/LoginThrottle.h"
#include "server/ServerConfig.h"
#include "server/Store.h"

#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

struct tagVisitor {
    QString name;        // the identifier the hall gave, e.g. "游客800001"
    QString nickname;    // what the visitor asked to be called
    int number = 0;      // public: the number in the name
    int userNumber = 0;  // secret: what the hall told this client its user number is
    QString machine;     // identity field 106
    QString address;     // where the visitor asked from
    int64_t lastSeen = 0;
};

struct tagSession {
    QString account;  // canonical account name
    int number = 0;   // public: the account's number
    QString nickname;
    QString machine;
    int64_t lastSeen = 0;
    int userNumber = 0;  // secret: what the login told this client its user number is
};

// What the hall tells a client instead of the presence reply, once.
enum class EPush { None, Quit, LoggedElsewhere, GoToRoom };

struct tagPush {
    EPush kind = EPush::None;
    int room = 0;
};

class CPresence {
public:
    // Visitors get numbers from here on; accounts are numbered from 10001.
    static constexpr int kFirstVisitorNumber = 800001;

    explicit CPresence(int freeLoginFailures = tagServerLimits().loginFailures)
        : m_failures(freeLoginFailures) {}

    // From now on every change is written to the store's presence table too, in rows that
    // name this process's hall. A room, or another process's hall, counts while its row has
    // beaten within `liveSeconds`.
    void Share(CStore* store, int liveSeconds, int hall = 1) {
        m_store = store;
        m_liveSeconds = liveSeconds;
        m_hall = hall;
    }
    // Who a live hall of any process sharing the database vouches for under this name, proved
    // by the user number and the machine; this process's own logins and visitors included.
    std::optional<tagPresenceRow> Vouched(const QString& name, int userNumber,
                                          const QString& machine) const;

    // A new visitor with a user number of its own, or with the one given (a client that logs
    // out keeps the number it had).
    tagVisitor AddVisitor(const QString& nickname, const QString& machine, int64_t now,
                          const QString& address = QString(), int userNumber = 0);
    int VisitorsFrom(const QString& address) const;
    const tagVisitor* Visitor(const QString& name) const;
    void RemoveVisitor(const QString& name);

    // A login from a machine; the session gets a new user number. When the account was logged
    // in from another machine, that machine is told it was logged in elsewhere at its next
    // presence request.
    const tagSession& Login(tagSession session);
    void Logout(const QString& account);
    const tagSession* Session(const QString& account) const;
    // The machine the account is logged in from at this hall or at another live one, if any.
    std::optional<QString> LoggedInFrom(const QString& account) const;
    // Another hall logged the account in anew from another machine: this hall forgets its
    // login from `machine`, whose client is told it was logged in elsewhere at its next
    // presence request.
    void TakenOver(const QString& account, const QString& machine);
    // Whether the account is logged in from this machine with this user number.
    bool IsLoggedIn(const QString& account, int userNumber, const QString& machine) const;
    // Whether the hall named this visitor for this machine with this user number.
    bool IsVisitor(const QString& name, int userNumber, const QString& machine) const;

    // A presence request (72) from a name on a machine: refreshes it and returns what the
    // client must be told instead of the plain reply, if anything. Only the client that holds
    // the name's user number is refreshed and told.
    tagPush Touch(const QString& name, int userNumber, const QString& machine, int64_t now);
    // Queues a push for an account's or visitor's next presence request.
    bool QueuePush(const QString& name, const tagPush& push);
    // Every present client is told to quit at its next request.
    void SetShuttingDown(bool shuttingDown) { m_shuttingDown = shuttingDown; }
    bool ShuttingDown() const { return m_shuttingDown; }

    // Room presence, kept by the room servers. RoomOf knows the rooms of every process that
    // shares the database.
    void EnterRoom(const QString& name, int room, int roomServer = 0);
    void LeaveRoom(const QString& name, int room);
    int RoomOf(const QString& name) const;

    // Forgets visitors and sessions silent for longer than the timeout.
    void Expire(int64_t now, int timeoutSeconds);
    int VisitorCount() const { return static_cast<int>(m_visitors.size()); }
    int SessionCount() const { return static_cast<int>(m_sessions.size()); }

    // Failed proofs of who somebody is (passwords, room logins), for the hall and the rooms.
    CLoginThrottle& Failures() { return m_failures; }

private:
    static QString Key(const QString& name) { return name.toLower(); }
    static int NewUserNumber();

    int m_nextVisitor = kFirstVisitorNumber;
    void ForgetVisitor(std::map<QString, tagVisitor>::iterator it);
    void Forget(const QString& name);

    std::map<QString, tagVisitor> m_visitors;
    std::map<QString, int> m_visitorsPerAddress;
    std::map<QString, tagSession> m_sessions;
    // (account, machine) pairs whose login another machine took over.
    std::map<QString, std::vector<QString>> m_superseded;
    std::map<QString, tagPush> m_pushes;
    std::map<QString, int> m_rooms;
    bool m_shuttingDown = false;
    CLoginThrottle m_failures;
    CStore* m_store = nullptr;
    int m_liveSeconds = 0;
    int m_hall = 1;
};
