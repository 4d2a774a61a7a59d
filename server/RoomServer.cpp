#include "server/RoomServer.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/ChatKeys.h"
#include "protocol/keys/DispatchKeys.h"
#include "protocol/keys/EntryKeys.h"
#include "protocol/keys/MembersKeys.h"
#include "server/FileRelay.h"
#include "server/Packets.h"
#include "server/PrivateChat.h"
#include "server/RoomActivity.h"
#include "server/RoomAdmin.h"
#include "server/RoomChat.h"
#include "server/RoomEntry.h"
#include "server/RoomGifts.h"
#include "server/RoomGuards.h"
#include "server/RoomMembers.h"
#include "server/RoomMic.h"
#include "server/RoomRecording.h"
#include "server/RoomRelay.h"
#include "server/RoomWatch.h"

#include <QRandomGenerator>

#include <algorithm>
#include <iterator>

namespace {
constexpr unsigned WM_VERIFIED = 0x0402;

// Features this service does not run, or requests of a feature it does not offer: refused with
// "操作被禁止" rather than left unanswered.
constexpr EFeature kNotRun[] = {EFeature::PrivateChat, EFeature::PrivateMic};
}  // namespace

CRoomServer::CRoomServer(int index, CStore& store, CPresence& presence,
                         const tagServerConfig& config)
    : m_index(index),
      m_store(store),
      m_presence(presence),
      m_config(config),
      // Entry keys start somewhere unguessable so that a key from an earlier run opens nothing.
      m_nextKeyA(static_cast<int>(QRandomGenerator::global()->bounded(1 << 20, 1 << 30))),
      m_senders(config.limits.sendThreads) {
    m_poster.CreateMessageWindow(QStringLiteral("room server %1").arg(index));
    m_features.push_back(std::make_unique<CRoomEntry>(*this));
    m_features.push_back(std::make_unique<CRoomMembers>(*this));
    m_features.push_back(std::make_unique<CRoomChat>(*this));
    m_features.push_back(std::make_unique<CRoomMic>(*this));
    m_features.push_back(std::make_unique<CRoomRelay>(*this));
    m_features.push_back(std::make_unique<CRoomAdmin>(*this));
    m_features.push_back(std::make_unique<CRoomActivity>(*this));
    m_features.push_back(std::make_unique<CRoomGuards>(*this));
    m_features.push_back(std::make_unique<CRoomWatch>(*this));
    m_features.push_back(std::make_unique<CRoomGifts>(*this));
    auto relay = std::make_unique<CFileRelay>(*this);
    m_fileRelay = relay.get();
    m_features.push_back(std::move(relay));
    m_features.push_back(std::make_unique<CRoomRecording>(*this));
    m_features.push_back(std::make_unique<CPrivateChat>(*this));
    for (const tagCommandInfo& c : kCommandTable) {
        if (c.reply != 0 && std::ranges::find(kNotRun, c.feature) != std::end(kNotRun) &&
            !m_mainRequests.Handles(c.code)) {
            m_mainRequests.NotOffered(c.code, EStage::Entered);
        }
    }
    // The answer to a file offer has no answer of its own; no offer ever comes from here.
    m_mainRequests.NotOffered(CMD_FILE_ANSWER, EStage::Entered);
}

CRoomServer::~CRoomServer() {
    // Listeners first: their connections must not outlive the sessions that point at them.
    m_main.reset();
    m_second.reset();
    m_rooms.clear();
    m_poster.DestroyMessageWindow();
}

bool CRoomServer::Start(unsigned mainPort, unsigned secondPort) {
    m_main = std::make_unique<CListener>(kTcpFrame, m_mainHandler, m_config.limits);
    m_second = std::make_unique<CListener>(kTcpFrame, m_secondHandler, m_config.limits);
    return m_main->Start(m_config.listenAddress, mainPort) &&
           m_second->Start(m_config.listenAddress, secondPort);
}

unsigned CRoomServer::MainPort() const {
    return m_main ? m_main->Port() : 0;
}

unsigned CRoomServer::SecondPort() const {
    return m_second ? m_second->Port() : 0;
}

int64_t LiveSince(const tagServerConfig& config) {
    return CClock::Get().Now() - 3 * static_cast<int64_t>(config.heartbeatSeconds);
}

bool CRoomServer::Hosts(const tagRoomRecord& room) const {
    if (room.server == m_index) {
        return true;
    }
    // A room assigned to a room server that neither this process nor any other runs lives on
    // room server 1.
    const int first = m_config.firstRoomServer;
    const int last = first + static_cast<int>(m_config.roomServers.size()) - 1;
    return m_index == 1 && (room.server < first || room.server > last) &&
           !m_store.LiveRoomServer(room.server, LiveSince(m_config));
}

int CRoomServer::Occupancy(int room) const {
    CRoom* r = ActiveRoom(room);
    return r ? r->Count() : 0;
}

CRoom* CRoomServer::ActiveRoom(int room) const {
    auto it = m_rooms.find(room);
    return it == m_rooms.end() ? nullptr : it->second.get();
}

std::vector<CRoom*> CRoomServer::ActiveRooms() const {
    std::vector<CRoom*> out;
    for (const auto& [number, room] : m_rooms) {
        out.push_back(room.get());
    }
    return out;
}

tagRoomSession* CRoomServer::SessionOf(const IServerPeer& peer) {
    auto it = m_sessions.find(&peer);
    return it == m_sessions.end() ? nullptr : &it->second;
}

void CRoomServer::OnMainPacket(IServerPeer& peer, CKParam& packet) {
    tagRoomSession& session = m_sessions[&peer];
    session.peer = &peer;
    // A mic guard has said all it has to say.
    if (session.guard) {
        peer.Drop();
        return;
    }
    for (auto& feature : m_features) {
        if (feature->TakeMain(session, packet)) {
            return;
        }
    }
    CRoom* room = session.member ? ActiveRoom(session.room) : nullptr;
    tagRoomRequest r{
        {peer, packet, packet.Command()}, &session, room, room ? session.member : nullptr};
    m_mainRequests.Dispatch(r, [&](EStage needed) {
        if (session.stage >= needed) {
            return true;
        }
        // A room command before entry: refused where it has an answer, and counted against
        // the connection.
        r.Refuse(REFUSE_BAD_CONNECTION);
        peer.Strike();
        return false;
    });
}

void CRoomServer::OnMainClosed(IServerPeer& peer) {
    auto it = m_sessions.find(&peer);
    if (it == m_sessions.end()) {
        return;
    }
    const tagRoomSession session = it->second;
    m_sessions.erase(it);
    for (auto& feature : m_features) {
        feature->OnMainClosed(session);
    }
    if (session.member && session.member->main == &peer) {
        if (CRoom* room = ActiveRoom(session.room)) {
            Depart(*room, session.id);
        }
    }
}

void CRoomServer::OnSecondPacket(IServerPeer& peer, CKParam& packet) {
    for (auto& feature : m_features) {
        if (feature->TakeSecond(peer, packet)) {
            return;
        }
    }
    CRoomMember* member = nullptr;
    if (auto it = m_secondPeers.find(&peer); it != m_secondPeers.end()) {
        member = MemberByKey(it->second);
    }
    CRoom* room = member ? ActiveRoom(member->room) : nullptr;
    tagRoomRequest r{{peer, packet, packet.Command()}, nullptr, room, member};
    const bool taken = m_secondRequests.Dispatch(r, [&](EStage needed) {
        // Until it attaches, a second connection carries nobody: only the attach is heard.
        if (member || needed == EStage::Connected) {
            return true;
        }
        peer.Strike();
        return false;
    });
    // Attaching remembers which member this connection carries.
    if (taken && r.code == CMD_ATTACH) {
        for (const auto& [key, m] : m_byKeyA) {
            if (m->second == &peer) {
                m_secondPeers[&peer] = key;
                peer.WriteOnThread(m_senders, m->main);
                if (CRoom* in = ActiveRoom(m->room)) {
                    for (auto& feature : m_features) {
                        feature->OnAttached(*in, *m);
                    }
                }
                break;
            }
        }
    }
}

void CRoomServer::OnSecondClosed(IServerPeer& peer) {
    for (auto& feature : m_features) {
        feature->OnSecondClosed(peer);
    }
    auto it = m_secondPeers.find(&peer);
    if (it == m_secondPeers.end()) {
        return;
    }
    if (CRoomMember* member = MemberByKey(it->second); member && member->second == &peer) {
        member->second = nullptr;
    }
    m_secondPeers.erase(it);
}

CRoomMember* CRoomServer::MemberByKey(int keyA) const {
    auto it = m_byKeyA.find(keyA);
    return it == m_byKeyA.end() ? nullptr : it->second;
}

CRoom* CRoomServer::Activate(const tagRoomRecord& record) {
    if (CRoom* room = ActiveRoom(record.number)) {
        return room;
    }
    auto room =
        std::make_unique<CRoom>(record, [this](CRoom& r, unsigned id) { OnRoomTimer(r, id); });
    CRoom* out = room.get();
    m_rooms.emplace(record.number, std::move(room));
    return out;
}

CRoomMember& CRoomServer::Enter(CRoom& room, std::unique_ptr<CRoomMember> member) {
    member->room = room.Number();
    CRoomMember& entered = room.Add(std::move(member));
    m_byKeyA[entered.keyA] = &entered;
    // A member's connections are written by a sending thread from now on, so that what the
    // room relays to many goes out in parallel.
    if (entered.main) {
        entered.main->WriteOnThread(m_senders, nullptr);
    }
    m_presence.EnterRoom(entered.id, room.Number(), m_index);
    return entered;
}

void CRoomServer::Depart(CRoom& room, const QString& id) {
    std::unique_ptr<CRoomMember> member = room.Remove(id);
    if (!member) {
        return;
    }
    for (auto& feature : m_features) {
        feature->OnDeparture(room, *member);
    }
    m_byKeyA.erase(member->keyA);
    m_presence.LeaveRoom(member->id, room.Number());
    if (member->main) {
        if (tagRoomSession* session = SessionOf(*member->main)) {
            session->member = nullptr;
            session->stage = EStage::LoggedIn;
        }
    }
    if (member->second) {
        m_secondPeers.erase(member->second);
        // The second connection serves only a stay in a room.
        member->second->Drop();
    }
    CKParam left = MakePacket(CMD_DEPARTURE);
    left.SetCString(DepartureKey::MEMBER, member->id);
    room.Broadcast(left);
    const int number = room.Number();
    if (room.Count() == 0) {
        m_rooms.erase(number);
    }
}

void CRoomServer::OnRoomTimer(CRoom& room, unsigned id) {
    for (auto& feature : m_features) {
        feature->OnRoomTimer(room, id);
    }
}

void CRoomServer::PostVerified(IServerPeer& peer) {
    m_poster.PostMessage(WM_VERIFIED, peer.PeerId());
}

intptr_t CRoomServer::CPoster::OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    if (msg == WM_VERIFIED) {
        m_server.SendVerified(wParam);
    }
    return 0;
}

void CRoomServer::SendVerified(uint64_t peerId) {
    for (auto& [peer, session] : m_sessions) {
        if (session.peer && session.peer->PeerId() == peerId && session.stage == EStage::LoggedIn &&
            session.peer->IsOpen()) {
            CKParam verified = MakeReply(CMD_USER_VERIFIED);
            verified.SetInt(UserVerifiedKey::FAULT, 0);
            verified.SetInt(UserVerifiedKey::NUMBER_23, 0);
            session.peer->Send(verified);
            return;
        }
    }
}

int CRoomServer::PostNotice(int room, bool timed, const QString& text) {
    CKParam notice = MakePacket(timed ? CMD_TIMED_NOTICE : CMD_TEXT_NOTICE);
    if (timed) {
        notice.SetInt(TimedNoticeKey::STATUS, 0);
        notice.SetCString(TimedNoticeKey::TEXT, text);
    } else {
        notice.SetCString(TextNoticeKey::TEXT, text);
    }
    int rooms = 0;
    for (const auto& [number, r] : m_rooms) {
        if (room == 0 || number == room) {
            r->Broadcast(notice);
            ++rooms;
        }
    }
    return rooms;
}

void CRoomServer::ReloadRoom(int room) {
    CRoom* active = ActiveRoom(room);
    if (!active) {
        return;
    }
    if (auto record = m_store.Room(room)) {
        const tagRoomRecord before = active->Record();
        active->Record() = *record;
        for (auto& feature : m_features) {
            feature->OnReloaded(*active, before);
        }
    }
}

void CRoomServer::CPortHandler::OnPeerPacket(IServerPeer& peer, CKParam& packet) {
    if (m_second) {
        m_server.OnSecondPacket(peer, packet);
    } else {
        m_server.OnMainPacket(peer, packet);
    }
}

void CRoomServer::CPortHandler::OnPeerClosed(IServerPeer& peer) {
    if (m_second) {
        m_server.OnSecondClosed(peer);
    } else {
        m_server.OnMainClosed(peer);
    }
}
