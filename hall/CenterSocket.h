#pragma once
// One short exchange with the hall (center) server: connect, send one request, take one reply,
// close. The reply goes to the owner (a request dialog) or, without one, to the hall window.
// Every user of a center connection keeps its own instance for the whole run.

#include "protocol/KParam.h"
#include "protocol/SocketClient.h"

#include <functional>

class CAppState;
class IRequestOwner;

class CCenterSocket : public CSocketClient {
public:
    // state: where the center host and port are read; nullptr means the process-wide state.
    explicit CCenterSocket(IRequestOwner* owner = nullptr, CAppState* state = nullptr);
    ~CCenterSocket() override;

    void SetOwner(IRequestOwner* owner) { m_owner = owner; }
    IRequestOwner* Owner() const { return m_owner; }

    // Sends at once on an open exchange; otherwise connects and sends when the connection is
    // up. -1 when no socket could be made.
    int Request(CKParam& packet);
    // Told once each request has gone out, or its connection could not be made.
    void SetSentHandler(std::function<void()> handler) { m_onSent = std::move(handler); }

protected:
    int OnKConnect(int error) override;
    int OnKReceive(CKParam& reply) override;
    int OnKClose() override;
    int SendPacket(CKParam& packet) override { return KSend(packet); }

private:
    CAppState& State() const;
    void Sent();

    IRequestOwner* m_owner;
    CAppState* m_state;
    bool m_exchangeConnected = false;
    CKParam m_pending;
    std::function<void()> m_onSent;
};
