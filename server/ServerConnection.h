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
#include <memory>

class CListener;
class CSendChannel;
class CSendPool;

class CServerConnection : public CSocketClient, public IServerPeer {
public:
    CServerConnection(CListener& listener, const tagFrameFormat& format,
                      const tagServerLimits& limits);
    ~CServerConnection() override;

    // Starts the connection's machinery on a socket the listener accepted.
    void Adopt();

    int Send(const CKParam& packet, bool droppable = false) override;
    int SendShared(const CSharedPacket& packet, bool droppable = false) override;
    void WriteOnThread(CSendPool& pool, IServerPeer* with) override;
    void Drop() override;
    bool IsOpen() const override { return IsConnect() && !m_dropped; }
    uint64_t PeerId() const override { return m_id; }
    QString PeerAddress() const override { return m_address; }
    bool Strike() override;

    int QueuedBytes() const;
    int DroppedPackets() const { return m_droppedPackets; }

protected:
    int OnKReceive(CKParam& packet) override;
    int OnKSend(int error) override;
    int OnKClose() override;
    int SendPacket(CKParam& packet) override { return Send(packet); }

private:
    bool TakeRequestToken();
    // 0: go on and send, 1: a droppable packet dropped, -1: the connection is gone.
    int Admit(bool droppable);
    // Hands a frame to the sending thread and drops a receiver too far behind.
    int Queue(tagOutFrame frame);
    // Writes what the queue holds until the socket would block. False when the socket failed.
    bool Flush();
    void Closed();

    CListener& m_listener;
    tagFrameFormat m_frame;
    tagServerLimits m_limits;
    uint64_t m_id;
    QString m_address;
    int m_sendSequence = 0;
    // Written by the event loop until a sending thread takes the connection over.
    std::deque<QByteArray> m_queue;
    CSendPool* m_pool = nullptr;
    std::shared_ptr<CSendChannel> m_channel;
    int m_frontOffset = 0;
    int m_queuedBytes = 0;
    int m_droppedPackets = 0;
    double m_tokens = 0;
    int64_t m_tokensAt = 0;
    int m_strikes = 0;
    bool m_dropped = false;
    bool m_reported = false;
};
