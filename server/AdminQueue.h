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
};

class CAdminQueue {
public:
    // Works on the open store's connection.
    explicit CAdminQueue(CStore& store);

    bool Enqueue(const QString& command, int room, const QString& text,
                 const QString& target = QString());
    // Every queued command, oldest first; they leave the queue.
    std::vector<tagAdminCommand> Take();

    QString LastError() const { return m_store.LastError(); }

private:
    ISqlDb& Db() const { return m_store.Database(); }

    CStore& m_store;
};
