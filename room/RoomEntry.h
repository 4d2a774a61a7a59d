#pragma once
// The room side the hall window owns: both room connections, the room controller, and the
// entry from the chosen room to the open room window (connect, room login, verification,
// entry request, second connection), the refusals on the way, switching rooms, leaving, and
// what happens when a connection drops.

#include "core/RoomGateway.h"
#include "platform/MessageWindow.h"
#include "protocol/KParam.h"
#include "room/ChatSocket.h"
#include "room/PrivateRoomDlg.h"
#include "room/RoomDlg.h"

#include <QString>

class CResponseDlg;

class CRoomEntry : public CMessageWindow,
                   public IRoomEntry,
                   public IChatSocketOwner,
                   public IRoomHost {
public:
    explicit CRoomEntry(IHallServices& hall);
    ~CRoomEntry() override;

    // IRoomEntry
    void OnRoomMessage(unsigned wParam, long lParam) override;
    void OnRetryEntry(bool pay) override;
    void OnRoomAddress(CKParam& reply) override;
    void OnUserVerified(CKParam& packet) override;
    void OnVerifyTimeout() override;
    bool IsRoomOpen() const override { return m_room.IsWindow(); }
    bool IsPrivateRoomOpen() const override { return m_private.IsWindow(); }

    // IChatSocketOwner
    void OnChatSocketClosed(CChatSocket& socket, bool wasAttached) override;

    // IRoomHost
    CChatSocket& MainConnection() override { return m_main; }
    CChatSocket& SecondConnection() override { return m_second; }
    int NextRoom() const override { return m_nextRoom; }
    void PostToHall(unsigned msg, unsigned wParam, long lParam) override;

    CRoomDlg& Room() { return m_room; }
    CPrivateRoomDlg& PrivateRoom() { return m_private; }
    // The hall chose a room (WM_HALL_ROOM with wParam 1).
    void EnterRoom(int room);
    // The room was left for the private room with that peer (WM_HALL_ROOM with wParam 2).
    void EnterPrivateRoom(int peer);
    // Connects and attaches the second connection: 0, or -1 when it failed.
    int ConnectSecond();

protected:
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

private:
    void CloseConnections();
    void ShutMain();
    int ConnectMain(const QString& host, int port);
    void HandleRoomAddress();
    void HandleUserVerified();
    void RoomLogin(int room);
    void RunEnterRequest(bool pay, const QString& password);
    void Entered(const CKParam& reply);
    void EntryRefused(const CResponseDlg& dialog);
    void Fail(const QString& text);
    void SetBothTargets(int target);

    IHallServices& m_hall;
    CChatSocket m_main{CChatSocket::ROLE_MAIN};
    CChatSocket m_second{CChatSocket::ROLE_SECOND};
    CRoomDlg m_room{*this};
    CPrivateRoomDlg m_private{*this};
    int m_nextRoom = 0;
    int m_enteringRoom = 0;
    // An entry asked the hall where its room is and waits for the answer.
    bool m_awaitingAddress = false;
    QString m_host;
    int m_secondPort = 0;
    QString m_password;
    CKParam m_pendingAddress;
    CKParam m_pendingVerified;
    int m_key23 = 0;
};
