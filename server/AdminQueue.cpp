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
                                        });

}  // namespace

CAdminQueue::CAdminQueue(CStore& store) : m_store(store) {}

bool CAdminQueue::Enqueue(const QString& command, int room, const QString& text,
                          const QString& target) {
    CSqlStatement q(Db(), kQueue.Insert());
    kQueue.Bind(q, {0, command, room, text, target});
    return q.Run();
}

std::vector<tagAdminCommand> CAdminQueue::Take() {
    // One statement takes the rows it reads, so a command queued meanwhile is neither lost nor
    // run twice, and of several services on one database each command reaches one.
    CSqlStatement q(Db(), "DELETE FROM admin_queue" + kQueue.Returning());
    std::vector<tagAdminCommand> out = kQueue.ReadAll(q);
    if (!q.Ok()) {
        return {};
    }
    std::sort(out.begin(), out.end(),
              [](const tagAdminCommand& a, const tagAdminCommand& b) { return a.id < b.id; });
    return out;
}
