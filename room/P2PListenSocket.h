#pragma once
// The private room's listening socket for the direct link: port 26487, a backlog of 5. Each
// connection it accepts replaces whatever the private room's accepted link held.

#include "platform/AsyncSocket.h"
#include "room/P2PSocket.h"

#include <QString>

class CP2PListenSocket : public CAsyncSocket {
public:
    static constexpr int kBacklog = 5;

    explicit CP2PListenSocket(CP2PSocket& accepted) : m_accepted(accepted) {}

    // Listens on the port, on one address of this machine (empty: all of them). False when the
    // port cannot be had.
    bool Open(const QString& address = QString(), unsigned port = CP2PSocket::kPort);
    bool IsOpen() const { return Handle() >= 0; }

protected:
    void OnAccept(int error) override;

private:
    CP2PSocket& m_accepted;
};
