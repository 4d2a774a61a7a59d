#pragma once
// Drives the real service over loopback: the service with its own in-memory database and the
// demo data, started on ports the system chooses, under a manual clock; and client
// connections that speak the protocol the way the desktop client does.

#include "platform/AsyncSocket.h"
#include "platform/Clock.h"
#include "protocol/KParam.h"
#include "protocol/SocketClient.h"
#include "server/Service.h"
#include "tests/support/LoopbackServer.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

// Test failures print texts as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace tavotest {

class CTestClient : public CSocketClient {
public:
    CTestClient() = default;
    explicit CTestClient(const tagFrameFormat& format) : CSocketClient(format) {}

    // Connects to 127.0.0.1 and waits for the connection; from: another loopback address to
    // come from (127.0.0.2), so the service sees a second machine.
    bool Open(unsigned port, const QString& from = QString());
    int Send(CKParam& packet) { return KSend(packet); }
    // Sends a packet and waits for the first packet with the reply command that arrives after it.
    std::optional<CPacketCopy> Request(CKParam& packet, short replyCommand);
    bool WaitFor(short command, int count = 1,
                 std::chrono::milliseconds limit = std::chrono::seconds(5));
    bool WaitClosed(std::chrono::milliseconds limit = std::chrono::seconds(5));
    int Count(short command) const;
    // The packets with that command, oldest first.
    std::vector<CPacketCopy> All(short command) const;
    void Forget() { m_received.clear(); }
    bool Closed() const { return m_closed; }

protected:
    int OnKConnect(int error) override;
    int OnKReceive(CKParam& packet) override;
    int OnKClose() override;
    int SendPacket(CKParam& packet) override { return KSend(packet); }

private:
    std::vector<CPacketCopy> m_received;
    bool m_connected = false;
    bool m_closed = false;
};

// A connection that sends what it is given and nothing else: no keep-alive, no framing. What
// arrives is kept as it came.
class CRawClient : public CAsyncSocket {
public:
    bool Open(unsigned port);
    void Write(const QByteArray& bytes);
    QByteArray received;
    bool closed = false;

protected:
    void OnConnect(int error) override { m_connected = error == 0; }
    void OnReceive(int) override;
    void OnClose(int) override { closed = true; }

private:
    bool m_connected = false;
};

// A member inside a room with both of its connections.
struct tagRoomGuest {
    CTestClient main;
    CTestClient second;
    QString id;
    int keyA = 0;
    int keyB = 0;
};

// The configuration the harness starts the service with: loopback, ports of the system's
// choosing, an in-memory database, the admin queue read only when a test says so.
tagServerConfig TestConfig();

class CServiceHarness {
public:
    // Starts the service with the demo data; the manual clock stands for the system's.
    CServiceHarness();
    explicit CServiceHarness(const tagServerConfig& config);
    ~CServiceHarness();

    CManualClock& Clock() { return m_clock; }
    CTavoService& Service() { return *m_service; }
    unsigned HallPort() const { return m_service->Config().hallPort; }
    unsigned RoomPort() const { return m_service->Config().roomServers.front().mainPort; }
    unsigned SecondPort() const { return m_service->Config().roomServers.front().secondPort; }

    // One exchange on a fresh hall connection, as the client makes it (from another loopback
    // address when given).
    std::optional<CPacketCopy> Hall(CKParam& request, short replyCommand,
                                    const QString& from = QString());
    // A visitor name for a machine (request 37), and the user number the hall gave with it.
    QString Visitor(const QString& machine, const QString& nickname = QString(),
                    int* number = nullptr);
    // The login request (42) as the client builds it.
    static CKParam LoginRequest(const QString& user, const QString& password,
                                const QString& machine, const QString& visitor = QString());
    // Logs in (request 42); the reply, or nothing when none came.
    std::optional<CPacketCopy> Login(const QString& user, const QString& password,
                                     const QString& machine, const QString& visitor = QString(),
                                     const QString& from = QString());
    // Logs in or takes a visitor name and enters the room through 122, 120, 110 and 650. Null
    // when any step failed; refusal then holds the code of the step that refused.
    std::unique_ptr<tagRoomGuest> Enter(int room, const QString& user, const QString& password,
                                        const QString& machine, int* refusal = nullptr,
                                        const QString& roomPassword = QString());
    // Lets time pass in steps, running the event loop between them so keep-alives flow.
    void Pass(std::chrono::milliseconds time,
              std::chrono::milliseconds step = std::chrono::milliseconds(1000));

private:
    CManualClock m_clock;
    CScopedClock m_clockScope{m_clock};
    std::unique_ptr<CTavoService> m_service;
};

// Builds a hall request carrying the identity fields, as every hall request does.
CKParam HallRequest(short command, const QString& machine);
// A room request answered by R + 1: 0 when accepted, the refusal code when refused, -999 when
// no answer came.
int RoomRequest(CTestClient& client, CKParam& request);
// A packet holding only its command.
CKParam Packet(short command);
// Reads a text/int field of a packet copy.
QString TextOf(const CPacketCopy& copy, short key);
int IntOf(const CPacketCopy& copy, short key, int def = -12345);

}  // namespace tavotest
