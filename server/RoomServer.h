#pragma once
// One room server: a main port for requests and room commands and a second port for voice and
// video, hosting every room the database assigns to it. Requests are dispatched by command to
// the feature that owns them (entry, members, chat, microphone, media relay, administration);
// every request R is answered with R + 1 carrying the result in key 20.

#include "platform/MessageWindow.h"
#include "server/CommandRegistry.h"
#include "server/Listener.h"
#include "server/Presence.h"
#include "server/Room.h"
#include "server/SendPool.h"
#include "server/ServerConfig.h"
#include "server/ServerPeer.h"
#include "server/Store.h"

#include "protocol/KParam.h"

#include <map>
#include <memory>
#include <vector>

// How far a connection has come: the gate of the room's requests. A second connection is
// Connected until it attaches to a member, then Entered.
enum class EStage { Connected, LoggedIn, Entered };

struct tagRoomSession {
    IServerPeer* peer = nullptr;
    EStage stage = EStage::Connected;
    QString id;
    QString nickname;
    int number = 0;
    bool registered = false;
    int room = 0;
    QString machine;
    QString localAddress;  // the address the client reported for itself (room login)
    CRoomMember* member = nullptr;
    // The connection of a mic guard: after its enter packet it has nothing more to say.
    bool guard = false;
};

struct tagRoomRequest : tagRequest {
    tagRoomSession* session;  // the main connection's session (null on the second port)
    CRoom* room;              // set once the connection is inside a room
    CRoomMember* member;
};

using CRoomRegistry = CCommandRegistry<tagRoomRequest, EStage>;

// The oldest heartbeat of a room server that still counts as running (three beats back).
int64_t LiveSince(const tagServerConfig& config);

class CRoomServer;
class CFileRelay;

// A feature of the room: registers the requests it owns and hears of departures and timers.
class CRoomFeature {
public:
    explicit CRoomFeature(CRoomServer& server) : m_server(server) {}
    virtual ~CRoomFeature() = default;
    virtual void OnDeparture(CRoom& room, CRoomMember& member) {}
    // The member's second connection is attached: media may flow to it now.
    virtual void OnAttached(CRoom& room, CRoomMember& member) {}
    virtual void OnRoomTimer(CRoom& room, unsigned id) {}
    // The room's settings were read again from the database; before is what they were.
    virtual void OnReloaded(CRoom& room, const tagRoomRecord& before) {}
    // A feature may take a connection's packets over once its member left every room (the
    // private room): true when it took the packet.
    virtual bool TakeMain(tagRoomSession& session, CKParam& packet) { return false; }
    virtual bool TakeSecond(IServerPeer& peer, CKParam& packet) { return false; }
    // A connection closed, before the service forgets it.
    virtual void OnMainClosed(const tagRoomSession& session) {}
    virtual void OnSecondClosed(IServerPeer& peer) {}

protected:
    CRoomServer& m_server;
};

class CRoomServer {
public:
    // index: which room server this is (1-based), as the rooms table names it.
    CRoomServer(int index, CStore& store, CPresence& presence, const tagServerConfig& config);
    ~CRoomServer();

    bool Start(unsigned mainPort, unsigned secondPort);
    unsigned MainPort() const;
    unsigned SecondPort() const;
    int Index() const { return m_index; }

    // Whether this server hosts the room (the database says so).
    bool Hosts(const tagRoomRecord& room) const;
    int Occupancy(int room) const;
    CRoom* ActiveRoom(int room) const;
    std::vector<CRoom*> ActiveRooms() const;

    // The packet paths, public so tests and the fuzzer can drive them without sockets.
    void OnMainPacket(IServerPeer& peer, CKParam& packet);
    void OnMainClosed(IServerPeer& peer);
    void OnSecondPacket(IServerPeer& peer, CKParam& packet);
    void OnSecondClosed(IServerPeer& peer);

    // Timed notice (614) or text notice (780) to one room, or to all (room 0).
    int PostNotice(int room, bool timed, const QString& text);
    // Re-reads a room's settings from the database when it is active.
    void ReloadRoom(int room);

    // For the features: the requests of the main port and of the second port.
    CRoomRegistry& MainRequests() { return m_mainRequests; }
    CRoomRegistry& SecondRequests() { return m_secondRequests; }
    const CRoomRegistry& MainRequests() const { return m_mainRequests; }
    const CRoomRegistry& SecondRequests() const { return m_secondRequests; }
    CStore& Store() { return m_store; }
    CPresence& Presence() { return m_presence; }
    // File bytes between the members of a private pair, for the private room to pair them.
    CFileRelay& FileRelay() { return *m_fileRelay; }
    const tagServerConfig& Config() const { return m_config; }
    // Activates the room (loading it from the database) when nobody was inside.
    CRoom* Activate(const tagRoomRecord& record);
    // Puts a member into an active room.
    CRoomMember& Enter(CRoom& room, std::unique_ptr<CRoomMember> member);
    // Takes a member out of its room: departure announced, features told, room closed when
    // empty. The member's connections are not touched.
    void Depart(CRoom& room, const QString& id);
    // The second connection's member, by entry key A.
    CRoomMember* MemberByKey(int keyA) const;
    tagRoomSession* SessionOf(const IServerPeer& peer);
    int NextKeyA() { return m_nextKeyA++; }
    // Sends "user verified" to the session a little later, from the event loop.
    void PostVerified(IServerPeer& peer);

private:
    class CPortHandler : public IPeerHandler {
    public:
        CPortHandler(CRoomServer& server, bool second) : m_server(server), m_second(second) {}
        void OnPeerPacket(IServerPeer& peer, CKParam& packet) override;
        void OnPeerClosed(IServerPeer& peer) override;

    private:
        CRoomServer& m_server;
        bool m_second;
    };
    class CPoster : public CMessageWindow {
    public:
        explicit CPoster(CRoomServer& server) : m_server(server) {}

    protected:
        intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

    private:
        CRoomServer& m_server;
    };

    void OnRoomTimer(CRoom& room, unsigned id);
    void SendVerified(uint64_t peerId);

    int m_index;
    CStore& m_store;
    CPresence& m_presence;
    const tagServerConfig& m_config;
    CRoomRegistry m_mainRequests;
    CRoomRegistry m_secondRequests;
    std::map<int, std::unique_ptr<CRoom>> m_rooms;
    std::map<const IServerPeer*, tagRoomSession> m_sessions;
    std::map<const IServerPeer*, int> m_secondPeers;  // second connection -> entry key A
    std::map<int, CRoomMember*> m_byKeyA;
    int m_nextKeyA;
    std::vector<std::unique_ptr<CRoomFeature>> m_features;
    CFileRelay* m_fileRelay = nullptr;  // one of the features
    // Before the listeners: their connections hand frames to it until they are gone.
    CSendPool m_senders;
    CPortHandler m_mainHandler{*this, false};
    CPortHandler m_secondHandler{*this, true};
    CPoster m_poster{*this};
    std::unique_ptr<CListener> m_main;
    std::unique_ptr<CListener> m_second;
};
