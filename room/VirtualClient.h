#pragma once
// A mic guard: a connection of its own to the room's server that enters the room under a
// nickname the user chose and then stays silent. What it receives is not acted on.

#include "protocol/SocketClient.h"

#include <QString>

class CVirtualClient : public CSocketClient {
public:
    CVirtualClient() = default;
    ~CVirtualClient() override;

    QString Nickname() const { return m_nickname; }
    void SetNickname(const QString& nickname) { m_nickname = nickname; }
    int Room() const { return m_room; }
    void SetRoom(int room) { m_room = room; }

    int SendPacket(CKParam& packet) override { return KSend(packet); }

protected:
    // Connected: the enter packet goes out once.
    int OnKConnect(int error) override;

private:
    QString m_nickname;
    int m_room = 0;
};
