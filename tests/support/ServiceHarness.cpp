#include "tests/support/ServiceHarness.h"

#include "platform/CodePage.h"
#include "protocol/Commands.h"
#include "protocol/LoginCipher.h"
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

CKParam HallRequest(short command, const QString& machine, const QString& name, int number) {
    CKParam p = Packet(command);
    if (!name.isEmpty()) {
        p.SetCString(20, name);
        p.SetInt(30, number);
    }
    p.SetCString(104, QStringLiteral("tavo"));
    p.SetInt(105, 1);
    p.SetCString(106, machine);
    return p;
}

int RoomRequest(CTestConnection& client, CKParam& request) {
    auto reply = client.Request(request, static_cast<short>(request.Command() + 1));
    if (!reply) {
        return -999;
    }
    return IntOf(*reply, KEY_RESULT) == -1 ? IntOf(*reply, KEY_REFUSAL) : 0;
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
    CKParam request = Packet(CMD_LOGIN);
    request.SetInt(20, static_cast<int>(text.size()));
    request.SetChar(30, block.constData(), static_cast<unsigned short>(block.size()));
    request.SetInt(40, -1);
    request.SetCString(104, QStringLiteral("tavo"));
    request.SetInt(105, 1);
    request.SetCString(106, machine);
    return request;
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
    CKParam login = Packet(CMD_ROOM_LOGIN);
    login.SetCString(20, guest->id);
    login.SetInt(30, number);
    login.SetInt(40, room);
    login.SetBoolean(50, true);
    login.SetBoolean(60, true);
    login.SetCString(70, QStringLiteral("127.0.0.1"));
    login.SetCString(101, QStringLiteral("127.0.0.1"));
    login.SetInt(102, 0);
    login.SetCString(80, machine);
    login.SetInt(90, 100);
    auto loggedIn = guest->main.Request(login, CMD_ROOM_LOGIN_REPLY);
    if (!loggedIn || IntOf(*loggedIn, KEY_RESULT) != 0) {
        return fail(loggedIn);
    }
    if (!guest->main.WaitFor(CMD_USER_VERIFIED)) {
        return fail(std::nullopt);
    }
    CKParam enter = Packet(CMD_ENTER);
    enter.SetBoolean(20, false);
    enter.SetCString(30, roomPassword);
    enter.SetCString(101, QStringLiteral("127.0.0.1"));
    enter.SetInt(102, 0);
    auto entered = guest->main.Request(enter, CMD_ENTER_REPLY);
    if (!entered || IntOf(*entered, KEY_RESULT) != 0) {
        return fail(entered);
    }
    guest->keyA = IntOf(*entered, 30);
    guest->keyB = IntOf(*entered, 40);
    if (!guest->second.Open(static_cast<unsigned>(IntOf(*entered, 50)))) {
        return fail(std::nullopt);
    }
    CKParam attach = Packet(CMD_ATTACH);
    attach.SetInt(20, guest->keyA);
    attach.SetCString(30, guest->id);
    attach.SetInt(40, guest->keyB);
    auto attached = guest->second.Request(attach, CMD_ATTACH_REPLY);
    if (!attached || IntOf(*attached, KEY_RESULT) != 0) {
        return fail(attached);
    }
    if (refusal) {
        *refusal = 0;
    }
    return guest;
}

}  // namespace tavotest
