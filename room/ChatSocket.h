#pragma once
// The room connection: a CSocketClient for the room server. The hall owns two of them for the
// whole run, the main connection (every request and room command) and the second connection
// (voice and video, attached to the user's entry by request 650). Both route what they
// receive by the same rule: replies of the entry steps to the waiting dialog registered on the
// connection, the user-verified command to the entry, and everything else to the room window
// (or the private room window, when the connection serves it).

#include "protocol/SocketClient.h"

#include <QString>

class CChatSocket;
class CConnectDlg;
class CResponseDlg;

// A receiver of room packets: the room window's dispatcher, the private room window's.
class IRoomPacketSink {
public:
    virtual ~IRoomPacketSink() = default;
    // False while its window does not exist; packets are then not handed to it.
    virtual bool IsWindowOpen() const = 0;
    virtual void DispatchPacket(CKParam& packet) = 0;
};

// The owner of both connections (the entry, standing for the hall window).
class IChatSocketOwner {
public:
    virtual ~IChatSocketOwner() = default;
    // Command 120, the user was verified.
    virtual void OnUserVerified(CKParam& packet) = 0;
    // A connection closed and no connect dialog was waiting on it.
    virtual void OnChatSocketClosed(CChatSocket& socket, bool wasAttached) = 0;
};

class CChatSocket : public CSocketClient {
public:
    enum ERole : int { ROLE_MAIN = 0, ROLE_SECOND = 1 };
    enum ETarget : int { TARGET_ROOM = 0, TARGET_PRIVATE_ROOM = 1 };

    explicit CChatSocket(int role);
    ~CChatSocket() override;

    int Role() const { return m_role; }
    bool IsRoomConnected() const { return m_roomConnected; }
    int Target() const { return m_target; }
    void SetTarget(int target) { m_target = target; }
    bool IsAttached() const { return m_attached; }
    void SetAttached(bool attached) { m_attached = attached; }
    QString CloseReason() const { return m_closeReason; }
    void SetCloseReason(const QString& reason) { m_closeReason = reason; }

    void SetOwner(IChatSocketOwner* owner) { m_owner = owner; }
    void SetRoomWindow(IRoomPacketSink* room) { m_roomWindow = room; }
    void SetPrivateRoomWindow(IRoomPacketSink* room) { m_privateRoomWindow = room; }
    // The H.264 sender's parameter check (command -263), handed over after dispatch.
    void SetVideoParamSink(IRoomPacketSink* sink) { m_videoParams = sink; }
    IRoomPacketSink* VideoParamSink() const { return m_videoParams; }

    // Written by the dialogs themselves while they run on this connection.
    void SetWaitingDialog(CResponseDlg* dialog) { m_waitingDialog = dialog; }
    CResponseDlg* WaitingDialog() const { return m_waitingDialog; }
    void SetConnectDialog(CConnectDlg* dialog) { m_connectDialog = dialog; }
    CConnectDlg* ConnectDialog() const { return m_connectDialog; }

    int SendPacket(CKParam& packet) override { return KSend(packet); }

protected:
    int OnKConnect(int error) override;
    int OnKReceive(CKParam& packet) override;
    int OnKClose() override;

private:
    const int m_role;
    QString m_closeReason;
    bool m_roomConnected = false;
    IRoomPacketSink* m_roomWindow = nullptr;
    IRoomPacketSink* m_privateRoomWindow = nullptr;
    IRoomPacketSink* m_videoParams = nullptr;
    IChatSocketOwner* m_owner = nullptr;
    CResponseDlg* m_waitingDialog = nullptr;
    CConnectDlg* m_connectDialog = nullptr;
    int m_target = TARGET_ROOM;
    bool m_attached = false;
};
