#pragma once
// The admin queue: work the admin command line leaves in the database for a running service
// (notices, settings reloads, clients to tell to quit or to go to a room). The service takes
// the queue as it polls; both sides open the same database, each with its own store.

#include "server/Store.h"

#include <QString>

#include <cstdint>
#include <vector>

struct tagAdminCommand {
    int64_t id = 0;
    QString command;
    int room = 0;
    QString text;
    QString target;
    int hall = 0;  // the hall it is for; 0: the hall that holds the target
};

// What one process of the service can carry out: the hall's commands (clients told to quit or
// to go to a room, or that they were logged in elsewhere) for the clients of its own hall and
// for those no other live hall holds, and the room servers' (notices, reloads) for the rooms of
// its own room servers, numbered first to last, and for rooms no live room server of another
// process holds.
struct tagAdminTaker {
    bool hall = true;
    int hallNumber = 1;
    bool rooms = true;
    int firstRoomServer = 1;
    int lastRoomServer = 1;
    int64_t liveSince = 0;  // halls and room servers that beat since then are live
};

class CAdminQueue {
public:
    // Works on the open store's connection.
    explicit CAdminQueue(CStore& store);

    bool Enqueue(const QString& command, int room, const QString& text,
                 const QString& target = QString(), int hall = 0);
    // Every queued command, oldest first; they leave the queue.
    std::vector<tagAdminCommand> Take();
    // The queued commands this process can carry out, oldest first; they leave the queue.
    std::vector<tagAdminCommand> Take(const tagAdminTaker& taker);

    QString LastError() const { return m_store.LastError(); }

private:
    std::vector<tagAdminCommand> TakeWhere(CSqlStatement& q);
    ISqlDb& Db() const { return m_store.Database(); }

    CStore& m_store;
};
