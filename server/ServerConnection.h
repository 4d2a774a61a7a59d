#pragma once
// One accepted client. The protocol's connection class brings the framing, the keep-alive and
// the 40-second silence rule; this adds what a server needs on top: a send queue, so that a
// frame is never cut when a receiver's socket is full, a request budget per connection, and
// a count of protocol faults.

#include "protocol/FrameCodec.h"
#include "protocol/SocketClient.h"
#include "server/ServerConfig.h"
#include "server/ServerPeer.h"

#include <QByteArray>

#include <deque>

class CListener;

class CServerConnection : public CSocketClient, public IServerPeer {
public:
    CServerConnection(CListener& listener, const tagFrameFormat& format,
                      const tagServerLimits& limits);
    ~CServerConnection() override;

    // Starts the connection's machinery on a socket the listener accepted.
    void Adopt();

    int Send(const CKParam& packet, bool droppable = false) override;
    void Drop() override;
    bool IsOpen() const override { return IsConnect() && !m_dropped; }
    uint64_t PeerId() const override { return m_id; }
    QString PeerAddress() const override { return m_address; }
    bool Strike() override;

    int QueuedBytes() const { return m_queuedBytes; }
    int DroppedPackets() const { return m_droppedPackets; }

protected:
    int OnKReceive(CKParam& packet) override;
    int OnKSend(int error) override;
    int OnKClose() override;
    int SendPacket(CKParam& packet) override { return Send(packet); }

private:
    bool TakeRequestToken();
    // Writes what the queue holds until the socket would block. False when the socket failed.
    bool Flush();
    void Closed();

    CListener& m_listener;
    tagFrameFormat m_frame;
    tagServerLimits m_limits;
    uint64_t m_id;
    QString m_address;
    int m_sendSequence = 0;
    std::deque<QByteArray> m_queue;
    int m_frontOffset = 0;
    int m_queuedBytes = 0;
    int m_droppedPackets = 0;
    double m_tokens = 0;
    int64_t m_tokensAt = 0;
    int m_strikes = 0;
    bool m_dropped = false;
    bool m_reported = false;
};
