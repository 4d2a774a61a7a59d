#include "server/Listener.h"

#include "server/ServerConnection.h"

namespace {
constexpr unsigned WM_REAP = 0x0401;
constexpr unsigned TIMER_TICK = 1;
constexpr unsigned kTickMs = 1000;
// Each connection is checked for silence every third tick and sends its keep-alive every
// fifteenth, as a connection keeping its own time would.
constexpr unsigned kSilenceTicks = CSocketClient::kSilenceCheckMs / kTickMs;
constexpr unsigned kKeepAliveTicks = CSocketClient::kKeepAliveMs / kTickMs;
}  // namespace

CListener::CListener(const tagFrameFormat& format, IPeerHandler& handler,
                     const tagServerLimits& limits)
    : m_format(format), m_handler(handler), m_limits(limits) {}

CListener::~CListener() {
    m_reaper.DestroyMessageWindow();
    // The handler is going away with the service: nobody is told about these.
    m_connections.clear();
    Close();
}

bool CListener::Start(const QString& address, unsigned port) {
    if (!Create(port, FD_ACCEPT, address) || !Listen(256)) {
        return false;
    }
    QString bound;
    if (!GetSockName(bound, m_port)) {
        return false;
    }
    m_reaper.CreateMessageWindow(QStringLiteral("listener"));
    m_reaper.SetTimer(TIMER_TICK, kTickMs);
    return true;
}

void CListener::OnAccept(int error) {
    m_admission.AcceptAll(
        *this, [&] { return std::make_unique<CServerConnection>(*this, m_format, m_limits); },
        [&](std::unique_ptr<CServerConnection> connection, const QString&) {
            CServerConnection& adopted = *connection;
            m_connections.emplace(adopted.PeerId(), std::move(connection));
            adopted.Adopt();
        });
}

void CListener::ScheduleReap(CServerConnection& connection) {
    m_closed.push_back(connection.PeerId());
    if (!m_reapPosted) {
        m_reapPosted = m_reaper.PostMessage(WM_REAP);
    }
}

intptr_t CListener::CReaper::OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    if (msg == WM_REAP) {
        m_owner.Reap();
    }
    return 0;
}

void CListener::CReaper::OnTimer(unsigned id) {
    if (id == TIMER_TICK) {
        m_owner.Tick();
    }
}

void CListener::Tick() {
    const unsigned tick = m_ticks++;
    // A connection that closes here is only scheduled for reaping: the map stays as it is.
    for (auto& [id, connection] : m_connections) {
        if (id % kSilenceTicks == tick % kSilenceTicks) {
            connection->OnTimer(CSocketClient::TIMER_SILENCE);
        }
        if (id % kKeepAliveTicks == tick % kKeepAliveTicks) {
            connection->OnTimer(CSocketClient::TIMER_KEEPALIVE);
        }
    }
}

void CListener::Reap() {
    m_reapPosted = false;
    // The handler may drop further connections while it hears of these; they come round again.
    std::vector<uint64_t> closed;
    closed.swap(m_closed);
    for (uint64_t id : closed) {
        auto it = m_connections.find(id);
        if (it == m_connections.end()) {
            continue;
        }
        std::unique_ptr<CServerConnection> connection = std::move(it->second);
        m_connections.erase(it);
        m_admission.Release(connection->PeerAddress());
        m_handler.OnPeerClosed(*connection);
    }
}

void CListener::DropAll() {
    for (auto& [id, connection] : m_connections) {
        connection->Drop();
    }
}

void CListener::ForEach(const std::function<void(CServerConnection&)>& visit) {
    for (auto& [id, connection] : m_connections) {
        visit(*connection);
    }
}
