#pragma once
// The second route to the hall: the request dialog uses it for the server-information request
// (3100) and for creating a room (642). It connects, sends its request once the connection is
// up and routes each reply by command: the replies a request dialog waits for go to the owner
// and keep the connection; a keep-alive closes it; anything else goes to the hall window and
// closes it. A connection that closes before any reply leaves both the owner and the hall
// window an empty packet, so a waiting dialog ends at once instead of at its time-out.

#include "protocol/KParam.h"
#include "protocol/KWinSocket.h"

class IRequestOwner;

class CKWinSocketLogin : public CKWinSocket {
public:
    CKWinSocketLogin();
    ~CKWinSocketLogin() override;

    void SetOwner(IRequestOwner* owner) { m_owner = owner; }
    IRequestOwner* Owner() const { return m_owner; }

    // Closes any earlier connection, then connects and sends request when the connection is up.
    // 0 when the attempt is under way, -1 when it failed at once (no packets follow).
    int Connect(const QString& host, int port, const CKParam& request);

    // Whether a reply came back on the current connection.

protected:
    int OnKConnect(int error) override;
    int OnKReceive(CKParam& packet) override;
    int OnKClose() override;

private:
    IRequestOwner* m_owner = nullptr;
    CKParam m_pending;
    bool m_replied = false;
    bool m_closeReported = true;  // the current attempt's close was already told
};
