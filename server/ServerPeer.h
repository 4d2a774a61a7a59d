#pragma once
// What a request handler sees of a client: a place to send packets and a way to end the
// connection. Handlers never hold sockets, so the same handlers run over real connections and
// over the in-memory peers of the fuzzer.

#include <QString>

#include <cstdint>

class CKParam;

class IServerPeer {
public:
    virtual ~IServerPeer() = default;
    // Sends a copy of the packet with this connection's sequence and clock fields. Voice and
    // video are droppable: a receiver too far behind loses them whole, never half a frame.
    // 0 sent or queued, 1 dropped, -1 the connection is gone.
    virtual int Send(const CKParam& packet, bool droppable = false) = 0;
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
