#include "server/PrivateChat.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/AdminKeys.h"
#include "protocol/keys/AudioKeys.h"
#include "protocol/keys/ChatKeys.h"
#include "protocol/keys/DirectLinkKeys.h"
#include "protocol/keys/GiftsKeys.h"
#include "protocol/keys/MembersKeys.h"
#include "protocol/keys/PrivateChatKeys.h"
#include "protocol/keys/VideoKeys.h"
#include "server/FileRelay.h"
#include "server/Packets.h"
#include "server/RoomGifts.h"
#include "server/RoomRecording.h"

#include <QRandomGenerator>

#include <iterator>

namespace {

using tagSide = CPrivateChat::tagSide;
using EAnnounce = CPrivateChat::EAnnounce;

QString Key(const QString& id) {
    return id.toLower();
}

bool CopyBytes(const CKParam& from, short key, CKParam& to) {
    char* data = nullptr;
    unsigned short n = 0;
    if (from.GetCharNC(key, &data, n) != 0) {
        return false;
    }
    to.SetChar(key, data, n);
    return true;
}

bool BuildText(const CKParam& in, tagSide& sender, const tagSide& peer, CKParam& out) {
    const QString line = in.TextOr(TextKey::LINE);
    if (line.isEmpty()) {
        return false;
    }
    out.SetCString(TextLineKey::SENDER, sender.id);
    out.SetCString(TextLineKey::TARGET, peer.id);
    out.SetCString(TextLineKey::LINE, line);
    out.SetInt(TextLineKey::PRIVATE, 1);
    return true;
}

bool BuildNickname(const CKParam& in, tagSide& sender, const tagSide&, CKParam& out) {
    const QString nickname = in.TextOr(NicknameKey::NICKNAME).trimmed();
    if (nickname.isEmpty()) {
        return false;
    }
    sender.nickname = nickname;
    out.SetCString(NicknameChangedKey::MEMBER, sender.id);
    out.SetCString(NicknameChangedKey::NICKNAME, nickname);
    return true;
}

bool BuildMusic(const CKParam&, tagSide& sender, const tagSide&, CKParam& out) {
    out.SetCString(PeerMusicKey::MEMBER, sender.id);
    return true;
}

bool BuildQuality(const CKParam& in, tagSide& sender, const tagSide&, CKParam& out) {
    const int quality = in.IntOr(QualityKey::QUALITY, 0);
    if (quality < 1 || quality > 3) {
        return false;
    }
    out.SetCString(QualityChangedKey::BY, sender.id);
    out.SetInt(QualityChangedKey::QUALITY, quality);
    return true;
}

bool BuildBandwidth(const CKParam& in, tagSide& sender, const tagSide&, CKParam& out) {
    const int mode = in.IntOr(BandwidthKey::MODE, 0);
    if (mode != BANDWIDTH_NARROW && mode != BANDWIDTH_BROAD) {
        return false;
    }
    out.SetCString(BandwidthChangedKey::BY, sender.id);
    out.SetInt(BandwidthChangedKey::MODE, mode);
    return true;
}

bool Nothing(const CKParam&, tagSide&, const tagSide&, CKParam&) {
    return true;
}

bool BuildFileAnswer(const CKParam& in, tagSide&, const tagSide&, CKParam& out) {
    out.SetBoolean(FileOfferKey::AGREED, in.BoolOr(FileOfferKey::AGREED, false));
    return true;
}

// What the two members of a private room say to each other through us. A command the table
// does not name is refused ("操作被禁止") when it expects an answer.
constexpr CPrivateChat::tagRelayRow kRelayed[] = {
    {CMD_TEXT, EAnnounce::Both, CMD_TEXT_LINE, true, BuildText},
    {CMD_NICKNAME, EAnnounce::Both, CMD_NICKNAME_CHANGED, true, BuildNickname},
    {CMD_GRAB_MIC, EAnnounce::Peer, CMD_QUEUE_JOINED, true, BuildMusic},
    {CMD_RELEASE_MIC, EAnnounce::Peer, CMD_MIC_RELEASED, true, BuildMusic},
    {CMD_QUALITY, EAnnounce::Both, CMD_QUALITY_CHANGED, true, BuildQuality},
    {CMD_BANDWIDTH, EAnnounce::Both, CMD_BANDWIDTH_CHANGED, true, BuildBandwidth},
    {CMD_PRIVATE_TICK, EAnnounce::Nobody, 0, true, Nothing},
    {CMD_PRIVATE_TOCK, EAnnounce::Nobody, 0, true, Nothing},
    // A file offer is answered by the peer: the offer reaches it as 635, its answer (636)
    // comes back to the offerer as 634.
    {CMD_FILE_OFFER, EAnnounce::Peer, CMD_FILE_OFFERED, false, Nothing},
    {CMD_FILE_ANSWER, EAnnounce::Peer, CMD_FILE_OFFER_REPLY, false, BuildFileAnswer},
};

const CPrivateChat::tagRelayRow* RelayRow(short code) {
    for (const auto& row : kRelayed) {
        if (row.code == code) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

CPrivateChat::CPrivateChat(CRoomServer& server)
    : CRoomFeature(server),
      m_money(server.Store()),
      m_nextNumber(static_cast<int>(QRandomGenerator::global()->bounded(1 << 16, 1 << 24))) {
    CRoomRegistry& main = server.MainRequests();
    main.On(CMD_PRIVATE_REQUEST, EStage::Entered, this, &CPrivateChat::OnInvite);
    main.On(CMD_PRIVATE_ANSWER, EStage::Entered, this, &CPrivateChat::OnAnswer);
    // A give-up may cross the answer that moved its sender out of the room.
    main.On(CMD_PRIVATE_GIVE_UP, EStage::LoggedIn, this, &CPrivateChat::OnGiveUp);
    // Inside a private room these are taken before the registry; here nobody is in one.
    for (short code : {CMD_ENTER_PRIVATE, CMD_PEER_INFO, CMD_BANDWIDTH}) {
        main.On(code, EStage::LoggedIn, this, &CPrivateChat::NotInPrivateRoom);
    }
    main.On(CMD_PRIVATE_TICK, EStage::LoggedIn, [](tagRoomRequest&) {});
    main.On(CMD_PRIVATE_TOCK, EStage::LoggedIn, [](tagRoomRequest&) {});
    // A pair in a private room has left every room: the file relay finds it here first.
    CFileRelay& files = server.FileRelay();
    files.SetLookup([this, inRooms = files.CurrentLookup()](const QString& id, bool second) {
        IServerPeer* peer = FindSide(id, second);
        return peer ? peer : (inRooms ? inRooms(id, second) : nullptr);
    });
}

IServerPeer* CPrivateChat::FindSide(const QString& id, bool second) const {
    for (const auto& [number, room] : m_rooms) {
        for (const tagSide& side : room.sides) {
            if (side.main && Key(side.id) == Key(id)) {
                return second && side.second ? side.second : side.main;
            }
        }
    }
    return nullptr;
}

void CPrivateChat::NotInPrivateRoom(tagRoomRequest& r) {
    r.Refuse(REFUSE_BAD_OPERATION);
}

void CPrivateChat::ForgetExpired() {
    const int64_t now = CClock::Get().UptimeMs();
    std::erase_if(m_invitations,
                  [now](const auto& entry) { return now - entry.second.sentMs > kInviteLifeMs; });
    std::erase_if(m_lastInviteMs,
                  [now](const auto& entry) { return now - entry.second > kInviteSpacingMs; });
}

void CPrivateChat::OnInvite(tagRoomRequest& r) {
    ForgetExpired();
    const QString inviteeId = r.packet.TextOr(InviteKey::MEMBER);
    CRoomMember* invitee = r.room->Find(inviteeId);
    if (!invitee || invitee == r.member || invitee->guard) {
        r.Refuse(REFUSE_BAD_USER);
        return;
    }
    const int64_t now = CClock::Get().UptimeMs();
    if (m_lastInviteMs.count(Key(r.member->id)) != 0) {
        r.Refuse(REFUSE_PRIVATE_TOO_FAST);
        return;
    }
    // One invitation at a time for a member, whoever sent it; and one who invites is not
    // free to be invited.
    for (const auto& [key, invitation] : m_invitations) {
        if (key == Key(invitee->id) || Key(invitation.inviter) == Key(invitee->id)) {
            r.Refuse(REFUSE_PRIVATE_BUSY);
            return;
        }
    }
    m_invitations[Key(invitee->id)] = {r.member->id, invitee->id, r.room->Number(), now};
    m_lastInviteMs[Key(r.member->id)] = now;
    CKParam invitation = MakePacket(CMD_PRIVATE_REQUESTED);
    invitation.SetCString(InviteKey::MEMBER, r.member->id);
    invitation.SetBoolean(InviteKey::GREETING, r.packet.BoolOr(InviteKey::GREETING, false));
    invitation.SetInt(InviteKey::AMOUNT, r.packet.IntOr(InviteKey::AMOUNT, 0));
    invitation.SetCString(InviteKey::REASON, r.packet.TextOr(InviteKey::REASON));
    r.Answer();
    invitee->main->Send(invitation);
}

void CPrivateChat::OnAnswer(tagRoomRequest& r) {
    auto it = m_invitations.find(Key(r.member->id));
    if (it == m_invitations.end()) {
        r.Refuse(REFUSE_BAD_OPERATION);
        return;
    }
    const tagInvitation invitation = it->second;
    m_invitations.erase(it);
    r.Answer();
    const bool accepted = r.packet.BoolOr(InviteAnswerKey::ACCEPTED, false);
    CRoomMember* inviter = r.room->Find(invitation.inviter);
    if (!inviter) {
        if (accepted) {
            CKParam failed = MakePacket(CMD_PRIVATE_FAILED);
            failed.SetInt(PrivateFailedKey::CODE, REFUSE_BAD_USER);
            r.peer.Send(failed);
        }
        return;
    }
    // The answer names the inviter when the person answered; a refusal the client made on
    // its own says why, and the inviter is shown that.
    QString text = r.packet.TextOr(InviteAnswerKey::TEXT);
    if (accepted || Key(text) == Key(inviter->id)) {
        text.clear();
    }
    CKParam answered = MakePacket(CMD_PRIVATE_ANSWERED);
    answered.SetBoolean(InviteAnswerKey::ACCEPTED, accepted);
    answered.SetCString(InviteAnswerKey::TEXT, text);
    inviter->main->Send(answered);
    if (accepted) {
        OpenPrivateRoom(*r.room, *inviter, *r.member);
    }
}

void CPrivateChat::OnGiveUp(tagRoomRequest& r) {
    if (r.packet.IntOr(PrivateGiveUpKey::WHAT, 0) != CMD_PRIVATE_REQUEST || !r.session) {
        return;
    }
    std::erase_if(m_invitations, [&](const auto& entry) {
        return Key(entry.second.inviter) == Key(r.session->id);
    });
}

void CPrivateChat::OpenPrivateRoom(CRoom& room, CRoomMember& inviter, CRoomMember& invitee) {
    tagPrivateRoom& pr = m_rooms[m_nextNumber];
    pr.number = m_nextNumber++;
    int index = 0;
    QStringList ids;
    for (CRoomMember* m : {&inviter, &invitee}) {
        tagSide& side = pr.sides[static_cast<size_t>(index++)];
        side.id = m->id;
        side.nickname = m->nickname;
        side.number = m->number;
        side.registered = m->registered;
        side.main = m->main;
        side.second = m->second;
        if (const tagRoomSession* s = m->main ? m_server.SessionOf(*m->main) : nullptr) {
            side.localAddress = s->localAddress;
        }
        // Both connections stay with the member: the room must not close the second one.
        m->second = nullptr;
        if (side.main) {
            m_byMain[side.main] = pr.number;
        }
        if (side.second) {
            m_bySecond[side.second] = pr.number;
        }
        ids.push_back(m->id);
    }
    m_server.FileRelay().Pair(inviter.id, invitee.id);
    CKParam ready = MakePacket(CMD_MOVE_TO_PRIVATE);
    ready.SetInt(PrivateReadyKey::PEER_NUMBER, pr.number);
    for (const tagSide& side : pr.sides) {
        if (side.main) {
            side.main->Send(ready);
        }
    }
    // The room may close behind the last of them; nothing of it is used after this.
    for (const QString& id : ids) {
        m_server.Depart(room, id);
    }
}

CPrivateChat::tagPrivateRoom* CPrivateChat::RoomOfMain(const IServerPeer& peer, int& side) {
    auto it = m_byMain.find(&peer);
    if (it == m_byMain.end()) {
        return nullptr;
    }
    auto room = m_rooms.find(it->second);
    if (room == m_rooms.end()) {
        return nullptr;
    }
    side = room->second.sides[0].main == &peer ? 0 : 1;
    return &room->second;
}

bool CPrivateChat::TakeMain(tagRoomSession& session, CKParam& packet) {
    int side = 0;
    tagPrivateRoom* room = session.peer ? RoomOfMain(*session.peer, side) : nullptr;
    if (!room) {
        return false;
    }
    tagRoomRequest r{{*session.peer, packet, packet.Command()}, &session, nullptr, nullptr};
    switch (r.code) {
        case CMD_ENTER_PRIVATE:
            OnEnter(r, *room, side);
            return true;
        case CMD_PEER_INFO:
            OnPeerInfo(r, *room, side);
            return true;
        case CMD_AUDIO:
        case CMD_VIDEO:
            RelayMedia(packet, *room, side);
            return true;
        case CMD_GIFT:
            OnGift(r, *room, side);
            return true;
        case CMD_SNAPSHOT_CONTROL:
            OnSnapshot(r, *room, side);
            return true;
        case CMD_LEAVE_PRIVATE:
        case CMD_PRIVATE_GIVE_UP:
            return true;
        case CMD_RECORD_CONTROL: {
            // Recording the peer is paid for as in the room.
            const tagSide& own = room->sides[static_cast<size_t>(side)];
            AnswerRecordCharge(m_money, r, own.number, own.registered);
            return true;
        }
        default:
            break;
    }
    if (IsFileCommand(r.code)) {
        m_server.FileRelay().Relay(room->sides[static_cast<size_t>(side)].id, packet, false);
        return true;
    }
    if (const tagRelayRow* row = RelayRow(r.code)) {
        Relay(r, *row, *room, side);
    } else {
        // Nothing else is done in a private room; a request still gets its answer.
        r.Refuse(REFUSE_FORBIDDEN);
    }
    return true;
}

void CPrivateChat::OnEnter(tagRoomRequest& r, tagPrivateRoom& room, int side) {
    tagSide& own = room.sides[static_cast<size_t>(side)];
    if (r.packet.IntOr(EnterPrivateKey::PEER_NUMBER, 0) != room.number || own.entered) {
        r.Refuse(REFUSE_BAD_OPERATION);
        return;
    }
    own.entered = true;
    CKParam reply = r.Reply();
    reply.SetCString(EnterPrivateReplyKey::REPORTED_ADDRESS, r.peer.PeerAddress());
    r.peer.Send(reply);
    const tagSide& peer = room.sides[static_cast<size_t>(1 - side)];
    if (peer.entered && peer.main) {
        SendArrival(room, side);
        SendArrival(room, 1 - side);
        // Both are in: they start talking, in speech quality, as the private room opens.
        const CKParam speak = MakePacket(CMD_PRIVATE_SPEAK);
        r.peer.Send(speak);
        peer.main->Send(speak);
    }
}

void CPrivateChat::SendArrival(tagPrivateRoom& room, int to) {
    const tagSide& peer = room.sides[static_cast<size_t>(1 - to)];
    IServerPeer* main = room.sides[static_cast<size_t>(to)].main;
    if (!main) {
        return;
    }
    CKParam arrived = MakePacket(CMD_PEER_IN_PRIVATE_ROOM);
    arrived.SetCString(PeerArrivedKey::PEER, peer.id);
    arrived.SetCString(PeerArrivedKey::NICKNAME, peer.nickname);
    arrived.SetInt(PeerArrivedKey::NUMBER, peer.number);
    arrived.SetBoolean(PeerArrivedKey::REGISTERED, peer.registered);
    arrived.SetBoolean(PeerArrivedKey::VIDEO, true);
    arrived.SetCString(PeerArrivedKey::LOCAL_ADDRESS, peer.localAddress);
    arrived.SetCString(PeerArrivedKey::REPORTED_ADDRESS,
                       peer.main ? peer.main->PeerAddress() : QString());
    main->Send(arrived);
}

void CPrivateChat::OnPeerInfo(tagRoomRequest& r, tagPrivateRoom& room, int side) {
    const tagSide& peer = room.sides[static_cast<size_t>(1 - side)];
    if (!peer.entered || !peer.main) {
        r.Refuse(REFUSE_BAD_USER);
        return;
    }
    CKParam reply = r.Reply();
    reply.SetCString(PeerInfoKey::PEER, peer.id);
    reply.SetCString(PeerInfoKey::NICKNAME, peer.nickname);
    reply.SetInt(PeerInfoKey::NUMBER, peer.number);
    reply.SetBoolean(PeerInfoKey::REGISTERED, peer.registered);
    reply.SetBoolean(PeerInfoKey::VIDEO, true);
    reply.SetCString(PeerInfoKey::LOCAL_ADDRESS, peer.localAddress);
    reply.SetCString(PeerInfoKey::REPORTED_ADDRESS, peer.main->PeerAddress());
    r.peer.Send(reply);
}

void CPrivateChat::Relay(tagRoomRequest& r, const tagRelayRow& row, tagPrivateRoom& room,
                         int side) {
    tagSide& sender = room.sides[static_cast<size_t>(side)];
    const tagSide& peer = room.sides[static_cast<size_t>(1 - side)];
    CKParam announcement = MakePacket(row.announcement);
    if (!row.build(r.packet, sender, peer, announcement)) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    if (row.answered) {
        r.Answer();
    }
    if (row.to == EAnnounce::Nobody) {
        return;
    }
    if (peer.main && peer.entered) {
        peer.main->Send(announcement);
    }
    if (row.to == EAnnounce::Both) {
        r.peer.Send(announcement);
    }
}

void CPrivateChat::OnGift(tagRoomRequest& r, tagPrivateRoom& room, int side) {
    const tagSide& sender = room.sides[static_cast<size_t>(side)];
    const tagSide& peer = room.sides[static_cast<size_t>(1 - side)];
    // A gift goes to the peer alone, and only while it is there to hear of it. Nobody owns a
    // private room, so nobody else takes a share.
    const bool toPeer =
        peer.entered && peer.main &&
        r.packet.TextOr(GiveGiftKey::RECIPIENT).compare(peer.id, Qt::CaseInsensitive) == 0;
    const tagGiftParty recipient{peer.id, peer.number, peer.registered};
    const std::optional<CKParam> announce =
        GiveGift(m_server.Store(), m_money, r, {sender.id, sender.number, sender.registered},
                 toPeer ? &recipient : nullptr, 0);
    if (announce) {
        r.peer.Send(*announce);
        peer.main->Send(*announce);
    }
}

void CPrivateChat::OnSnapshot(tagRoomRequest& r, tagPrivateRoom& room, int side) {
    const tagSide& sender = room.sides[static_cast<size_t>(side)];
    const tagSide& peer = room.sides[static_cast<size_t>(1 - side)];
    const int kind = r.packet.IntOr(SnapshotControlKey::KIND, 0);
    if (kind < SNAPSHOT_PICTURE || kind > SNAPSHOT_RECORD_END) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    if (!peer.entered || !peer.main) {
        r.Refuse(REFUSE_BAD_USER);
        return;
    }
    // Video control costs nothing here: a recording pays its periods with 490.
    if (kind == SNAPSHOT_PICTURE) {
        if (!sender.registered) {
            r.Refuse(REFUSE_VISITOR);
            return;
        }
        if (!m_money.Charge(sender.number, kSnapshotCost)) {
            r.Refuse(REFUSE_BALANCE);
            return;
        }
    }
    r.Answer();
}

bool CPrivateChat::TakeSecond(IServerPeer& peer, CKParam& packet) {
    auto it = m_bySecond.find(&peer);
    if (it == m_bySecond.end()) {
        return false;
    }
    auto room = m_rooms.find(it->second);
    if (room != m_rooms.end()) {
        const int side = room->second.sides[0].second == &peer ? 0 : 1;
        const short code = packet.Command();
        if (code == CMD_AUDIO || code == CMD_VIDEO) {
            RelayMedia(packet, room->second, side);
        } else if (IsFileCommand(code)) {
            m_server.FileRelay().Relay(room->second.sides[static_cast<size_t>(side)].id, packet,
                                       true);
        }
    }
    return true;
}

void CPrivateChat::RelayMedia(CKParam& packet, tagPrivateRoom& room, int side) {
    const tagSide& sender = room.sides[static_cast<size_t>(side)];
    const tagSide& peer = room.sides[static_cast<size_t>(1 - side)];
    if (!peer.second || !peer.entered || !sender.entered) {
        return;
    }
    if (packet.Command() == CMD_AUDIO) {
        CKParam relay = MakePacket(CMD_AUDIO);
        relay.SetInt(AudioKey::MIC, 1);
        relay.SetInt(AudioKey::METER, packet.IntOr(AudioKey::METER, 0));
        relay.SetInt(AudioKey::QUALITY, packet.IntOr(AudioKey::QUALITY, 0));
        if (!CopyBytes(packet, AudioKey::PAYLOAD, relay)) {
            return;
        }
        relay.SetCString(AudioKey::SENDER, sender.id);
        relay.SetInt(AudioKey::ROOM, room.number);
        peer.second->Send(relay, true);
        return;
    }
    CKParam relay = MakePacket(CMD_VIDEO);
    relay.SetInt(VideoKey::SLOT, 0);
    relay.SetInt(VideoKey::ONE, packet.IntOr(VideoKey::ONE, 1));
    relay.SetBoolean(VideoKey::KEY_FRAME, packet.BoolOr(VideoKey::KEY_FRAME, false));
    if (!CopyBytes(packet, VideoKey::FRAME, relay)) {
        return;
    }
    relay.SetCString(VideoKey::SENDER, sender.id);
    relay.SetInt(VideoKey::ROOM, room.number);
    relay.SetCString(VideoKey::VIEWERS, peer.id);
    peer.second->Send(relay, true);
}

void CPrivateChat::Leave(tagPrivateRoom& room, int side) {
    tagSide& gone = room.sides[static_cast<size_t>(side)];
    const tagSide& peer = room.sides[static_cast<size_t>(1 - side)];
    if (gone.second) {
        m_bySecond.erase(gone.second);
        // The second connection serves only the stay.
        gone.second->Drop();
        gone.second = nullptr;
    }
    gone.main = nullptr;
    m_server.FileRelay().Unpair(gone.id);
    if (peer.main) {
        CKParam left = MakePacket(CMD_DEPARTURE);
        left.SetCString(DepartureKey::MEMBER, gone.id);
        peer.main->Send(left);
    }
    if (!peer.main && !peer.second) {
        m_rooms.erase(room.number);
    }
}

void CPrivateChat::OnMainClosed(const tagRoomSession& session) {
    auto it = session.peer ? m_byMain.find(session.peer) : m_byMain.end();
    if (it == m_byMain.end()) {
        return;
    }
    const int number = it->second;
    m_byMain.erase(it);
    auto room = m_rooms.find(number);
    if (room == m_rooms.end()) {
        return;
    }
    const int side = room->second.sides[0].main == session.peer ? 0 : 1;
    Leave(room->second, side);
}

void CPrivateChat::OnSecondClosed(IServerPeer& peer) {
    auto it = m_bySecond.find(&peer);
    if (it == m_bySecond.end()) {
        return;
    }
    if (auto room = m_rooms.find(it->second); room != m_rooms.end()) {
        for (tagSide& side : room->second.sides) {
            if (side.second == &peer) {
                side.second = nullptr;
            }
        }
    }
    m_bySecond.erase(it);
}

void CPrivateChat::OnDeparture(CRoom&, CRoomMember& member) {
    // An invitee who leaves takes its invitation along. One whose inviter left is kept, so
    // that a yes to it hears that the private room could not be set up.
    m_invitations.erase(Key(member.id));
}
