#include "room/ChatSocket.h"

#include "core/WindowMessages.h"
#include "protocol/Commands.h"
#include "room/ConnectDlg.h"
#include "room/ResponseDlg.h"
#include "room/RoomTrace.h"

CChatSocket::CChatSocket(int role) : m_role(role) {}

CChatSocket::~CChatSocket() {
    // Closing here must not reach the owner: it may be half destroyed.
    m_owner = nullptr;
    KClose();
}

int CChatSocket::OnKConnect(int error) {
    if (error != 0) {
        if (m_connectDialog && m_connectDialog->IsOpen()) {
            m_connectDialog->EndDialog(IDCANCEL);
        }
        return 0;
    }
    RoomTrace("Connect Room Server Succeed!");
    m_roomConnected = true;
    if (m_connectDialog && m_connectDialog->IsOpen()) {
        m_connectDialog->EndDialog(IDOK);
    }
    return 0;
}

int CChatSocket::OnKReceive(CKParam& packet) {
    if (!m_roomConnected) {
        return 0;
    }
    const short code = packet.Command();
    if (code == CMD_KEEPALIVE) {
        return 0;
    }
    if (CommandHas(code, CF_DIALOG_REPLY) && m_waitingDialog) {
        m_waitingDialog->OnReply(packet);
    }
    switch (code) {
        case CMD_USER_VERIFIED:
            if (m_owner) {
                m_owner->OnUserVerified(packet);
            }
            break;
        case CMD_ATTACH_REPLY:
            if (packet.IntOr(KEY_RESULT, 0) == 0) {
                m_attached = true;
            }
            break;
        default:
            break;
    }
    // A handler above may have closed this connection; what it still delivers is stale.
    if (!m_roomConnected) {
        return 0;
    }
    if (m_target == TARGET_ROOM && m_roomWindow && m_roomWindow->IsWindowOpen()) {
        m_roomWindow->DispatchPacket(packet);
    }
    if (m_target == TARGET_ROOM && code == CMD_PEER_IN_PRIVATE_ROOM && m_privateRoomWindow &&
        m_privateRoomWindow->IsWindowOpen()) {
        m_privateRoomWindow->DispatchPacket(packet);
    }
    if (m_target == TARGET_PRIVATE_ROOM && CommandHas(code, CF_PRIVATE_ROOM) &&
        m_privateRoomWindow && m_privateRoomWindow->IsWindowOpen()) {
        m_privateRoomWindow->DispatchPacket(packet);
    }
    if (code == CMD_VIDEO_PARAMS && m_videoParams) {
        m_videoParams->DispatchPacket(packet);
    }
    return 0;
}

int CChatSocket::OnKClose() {
    m_roomConnected = false;
    const bool wasAttached = m_attached;
    m_attached = false;
    if (m_connectDialog && m_connectDialog->IsOpen()) {
        m_connectDialog->PostMessage(WM_CLOSE);
        return 0;
    }
    if (m_owner) {
        m_owner->OnChatSocketClosed(*this, wasAttached);
    }
    return 0;
}
