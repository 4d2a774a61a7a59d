#include "server/AdminQueue.h"

#include "server/SqlTable.h"

namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS admin_queue(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  command TEXT NOT NULL,
  room INTEGER NOT NULL DEFAULT 0,
  text TEXT NOT NULL DEFAULT '',
  target TEXT NOT NULL DEFAULT '');
)sql";

const CSqlTable<tagAdminCommand> kQueue("admin_queue",
                                        {
                                            SqlColumn<&tagAdminCommand::id>("id", true),
                                            SqlColumn<&tagAdminCommand::command>("command"),
                                            SqlColumn<&tagAdminCommand::room>("room"),
                                            SqlColumn<&tagAdminCommand::text>("text"),
                                            SqlColumn<&tagAdminCommand::target>("target"),
                                        });

}  // namespace

CAdminQueue::CAdminQueue(CStore& store) : m_db(store.Database()) {
    // A failure here shows as the error of the first Enqueue or as an empty queue.
    m_db.Exec(kSchema);
}

bool CAdminQueue::Enqueue(const QString& command, int room, const QString& text,
                          const QString& target) {
    CSqliteStatement q(m_db, kQueue.Insert());
    kQueue.Bind(q, {0, command, room, text, target});
    return q.Run();
}

std::vector<tagAdminCommand> CAdminQueue::Take() {
    std::vector<tagAdminCommand> out;
    if (!m_db.Exec("BEGIN IMMEDIATE")) {
        return out;
    }
    {
        CSqliteStatement q(m_db, kQueue.Select("ORDER BY id"));
        out = kQueue.ReadAll(q);
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
