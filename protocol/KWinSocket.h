#pragma once
// The second route's connection: the same packets in frames without the time field (marker,
// packet, check value), a sequence field but no clock field on what it sends, and a read loop
// that stops gathering after 100000 bytes or 5 seconds.

#include "protocol/SocketClient.h"

class CKWinSocket : public CSocketClient {
public:
    CKWinSocket();

protected:
    int SendPacket(CKParam& packet) override { return KSend(packet); }
    QString WindowName() const override { return m_windowName; }

private:
    QString m_windowName;
};
