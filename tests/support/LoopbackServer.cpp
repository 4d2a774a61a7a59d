#include "tests/support/LoopbackServer.h"

#include "protocol/Commands.h"
#include "tests/support/TestSupport.h"

namespace tavotest {

short CPacketCopy::Command() const {
    CKParam packet;
    Load(packet);
    return packet.Command();
}

void CPacketCopy::Load(CKParam& packet) const {
    packet.SetBufferPtr(bytes.constData(), static_cast<int>(bytes.size()));
}

CLoopbackPeer::CLoopbackPeer(CLoopbackServer& server, const tagFrameFormat& format)
    : CSocketClient(format), m_server(server) {}

std::vector<CPacketCopy> CLoopbackPeer::WithCommand(short command) const {
    std::vector<CPacketCopy> out;
    for (const auto& p : received) {
        if (p.Command() == command) {
            out.push_back(p);
        }
    }
    return out;
}

int CLoopbackPeer::OnKReceive(CKParam& packet) {
    received.push_back({QByteArray(packet.GetBufferPtr(), packet.GetLength())});
    if (packet.Command() != CMD_KEEPALIVE && m_server.m_responder) {
        m_server.m_responder(*this, packet);
    }
    return 0;
}

int CLoopbackPeer::OnKClose() {
    closed = true;
    return 0;
}

CLoopbackServer::CLoopbackServer(const tagFrameFormat& format) : m_format(format) {}

CLoopbackServer::~CLoopbackServer() {
    Close();
}

bool CLoopbackServer::Start() {
    if (!Create(0, FD_ACCEPT, QStringLiteral("127.0.0.1")) || !Listen()) {
        return false;
    }
    QString address;
    return GetSockName(address, m_port);
}

void CLoopbackServer::OnAccept(int error) {
    auto peer = std::make_unique<CLoopbackPeer>(*this, m_format);
    if (Accept(*peer)) {
        peer->SetAccepted();
        m_peers.push_back(std::move(peer));
    }
}

std::vector<CPacketCopy> CLoopbackServer::Received(short command) const {
    std::vector<CPacketCopy> out;
    for (const auto& peer : m_peers) {
        for (auto& p : peer->WithCommand(command)) {
            out.push_back(std::move(p));
        }
    }
    return out;
}

bool CLoopbackServer::WaitFor(short command, int count, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return static_cast<int>(Received(command).size()) >= count; }, limit);
}

bool CLoopbackServer::WaitForPeers(int count, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return PeerCount() >= count; }, limit);
}

}  // namespace tavotest
