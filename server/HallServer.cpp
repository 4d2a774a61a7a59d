#include "server/HallServer.h"

#include "platform/Clock.h"

CHallServer::CHallServer(CStore& store, CPresence& presence, const tagServerConfig& config,
                         IRoomDirectory& rooms)
    : m_presence(presence),
      m_config(config),
      m_service(store, presence, config, rooms),
      m_hall(kTcpFrame, m_service, config.limits),
      m_route(kRouteFrame, m_service, config.limits) {}

CHallServer::~CHallServer() {
    DestroyMessageWindow();
}

bool CHallServer::Start(unsigned hallPort, unsigned routePort) {
    if (!m_hall.Start(m_config.listenAddress, hallPort) ||
        !m_route.Start(m_config.listenAddress, routePort)) {
        return false;
    }
    CreateMessageWindow(QStringLiteral("hall"));
    SetTimer(TIMER_EXPIRE, 30000);
    return true;
}

void CHallServer::OnTimer(unsigned id) {
    if (id == TIMER_EXPIRE) {
        m_presence.Expire(CClock::Get().Now(), m_config.limits.sessionTimeoutSeconds);
        m_presence.Failures().Expire(CClock::Get().UptimeMs());
    }
}
