#include "tests/support/ServiceHarness.h"

#include "platform/CodePage.h"
#include "protocol/Commands.h"
#include "protocol/LoginCipher.h"
#include "server/AdminCommands.h"
#include "server/Seed.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace tavotest {

tagServerConfig TestServiceConfig() {
    tagServerConfig config;
    config.databasePath = QStringLiteral(":memory:");
    config.infoPort = config.hallPort = config.routePort = 0;
    config.roomServers = {{0, 0}};
    config.webPort = 0;
    config.adminPollMs = 0;
    // Passwords cheaper to check than a real service keeps them: the logic is the same.
    config.passwordCost = 8;
    return config;
}

CServiceHarness::CServiceHarness(const tagServerConfig& config) {
    m_service = std::make_unique<CTavoService>(config);
    QString error;
    EXPECT_TRUE(m_service->Store().Open(config.databasePath, &error)) << error.toStdString();
    if (m_service->Store().Accounts().empty()) {
        EXPECT_TRUE(SeedDemoData(m_service->Store()));
    }
    EXPECT_TRUE(m_service->Start(&error)) << error.toStdString();
}

CServiceHarness::~CServiceHarness() {
    // Everything that started a timer on the manual clock goes before the clock does.
    m_service.reset();
    Spin(std::chrono::milliseconds(1));
}

void CServiceHarness::Pass(std::chrono::milliseconds time, std::chrono::milliseconds step) {
    for (auto left = time; left.count() > 0; left -= step) {
        m_clock.Advance(std::min(step, left).count());
        Spin(std::chrono::milliseconds(2));
    }
}

namespace {

// The identity fields every hall request ends with.
CKParam WithIdentity(CKParam p, const QString& machine) {
    return With(std::move(p), {{104, "tavo"}, {105, 1}, {106, machine}});
}

}  // namespace

CKParam HallRequest(short command, const QString& machine, const QString& name, int number) {
    return WithIdentity(
        name.isEmpty() ? Packet(command) : Packet(command, {{20, name}, {30, number}}), machine);
}

int Outcome(const std::optional<CPacketCopy>& reply) {
    if (!reply) {
        return -999;
    }
    return IntOf(*reply, KEY_RESULT) == 0 ? 0 : IntOf(*reply, KEY_REFUSAL);
}

int RoomRequest(CTestConnection& client, CKParam& request) {
    return Outcome(client.Request(request, static_cast<short>(request.Command() + 1)));
}

std::optional<CPacketCopy> CServiceHarness::Hall(CKParam& request, short replyCommand,
                                                 const QString& from) {
    CTestConnection client;
    if (!client.Open(HallPort(), from)) {
        return std::nullopt;
    }
    auto reply = client.Request(request, replyCommand);
    client.KClose();
    return reply;
}

QString CServiceHarness::Visitor(const QString& machine, const QString& nickname, int* number) {
    auto reply = Hall(With(HallRequest(CMD_VISITOR, machine), {{20, nickname}}), CMD_VISITOR_REPLY);
    if (number) {
        *number = reply ? IntOf(*reply, 40) : -1;
    }
    return reply ? TextOf(*reply, 30) : QString();
}

std::optional<CPacketCopy> CServiceHarness::Login(const QString& user, const QString& password,
                                                  const QString& machine, const QString& visitor,
                                                  const QString& from) {
    return Hall(LoginRequest(user, password, machine, visitor), CMD_LOGIN_REPLY, from);
}

CKParam CServiceHarness::LoginRequest(const QString& user, const QString& password,
                                      const QString& machine, const QString& visitor) {
    const QString text = QStringLiteral("%1 %2 %3").arg(user, password, visitor);
    const QByteArray block = EncipherCredentials(ToAnsi(text));
    CKParam request = Packet(CMD_LOGIN, {{20, static_cast<int>(text.size())}});
    request.SetChar(30, block.constData(), static_cast<unsigned short>(block.size()));
    return WithIdentity(With(std::move(request), {{40, -1}}), machine);
}

std::unique_ptr<tagRoomGuest> CServiceHarness::Enter(int room, const QString& user,
                                                     const QString& password,
                                                     const QString& machine, int* refusal,
                                                     const QString& roomPassword) {
    auto fail = [&](const std::optional<CPacketCopy>& reply) {
        if (refusal) {
            *refusal = reply ? IntOf(*reply, KEY_REFUSAL, 0) : 0;
        }
        return nullptr;
    };
    auto guest = std::make_unique<tagRoomGuest>();
    int number = -1;
    if (password.isEmpty()) {
        guest->id = Visitor(machine, user, &number);
    } else {
        auto login = Login(user, password, machine);
        if (!login || IntOf(*login, KEY_RESULT) != 0) {
            return fail(login);
        }
        guest->id = TextOf(*login, 40);
        number = IntOf(*login, 30);
    }
    if (!guest->main.Open(RoomPort())) {
        return fail(std::nullopt);
    }
    auto loggedIn = guest->main.Request(Packet(CMD_ROOM_LOGIN, {{20, guest->id},
                                                                {30, number},
                                                                {40, room},
                                                                {50, true},
                                                                {60, true},
                                                                {70, "127.0.0.1"},
                                                                {101, "127.0.0.1"},
                                                                {102, 0},
                                                                {80, machine},
                                                                {90, 100}}),
                                        CMD_ROOM_LOGIN_REPLY);
    if (!loggedIn || IntOf(*loggedIn, KEY_RESULT) != 0) {
        return fail(loggedIn);
    }
    if (!guest->main.WaitFor(CMD_USER_VERIFIED)) {
        return fail(std::nullopt);
    }
    auto entered = guest->main.Request(
        Packet(CMD_ENTER, {{20, false}, {30, roomPassword}, {101, "127.0.0.1"}, {102, 0}}),
        CMD_ENTER_REPLY);
    if (!entered || IntOf(*entered, KEY_RESULT) != 0) {
        return fail(entered);
    }
    guest->keyA = IntOf(*entered, 30);
    guest->keyB = IntOf(*entered, 40);
    if (!guest->second.Open(static_cast<unsigned>(IntOf(*entered, 50)))) {
        return fail(std::nullopt);
    }
    auto attached = guest->second.Request(
        Packet(CMD_ATTACH, {{20, guest->keyA}, {30, guest->id}, {40, guest->keyB}}),
        CMD_ATTACH_REPLY);
    if (!attached || IntOf(*attached, KEY_RESULT) != 0) {
        return fail(attached);
    }
    if (refusal) {
        *refusal = 0;
    }
    return guest;
}

int Admin(CStore& store, const QStringList& args, QString* output) {
    QString text;
    QTextStream out(&text);
    const int rc = RunAdminCommand(store, args, out);
    out.flush();
    if (output) {
        *output = text;
    }
    return rc;
}

}  // namespace tavotest
