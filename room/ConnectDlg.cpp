#include "room/ConnectDlg.h"

#include "core/WindowMessages.h"
#include "platform/CodePage.h"
#include "room/ChatSocket.h"

CConnectDlg::CConnectDlg(CChatSocket* socket, const QString& host, int port)
    : CDialogModel(IDD), m_socket(socket), m_host(host), m_port(port) {}

CConnectDlg::~CConnectDlg() {
    if (m_socket && m_socket->ConnectDialog() == this) {
        m_socket->SetConnectDialog(nullptr);
    }
}

void CConnectDlg::OnInitDialog() {
    m_socket->SetConnectDialog(this);
    // The host travels in the ANSI code page; a name that does not survive it cannot connect.
    const QString host = FromAnsi(ToAnsi(m_host));
    SetTimer(TIMER_GIVE_UP, kGiveUpMs);
    if (m_socket->KConnect(host, m_port) != 0) {
        // The attempt failed at once and the connection closed itself: nothing will come.
        EndDialog(IDCANCEL);
    }
}

void CConnectDlg::OnTimer(unsigned id) {
    if (id == TIMER_GIVE_UP) {
        KillTimer(TIMER_GIVE_UP);
        EndDialog(IDCANCEL);
    }
}

intptr_t CConnectDlg::OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    if (msg == WM_CLOSE) {
        OnCancel();
    }
    return 0;
}
