#include "server/RoomGuards.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/keys/MicGuardKeys.h"
#include "server/RoomAdmin.h"
#include "server/RoomMembers.h"

#include <QLoggingCategory>
#include <QRandomGenerator>

Q_LOGGING_CATEGORY(lcGuards, "tavo.serverd.guards")

CRoomGuards::CRoomGuards(CRoomServer& server) : CRoomFeature(server) {
    server.MainRequests().On(CMD_GUARD_ENTER, EStage::Connected, this, &CRoomGuards::OnEnter);
}

QString CRoomGuards::Refusal(const CRoom& room, int64_t nowMs) const {
    const tagServerLimits& limits = m_server.Config().limits;
    if (room.Count() >= room.Record().maxMembers) {
        return QStringLiteral("the room is full");
    }
    int guards = 0;
    for (const auto& member : room.Members()) {
        guards += member->guard ? 1 : 0;
    }
    if (guards >= 3 * limits.micGuardQuota) {
        return QStringLiteral("the room holds its %1 guards").arg(guards);
    }
    auto last = m_lastEntry.find(room.Number());
    if (last != m_lastEntry.end() && nowMs - last->second < limits.micGuardSpacingMs) {
        return QStringLiteral("the last guard came %1 ms ago").arg(nowMs - last->second);
    }
    return QString();
}

int CRoomGuards::NextId() {
    constexpr int kIds = kLastId - kFirstId + 1;
    for (int tries = 0; tries < kIds; ++tries) {
        const int id = m_nextId;
        m_nextId = id == kLastId ? kFirstId : id + 1;
        if (m_usedIds.insert(id).second) {
            return id;
        }
    }
    return 0;
}

void CRoomGuards::OnEnter(tagRoomRequest& r) {
    tagRoomSession& s = *r.session;
    // Only a fresh connection becomes a guard, once.
    if (s.stage != EStage::Connected || s.guard) {
        r.peer.Strike();
        r.peer.Drop();
        return;
    }
    const int number = r.packet.IntOr(GuardEnterKey::ROOM, 0);
    CRoom* room = m_server.ActiveRoom(number);
    QString why = room ? Refusal(*room, CClock::Get().UptimeMs())
                       : QStringLiteral("nobody is in room %1").arg(number);
    QString nickname;
    if (why.isEmpty() &&
        CRoomAdmin::CleanNickname(*room, r.packet.TextOr(GuardEnterKey::NICKNAME), nickname) != 0) {
        why = QStringLiteral("the nickname is refused");
    }
    const int id = why.isEmpty() ? NextId() : 0;
    if (id == 0) {
        qCInfo(lcGuards, "guard from %s refused: %s", qUtf8Printable(r.peer.PeerAddress()),
               qUtf8Printable(why.isEmpty() ? QStringLiteral("no identifier is free") : why));
        r.peer.Drop();
        return;
    }
    auto member = std::make_unique<CRoomMember>();
    member->id = QString::number(id);
    member->nickname = nickname;
    member->rank = RANK_VISITOR;
    member->guard = true;
    member->keyA = m_server.NextKeyA();
    member->keyB = static_cast<int>(QRandomGenerator::global()->bounded(1, 0x7FFFFFFF));
    member->main = &r.peer;
    CRoomMember& entered = m_server.Enter(*room, std::move(member));
    s.guard = true;
    s.id = entered.id;
    s.nickname = entered.nickname;
    s.room = number;
    s.member = &entered;
    m_lastEntry[number] = CClock::Get().UptimeMs();
    room->Broadcast(ArrivalPacket(entered), &entered);
}

void CRoomGuards::OnDeparture(CRoom& room, CRoomMember& member) {
    if (member.guard) {
        m_usedIds.erase(member.id.toInt());
    }
}
