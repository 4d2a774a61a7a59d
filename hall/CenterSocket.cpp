#include "hall/CenterSocket.h"

#include "core/AppState.h"
#include "hall/HallPacket.h"
#include "hall/ReplySink.h"
#include "protocol/Commands.h"

CCenterSocket::CCenterSocket(IRequestOwner* owner, CAppState* state)
    : m_owner(owner), m_state(state) {}

CCenterSocket::~CCenterSocket() {
    KClose();
}

CAppState& CCenterSocket::State() const {
    return m_state ? *m_state : CAppState::Get();
}

int CCenterSocket::Request(CKParam& packet) {
    if (m_exchangeConnected) {
        KSend(packet);
        Sent();
        return 0;
    }
    if (KCreate() != 0) {
        return -1;
    }
    CopyPacket(m_pending, packet);
    const CAppState& state = State();
    // Until the server-information reply names the center's port, the configured one serves.
    const int port = state.center.tcpPort > 0 ? state.center.tcpPort : state.settings.serverTcpPort;
    KConnect(state.center.host, port);
    return 0;
}

int CCenterSocket::OnKConnect(int error) {
    if (error != 0) {
        m_exchangeConnected = false;
        Sent();
        return 0;
    }
    m_exchangeConnected = true;
    KSend(m_pending);
    m_pending.Release();
    Sent();
    return 0;
}

void CCenterSocket::Sent() {
    // The handler may close this connection: it runs last.
    if (m_onSent) {
        auto handler = m_onSent;
        handler();
    }
}

int CCenterSocket::OnKReceive(CKParam& reply) {
    if (!m_exchangeConnected) {
        return 0;
    }
    // One reply ends the exchange; the reply is read after the socket is gone.
    KClose();
    OnKClose();
    short command = 0;
    reply.GetShortInt(KEY_COMMAND, command);
    if (m_owner && command != CMD_KEEPALIVE) {
        m_owner->OnReply(reply);
    } else {
        IHallReplySink::Deliver(reply);
    }
    return 0;
}

int CCenterSocket::OnKClose() {
    m_exchangeConnected = false;
    return 0;
}
