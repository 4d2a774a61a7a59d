#pragma once
// The far end of a connection for tests: a listener on 127.0.0.1 (port chosen by the system)
// that accepts connections in either framing, keeps every packet it receives and lets the
// test answer, by hand or through a responder called for each packet.

#include "platform/AsyncSocket.h"
#include "protocol/FrameCodec.h"
#include "protocol/KParam.h"
#include "protocol/SocketClient.h"

#include <QByteArray>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace tavotest {

// A packet kept as bytes (packets are not copyable).
struct CPacketCopy {
    QByteArray bytes;
    short Command() const;
    // Loads the copy into a packet for reading.
    void Load(CKParam& packet) const;
};

class CLoopbackServer;

class CLoopbackPeer : public CSocketClient {
public:
    CLoopbackPeer(CLoopbackServer& server, const tagFrameFormat& format);
    std::vector<CPacketCopy> received;  // keep-alives included
    bool closed = false;
    // Packets received with this command (keep-alives are command 99).
    std::vector<CPacketCopy> WithCommand(short command) const;

protected:
    int OnKReceive(CKParam& packet) override;
    int OnKClose() override;
    int SendPacket(CKParam& packet) override { return KSend(packet); }

private:
    CLoopbackServer& m_server;
};

class CLoopbackServer : public CAsyncSocket {
public:
    using Responder = std::function<void(CLoopbackPeer& peer, CKParam& packet)>;

    explicit CLoopbackServer(const tagFrameFormat& format = kTcpFrame);
    ~CLoopbackServer() override;

    bool Start();
    unsigned Port() const { return m_port; }
    // Called for every packet but keep-alives.
    void SetResponder(Responder responder) { m_responder = std::move(responder); }

    int PeerCount() const { return static_cast<int>(m_peers.size()); }
    CLoopbackPeer& Peer(int i) { return *m_peers.at(static_cast<size_t>(i)); }
    CLoopbackPeer& LastPeer() { return *m_peers.back(); }
    // Every packet with that command from any peer, in arrival order per peer.
    std::vector<CPacketCopy> Received(short command) const;
    // Waits (running the event loop) for the n-th packet of a command from any peer.
    bool WaitFor(short command, int count = 1,
                 std::chrono::milliseconds limit = std::chrono::seconds(5));
    bool WaitForPeers(int count, std::chrono::milliseconds limit = std::chrono::seconds(5));

protected:
    void OnAccept(int error) override;

private:
    friend class CLoopbackPeer;
    tagFrameFormat m_format;
    unsigned m_port = 0;
    Responder m_responder;
    std::vector<std::unique_ptr<CLoopbackPeer>> m_peers;
};

}  // namespace tavotest
