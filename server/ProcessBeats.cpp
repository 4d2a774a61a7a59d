#include "server/ProcessBeats.h"

#include "platform/Clock.h"
#include "server/RoomServer.h"

#include <QLoggingCategory>
#include <QRandomGenerator>

#include <chrono>
#include <thread>

Q_LOGGING_CATEGORY(lcBeats, "tavo.serverd.beats")

namespace {
QString Describe(EBeatTable table, int number) {
    return table == EBeatTable::Halls ? QStringLiteral("hall %1").arg(number)
                                      : QStringLiteral("room server %1").arg(number);
}
}  // namespace

CProcessBeats::CProcessBeats(CStore& store, const tagServerConfig& config)
    : m_store(store),
      m_config(config),
      m_instance(QString::number(QRandomGenerator::system()->generate64(), 16)) {}

std::vector<CProcessBeats::tagSeen> CProcessBeats::HeldElsewhere(
    int hall, const std::vector<int>& roomServers) {
    const int64_t since = LiveSince(m_config);
    std::vector<tagSeen> held;
    auto look = [&](EBeatTable table, int number) {
        auto holder = m_store.BeatHolder(table, number);
        if (holder && holder->heartbeat >= since && holder->instance != m_instance) {
            held.push_back({table, number, *holder});
        }
    };
    if (hall > 0) {
        look(EBeatTable::Halls, hall);
    }
    for (int number : roomServers) {
        look(EBeatTable::RoomServers, number);
    }
    return held;
}

bool CProcessBeats::CheckFree(int hall, const std::vector<int>& roomServers, QString* error) {
    const std::vector<tagSeen> fresh = HeldElsewhere(hall, roomServers);
    if (fresh.empty()) {
        return true;
    }
    // A live holder beats again within one beat; a crashed one never does. The beat is
    // written in whole seconds, so one beat and a second more always shows a live one's.
    qCInfo(lcBeats, "%s beat recently; waiting a beat to see whether it still runs",
           qUtf8Printable(Describe(fresh.front().table, fresh.front().number)));
    std::this_thread::sleep_for(std::chrono::seconds(m_config.heartbeatSeconds + 1));
    for (const tagSeen& seen : fresh) {
        const auto now = m_store.BeatHolder(seen.table, seen.number);
        if (now &&
            (now->heartbeat != seen.holder.heartbeat || now->instance != seen.holder.instance)) {
            if (error) {
                *error = QStringLiteral(
                             "%1 is served by another running process; give each "
                             "process its own hall_number and room servers")
                             .arg(Describe(seen.table, seen.number));
            }
            return false;
        }
    }
    return true;
}

bool CProcessBeats::Keep(EBeatTable table, int number, int64_t now) {
    if (m_store.KeepBeat(table, number, m_instance, now) != EBeatKept::TakenOver) {
        // A database out of reach is not a reason to stop: the rooms run on what they hold.
        return true;
    }
    qCCritical(lcBeats, "%s has been taken over by another process",
               qUtf8Printable(Describe(table, number)));
    return false;
}

bool CProcessBeats::Beat(int hall, std::vector<tagRoomServerRow> roomServers) {
    const int64_t now = CClock::Get().Now();
    if (!m_claimed) {
        // Written whole until it is written once: a database out of reach at the first beat
        // leaves no row to keep.
        m_claimed = hall <= 0 || m_store.BeatHall(hall, now, m_instance);
        for (tagRoomServerRow& row : roomServers) {
            row.heartbeat = now;
            row.instance = m_instance;
            m_claimed = m_store.BeatRoomServer(row) && m_claimed;
        }
        return true;
    }
    bool kept = hall <= 0 || Keep(EBeatTable::Halls, hall, now);
    for (const tagRoomServerRow& row : roomServers) {
        kept = Keep(EBeatTable::RoomServers, row.number, now) && kept;
    }
    return kept;
}

void CProcessBeats::End() {
    if (m_claimed) {
        m_store.EndBeats(m_instance);
    }
}
