#include "server/InfoHost.h"

#include "protocol/Commands.h"
#include "protocol/keys/CenterKeys.h"

CInfoHost::CInfoHost(const tagServerConfig& config)
    : m_config(config), m_listener(kRouteFrame, *this, config.limits) {
    m_requests.On(CMD_SERVER_INFO, EOpen::Anyone, this, &CInfoHost::OnServerInfo);
}

bool CInfoHost::Start() {
    return m_listener.Start(m_config.listenAddress, m_config.infoPort);
}

void CInfoHost::OnPeerPacket(IServerPeer& peer, CKParam& packet) {
    tagRequest r{peer, packet, packet.Command()};
    m_requests.Dispatch(r, [](EOpen) { return true; });
}

void CInfoHost::OnServerInfo(tagRequest& r) {
    CKParam reply = r.Reply();
    reply.SetCString(ServerInfoReplyKey::IDENTITY_TEXT, m_config.identityText);
    reply.SetInt(ServerInfoReplyKey::IDENTITY_NUMBER, m_config.identityNumber);
    reply.SetCString(ServerInfoReplyKey::CENTER_HOST, m_config.publicHost);
    reply.SetInt(ServerInfoReplyKey::SERVER_PORT, static_cast<int>(m_config.routePort));
    reply.SetInt(ServerInfoReplyKey::TCP_PORT, static_cast<int>(m_config.hallPort));
    r.peer.Send(reply);
}
