#include "server/Service.h"

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "server/WebServer.h"

#include <QCoreApplication>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcService, "tavo.serverd.service")

namespace {
void SetError(QString* error, const QString& text) {
    if (error) {
        *error = text;
    }
}
}  // namespace

CTavoService::CTavoService(const tagServerConfig& config)
    : m_config(config), m_beats(m_store, m_config), m_presence(config.limits.loginFailures) {
    m_store.SetPasswordCost(config.passwordCost);
}

CTavoService::~CTavoService() {
    DestroyMessageWindow();
    m_beats.End();
    m_web.reset();
    m_info.reset();
    m_hall.reset();
    m_roomServers.clear();
}

bool CTavoService::Start(QString* error) {
    SetAnsiCodePage(CodePageForLanguage(m_config.language));
    const QString path =
        m_config.databasePath.isEmpty() ? QStringLiteral(":memory:") : m_config.databasePath;
    if (!m_store.IsOpen() && !m_store.Open(path, error)) {
        return false;
    }
    m_adminQueue = std::make_unique<CAdminQueue>(m_store);
    m_presence.Share(&m_store, 3 * m_config.heartbeatSeconds, m_config.hallNumber);
    const tagServerRoles& roles = m_config.roles;
    if (!roles.hall && !roles.web && !roles.rooms) {
        SetError(error, QStringLiteral("no role is given to this process"));
        return false;
    }
    if (roles.rooms && m_config.roomServers.empty()) {
        m_config.roomServers.push_back({});
    }
    if (!roles.rooms) {
        m_config.roomServers.clear();
    }
    std::vector<int> numbers;
    for (size_t i = 0; i < m_config.roomServers.size(); ++i) {
        numbers.push_back(m_config.firstRoomServer + static_cast<int>(i));
    }
    // Before anything is cleared: the rows may be another live process's.
    if (!m_beats.CheckFree(roles.hall ? m_config.hallNumber : 0, numbers, error)) {
        return false;
    }
    for (size_t i = 0; i < m_config.roomServers.size(); ++i) {
        const int number = numbers[i];
        auto server = std::make_unique<CRoomServer>(number, m_store, m_presence, m_config);
        tagRoomServerPorts& ports = m_config.roomServers[i];
        if (!server->Start(ports.mainPort, ports.secondPort)) {
            SetError(error, QStringLiteral("room server %1 cannot listen on %2 and %3")
                                .arg(number)
                                .arg(ports.mainPort)
                                .arg(ports.secondPort));
            return false;
        }
        // Who was inside when this room server last ended (a crash) is gone.
        m_store.EmptyRoomServer(number);
        ports.mainPort = server->MainPort();
        ports.secondPort = server->SecondPort();
        m_roomServers.push_back(std::move(server));
    }
    if (roles.hall) {
        // What this hall vouched for before it last ended (a crash) is vouched for no more.
        m_store.ClearHallPresence(m_config.hallNumber);
        if (!StartHall(error)) {
            return false;
        }
    }
    // Other processes find these room servers and this hall by their rows.
    Beat();
    if (roles.web && m_config.webPort >= 0) {
        m_web = std::make_unique<CWebServer>(m_store, *this, m_config);
        m_webPort = m_web->Start(m_config.listenAddress, static_cast<unsigned>(m_config.webPort));
        if (m_webPort == 0) {
            SetError(error,
                     QStringLiteral("the web side cannot listen on %1").arg(m_config.webPort));
            return false;
        }
        m_config.webPort = static_cast<int>(m_webPort);
    }
    CreateMessageWindow(QStringLiteral("service"));
    if (m_config.adminPollMs > 0) {
        SetTimer(TIMER_ADMIN, static_cast<unsigned>(m_config.adminPollMs));
    }
    if (!m_roomServers.empty() || m_hall) {
        SetTimer(TIMER_HEARTBEAT, static_cast<unsigned>(m_config.heartbeatSeconds) * 1000u);
    }
    return true;
}

bool CTavoService::StartHall(QString* error) {
    m_hall = std::make_unique<CHallServer>(m_store, m_presence, m_config, *this);
    if (!m_hall->Start(m_config.hallPort, m_config.routePort)) {
        SetError(error, QStringLiteral("the hall cannot listen on %1 and %2")
                            .arg(m_config.hallPort)
                            .arg(m_config.routePort));
        return false;
    }
    m_config.hallPort = m_hall->HallPort();
    m_config.routePort = m_hall->RoutePort();
    m_info = std::make_unique<CInfoHost>(m_config);
    if (!m_info->Start()) {
        SetError(error, QStringLiteral("the server-information host cannot listen on %1")
                            .arg(m_config.infoPort));
        return false;
    }
    m_config.infoPort = m_info->Port();
    return true;
}

void CTavoService::Beat() {
    std::vector<tagRoomServerRow> rows;
    for (const auto& server : m_roomServers) {
        rows.push_back({server->Index(), m_config.publicHost, static_cast<int>(server->MainPort()),
                        static_cast<int>(server->SecondPort()), 0, QString()});
    }
    if (!m_beats.Beat(m_hall ? m_config.hallNumber : 0, std::move(rows))) {
        // Two processes answering under one number would undo each other's rows; the one
        // that lost its number steps aside, and its clients reconnect to the other.
        QCoreApplication::exit(EXIT_FAILURE);
        return;
    }
    if (m_hall) {
        // The rows of a hall that stopped beating are swept by the live ones, so its
        // clients' user numbers stop opening rooms and the table does not grow.
        m_store.SweepPresence(LiveSince(m_config));
    }
}

CRoomServer* CTavoService::HostOf(int room) const {
    auto record = m_store.Room(room);
    if (!record) {
        return nullptr;
    }
    for (const auto& server : m_roomServers) {
        if (server->Hosts(*record)) {
            return server.get();
        }
    }
    return nullptr;
}

bool CTavoService::RoomAddress(int room, QString& host, unsigned& mainPort) const {
    if (CRoomServer* server = HostOf(room)) {
        host = m_config.publicHost;
        mainPort = server->MainPort();
        return true;
    }
    // A room server of another process, as long as it beats.
    const auto record = m_store.Room(room);
    if (!record) {
        return false;
    }
    const int64_t since = LiveSince(m_config);
    auto row = m_store.LiveRoomServer(record->server, since);
    if (!row) {
        row = MoveRoom(*record, since);
    }
    if (!row) {
        return false;
    }
    if (CRoomServer* own = OwnRoomServer(row->number)) {
        host = m_config.publicHost;
        mainPort = own->MainPort();
        return true;
    }
    host = row->host;
    mainPort = static_cast<unsigned>(row->mainPort);
    return true;
}

std::optional<tagRoomServerRow> CTavoService::MoveRoom(const tagRoomRecord& room,
                                                       int64_t since) const {
    // The room's server stopped beating (or never ran): the room goes to the live room server
    // that holds the fewest, and the database says so, so every hall sends its members there.
    // Two halls moving it at once: the first move stands and the other follows it.
    const std::vector<tagRoomServerRow> live = m_store.LiveRoomServers(since);
    if (live.empty()) {
        return std::nullopt;
    }
    if (m_store.MoveRoom(room.number, room.server, live.front().number)) {
        qCInfo(lcService, "room %d moved from room server %d to %d", room.number, room.server,
               live.front().number);
        return live.front();
    }
    const auto now = m_store.Room(room.number);
    return now ? m_store.LiveRoomServer(now->server, since) : std::nullopt;
}

CRoomServer* CTavoService::OwnRoomServer(int number) const {
    for (const auto& server : m_roomServers) {
        if (server->Index() == number) {
            return server.get();
        }
    }
    return nullptr;
}

int CTavoService::PlaceNewRoom() const {
    // The live room server that holds the fewest; before any beats, round this process's own.
    const std::vector<tagRoomServerRow> live = m_store.LiveRoomServers(LiveSince(m_config));
    if (!live.empty()) {
        return live.front().number;
    }
    const int servers = static_cast<int>(m_config.roomServers.size());
    return servers > 0 ? static_cast<int>(m_store.Rooms().size() % servers) + 1 : 1;
}

int CTavoService::Occupancy(int room) const {
    for (const auto& server : m_roomServers) {
        if (server->ActiveRoom(room)) {
            return server->Occupancy(room);
        }
    }
    // Rooms of the other processes, as their room servers wrote who is inside.
    return m_store.RoomOccupancy(room, LiveSince(m_config));
}

void CTavoService::OnTimer(unsigned id) {
    if (id == TIMER_ADMIN) {
        RunAdminQueue();
    } else if (id == TIMER_HEARTBEAT) {
        Beat();
    }
}

int CTavoService::RunAdminQueue() {
    if (!m_adminQueue) {
        return 0;
    }
    const int first = m_config.firstRoomServer;
    const int last = first + static_cast<int>(m_roomServers.size()) - 1;
    const std::vector<tagAdminCommand> commands =
        m_adminQueue->Take({m_hall != nullptr, m_config.hallNumber, !m_roomServers.empty(), first,
                            last, LiveSince(m_config)});
    for (const tagAdminCommand& c : commands) {
        if (c.command == QLatin1String("notice") || c.command == QLatin1String("text-notice")) {
            const bool timed = c.command == QLatin1String("notice");
            for (auto& server : m_roomServers) {
                server->PostNotice(c.room, timed, c.text);
            }
            // A notice to every room reaches the rooms of the other processes as one to each.
            if (c.room == 0) {
                for (int room : m_store.RoomsOccupiedElsewhere(first, last, LiveSince(m_config))) {
                    m_adminQueue->Enqueue(c.command, room, c.text);
                }
            }
        } else if (c.command == QLatin1String("reload")) {
            for (auto& server : m_roomServers) {
                server->ReloadRoom(c.room);
            }
        } else if (c.command == QLatin1String("quit-client")) {
            m_presence.QueuePush(c.target, {EPush::Quit, 0});
        } else if (c.command == QLatin1String("send-to-room")) {
            m_presence.QueuePush(c.target, {EPush::GoToRoom, c.room});
        } else if (c.command == QLatin1String("logged-elsewhere") &&
                   c.hall == m_config.hallNumber) {
            m_presence.TakenOver(c.target, c.text);
        } else if (c.command == QLatin1String("shutdown")) {
            m_presence.SetShuttingDown(true);
            // Every hall tells its own clients: the others get a command each.
            if (c.hall == 0) {
                for (int hall : m_store.LiveHalls(LiveSince(m_config))) {
                    if (hall != m_config.hallNumber) {
                        m_adminQueue->Enqueue(c.command, 0, c.text, QString(), hall);
                    }
                }
            }
        }
    }
    return static_cast<int>(commands.size());
}
