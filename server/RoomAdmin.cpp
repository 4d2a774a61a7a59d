#include "server/RoomAdmin.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/AdminKeys.h"
#include "protocol/keys/AudioKeys.h"
#include "protocol/keys/MembersKeys.h"
#include "protocol/keys/VideoKeys.h"
#include "server/Packets.h"
#include "server/RoomChat.h"

namespace {
enum : int { RANK_BANS = 50 };
enum : int { OP_REMOVE = 0, OP_MAKE = 1, OP_MAKE_SENIOR = 10, OP_REMOVE_SENIOR = 20 };
constexpr int kLongestNickname = 32;
constexpr int kLongestTopic = 200;
}  // namespace

CRoomAdmin::CRoomAdmin(CRoomServer& server) : CRoomFeature(server) {
    CRoomRegistry& main = server.MainRequests();
    auto on = [&](short code, void (CRoomAdmin::*handler)(tagRoomRequest&)) {
        main.On(code, EStage::Entered, this, handler);
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
    // Reports about members go to people this service does not have.
    main.NotOffered(CMD_REPORT, EStage::Entered);
    main.NotOffered(CMD_REPORT_INFO, EStage::Entered);
}

bool CRoomAdmin::RequireRank(tagRoomRequest& r, int rank) {
    if (r.member->rank >= rank) {
        return true;
    }
    r.Refuse(r.member->registered ? REFUSE_FORBIDDEN : REFUSE_VISITOR);
    return false;
}

CRoomMember* CRoomAdmin::Subordinate(tagRoomRequest& r, const QString& id) {
    CRoomMember* target = r.room->Find(id);
    if (!target) {
        r.Refuse(REFUSE_BAD_USER);
        return nullptr;
    }
    if (target == r.member || target->rank >= r.member->rank) {
        r.Refuse(REFUSE_FORBIDDEN);
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
    const QString name = CleanNickname(r, r.packet.TextOr(NicknameKey::NICKNAME), refusal);
    if (refusal) {
        r.Refuse(refusal);
        return;
    }
    r.member->nickname = name;
    r.Answer();
    CKParam changed = MakePacket(CMD_NICKNAME_CHANGED);
    changed.SetCString(NicknameChangedKey::MEMBER, r.member->id);
    changed.SetCString(NicknameChangedKey::NICKNAME, name);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnFavourite(tagRoomRequest& r) {
    if (!r.member->registered) {
        r.Refuse(REFUSE_VISITOR);
        return;
    }
    if (!m_server.Store().AddFavourite(r.member->number, r.room->Number(), CClock::Get().Now())) {
        r.Refuse(REFUSE_SERVER_ERROR);
        return;
    }
    r.Answer();
}

void CRoomAdmin::OnTopic(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    const QString topic = r.packet.TextOr(TopicKey::TOPIC);
    if (topic.size() > kLongestTopic) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    if (!CRoomChat::ForbiddenHit(topic, r.room->Record().forbiddenTexts).isEmpty()) {
        r.Refuse(REFUSE_BAD_TEXT);
        return;
    }
    r.room->Record().topic = topic;
    Save(*r.room);
    r.Answer();
    CKParam changed = MakePacket(CMD_TOPIC_CHANGED);
    changed.SetCString(TopicChangedKey::BY, r.member->id);
    changed.SetCString(TopicChangedKey::TOPIC, topic);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnPublicText(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    const bool allow = r.packet.IntOr(PublicTextControlKey::ALLOW, 0) != 0;
    r.room->Record().publicText = allow;
    Save(*r.room);
    r.Answer();
    CKParam changed = MakePacket(CMD_PUBLIC_TEXT_CHANGED);
    changed.SetCString(PublicTextChangedKey::BY, r.member->id);
    changed.SetBoolean(PublicTextChangedKey::ALLOW, allow);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnLock(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    const bool lock = r.packet.IntOr(LockRoomKey::LOCK, 0) != 0;
    const QString password = r.packet.TextOr(LockRoomKey::PASSWORD);
    if (lock && (password.isEmpty() || password.size() > 32)) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    r.room->Record().password = lock ? password : QString();
    Save(*r.room);
    r.Answer();
    CKParam changed = MakePacket(CMD_ROOM_LOCK_CHANGED);
    changed.SetCString(RoomLockChangedKey::BY, r.member->id);
    changed.SetInt(RoomLockChangedKey::LOCKED, lock ? 1 : 0);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnVideoControl(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    r.Answer();
    CKParam changed = MakePacket(CMD_VIDEO_CONTROL_CHANGED);
    changed.SetCString(VideoControlChangedKey::BY, r.member->id);
    changed.SetInt(VideoControlChangedKey::ALLOW,
                   r.packet.IntOr(VideoControlKey::ALLOW, 0) != 0 ? 1 : 0);
    changed.SetInt(VideoControlChangedKey::WHICH, r.packet.IntOr(VideoControlKey::WHICH, 0));
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnKick(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    CRoomMember* target = Subordinate(r, r.packet.TextOr(KickKey::MEMBER));
    if (!target) {
        return;
    }
    r.Answer();
    CKParam kicked = MakePacket(CMD_KICKED);
    kicked.SetCString(KickedKey::MEMBER, target->id);
    kicked.SetCString(KickedKey::BY, r.member->id);
    kicked.SetCString(KickedKey::REASON, r.packet.TextOr(KickKey::REASON).left(kLongestTopic));
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
    CRoomMember* target = Subordinate(r, r.packet.TextOr(TypeControlKey::MEMBER));
    if (!target) {
        return;
    }
    const bool allow = r.packet.IntOr(TypeControlKey::ALLOW, 0) != 0;
    target->*forbidden = !allow;
    r.Answer();
    CKParam changed = MakePacket(announcement);
    changed.SetInt(TypeControlKey::ALLOW, allow ? 1 : 0);
    changed.SetCString(TypeControlKey::MEMBER, target->id);
    changed.SetCString(TypeControlKey::BY, r.member->id);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnForceNickname(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    CRoomMember* target = Subordinate(r, r.packet.TextOr(ForceNicknameKey::MEMBER));
    if (!target) {
        return;
    }
    int refusal = 0;
    const QString name = CleanNickname(r, r.packet.TextOr(ForceNicknameKey::NICKNAME), refusal);
    if (refusal) {
        r.Refuse(refusal);
        return;
    }
    target->nickname = name;
    r.Answer();
    CKParam changed = MakePacket(CMD_NICKNAME_FORCED);
    changed.SetCString(NicknameForcedKey::MEMBER, target->id);
    changed.SetCString(NicknameForcedKey::BY, r.member->id);
    changed.SetCString(NicknameForcedKey::NICKNAME, name);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnBan(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_BANS)) {
        return;
    }
    CRoomMember* target = Subordinate(r, r.packet.TextOr(BanKey::MEMBER));
    if (!target) {
        return;
    }
    const int hours = r.packet.IntOr(BanKey::HOURS, 0);
    if (hours <= 0 || hours > 24 * 365) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    const QString reason = r.packet.TextOr(BanKey::REASON).left(kLongestTopic);
    tagBan ban{r.room->Number(), target->id,
               CClock::Get().Now() + static_cast<int64_t>(hours) * 3600, reason, r.member->id};
    if (!m_server.Store().AddBan(ban)) {
        r.Refuse(REFUSE_SERVER_ERROR);
        return;
    }
    r.Answer();
    CKParam banned = MakePacket(CMD_BANNED);
    banned.SetCString(BannedKey::MEMBER, target->id);
    banned.SetCString(BannedKey::BY, r.member->id);
    banned.SetInt(BannedKey::NUMBER_40, r.packet.IntOr(BanKey::NUMBER_40, 0));
    banned.SetInt(BannedKey::HOURS, hours);
    banned.SetCString(BannedKey::REASON, reason);
    r.room->Broadcast(banned);
    if (target->main) {
        target->main->Drop();
    }
}

void CRoomAdmin::OnOperator(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_BANS)) {
        return;
    }
    CRoomMember* target = Subordinate(r, r.packet.TextOr(OpControlKey::MEMBER));
    if (!target) {
        return;
    }
    const int op = r.packet.IntOr(OpControlKey::CHANGE, -1);
    if (op != OP_REMOVE && op != OP_MAKE && op != OP_MAKE_SENIOR && op != OP_REMOVE_SENIOR) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    if (!target->registered) {
        r.Refuse(REFUSE_VISITOR);
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
    r.Answer();
    CKParam changed = MakePacket(CMD_RANK_CHANGED);
    changed.SetCString(RankChangedKey::MEMBER, target->id);
    changed.SetInt(RankChangedKey::CHANGE, op);
    changed.SetCString(RankChangedKey::BY, r.member->id);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnQuality(tagRoomRequest& r) {
    if (!RequireRank(r, RANK_OPERATOR)) {
        return;
    }
    const int quality = r.packet.IntOr(QualityKey::QUALITY, 0);
    if (quality < 1 || quality > 3) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    r.room->Record().quality = quality;
    Save(*r.room);
    r.Answer();
    CKParam changed = MakePacket(CMD_QUALITY_CHANGED);
    changed.SetCString(QualityChangedKey::BY, r.member->id);
    changed.SetInt(QualityChangedKey::QUALITY, quality);
    r.room->Broadcast(changed);
}

void CRoomAdmin::OnVideoState(tagRoomRequest& r) {
    r.member->videoState = r.packet.IntOr(VideoStateKey::STATE, 0);
    r.Answer();
    CKParam changed = MakePacket(CMD_VIDEO_STATE_CHANGED);
    changed.SetInt(VideoStateKey::STATE, r.member->videoState);
    changed.SetCString(VideoStateKey::MEMBER, r.member->id);
    r.room->Broadcast(changed);
}
