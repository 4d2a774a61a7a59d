#include "server/InfoHost.h"

#include "protocol/Commands.h"
#include "protocol/keys/CenterKeys.h"
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
    reply.SetCString(ServerInfoReplyKey::IDENTITY_TEXT, m_config.identityText);
    reply.SetInt(ServerInfoReplyKey::IDENTITY_NUMBER, m_config.identityNumber);
    reply.SetCString(ServerInfoReplyKey::CENTER_HOST, m_config.publicHost);
    reply.SetInt(ServerInfoReplyKey::SERVER_PORT, static_cast<int>(m_config.routePort));
    reply.SetInt(ServerInfoReplyKey::TCP_PORT, static_cast<int>(m_config.hallPort));
    peer.Send(reply);
}
