#pragma once
// Who is present in the service: visitors with the names the hall gave them, logged-in
// accounts with the machine they logged in from, and which room each of them is in. The hall
// writes it, the room servers read it to know who a room login claims to be.

#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

struct tagVisitor {
    QString name;      // the identifier the hall gave, e.g. "游客800001"
    QString nickname;  // what the visitor asked to be called
    int number = 0;
    QString machine;  // identity field 106
    QString address;  // where the visitor asked from
    int64_t lastSeen = 0;
};

struct tagSession {
    QString account;  // canonical account name
    int number = 0;
    QString nickname;
    QString machine;
    int64_t lastSeen = 0;
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

    tagVisitor AddVisitor(const QString& nickname, const QString& machine, int64_t now,
                          const QString& address = QString());
    int VisitorsFrom(const QString& address) const;
    const tagVisitor* Visitor(const QString& name) const;
    void RemoveVisitor(const QString& name);

    // A login from a machine. When the account was logged in from another machine, that
    // machine is told it was logged in elsewhere at its next presence request.
    void Login(const tagSession& session);
    void Logout(const QString& account);
    const tagSession* Session(const QString& account) const;
    // Whether the account is logged in from this machine with this number.
    bool IsLoggedIn(const QString& account, int number, const QString& machine) const;

    // A presence request (72) from a name on a machine: refreshes it and returns what the
    // client must be told instead of the plain reply, if anything.
    tagPush Touch(const QString& name, const QString& machine, int64_t now);
    // Queues a push for an account's or visitor's next presence request.
    bool QueuePush(const QString& name, const tagPush& push);
    // Every present client is told to quit at its next request.
    void SetShuttingDown(bool shuttingDown) { m_shuttingDown = shuttingDown; }
    bool ShuttingDown() const { return m_shuttingDown; }

    // Room presence, kept by the room servers.
    void EnterRoom(const QString& name, int room);
    void LeaveRoom(const QString& name, int room);
    int RoomOf(const QString& name) const;

    // Forgets visitors and sessions silent for longer than the timeout.
    void Expire(int64_t now, int timeoutSeconds);
    int VisitorCount() const { return static_cast<int>(m_visitors.size()); }
    int SessionCount() const { return static_cast<int>(m_sessions.size()); }

private:
    static QString Key(const QString& name) { return name.toLower(); }

    int m_nextVisitor = kFirstVisitorNumber;
    void ForgetVisitor(std::map<QString, tagVisitor>::iterator it);

    std::map<QString, tagVisitor> m_visitors;
    std::map<QString, int> m_visitorsPerAddress;
    std::map<QString, tagSession> m_sessions;
    // (account, machine) pairs whose login another machine took over.
    std::map<QString, std::vector<QString>> m_superseded;
    std::map<QString, tagPush> m_pushes;
    std::map<QString, int> m_rooms;
    bool m_shuttingDown = false;
};
