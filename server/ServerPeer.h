#pragma once
// What a request handler sees of a client: a place to send packets and a way to end the
// connection. Handlers never hold sockets, so the same handlers run over real connections and
// over the in-memory peers of the fuzzer.

#include "server/SharedPacket.h"

#include <QString>

#include <cstdint>

class CKParam;
class CSendPool;

class IServerPeer {
public:
    virtual ~IServerPeer() = default;
    // Sends a copy of the packet with this connection's sequence and clock fields. Voice and
    // video are droppable: a receiver too far behind loses them whole, never half a frame.
    // 0 sent or queued, 1 dropped, -1 the connection is gone.
    virtual int Send(const CKParam& packet, bool droppable = false) = 0;
    // The same for a packet going to many receivers: a connection written by a sending thread
    // shares the packet's bytes instead of copying them.
    virtual int SendShared(const CSharedPacket& packet, bool droppable = false) {
        return Send(packet.Packet(), droppable);
    }
    // From now on a thread of the pool writes this connection: the thread that writes `with`
    // when given, so that one member's two connections keep one order. A peer without a
    // socket of its own ignores it.
    virtual void WriteOnThread(CSendPool& pool, IServerPeer* with) {}
    // Ends the connection. The handler hears of it later, from the event loop, never from
    // inside the call that dropped it.
    virtual void Drop() = 0;
    virtual bool IsOpen() const = 0;
    virtual uint64_t PeerId() const = 0;
    virtual QString PeerAddress() const = 0;
    // Counts a protocol fault (an unknown command, a request out of order); too many drop the
    // connection. True when it was dropped.
    virtual bool Strike() = 0;
};

class IPeerHandler {
public:
    virtual ~IPeerHandler() = default;
    virtual void OnPeerPacket(IServerPeer& peer, CKParam& packet) = 0;
    virtual void OnPeerClosed(IServerPeer& peer) = 0;
};
