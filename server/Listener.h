#pragma once
// A listening socket that adopts every connection it accepts as a server connection, hands
// their packets to one handler and tells it, from the event loop, when one has closed. The
// listener owns its connections and deletes a closed one only after the handler has heard.

#include "platform/AsyncSocket.h"
#include "platform/MessageWindow.h"
#include "protocol/FrameCodec.h"
#include "server/Admission.h"
#include "server/ServerConfig.h"
#include "server/ServerPeer.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class CServerConnection;

class CListener : public CAsyncSocket {
public:
    CListener(const tagFrameFormat& format, IPeerHandler& handler, const tagServerLimits& limits);
    ~CListener() override;

    // Port 0 lets the system choose; Port() then tells which.
    bool Start(const QString& address, unsigned port);
    unsigned Port() const { return m_port; }
    int ConnectionCount() const { return static_cast<int>(m_connections.size()); }
    // Closes every connection at once (the handler is told as usual).
    void DropAll();
    void ForEach(const std::function<void(CServerConnection&)>& visit);

protected:
    void OnAccept(int error) override;

private:
    friend class CServerConnection;
    class CReaper : public CMessageWindow {
    public:
        explicit CReaper(CListener& owner) : m_owner(owner) {}

    protected:
        intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;
        void OnTimer(unsigned id) override;

    private:
        CListener& m_owner;
    };

    void ScheduleReap(CServerConnection& connection);
    void Reap();
    // One timer for every connection's keep-alive and silence check, each connection's turn
    // spread over the ticks so that they do not all fall at once.
    void Tick();

    tagFrameFormat m_format;
    IPeerHandler& m_handler;
    tagServerLimits m_limits;
    unsigned m_port = 0;
    CAdmission m_admission{m_limits};
    std::map<uint64_t, std::unique_ptr<CServerConnection>> m_connections;
    std::vector<uint64_t> m_closed;
    bool m_reapPosted = false;
    unsigned m_ticks = 0;
    CReaper m_reaper{*this};
};
