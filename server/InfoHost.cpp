#include "server/InfoHost.h"

#include "protocol/Commands.h"
#include "server/Packets.h"

CInfoHost::CInfoHost(const tagServerConfig& config)
    : m_config(config), m_listener(kRouteFrame, *this, config.limits) {}

bool CInfoHost::Start() {
    return m_listener.Start(m_config.listenAddress, m_config.infoPort);
}

void CInfoHost::OnPeerPacket(IServerPeer& peer, CKParam& packet) {
    if (packet.Command() != CMD_SERVER_INFO) {
        peer.Strike();
        return;
    }
    CKParam reply = MakeReply(CMD_SERVER_INFO_REPLY);
    reply.SetCString(12, m_config.identityText);
    reply.SetInt(13, m_config.identityNumber);
    reply.SetCString(30, m_config.publicHost);
    reply.SetInt(40, static_cast<int>(m_config.routePort));
    reply.SetInt(50, static_cast<int>(m_config.hallPort));
    peer.Send(reply);
}
