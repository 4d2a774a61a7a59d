#pragma once
// The direct link between the two members of a private room. Each side listens on port 26487
// (CP2PListenSocket) and may connect out to the other; a link is used only once the side that
// connected out has sent 876. The side that accepted acts on nothing the peer sends before
// that: until then anybody could have connected.
//
// What a confirmed link carries: the peer's audio (460) and video (470), and the file
// transfer's packets; 97 is the peer closing the link. Everything else is ignored.

#include "protocol/SocketClient.h"

#include <QString>

class CP2PSocket;

// The private room, as the direct link sees it.
class IP2POwner {
public:
    virtual ~IP2POwner() = default;
    // A packet of the confirmed link: audio, video or the file transfer's.
    virtual void OnP2PPacket(CP2PSocket& link, CKParam& packet) = 0;
    // A line for the private room's chat view: the link came up or the peer closed it, or the
    // link could not even be opened.
    virtual void OnP2PNotice(const QString& text) = 0;
    // The link's state changed (confirmed, or closed): what goes where may change with it.
    virtual void OnP2PStateChanged(CP2PSocket& link) {}
    // The socket can take bytes again after refusing some.
    virtual void OnP2PWritable(CP2PSocket& link) {}
};

class CP2PSocket : public CSocketClient {
public:
    static constexpr int kPort = 26487;
    enum EState : int {
        P2P_IDLE = 10,
        P2P_CONNECTING = 20,
        P2P_UNCONFIRMED = 25,  // connected, 876 not yet received
        P2P_ESTABLISHED = 30,
    };

    explicit CP2PSocket(IP2POwner* owner = nullptr);
    ~CP2PSocket() override;

    void SetOwner(IP2POwner* owner) { m_owner = owner; }
    int State() const { return m_state; }
    bool IsEstablished() const { return m_state == P2P_ESTABLISHED; }
    // The dotted address of a peer this socket accepted.
    QString PeerAddress() const { return m_peerAddress; }

    // Connects out to the peer's listening port, only from the idle state. localAddress binds
    // our end to one of this machine's addresses (empty: any). 0 under way, -1 not tried or
    // failed at once.
    int ConnectTo(const QString& target, const QString& localAddress = QString(), int port = kPort);
    // Takes a connection the listening socket accepted into this one: the peer must confirm
    // before anything it sends is used.
    void Adopted(const QString& peerAddress);
    // Ends the link: the peer hears 97 when the link was confirmed. State idle.
    void Shutdown();

    int SendPacket(CKParam& packet) override { return KSend(packet); }

protected:
    int OnKConnect(int error) override;
    int OnKReceive(CKParam& packet) override;
    int OnKSend(int error) override;
    int OnKClose() override;

private:
    void SetState(int state);
    void Notice(int stringId);

    IP2POwner* m_owner;
    int m_state = P2P_IDLE;
    QString m_peerAddress;
};

// The address to connect out to, from the reported addresses (as the service saw each side)
// and the peer's own local address: the peer's local address when both sides are behind the
// same address, its reported address when that is its own (nothing between it and us), and
// nothing otherwise: the peer may still connect in.
QString P2PTarget(const QString& ownReported, const QString& peerReported,
                  const QString& peerLocal);

// Where video goes: the first confirmed link of the two, otherwise the second room connection
// when it is connected; null when neither can carry it.
CSocketClient* MediaPath(CP2PSocket& outgoing, CP2PSocket& accepted, CSocketClient& second);
