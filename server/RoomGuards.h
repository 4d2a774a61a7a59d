#pragma once
// Mic guards: a connection that enters a room with 10131 under a nickname and stays silent.
// A guard is a member like any other (it takes a place and is listed), with an identifier from
// 7990000 to 7999999. A room takes guards only while someone is inside, one at a time at the
// configured spacing and up to three times its quota; nothing answers the enter packet, and a
// guard refused, or one that says anything after entering, loses its connection.

#include "server/RoomServer.h"

#include <set>

class CRoomGuards : public CRoomFeature {
public:
    static constexpr int kFirstId = 7990000;
    static constexpr int kLastId = 7999999;

    explicit CRoomGuards(CRoomServer& server);

    void OnDeparture(CRoom& room, CRoomMember& member) override;

private:
    void OnEnter(tagRoomRequest& r);
    // Why a room does not take this guard now, for the log; empty when it does.
    QString Refusal(const CRoom& room, int64_t nowMs) const;
    // A free identifier, or 0 when all are taken.
    int NextId();

    // When each room last took a guard (uptime ms).
    std::map<int, int64_t> m_lastEntry;
    std::set<int> m_usedIds;
    int m_nextId = kFirstId;
};
