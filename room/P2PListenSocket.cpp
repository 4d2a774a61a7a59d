#include "room/P2PListenSocket.h"

#include "room/RoomTrace.h"

bool CP2PListenSocket::Open(const QString& address, unsigned port) {
    Close();
    if (!Create(port, FD_ALL_EVENTS, address)) {
        return false;
    }
    if (!Listen(kBacklog)) {
        Close();
        return false;
    }
    return true;
}

void CP2PListenSocket::OnAccept(int error) {
    if (error != 0) {
        return;
    }
    // A new connection takes the place of the old one, whatever state it was in.
    if (m_accepted.State() == CP2PSocket::P2P_IDLE || m_accepted.Handle() >= 0) {
        m_accepted.Shutdown();
    }
    if (!Accept(m_accepted)) {
        if (GetLastError() != WSAEWOULDBLOCK) {
            RoomTrace(
                QStringLiteral("P2P accept failed: %1").arg(GetLastError()).toUtf8().constData());
        }
        return;
    }
    QString address;
    unsigned port = 0;
    m_accepted.GetPeerName(address, port);
    m_accepted.Adopted(address);
}
