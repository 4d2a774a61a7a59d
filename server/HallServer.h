#pragma once
// The hall on its two ports: the TCP port for the short request connections and the second
// route (room creation). Both carry the same requests to one service.

#include "platform/MessageWindow.h"
#include "server/HallService.h"
#include "server/Listener.h"

class CHallServer : public CMessageWindow {
public:
    CHallServer(CStore& store, CPresence& presence, const tagServerConfig& config,
                IRoomDirectory& rooms);
    ~CHallServer() override;

    // Listens on the configured ports (0: chosen by the system).
    bool Start(unsigned hallPort, unsigned routePort);
    unsigned HallPort() const { return m_hall.Port(); }
    unsigned RoutePort() const { return m_route.Port(); }

protected:
    void OnTimer(unsigned id) override;

private:
    enum : unsigned { TIMER_EXPIRE = 1 };

    CPresence& m_presence;
    const tagServerConfig& m_config;
    CHallService m_service;
    CListener m_hall;
    CListener m_route;
};
