#include "hall/KWinSocketLogin.h"

#include "hall/HallPacket.h"
#include "hall/ReplySink.h"
#include "protocol/Commands.h"

CKWinSocketLogin::CKWinSocketLogin() = default;

CKWinSocketLogin::~CKWinSocketLogin() {
    // Closing on the way out is not a connection lost before its reply: tell nobody.
    m_closeReported = true;
    KClose();
}

int CKWinSocketLogin::Connect(const QString& host, int port, const CKParam& request) {
    // An earlier connection is simply dropped; its owner has moved on.
    m_closeReported = true;
    KClose();
    CopyPacket(m_pending, request);
    m_replied = false;
    m_closeReported = false;
    if (KCreate() != 0) {
        m_closeReported = true;
        return -1;
    }
    // KConnect resolves a host name when the host is not a dotted address.
    if (KConnect(host, port) != 0) {
        // The attempt failed before it began: the caller hears it from the result, and the
        // waiting owner from an empty packet, as from any close before a reply.
        OnKClose();
        return -1;
    }
    return 0;
}

int CKWinSocketLogin::OnKConnect(int error) {
    if (error == 0 && m_pending.GetLength() > 0) {
        KSend(m_pending);
    }
    return 0;
}

int CKWinSocketLogin::OnKReceive(CKParam& packet) {
    const short command = packet.Command();
    if (command == CMD_KEEPALIVE) {
        KClose();
        OnKClose();
        return 0;
    }
    m_replied = true;
    if (CommandHas(command, CF_DIALOG_REPLY)) {
        if (m_owner) {
            m_owner->OnReply(packet);
        }
        return 0;
    }
    KClose();
    OnKClose();
    IHallReplySink::Deliver(packet);
    return 0;
}

int CKWinSocketLogin::OnKClose() {
    if (m_closeReported) {
        return 0;
    }
    m_closeReported = true;
    if (m_replied) {
        return 0;
    }
    CKParam empty;
    if (m_owner) {
        m_owner->OnReply(empty);
    }
    CKParam forHall;
    IHallReplySink::Deliver(forHall);
    return 0;
}
