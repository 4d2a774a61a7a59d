#pragma once
// The real service in the test's process: its own in-memory database with the demo data, on
// ports the system chooses, under a manual clock; and members that enter its rooms the way the
// client does, through the login, the entry and the second connection.

#include "platform/Clock.h"
#include "server/Service.h"
#include "tests/support/Loopback.h"

#include <chrono>
#include <memory>
#include <optional>

namespace tavotest {

// A member inside a room with both of its connections.
struct tagRoomGuest {
    CTestConnection main;
    CTestConnection second;
    QString id;
    int keyA = 0;
    int keyB = 0;
};

// The configuration the harness starts with: memory database, system-chosen ports, and the
// admin queue read only when a test says so.
tagServerConfig TestServiceConfig();

// Runs an admin command line ("seed", "add-account ...") on a store, as tavo-serverd admin does;
// its exit code, and what it printed in output.
int Admin(CStore& store, const QStringList& args, QString* output = nullptr);

class CServiceHarness {
public:
    explicit CServiceHarness(const tagServerConfig& config = TestServiceConfig());
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
    std::optional<CPacketCopy> Hall(CKParam&& request, short replyCommand,
                                    const QString& from = QString()) {
        return Hall(request, replyCommand, from);
    }
    // A visitor name for a machine, and the user number the hall gave with it.
    QString Visitor(const QString& machine, const QString& nickname = QString(),
                    int* number = nullptr);
    // The login request as the client builds it.
    static CKParam LoginRequest(const QString& user, const QString& password,
                                const QString& machine, const QString& visitor = QString());
    // Logs in; the reply, or nothing when none came.
    std::optional<CPacketCopy> Login(const QString& user, const QString& password,
                                     const QString& machine, const QString& visitor = QString(),
                                     const QString& from = QString());
    // Logs in (a visitor when there is no password) and enters the room. Null when any step
    // failed; refusal then holds the code of the step that refused.
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

// A hall request carrying the identity fields, as every hall request does; with an account's
// name and number when given.
CKParam HallRequest(short command, const QString& machine, const QString& name = QString(),
                    int number = 0);
// What a reply says: 0 when accepted, the refusal code when refused, -999 when no answer came.
int Outcome(const std::optional<CPacketCopy>& reply);
// A room request answered by R + 1, and its outcome.
int RoomRequest(CTestConnection& client, CKParam& request);
inline int RoomRequest(CTestConnection& client, CKParam&& request) {
    return RoomRequest(client, request);
}

}  // namespace tavotest
