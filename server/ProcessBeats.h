#pragma once
// The numbers a process serves under (its hall's, its room servers'), held in the database by
// their beats. Two processes given one number would each clear the other's rows and answer for
// the other's clients, so a number another live process beats under is refused at start. A
// process restarted right after its own crash finds its old row still fresh; it waits one beat
// to tell a dead row from a live one.

#include "server/ServerConfig.h"
#include "server/Store.h"

#include <QString>

#include <vector>

class CProcessBeats {
public:
    CProcessBeats(CStore& store, const tagServerConfig& config);

    const QString& Instance() const { return m_instance; }
    // False, with the reason, when another live process beats under one of the numbers
    // (hall 0: none).
    bool CheckFree(int hall, const std::vector<int>& roomServers, QString* error);
    // Writes the rows: whole at the first beat, only the time afterwards. False when another
    // process has taken one of the numbers over since.
    bool Beat(int hall, std::vector<tagRoomServerRow> roomServers);
    // The rows say this process stopped.
    void End();

private:
    struct tagSeen {
        EBeatTable table;
        int number;
        tagBeatHolder holder;
    };
    std::vector<tagSeen> HeldElsewhere(int hall, const std::vector<int>& roomServers);
    bool Keep(EBeatTable table, int number, int64_t now);

    CStore& m_store;
    const tagServerConfig& m_config;
    QString m_instance;
    bool m_claimed = false;
};
