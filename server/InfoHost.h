#pragma once
// The server-information host: the first thing a client asks, on the second-route framing,
// where the hall is (request 3100, reply 3110).

#include "server/CommandRegistry.h"
#include "server/Listener.h"
#include "server/ServerConfig.h"
#include "server/ServerPeer.h"

class CInfoHost : public IPeerHandler {
public:
    // The config is read at every request, so the ports the hall got are what clients hear.
    explicit CInfoHost(const tagServerConfig& config);

    bool Start();
    unsigned Port() const { return m_listener.Port(); }

    void OnPeerPacket(IServerPeer& peer, CKParam& packet) override;
    void OnPeerClosed(IServerPeer& peer) override {}

    const CCommandRegistry<tagRequest, EOpen>& Requests() const { return m_requests; }

private:
    void OnServerInfo(tagRequest& r);

    const tagServerConfig& m_config;
    CListener m_listener;
    CCommandRegistry<tagRequest, EOpen> m_requests;
};
