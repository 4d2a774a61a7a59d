#include "server/RoomEntry.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/EntryKeys.h"
#include "server/Packets.h"
#include "server/RoomMembers.h"

#include <QRandomGenerator>

namespace {
enum : int { LOCK_STATE_LOCKED = 401 };
// The face end time travels as a signed 32-bit number of seconds; its largest value is "never".
constexpr int64_t kFacesWithoutEnd = 0x7FFFFFFF;
}  // namespace

CRoomEntry::CRoomEntry(CRoomServer& server) : CRoomFeature(server) {
    server.Handle(CMD_ROOM_LOGIN, EStage::Connected, [this](tagRoomRequest& r) { OnRoomLogin(r); });
    server.Handle(CMD_ENTER, EStage::LoggedIn, [this](tagRoomRequest& r) { OnEnter(r); });
    server.Handle(CMD_ROOM_SETTINGS, EStage::Entered, [this](tagRoomRequest& r) { OnSettings(r); });
    server.HandleSecond(CMD_ATTACH, [this](tagRoomRequest& r) { OnAttach(r); });
    // Leaving for a private room says so first; the connection closing does the rest.
    server.Handle(CMD_LEAVE_PRIVATE, EStage::Connected, [](tagRoomRequest&) {});
}

void CRoomEntry::OnRoomLogin(tagRoomRequest& r) {
    tagRoomSession& s = *r.session;
    if (s.stage != EStage::Connected) {
        m_server.Refuse(r, REFUSE_BAD_OPERATION);
        r.peer.Strike();
        return;
    }
    const QString id = r.packet.TextOr(RoomLoginKey::NAME);
    const int number = r.packet.IntOr(RoomLoginKey::NUMBER, -1);
    const int roomNumber = r.packet.IntOr(RoomLoginKey::ROOM, 0);
    const QString machine = r.packet.TextOr(RoomLoginKey::ADAPTER);
    auto room = m_server.Store().Room(roomNumber);
    if (!room) {
        m_server.Refuse(r, REFUSE_BAD_ROOM);
        return;
    }
    if (!m_server.Hosts(*room)) {
        m_server.Refuse(r, REFUSE_BAD_SERVER);
        return;
    }
    const int64_t now = CClock::Get().Now();
    if (room->disabledUntil > now) {
        CKParam refusal = MakeRefusal(CMD_ROOM_LOGIN_REPLY, REFUSE_ROOM_DISABLED);
        refusal.SetInt(RoomLoginReplyKey::DISABLED_UNTIL, static_cast<int>(room->disabledUntil));
        refusal.SetCString(RoomLoginReplyKey::DISABLED_WHY, room->disabledReason);
        refusal.SetCString(RoomLoginReplyKey::DISABLED_BY, room->disabledBy);
        r.peer.Send(refusal);
        return;
    }
    // The hall vouches for who this is: a login from the same machine, or a visitor it named.
    CPresence& presence = m_server.Presence();
    if (const tagSession* session = presence.Session(id);
        session && presence.IsLoggedIn(id, number, machine)) {
        s.id = session->account;
        s.nickname = session->nickname;
        s.registered = true;
    } else if (const tagVisitor* visitor = presence.Visitor(id);
               visitor && visitor->machine == machine) {
        s.id = visitor->name;
        s.nickname = visitor->nickname;
        s.registered = false;
    } else {
        m_server.Refuse(r, REFUSE_BAD_USER);
        return;
    }
    s.number = number;
    s.machine = machine;
    s.room = roomNumber;
    s.stage = EStage::LoggedIn;
    m_server.Answer(r);
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

void CRoomEntry::OnEnter(tagRoomRequest& r) {
    tagRoomSession& s = *r.session;
    if (s.stage == EStage::Entered) {
        m_server.Refuse(r, REFUSE_BAD_OPERATION);
        r.peer.Strike();
        return;
    }
    // Settings are read afresh: the admin command line may have changed them.
    auto record = m_server.Store().Room(s.room);
    if (!record) {
        m_server.Refuse(r, REFUSE_BAD_ROOM);
        return;
    }
    const int64_t now = CClock::Get().Now();
    const int rank = RankOf(s, *record);
    const bool privileged = rank >= RANK_OPERATOR;
    if (m_server.Store().ActiveBan(record->number, s.id, now)) {
        m_server.Refuse(r, REFUSE_BANNED);
        return;
    }
    if (!record->password.isEmpty() && !privileged) {
        const QString typed = r.packet.TextOr(EnterKey::PASSWORD);
        if (typed.isEmpty()) {
            m_server.Refuse(r, REFUSE_PASSWORD_NEEDED);
            return;
        }
        if (typed != record->password) {
            m_server.Refuse(r, REFUSE_WRONG_ROOM_PASSWORD);
            return;
        }
    }
    // The same identity entering again (a client that lost its connection) replaces its
    // earlier stay.
    if (CRoom* active = m_server.ActiveRoom(record->number)) {
        if (CRoomMember* earlier = active->Find(s.id)) {
            IServerPeer* earlierPeer = earlier->main;
            m_server.Depart(*active, s.id);
            if (earlierPeer && earlierPeer != &r.peer) {
                earlierPeer->Drop();
            }
        }
    }
    CRoom* active = m_server.ActiveRoom(record->number);
    if (active && active->Count() >= record->maxMembers && !privileged) {
        m_server.Refuse(r, REFUSE_ROOM_FULL);
        return;
    }
    CRoom* room = m_server.Activate(*record);

    auto member = std::make_unique<CRoomMember>();
    member->id = s.id;
    member->nickname = s.nickname;
    member->number = s.number;
    member->rank = rank;
    member->registered = s.registered;
    member->faceEndsAt = s.registered ? kFacesWithoutEnd : 0;
    member->main = &r.peer;
    member->keyA = m_server.NextKeyA();
    member->keyB = static_cast<int>(QRandomGenerator::global()->bounded(1, 0x7FFFFFFF));
    if (s.registered) {
        if (auto account = m_server.Store().AccountByNumber(s.number)) {
            member->entryEffect = account->entryEffect;
            member->entryVip = account->entryVip;
        }
    }
    CRoomMember& entered = m_server.Enter(*room, std::move(member));
    s.member = &entered;
    s.stage = EStage::Entered;

    CKParam reply = MakeReply(CMD_ENTER_REPLY);
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
        r.peer.Send(MakeRefusal(CMD_ATTACH_REPLY, REFUSE_BAD_CONNECTION));
        r.peer.Strike();
        return;
    }
    if (member->second && member->second != &r.peer) {
        member->second->Drop();
    }
    member->second = &r.peer;
    r.peer.Send(MakeReply(CMD_ATTACH_REPLY));
}

void CRoomEntry::OnSettings(tagRoomRequest& r) {
    const tagRoomRecord& room = r.room->Record();
    const tagMicState& mic = r.room->Mic();
    CKParam reply = MakeReply(CMD_ROOM_SETTINGS_REPLY);
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
    reply.SetBoolean(FLAG_130, true);
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
    reply.SetInt(NUMBER_350, 0);
    reply.SetInt(NUMBER_360, 0);
    reply.SetCString(FLOOR_HOLDER, mic.floor);
    r.peer.Send(reply);
}
