#pragma once
// The whole service in one object: the store, the presence table, the server-information host,
// the hall, the room servers and the web side, started from one configuration, and the admin
// queue read from the database while it runs.

#include "platform/MessageWindow.h"
#include "platform/SocketPoll.h"
#include "server/AdminQueue.h"
#include "server/HallServer.h"
#include "server/InfoHost.h"
#include "server/Presence.h"
#include "server/ProcessBeats.h"
#include "server/RoomDirectory.h"
#include "server/RoomServer.h"
#include "server/ServerConfig.h"
#include "server/Store.h"

#include <memory>
#include <vector>

class CWebServer;

class CTavoService : public IRoomDirectory, private CMessageWindow {
public:
    explicit CTavoService(const tagServerConfig& config);
    ~CTavoService() override;

    // Opens the database (":memory:" when no path is configured) and starts the listeners of
    // the roles configured. The configuration then holds the ports actually bound.
    bool Start(QString* error = nullptr);

    const tagServerConfig& Config() const { return m_config; }
    CStore& Store() { return m_store; }
    CPresence& Presence() { return m_presence; }
    CHallServer& Hall() { return *m_hall; }
    int RoomServerCount() const { return static_cast<int>(m_roomServers.size()); }
    CRoomServer& RoomServer(int i) { return *m_roomServers.at(static_cast<size_t>(i)); }
    unsigned WebPort() const { return m_webPort; }

    bool RoomAddress(int room, QString& host, unsigned& mainPort) const override;
    int Occupancy(int room) const override;
    int PlaceNewRoom() const override;

    // Runs what the admin command line queued; returns how many commands it found.
    int RunAdminQueue();

private:
    enum : unsigned { TIMER_ADMIN = 1, TIMER_HEARTBEAT = 2 };
    void OnTimer(unsigned id) override;
    CRoomServer* HostOf(int room) const;
    CRoomServer* OwnRoomServer(int number) const;
    std::optional<tagRoomServerRow> MoveRoom(const tagRoomRecord& room, int64_t since) const;
    bool StartHall(QString* error);
    // Writes the rows of this process's hall and room servers with the time; ends the
    // process when another one has taken a number over.
    void Beat();

    // First, so that it outlasts every socket the service makes on its thread.
    std::shared_ptr<CSocketPoll> m_poll = CSocketPoll::ForThisThread();
    tagServerConfig m_config;
    mutable CStore m_store;
    std::unique_ptr<CAdminQueue> m_adminQueue;  // once the store is open
    CProcessBeats m_beats;
    CPresence m_presence;
    std::vector<std::unique_ptr<CRoomServer>> m_roomServers;
    std::unique_ptr<CHallServer> m_hall;
    std::unique_ptr<CInfoHost> m_info;
    std::unique_ptr<CWebServer> m_web;
    unsigned m_webPort = 0;
};
