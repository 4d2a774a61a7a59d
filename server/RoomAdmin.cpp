#include "server/RoomAdmin.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "server/Packets.h"
#include "server/Refusal.h"
#include "server/RoomChat.h"

namespace {
enum : int { RANK_BANS = 50 };
enum : int { OP_REMOVE = 0, OP_MAKE = 1, OP_MAKE_SENIOR = 10, OP_REMOVE_SENIOR = 20 };
constexpr int kLongestNickname = 32;
constexpr int kLongestTopic = 200;
}  // namespace

CRoomAdmin::CRoomAdmin(CRoomServer& server) : CRoomFeature(server) {
    auto on = [&](short code, void (CRoomAdmin::*handler)(tagRoomRequest&)) {
        server.Handle(code, EStage::Entered,
                      [this, handler](tagRoomRequest& r) { (this->*handler)(r); });
    };
    on(CMD_NICKNAME, &CRoomAdmin::OnNickname);
    on(CMD_ROOM_FAVORITE, &CRoomAdmin::OnFavourite);
    on(CMD_TOPIC, &CRoomAdmin::OnTopic);
    on(CMD_PUBLIC_TEXT_CONTROL, &CRoomAdmin::OnPublicText);
    on(CMD_LOCK_ROOM, &CRoomAdmin::OnLock);
    on(CMD_VIDEO_CONTROL, &CRoomAdmin::OnVideoControl);
    on(CMD_KICK, &CRoomAdmin::OnKick);
    on(CMD_TYPE_CONTROL, &CRoomAdmin::OnTypingControl);
    on(CMD_GRAB_CONTROL, &CRoomAdmin::OnGrabControl);
    on(CMD_FORCE_NICKNAME, &CRoomAdmin::OnForceNickname);
    on(CMD_BAN, &CRoomAdmin::OnBan);
    on(CMD_OP_CONTROL, &CRoomAdmin::OnOperator);
    on(CMD_QUALITY, &CRoomAdmin::OnQuality);
    on(CMD_VIDEO_STATE, &CRoomAdmin::OnVideoState);
}

bool CRoomAdmin::RequireRank(tagRoomRequest& r, int rank) {
    if (r.member->rank >= rank) {
        return true;
    }
    m_server.Refuse(r, r.member->registered ? REFUSE_FORBIDDEN : REFUSE_VISITOR);
    return false;
}

CRoomMember* CRoomAdmin::Subordinate(tagRoomRequest& r, const QString& id) {
    CRoomMember* target = r.room->Find(id);
    if (!target) {
        m_server.Refuse(r, REFUSE_BAD_USER);
        return nullptr;
    }
    if (target == r.member || target->rank >= r.member->rank) {
        m_server.Refuse(r, REFUSE_FORBIDDEN);
        return nullptr;
    }
    return target;
}

QString CRoomAdmin::CleanNickname(tagRoomRequest& r, const QString& nickname, int& refusal) {
    QString name = nickname.trimmed();
    refusal = 0;
    if (name.isEmpty()) {
        refusal = REFUSE_EMPTY_NICKNAME;
    } else if (name.size() > kLongestNickname) {
        refusal = REFUSE_BAD_PARAMETER;
    } else if (!CRoomChat::ForbiddenHit(name, r.room->Record().forbiddenNicknames).isEmpty()) {
        refusal = REFUSE_BAD_NICKNAME;
    }
    if (refusal) {
        return QString();
    }
    name = CommaFree(name);
    name.replace(QStringLiteral("|#"), QStringLiteral("| #"));
    return name;
}

void CRoomAdmin::Save(CRoom& room) {
    // Only what a room's managers change here goes back; the rest may be newer in the database.
    auto stored = m_server.Store().Room(room.Number());
    if (!stored) {
        return;
    }
    const tagRoomRecord& live = room.Record();
    stored->topic = live.topic;
    stored->publicText = live.publicText;
    stored->password = live.password;
    stored->quality = live.quality;
    m_server.Store().UpdateRoom(*stored);
}

void CRoomAdmin::OnNickname(tagRoomRequest& r) {
    int refusal = 0;
    const QString name = CleanNickname(r, r.packet.TextOr(20), refusal);
    if (refusal) {
        m_server.Refuse(r, refusal);
        return;
    }
    r.member->nickname = name;
    m_server.Answer(r);
    CKParam changed = MakePacket(CMD_NICKNAME_CHANGED);
    changed.SetCString(20, r.member->id);
    changed.SetCString(30, name);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnFavourite(tagRoomRequest& r) {
    if (!r.member->registered) {
        m_server.Refuse(r, REFUSE_VISITOR);
        return;
    }
    if (!m_server.Store().AddFavourite(r.member->number, r.room->Number(), CClock::Get().Now())) {
        m_server.Refuse(r, REFUSE_SERVER_ERROR);
        return;
    }
    m_server.Answer(r);
}

void CRoomAdmin::OnTopic(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    const QString topic = r.packet.TextOr(20);
    if (topic.size() > kLongestTopic) {
        m_server.Refuse(r, REFUSE_BAD_PARAMETER);
        return;
    }
    if (!CRoomChat::ForbiddenHit(topic, r.room->Record().forbiddenTexts).isEmpty()) {
        m_server.Refuse(r, REFUSE_BAD_TEXT);
        return;
    }
    r.room->Record().topic = topic;
    Save(*r.room);
    m_server.Answer(r);
    CKParam changed = MakePacket(CMD_TOPIC_CHANGED);
    changed.SetCString(20, r.member->id);
    changed.SetCString(30, topic);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnPublicText(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    const bool allow = r.packet.IntOr(20, 0) != 0;
    r.room->Record().publicText = allow;
    Save(*r.room);
    m_server.Answer(r);
    CKParam changed = MakePacket(CMD_PUBLIC_TEXT_CHANGED);
    changed.SetCString(20, r.member->id);
    changed.SetBoolean(30, allow);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnLock(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    const bool lock = r.packet.IntOr(20, 0) != 0;
    const QString password = r.packet.TextOr(30);
    if (lock && (password.isEmpty() || password.size() > 32)) {
        m_server.Refuse(r, REFUSE_BAD_PARAMETER);
        return;
    }
    r.room->Record().password = lock ? password : QString();
    Save(*r.room);
    m_server.Answer(r);
    CKParam changed = MakePacket(CMD_ROOM_LOCK_CHANGED);
    changed.SetCString(20, r.member->id);
    changed.SetInt(30, lock ? 1 : 0);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnVideoControl(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    m_server.Answer(r);
    CKParam changed = MakePacket(CMD_VIDEO_CONTROL_CHANGED);
    changed.SetCString(20, r.member->id);
    changed.SetInt(30, r.packet.IntOr(20, 0) != 0 ? 1 : 0);
    changed.SetInt(40, r.packet.IntOr(30, 0));
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnKick(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    CRoomMember* target = Subordinate(r, r.packet.TextOr(20));
    if (!target) {
        return;
    }
    m_server.Answer(r);
    CKParam kicked = MakePacket(CMD_KICKED);
    kicked.SetCString(20, target->id);
    kicked.SetCString(30, r.member->id);
    kicked.SetCString(40, r.packet.TextOr(30).left(kLongestTopic));
    r.room->Broadcast(kicked);
    // The member hears why before the connection ends; the departure follows from the close.
    if (target->main) {
        target->main->Drop();
    }
}

void CRoomAdmin::OnTypingControl(tagRoomRequest& r) {
    ForbidOrAllow(r, &CRoomMember::typingForbidden, CMD_TYPE_CONTROL_CHANGED);
}

void CRoomAdmin::OnGrabControl(tagRoomRequest& r) {
    ForbidOrAllow(r, &CRoomMember::grabForbidden, CMD_GRAB_CONTROL_CHANGED);
}

// Typing and grabbing the microphone are forbidden and allowed per member the same way: an
// operator names a member below them, and the room hears who did it to whom.
void CRoomAdmin::ForbidOrAllow(tagRoomRequest& r, bool CRoomMember::*forbidden,
                               short announcement) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    CRoomMember* target = Subordinate(r, r.packet.TextOr(30));
    if (!target) {
        return;
    }
    const bool allow = r.packet.IntOr(20, 0) != 0;
    target->*forbidden = !allow;
    m_server.Answer(r);
    CKParam changed = MakePacket(announcement);
    changed.SetInt(20, allow ? 1 : 0);
    changed.SetCString(30, target->id);
    changed.SetCString(40, r.member->id);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnForceNickname(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    CRoomMember* target = Subordinate(r, r.packet.TextOr(20));
    if (!target) {
        return;
    }
    int refusal = 0;
    const QString name = CleanNickname(r, r.packet.TextOr(30), refusal);
    if (refusal) {
        m_server.Refuse(r, refusal);
        return;
    }
    target->nickname = name;
    m_server.Answer(r);
    CKParam changed = MakePacket(CMD_NICKNAME_FORCED);
    changed.SetCString(20, target->id);
    changed.SetCString(30, r.member->id);
    changed.SetCString(40, name);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnBan(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_BANS)) {
        return;
    }
    CRoomMember* target = Subordinate(r, r.packet.TextOr(20));
    if (!target) {
        return;
    }
    const int hours = r.packet.IntOr(30, 0);
    if (hours <= 0 || hours > 24 * 365) {
        m_server.Refuse(r, REFUSE_BAD_PARAMETER);
        return;
    }
    const QString reason = r.packet.TextOr(50).left(kLongestTopic);
    tagBan ban{r.room->Number(), target->id,
               CClock::Get().Now() + static_cast<int64_t>(hours) * 3600, reason, r.member->id};
    if (!m_server.Store().AddBan(ban)) {
        m_server.Refuse(r, REFUSE_SERVER_ERROR);
        return;
    }
    m_server.Answer(r);
    CKParam banned = MakePacket(CMD_BANNED);
    banned.SetCString(20, target->id);
    banned.SetCString(30, r.member->id);
    banned.SetInt(40, r.packet.IntOr(40, 0));
    banned.SetInt(50, hours);
    banned.SetCString(60, reason);
    r.room->Broadcast(banned);
    if (target->main) {
        target->main->Drop();
    }
}

void CRoomAdmin::OnOperator(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_BANS)) {
        return;
    }
    CRoomMember* target = Subordinate(r, r.packet.TextOr(20));
    if (!target) {
        return;
    }
    const int op = r.packet.IntOr(30, -1);
    if (op != OP_REMOVE && op != OP_MAKE && op != OP_MAKE_SENIOR && op != OP_REMOVE_SENIOR) {
        m_server.Refuse(r, REFUSE_BAD_PARAMETER);
        return;
    }
    if (!target->registered) {
        m_server.Refuse(r, REFUSE_VISITOR);
        return;
    }
    const int room = r.room->Number();
    switch (op) {
        case OP_MAKE:
            target->rank = RANK_OPERATOR;
            m_server.Store().SetRank(room, target->number, RANK_OPERATOR);
            break;
        case OP_REMOVE:
            target->rank = RANK_MEMBER;
            target->seniorOperator = false;
            m_server.Store().SetRank(room, target->number, RANK_MEMBER);
            break;
        case OP_MAKE_SENIOR:
            target->seniorOperator = true;
            break;
        case OP_REMOVE_SENIOR:
            target->seniorOperator = false;
            break;
    }
    m_server.Answer(r);
    CKParam changed = MakePacket(CMD_RANK_CHANGED);
    changed.SetCString(20, target->id);
    changed.SetInt(30, op);
    changed.SetCString(40, r.member->id);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnQuality(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    const int quality = r.packet.IntOr(20, 0);
    if (quality < 1 || quality > 3) {
        m_server.Refuse(r, REFUSE_BAD_PARAMETER);
        return;
    }
    r.room->Record().quality = quality;
    Save(*r.room);
    m_server.Answer(r);
    CKParam changed = MakePacket(CMD_QUALITY_CHANGED);
    changed.SetCString(20, r.member->id);
    changed.SetInt(30, quality);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnVideoState(tagRoomRequest& r) {
    r.member->videoState = r.packet.IntOr(20, 0);
    m_server.Answer(r);
    CKParam changed = MakePacket(CMD_VIDEO_STATE_CHANGED);
    changed.SetInt(20, r.member->videoState);
    changed.SetCString(30, r.member->id);
    r.room->Broadcast(changed);
}
