#include "server/RoomAdmin.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/AdminKeys.h"
#include "protocol/keys/AudioKeys.h"
#include "protocol/keys/MembersKeys.h"
#include "server/Packets.h"
#include "server/RoomChange.h"
#include "server/RoomChat.h"

#include <QRandomGenerator>

namespace {
enum : int { RANK_BANS = 50 };
enum : int { OP_REMOVE = 0, OP_MAKE = 1, OP_MAKE_SENIOR = 10, OP_REMOVE_SENIOR = 20 };
constexpr int kLongestNickname = 32;
constexpr int kLongestTopic = 200;
constexpr int kLongestReport = 1000;
// Operators run the room; banning and operator ranks need more. A visitor below the rank is
// told that it is a visitor.
constexpr tagChangeRule kOperators{RANK_OPERATOR, REFUSE_VISITOR};
constexpr tagChangeRule kBanners{RANK_BANS, REFUSE_VISITOR};
}  // namespace

CRoomAdmin::CRoomAdmin(CRoomServer& server) : CRoomFeature(server) {
    CRoomRegistry& main = server.MainRequests();
    main.On(CMD_NICKNAME, EStage::Entered, this, &CRoomAdmin::OnNickname);
    main.On(CMD_ROOM_FAVORITE, EStage::Entered, this, &CRoomAdmin::OnFavourite);
    main.On(CMD_TOPIC, EStage::Entered, this, &CRoomAdmin::OnTopic);
    main.On(CMD_PUBLIC_TEXT_CONTROL, EStage::Entered, this, &CRoomAdmin::OnPublicText);
    main.On(CMD_LOCK_ROOM, EStage::Entered, this, &CRoomAdmin::OnLock);
    main.On(CMD_VIDEO_CONTROL, EStage::Entered, this, &CRoomAdmin::OnVideoControl);
    main.On(CMD_KICK, EStage::Entered, this, &CRoomAdmin::OnKick);
    main.On(CMD_TYPE_CONTROL, EStage::Entered, this, &CRoomAdmin::OnTypingControl);
    main.On(CMD_GRAB_CONTROL, EStage::Entered, this, &CRoomAdmin::OnGrabControl);
    main.On(CMD_FORCE_NICKNAME, EStage::Entered, this, &CRoomAdmin::OnForceNickname);
    main.On(CMD_BAN, EStage::Entered, this, &CRoomAdmin::OnBan);
    main.On(CMD_OP_CONTROL, EStage::Entered, this, &CRoomAdmin::OnOperator);
    main.On(CMD_QUALITY, EStage::Entered, this, &CRoomAdmin::OnQuality);
    main.On(CMD_REPORT_INFO, EStage::Entered, this, &CRoomAdmin::OnReportInfo);
    main.On(CMD_REPORT, EStage::Entered, this, &CRoomAdmin::OnReport);
}

int CRoomAdmin::Subordinate(const tagRoomRequest& r, const QString& id, CRoomMember*& target) {
    target = r.room->Find(id);
    if (!target) {
        return REFUSE_BAD_USER;
    }
    if (target == r.member || target->rank >= r.member->rank) {
        return REFUSE_FORBIDDEN;
    }
    return 0;
}

int CRoomAdmin::CleanNickname(const CRoom& room, const QString& nickname, QString& clean) {
    QString name = nickname.trimmed();
    if (name.isEmpty()) {
        return REFUSE_EMPTY_NICKNAME;
    }
    if (name.size() > kLongestNickname) {
        return REFUSE_BAD_PARAMETER;
    }
    if (!CRoomChat::ForbiddenHit(name, room.Record().forbiddenNicknames).isEmpty()) {
        return REFUSE_BAD_NICKNAME;
    }
    clean = CommaFree(name);
    clean.replace(QStringLiteral("|#"), QStringLiteral("| #"));
    return 0;
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
    QString name;
    const auto change = [&] {
        const int refusal = CleanNickname(*r.room, r.packet.TextOr(NicknameKey::NICKNAME), name);
        if (refusal == 0) {
            r.member->nickname = name;
        }
        return refusal;
    };
    AnnounceChange(r, kAnyoneInside, change, [&] {
        CKParam changed = MakePacket(CMD_NICKNAME_CHANGED);
        changed.SetCString(NicknameChangedKey::MEMBER, r.member->id);
        changed.SetCString(NicknameChangedKey::NICKNAME, name);
        return changed;
    });
}

void CRoomAdmin::OnFavourite(tagRoomRequest& r) {
    const auto change = [&]() -> int {
        if (!r.member->registered) {
            return REFUSE_VISITOR;
        }
        const int64_t now = CClock::Get().Now();
        return m_server.Store().AddFavourite(r.member->number, r.room->Number(), now)
                   ? 0
                   : REFUSE_SERVER_ERROR;
    };
    // The member's own list changes; nobody else hears of it.
    AnnounceChange(r, kAnyoneInside, change, nullptr);
}

void CRoomAdmin::OnTopic(tagRoomRequest& r) {
    const QString topic = r.packet.TextOr(TopicKey::TOPIC);
    const auto change = [&]() -> int {
        if (topic.size() > kLongestTopic) {
            return REFUSE_BAD_PARAMETER;
        }
        if (!CRoomChat::ForbiddenHit(topic, r.room->Record().forbiddenTexts).isEmpty()) {
            return REFUSE_BAD_TEXT;
        }
        r.room->Record().topic = topic;
        Save(*r.room);
        return 0;
    };
    AnnounceChange(r, kOperators, change, [&] {
        CKParam changed = MakePacket(CMD_TOPIC_CHANGED);
        changed.SetCString(TopicChangedKey::BY, r.member->id);
        changed.SetCString(TopicChangedKey::TOPIC, topic);
        return changed;
    });
}

void CRoomAdmin::OnPublicText(tagRoomRequest& r) {
    const bool allow = r.packet.IntOr(PublicTextControlKey::ALLOW, 0) != 0;
    const auto change = [&] {
        r.room->Record().publicText = allow;
        Save(*r.room);
        return 0;
    };
    AnnounceChange(r, kOperators, change, [&] {
        CKParam changed = MakePacket(CMD_PUBLIC_TEXT_CHANGED);
        changed.SetCString(PublicTextChangedKey::BY, r.member->id);
        changed.SetBoolean(PublicTextChangedKey::ALLOW, allow);
        return changed;
    });
}

void CRoomAdmin::OnLock(tagRoomRequest& r) {
    const bool lock = r.packet.IntOr(LockRoomKey::LOCK, 0) != 0;
    const QString password = r.packet.TextOr(LockRoomKey::PASSWORD);
    const auto change = [&]() -> int {
        if (lock && (password.isEmpty() || password.size() > 32)) {
            return REFUSE_BAD_PARAMETER;
        }
        r.room->Record().password = lock ? password : QString();
        Save(*r.room);
        return 0;
    };
    AnnounceChange(r, kOperators, change, [&] {
        CKParam changed = MakePacket(CMD_ROOM_LOCK_CHANGED);
        changed.SetCString(RoomLockChangedKey::BY, r.member->id);
        changed.SetInt(RoomLockChangedKey::LOCKED, lock ? 1 : 0);
        return changed;
    });
}

void CRoomAdmin::OnVideoControl(tagRoomRequest& r) {
    // The relay and the video request follow the permission; the members' clients keep it.
    const bool allow = r.packet.IntOr(VideoControlKey::ALLOW, 0) != 0;
    const auto change = [&] {
        r.room->SetVideoAllowed(allow);
        return 0;
    };
    AnnounceChange(r, kOperators, change, [&] {
        CKParam changed = MakePacket(CMD_VIDEO_CONTROL_CHANGED);
        changed.SetCString(VideoControlChangedKey::BY, r.member->id);
        changed.SetInt(VideoControlChangedKey::ALLOW, allow ? 1 : 0);
        changed.SetInt(VideoControlChangedKey::WHICH, r.packet.IntOr(VideoControlKey::WHICH, 0));
        return changed;
    });
}

void CRoomAdmin::OnKick(tagRoomRequest& r) {
    CRoomMember* target = nullptr;
    const auto change = [&] { return Subordinate(r, r.packet.TextOr(KickKey::MEMBER), target); };
    const bool kicked = AnnounceChange(r, kOperators, change, [&] {
        CKParam kicked = MakePacket(CMD_KICKED);
        kicked.SetCString(KickedKey::MEMBER, target->id);
        kicked.SetCString(KickedKey::BY, r.member->id);
        kicked.SetCString(KickedKey::REASON, r.packet.TextOr(KickKey::REASON).left(kLongestTopic));
        return kicked;
    });
    // The member hears why before the connection ends; the departure follows from the close.
    if (kicked && target->main) {
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
    const bool allow = r.packet.IntOr(TypeControlKey::ALLOW, 0) != 0;
    CRoomMember* target = nullptr;
    const auto change = [&] {
        const int refusal = Subordinate(r, r.packet.TextOr(TypeControlKey::MEMBER), target);
        if (refusal == 0) {
            target->*forbidden = !allow;
        }
        return refusal;
    };
    AnnounceChange(r, kOperators, change, [&] {
        CKParam changed = MakePacket(announcement);
        changed.SetInt(TypeControlKey::ALLOW, allow ? 1 : 0);
        changed.SetCString(TypeControlKey::MEMBER, target->id);
        changed.SetCString(TypeControlKey::BY, r.member->id);
        return changed;
    });
}

void CRoomAdmin::OnForceNickname(tagRoomRequest& r) {
    CRoomMember* target = nullptr;
    QString name;
    const auto change = [&] {
        int refusal = Subordinate(r, r.packet.TextOr(ForceNicknameKey::MEMBER), target);
        if (refusal == 0) {
            refusal = CleanNickname(*r.room, r.packet.TextOr(ForceNicknameKey::NICKNAME), name);
        }
        if (refusal == 0) {
            target->nickname = name;
        }
        return refusal;
    };
    AnnounceChange(r, kOperators, change, [&] {
        CKParam changed = MakePacket(CMD_NICKNAME_FORCED);
        changed.SetCString(NicknameForcedKey::MEMBER, target->id);
        changed.SetCString(NicknameForcedKey::BY, r.member->id);
        changed.SetCString(NicknameForcedKey::NICKNAME, name);
        return changed;
    });
}

void CRoomAdmin::OnBan(tagRoomRequest& r) {
    const int hours = r.packet.IntOr(BanKey::HOURS, 0);
    const QString reason = r.packet.TextOr(BanKey::REASON).left(kLongestTopic);
    CRoomMember* target = nullptr;
    const auto change = [&]() -> int {
        if (const int refusal = Subordinate(r, r.packet.TextOr(BanKey::MEMBER), target)) {
            return refusal;
        }
        if (hours <= 0 || hours > 24 * 365) {
            return REFUSE_BAD_PARAMETER;
        }
        const int64_t until = CClock::Get().Now() + static_cast<int64_t>(hours) * 3600;
        const tagBan ban{r.room->Number(), target->id, until, reason, r.member->id};
        return m_server.Store().AddBan(ban) ? 0 : REFUSE_SERVER_ERROR;
    };
    const bool banned = AnnounceChange(r, kBanners, change, [&] {
        CKParam banned = MakePacket(CMD_BANNED);
        banned.SetCString(BannedKey::MEMBER, target->id);
        banned.SetCString(BannedKey::BY, r.member->id);
        banned.SetInt(BannedKey::NUMBER_40, r.packet.IntOr(BanKey::NUMBER_40, 0));
        banned.SetInt(BannedKey::HOURS, hours);
        banned.SetCString(BannedKey::REASON, reason);
        return banned;
    });
    if (banned && target->main) {
        target->main->Drop();
    }
}

void CRoomAdmin::OnOperator(tagRoomRequest& r) {
    const int op = r.packet.IntOr(OpControlKey::CHANGE, -1);
    CRoomMember* target = nullptr;
    const auto change = [&]() -> int {
        if (const int refusal = Subordinate(r, r.packet.TextOr(OpControlKey::MEMBER), target)) {
            return refusal;
        }
        if (op != OP_REMOVE && op != OP_MAKE && op != OP_MAKE_SENIOR && op != OP_REMOVE_SENIOR) {
            return REFUSE_BAD_PARAMETER;
        }
        if (!target->registered) {
            return REFUSE_VISITOR;
        }
        ChangeRank(*r.room, *target, op);
        return 0;
    };
    AnnounceChange(r, kBanners, change, [&] {
        CKParam changed = MakePacket(CMD_RANK_CHANGED);
        changed.SetCString(RankChangedKey::MEMBER, target->id);
        changed.SetInt(RankChangedKey::CHANGE, op);
        changed.SetCString(RankChangedKey::BY, r.member->id);
        return changed;
    });
}

void CRoomAdmin::ChangeRank(CRoom& room, CRoomMember& target, int op) {
    switch (op) {
        case OP_MAKE:
            target.rank = RANK_OPERATOR;
            m_server.Store().SetRank(room.Number(), target.number, RANK_OPERATOR);
            break;
        case OP_REMOVE:
            target.rank = RANK_MEMBER;
            target.seniorOperator = false;
            m_server.Store().SetRank(room.Number(), target.number, RANK_MEMBER);
            break;
        case OP_MAKE_SENIOR:
            target.seniorOperator = true;
            break;
        case OP_REMOVE_SENIOR:
            target.seniorOperator = false;
            break;
    }
}

void CRoomAdmin::OnQuality(tagRoomRequest& r) {
    const int quality = r.packet.IntOr(QualityKey::QUALITY, 0);
    const auto change = [&]() -> int {
        if (quality < 1 || quality > 3) {
            return REFUSE_BAD_PARAMETER;
        }
        r.room->Record().quality = quality;
        Save(*r.room);
        return 0;
    };
    AnnounceChange(r, kOperators, change, [&] {
        CKParam changed = MakePacket(CMD_QUALITY_CHANGED);
        changed.SetCString(QualityChangedKey::BY, r.member->id);
        changed.SetInt(QualityChangedKey::QUALITY, quality);
        return changed;
    });
}

void CRoomAdmin::OnReportInfo(tagRoomRequest& r) {
    // The ticket ties the report to this fetch, so a client cannot send reports unasked.
    r.member->reportTicket = static_cast<int>(QRandomGenerator::global()->bounded(1, 1 << 30));
    CKParam reply = r.Reply();
    reply.SetInt(ReportInfoKey::TICKET, r.member->reportTicket);
    reply.SetCString(ReportInfoKey::TEXT,
                     QStringLiteral("%1 (%2)").arg(r.room->Record().name).arg(r.room->Number()));
    r.peer.Send(reply);
}

void CRoomAdmin::OnReport(tagRoomRequest& r) {
    const QString text = r.packet.TextOr(ReportKey::TEXT).trimmed();
    const auto change = [&]() -> int {
        if (r.member->reportTicket == 0 ||
            r.packet.IntOr(ReportKey::TICKET, 0) != r.member->reportTicket) {
            return REFUSE_BAD_OPERATION;
        }
        if (text.isEmpty() || text.size() > kLongestReport) {
            return REFUSE_BAD_PARAMETER;
        }
        r.member->reportTicket = 0;
        const tagReport report{0, r.room->Number(), r.member->id, text, CClock::Get().Now()};
        return m_server.Store().AddReport(report) ? 0 : REFUSE_SERVER_ERROR;
    };
    // Only the people who run the service read it.
    AnnounceChange(r, kAnyoneInside, change, nullptr);
}

void CRoomAdmin::OnReloaded(CRoom& room, const tagRoomRecord& before) {
    const tagRoomRecord& now = room.Record();
    // What the command line changes, the room hears from the backstage (an empty actor).
    if (now.name != before.name) {
        CKParam renamed = MakePacket(CMD_ROOM_NAME_CHANGED);
        renamed.SetCString(RoomNameChangedKey::BY, QString());
        renamed.SetCString(RoomNameChangedKey::NAME, now.name);
        room.Broadcast(renamed);
    }
    const int64_t seconds = CClock::Get().Now();
    if (now.disabledUntil > seconds && before.disabledUntil <= seconds) {
        CKParam disabled = MakePacket(CMD_ROOM_DISABLED);
        disabled.SetCString(RoomDisabledKey::REASON, now.disabledReason);
        disabled.SetInt(RoomDisabledKey::UNTIL, static_cast<int>(now.disabledUntil));
        disabled.SetCString(RoomDisabledKey::BY, now.disabledBy);
        room.Broadcast(disabled);
        // The members' clients close the room when the person has read why; whoever is still
        // inside after a while is let go.
        room.SetTimer(TIMER_DISABLED, kDisabledGraceMs);
    }
}

void CRoomAdmin::OnRoomTimer(CRoom& room, unsigned id) {
    if (id != TIMER_DISABLED) {
        return;
    }
    room.KillTimer(TIMER_DISABLED);
    for (const auto& member : room.Members()) {
        if (member->main) {
            member->main->Drop();
        }
    }
}
