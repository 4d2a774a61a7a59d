#include "server/AdminQueue.h"

#include "server/SqlTable.h"

#include <algorithm>

namespace {

const CSqlTable<tagAdminCommand> kQueue("admin_queue",
                                        {
                                            SqlColumn<&tagAdminCommand::id>("id", SQL_GENERATED),
                                            SqlColumn<&tagAdminCommand::command>("command"),
                                            SqlColumn<&tagAdminCommand::room>("room"),
                                            SqlColumn<&tagAdminCommand::text>("text"),
                                            SqlColumn<&tagAdminCommand::target>("target"),
                                            SqlColumn<&tagAdminCommand::hall>("hall"),
                                        });

}  // namespace

CAdminQueue::CAdminQueue(CStore& store) : m_store(store) {}

bool CAdminQueue::Enqueue(const QString& command, int room, const QString& text,
                          const QString& target, int hall) {
    CSqlStatement q(Db(), kQueue.Insert());
    kQueue.Bind(q, {0, command, room, text, target, hall});
    return q.Run();
}

std::vector<tagAdminCommand> CAdminQueue::Take() {
    CSqlStatement q(Db(), "DELETE FROM admin_queue" + kQueue.Returning());
    return TakeWhere(q);
}

std::vector<tagAdminCommand> CAdminQueue::Take(const tagAdminTaker& taker) {
    // A command for a client that another live hall holds, or for a room that a live room
    // server of another process holds, is left for that process. One for a client of a hall
    // that stopped beating is taken by any hall, to come to nothing there.
    CSqlStatement q(Db(),
                    "DELETE FROM admin_queue WHERE CASE "
                    "WHEN command = 'shutdown' THEN ? = 1 AND (hall = 0 OR hall = ? OR hall NOT "
                    "IN (SELECT number FROM halls WHERE heartbeat >= ?)) "
                    "WHEN command IN ('quit-client', 'send-to-room', 'logged-elsewhere') THEN "
                    "? = 1 AND NOT EXISTS (SELECT 1 FROM halls h WHERE h.heartbeat >= ? AND "
                    "h.number <> ? AND h.number = CASE WHEN admin_queue.hall <> 0 THEN "
                    "admin_queue.hall ELSE (SELECT p.hall FROM presence p WHERE "
                    "p.name = admin_queue.target COLLATE nocase) END) "
                    "WHEN command IN ('notice', 'text-notice', 'reload') THEN ? = 1 AND "
                    "(room = 0 OR room NOT IN (SELECT r.number FROM rooms r JOIN "
                    "room_servers s ON s.number = r.server WHERE s.heartbeat >= ? AND "
                    "(r.server < ? OR r.server > ?))) "
                    "ELSE 1 = 1 END" +
                        kQueue.Returning());
    q.Bind(1, taker.hall ? 1 : 0)
        .Bind(2, taker.hallNumber)
        .Bind(3, taker.liveSince)
        .Bind(4, taker.hall ? 1 : 0)
        .Bind(5, taker.liveSince)
        .Bind(6, taker.hallNumber)
        .Bind(7, taker.rooms ? 1 : 0)
        .Bind(8, taker.liveSince)
        .Bind(9, taker.firstRoomServer)
        .Bind(10, taker.lastRoomServer);
    return TakeWhere(q);
}

std::vector<tagAdminCommand> CAdminQueue::TakeWhere(CSqlStatement& q) {
    // One statement takes the rows it reads, so a command queued meanwhile is neither lost nor
    // run twice, and of several services on one database each command reaches one.
    std::vector<tagAdminCommand> out = kQueue.ReadAll(q);
    if (!q.Ok()) {
        return {};
    }
    std::sort(out.begin(), out.end(),
              [](const tagAdminCommand& a, const tagAdminCommand& b) { return a.id < b.id; });
    return out;
}
