#include "room/ResponseDlg.h"

#include "core/WindowMessages.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "room/ChatSocket.h"
#include "room/RoomStrings.h"

namespace {

// The dialog builds these requests itself: the command alone.
bool BuildsOwnRequest(short code) {
    return code == CMD_MEMBER_LIST || code == CMD_PEER_INFO || code == CMD_ROOM_SETTINGS;
}

}  // namespace

CResponseDlg::CResponseDlg(CChatSocket* socket, short requestCode)
    : CDialogModel(IDD), m_socket(socket), m_code(requestCode) {}

CResponseDlg::~CResponseDlg() {
    Unregister();
}

QString CResponseDlg::TitleFor(short requestCode) {
    const tagCommandInfo* c = FindCommand(requestCode);
    return c && c->title ? LoadString(c->title) : QString();
}

void CResponseDlg::SetRequest(const CKParam& request) {
    m_request.SetBufferPtr(request.GetBufferPtr(), request.GetLength());
}

void CResponseDlg::Unregister() {
    if (m_socket && m_socket->WaitingDialog() == this) {
        m_socket->SetWaitingDialog(nullptr);
    }
}

void CResponseDlg::OnInitDialog() {
    m_reply.Release();
    m_errorCode = 0;
    m_errorText.clear();
    if (m_socket) {
        m_socket->SetWaitingDialog(this);
    }
    SetTitle(TitleFor(m_code));
    SetStatusText(Title() + LoadString(IDS_WAIT_SUFFIX));
}

void CResponseDlg::OnShowDialog() {
    if (!m_socket || !m_socket->IsRoomConnected()) {
        SetTitle(LoadString(IDS_CONNECTION_CLOSED_TITLE));
        MessageBox(LoadString(IDS_CONNECTION_CLOSED), QStringLiteral("Warning"),
                   MB_ICONINFORMATION | MB_TOPMOST);
        PostMessage(WM_END_CANCEL);
        return;
    }
    CKParam request;
    if (BuildsOwnRequest(m_code)) {
        request.SetShortInt(KEY_COMMAND, m_code);
    } else {
        request.SetBufferPtr(m_request.GetBufferPtr(), m_request.GetLength());
    }
    m_socket->SendPacket(request);
    SetTimer(TIMER_REPLY, kReplyTimeoutMs);
}

void CResponseDlg::OnReply(CKParam& reply) {
    if (!IsOpen()) {
        return;
    }
    KillTimer(TIMER_REPLY);
    m_reply.SetBufferPtr(reply.GetBufferPtr(), reply.GetLength());
    if (reply.IntOr(KEY_RESULT, 0) != -1) {
        EndDialog(IDOK);
        return;
    }
    m_errorCode = reply.IntOr(KEY_REFUSAL, 0);
    m_errorText = RefusalText(m_errorCode);
    EndDialog(IDCANCEL);
}

void CResponseDlg::OnTimer(unsigned id) {
    if (id != TIMER_REPLY) {
        return;
    }
    KillTimer(TIMER_REPLY);
    m_errorText = LoadString(IDS_REQUEST_TIMEOUT);
    MessageBox(m_errorText, QStringLiteral("Warning"), MB_ICONINFORMATION | MB_TOPMOST);
    EndDialog(IDCANCEL);
}

intptr_t CResponseDlg::OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    if (msg == WM_END_CANCEL) {
        EndDialog(IDCANCEL);
    }
    return 0;
}
