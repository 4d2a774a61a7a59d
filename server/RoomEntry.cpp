#include "server/RoomEntry.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/EntryKeys.h"
#include "server/RoomMembers.h"

#include <QRandomGenerator>

#include <limits>

namespace {
enum : int { LOCK_STATE_LOCKED = 401 };
// The face end time travels as a signed 32-bit number of seconds; its largest value is "never".
constexpr int64_t kFacesWithoutEnd = 0x7FFFFFFF;
}  // namespace

CRoomEntry::CRoomEntry(CRoomServer& server) : CRoomFeature(server) {
    CRoomRegistry& main = server.MainRequests();
    main.On(CMD_ROOM_LOGIN, EStage::Connected, this, &CRoomEntry::OnRoomLogin);
    main.On(CMD_ENTER, EStage::LoggedIn, this, &CRoomEntry::OnEnter);
    main.On(CMD_ROOM_SETTINGS, EStage::Entered, this, &CRoomEntry::OnSettings);
    // Leaving for a private room says so first; the connection closing does the rest.
    main.On(CMD_LEAVE_PRIVATE, EStage::Connected, [](tagRoomRequest&) {});
    server.SecondRequests().On(CMD_ATTACH, EStage::Connected, this, &CRoomEntry::OnAttach);
}

void CRoomEntry::OnRoomLogin(tagRoomRequest& r) {
    tagRoomSession& s = *r.session;
    if (s.stage != EStage::Connected) {
        r.Refuse(REFUSE_BAD_OPERATION);
        r.peer.Strike();
        return;
    }
    const QString id = r.packet.TextOr(RoomLoginKey::NAME);
    const int userNumber = r.packet.IntOr(RoomLoginKey::NUMBER, -1);
    const int roomNumber = r.packet.IntOr(RoomLoginKey::ROOM, 0);
    const QString machine = r.packet.TextOr(RoomLoginKey::ADAPTER);
    auto room = m_server.Store().Room(roomNumber);
    if (!room) {
        r.Refuse(m_server.Store().MissingRefusal(REFUSE_BAD_ROOM));
        return;
    }
    if (!m_server.Hosts(*room)) {
        r.Refuse(REFUSE_BAD_SERVER);
        return;
    }
    const int64_t now = CClock::Get().Now();
    if (room->disabledUntil > now) {
        CKParam refusal = r.Refusal(REFUSE_ROOM_DISABLED);
        refusal.SetInt(RoomLoginReplyKey::DISABLED_UNTIL, static_cast<int>(room->disabledUntil));
        refusal.SetCString(RoomLoginReplyKey::DISABLED_WHY, room->disabledReason);
        refusal.SetCString(RoomLoginReplyKey::DISABLED_BY, room->disabledBy);
        r.peer.Send(refusal);
        return;
    }
    // The hall vouches for who this is: its login or its visitor, proved by the user number
    // the hall told that client alone. Names and public numbers prove nothing.
    CPresence& presence = m_server.Presence();
    CLoginThrottle& failures = presence.Failures();
    const QString failureKey = QStringLiteral("room@") + r.peer.PeerAddress();
    const int64_t nowMs = CClock::Get().UptimeMs();
    if (failures.Waits(failureKey, nowMs)) {
        qCWarning(lcLogin, "room login as '%s' from %s refused unchecked: too many failures",
                  qUtf8Printable(id), qUtf8Printable(r.peer.PeerAddress()));
        r.Refuse(REFUSE_BAD_USER);
        return;
    }
    // The hall may be another process's: what it vouches for is in the database too.
    if (const auto vouched = presence.Vouched(id, userNumber, machine)) {
        s.id = vouched->name;
        s.nickname = vouched->nickname;
        s.number = vouched->number;
        s.registered = vouched->registered;
    } else {
        failures.Book({failureKey}, nowMs, std::numeric_limits<int64_t>::max());
        qCWarning(lcLogin, "room login as '%s' from %s refused: not the hall's (failures: %.1f)",
                  qUtf8Printable(id), qUtf8Printable(r.peer.PeerAddress()),
                  failures.Failures(failureKey, nowMs));
        r.Refuse(REFUSE_BAD_USER);
        return;
    }
    s.machine = machine;
    s.localAddress = r.packet.TextOr(RoomLoginKey::ADDRESS);
    s.room = roomNumber;
    s.stage = EStage::LoggedIn;
    r.Answer();
    m_server.PostVerified(r.peer);
}

int CRoomEntry::RankOf(const tagRoomSession& session, const tagRoomRecord& room) {
    if (!session.registered) {
        return RANK_VISITOR;
    }
    if (room.owner != 0 && room.owner == session.number) {
        return RANK_OWNER;
    }
    const int given = m_server.Store().RankIn(room.number, session.number);
    return given > RANK_MEMBER ? given : RANK_MEMBER;
}

int CRoomEntry::Admission(const tagRoomSession& s, const tagRoomRecord& room, bool privileged,
                          const CKParam& request) {
    if (m_server.Store().ActiveBan(room.number, s.id, CClock::Get().Now())) {
        return REFUSE_BANNED;
    }
    if (!room.password.isEmpty() && !privileged) {
        const QString typed = request.TextOr(EnterKey::PASSWORD);
        if (typed.isEmpty()) {
            return REFUSE_PASSWORD_NEEDED;
        }
        if (typed != room.password) {
            return REFUSE_WRONG_ROOM_PASSWORD;
        }
    }
    return 0;
}

void CRoomEntry::EndEarlierStay(const tagRoomRecord& room, const QString& id, IServerPeer& peer) {
    // The same identity entering again (a client that lost its connection) replaces its
    // earlier stay.
    CRoom* active = m_server.ActiveRoom(room.number);
    CRoomMember* earlier = active ? active->Find(id) : nullptr;
    if (!earlier) {
        return;
    }
    IServerPeer* earlierPeer = earlier->main;
    m_server.Depart(*active, id);
    if (earlierPeer && earlierPeer != &peer) {
        earlierPeer->Drop();
    }
}

std::unique_ptr<CRoomMember> CRoomEntry::NewMember(const tagRoomSession& s, int rank) {
    auto member = std::make_unique<CRoomMember>();
    member->id = s.id;
    member->nickname = s.nickname;
    member->number = s.number;
    member->rank = rank;
    member->registered = s.registered;
    member->faceEndsAt = s.registered ? kFacesWithoutEnd : 0;
    member->keyA = m_server.NextKeyA();
    member->keyB = static_cast<int>(QRandomGenerator::global()->bounded(1, 0x7FFFFFFF));
    if (s.registered) {
        if (auto account = m_server.Store().AccountByNumber(s.number)) {
            member->entryEffect = account->entryEffect;
            member->entryVip = account->entryVip;
        }
    }
    return member;
}

void CRoomEntry::OnEnter(tagRoomRequest& r) {
    tagRoomSession& s = *r.session;
    if (s.stage == EStage::Entered) {
        r.Refuse(REFUSE_BAD_OPERATION);
        r.peer.Strike();
        return;
    }
    // Settings are read afresh: the admin command line may have changed them.
    auto record = m_server.Store().Room(s.room);
    if (!record) {
        r.Refuse(REFUSE_BAD_ROOM);
        return;
    }
    const int rank = RankOf(s, *record);
    const bool privileged = rank >= RANK_OPERATOR;
    if (const int refusal = Admission(s, *record, privileged, r.packet)) {
        r.Refuse(refusal);
        return;
    }
    EndEarlierStay(*record, s.id, r.peer);
    CRoom* active = m_server.ActiveRoom(record->number);
    if (active && active->Count() >= record->maxMembers && !privileged) {
        r.Refuse(REFUSE_ROOM_FULL);
        return;
    }
    CRoom* room = m_server.Activate(*record);
    auto member = NewMember(s, rank);
    member->main = &r.peer;
    CRoomMember& entered = m_server.Enter(*room, std::move(member));
    s.member = &entered;
    s.stage = EStage::Entered;

    CKParam reply = r.Reply();
    reply.SetInt(EnterReplyKey::KEY_A, entered.keyA);
    reply.SetInt(EnterReplyKey::KEY_B, entered.keyB);
    reply.SetInt(EnterReplyKey::SECOND_PORT, static_cast<int>(m_server.SecondPort()));
    reply.SetCString(EnterReplyKey::ENTRY_TEXT, record->welcome);
    reply.SetCString(EnterReplyKey::SERVER_NAME, QStringLiteral("tavo-serverd"));
    reply.SetInt(EnterReplyKey::SERVER_VERSION, m_server.Config().serverVersion);
    reply.SetInt(EnterReplyKey::ROOM, record->number);
    r.peer.Send(reply);
    room->Broadcast(ArrivalPacket(entered), &entered);
}

void CRoomEntry::OnAttach(tagRoomRequest& r) {
    CRoomMember* member = m_server.MemberByKey(r.packet.IntOr(AttachKey::KEY_A, 0));
    if (!member || member->keyB != r.packet.IntOr(AttachKey::KEY_B, 0) ||
        member->id.compare(r.packet.TextOr(AttachKey::OWN_ID), Qt::CaseInsensitive) != 0) {
        r.Refuse(REFUSE_BAD_CONNECTION);
        r.peer.Strike();
        return;
    }
    if (member->second && member->second != &r.peer) {
        member->second->Drop();
    }
    member->second = &r.peer;
    r.Answer();
}

void CRoomEntry::OnSettings(tagRoomRequest& r) {
    const tagRoomRecord& room = r.room->Record();
    const tagMicState& mic = r.room->Mic();
    CKParam reply = r.Reply();
    using namespace RoomSettingsReplyKey;
    reply.SetCString(NAME, room.name);
    reply.SetCString(TOPIC, room.topic);
    reply.SetCString(PROCESS_TEXT, QString());
    reply.SetInt(AREA, room.area);
    reply.SetInt(MAX_MEMBERS, room.maxMembers);
    reply.SetInt(LOCK_STATE, room.password.isEmpty() ? 0 : LOCK_STATE_LOCKED);
    reply.SetCString(MAIN_HOLDER, mic.main);
    reply.SetCString(SECOND_HOLDER, mic.second);
    reply.SetInt(MIC_MODE, room.micMode);
    reply.SetInt(FORCED_QUEUE, room.micForced ? 1 : 0);
    reply.SetInt(MIC_TIME, room.micSeconds);
    reply.SetBoolean(PUBLIC_TEXT, room.publicText);
    reply.SetBoolean(VIDEO_ALLOWED, true);
    reply.SetBoolean(DUAL_MIC, room.dualMic);
    reply.SetInt(QUALITY, room.quality);
    reply.SetInt(FRAME_RATE_HIFI, 8);
    reply.SetInt(FRAME_RATE_SINGING, 10);
    reply.SetInt(FRAME_RATE_SPEECH, 15);
    reply.SetBoolean(SHOW_TIME, true);
    reply.SetBoolean(FLAG_190, false);
    for (int i = 0; i < 9; ++i) {
        reply.SetInt(static_cast<short>(NUMBERS_200 + 10 * i), 0);
    }
    reply.SetCString(FORBIDDEN_NICKNAMES, room.forbiddenNicknames);
    reply.SetCString(FORBIDDEN_TEXTS, room.forbiddenTexts);
    reply.SetInt(NUMBER_310, 0);
    reply.SetBoolean(FLAG_330, false);
    reply.SetBoolean(FLAG_340, false);
    reply.SetInt(SCORE_COST, m_server.Config().limits.scoreCost);
    reply.SetInt(GUARD_QUOTA, m_server.Config().limits.micGuardQuota);
    reply.SetCString(FLOOR_HOLDER, mic.floor);
    r.peer.Send(reply);
}
