#include "tests/server/ServerHarness.h"

#include "platform/CodePage.h"
#include "protocol/Commands.h"
#include "protocol/LoginCipher.h"
#include "server/Seed.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tavotest {

bool CTestClient::Open(unsigned port, const QString& from) {
    m_connected = false;
    m_closed = false;
    if (KCreate() != 0) {
        return false;
    }
    if (!from.isEmpty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (::inet_pton(AF_INET, from.toLatin1().constData(), &local.sin_addr) != 1 ||
            ::bind(Handle(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            return false;
        }
    }
    if (KConnect(QStringLiteral("127.0.0.1"), static_cast<int>(port)) != 0) {
        return false;
    }
    return WaitUntil([&] { return m_connected || m_closed; }) && m_connected;
}

int CTestClient::OnKConnect(int error) {
    m_connected = error == 0;
    return 0;
}

int CTestClient::OnKReceive(CKParam& packet) {
    m_received.push_back({QByteArray(packet.GetBufferPtr(), packet.GetLength())});
    return 0;
}

int CTestClient::OnKClose() {
    m_closed = true;
    return 0;
}

std::optional<CPacketCopy> CTestClient::Request(CKParam& packet, short replyCommand) {
    const int before = Count(replyCommand);
    if (Send(packet) != 0 || !WaitFor(replyCommand, before + 1)) {
        return std::nullopt;
    }
    return All(replyCommand)[static_cast<size_t>(before)];
}

bool CTestClient::WaitFor(short command, int count, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return Count(command) >= count; }, limit);
}

bool CTestClient::WaitClosed(std::chrono::milliseconds limit) {
    return WaitUntil([&] { return m_closed; }, limit);
}

int CTestClient::Count(short command) const {
    int n = 0;
    for (const auto& p : m_received) {
        n += p.Command() == command ? 1 : 0;
    }
    return n;
}

std::vector<CPacketCopy> CTestClient::All(short command) const {
    std::vector<CPacketCopy> out;
    for (const auto& p : m_received) {
        if (p.Command() == command) {
            out.push_back(p);
        }
    }
    return out;
}

bool CRawClient::Open(unsigned port) {
    if (!Create() ||
        (!Connect(QStringLiteral("127.0.0.1"), port) && GetLastError() != WSAEWOULDBLOCK)) {
        return false;
    }
    return WaitUntil([&] { return m_connected || closed; }) && m_connected;
}

void CRawClient::Write(const QByteArray& bytes) {
    for (qsizetype at = 0; at < bytes.size() && !closed;) {
        const int n = Send(bytes.constData() + at, static_cast<int>(bytes.size() - at));
        if (n > 0) {
            at += n;
        } else if (GetLastError() == WSAEWOULDBLOCK) {
            Spin(std::chrono::milliseconds(1));
        } else {
            return;
        }
    }
}

void CRawClient::OnReceive(int) {
    char buffer[4096];
    int n = 0;
    while ((n = Receive(buffer, sizeof buffer)) > 0) {
        received.append(buffer, n);
    }
}

tagServerConfig TestConfig() {
    tagServerConfig config;
    config.databasePath = QStringLiteral(":memory:");
    config.infoPort = 0;
    config.hallPort = 0;
    config.routePort = 0;
    config.roomServers = {{0, 0}};
    config.webPort = 0;
    // The admin queue is read when a test says so.
    config.adminPollMs = 0;
    // Passwords cheaper to check than a real service keeps them: the logic is the same.
    config.passwordCost = 8;
    return config;
}

CServiceHarness::CServiceHarness() : CServiceHarness(TestConfig()) {}

CServiceHarness::CServiceHarness(const tagServerConfig& config) {
    m_service = std::make_unique<CTavoService>(config);
    QString error;
    const QString path =
        config.databasePath.isEmpty() ? QStringLiteral(":memory:") : config.databasePath;
    EXPECT_TRUE(m_service->Store().Open(path, &error)) << error.toStdString();
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

CKParam HallRequest(short command, const QString& machine) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, command);
    p.SetCString(104, QStringLiteral("tavo"));
    p.SetInt(105, 1);
    p.SetCString(106, machine);
    return p;
}

int RoomRequest(CTestClient& client, CKParam& request) {
    auto reply = client.Request(request, static_cast<short>(request.Command() + 1));
    if (!reply) {
        return -999;
    }
    return IntOf(*reply, KEY_RESULT) == -1 ? IntOf(*reply, KEY_REFUSAL) : 0;
}

CKParam Packet(short command) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, command);
    return p;
}

QString TextOf(const CPacketCopy& copy, short key) {
    CKParam p;
    copy.Load(p);
    return p.TextOr(key, QStringLiteral("<missing>"));
}

int IntOf(const CPacketCopy& copy, short key, int def) {
    CKParam p;
    copy.Load(p);
    return p.IntOr(key, def);
}

std::optional<CPacketCopy> CServiceHarness::Hall(CKParam& request, short replyCommand,
                                                 const QString& from) {
    CTestClient client;
    if (!client.Open(HallPort(), from)) {
        return std::nullopt;
    }
    auto reply = client.Request(request, replyCommand);
    client.KClose();
    return reply;
}

QString CServiceHarness::Visitor(const QString& machine, const QString& nickname, int* number) {
    CKParam request = HallRequest(CMD_VISITOR, machine);
    request.SetCString(20, nickname);
    auto reply = Hall(request, CMD_VISITOR_REPLY);
    if (number) {
        *number = reply ? IntOf(*reply, 40) : -1;
    }
    return reply ? TextOf(*reply, 30) : QString();
}

CKParam CServiceHarness::LoginRequest(const QString& user, const QString& password,
                                      const QString& machine, const QString& visitor) {
    const QString text = QStringLiteral("%1 %2 %3").arg(user, password, visitor);
    const QByteArray block = EncipherCredentials(ToAnsi(text));
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_LOGIN);
    request.SetInt(20, static_cast<int>(text.size()));
    request.SetChar(30, block.constData(), static_cast<unsigned short>(block.size()));
    request.SetInt(40, -1);
    request.SetCString(104, QStringLiteral("tavo"));
    request.SetInt(105, 1);
    request.SetCString(106, machine);
    return request;
}

std::optional<CPacketCopy> CServiceHarness::Login(const QString& user, const QString& password,
                                                  const QString& machine, const QString& visitor,
                                                  const QString& from) {
    CKParam request = LoginRequest(user, password, machine, visitor);
    return Hall(request, CMD_LOGIN_REPLY, from);
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
    QString id;
    int number = -1;
    if (password.isEmpty()) {
        id = Visitor(machine, user, &number);
    } else {
        auto login = Login(user, password, machine);
        if (!login || IntOf(*login, KEY_RESULT) != 0) {
            return fail(login);
        }
        id = TextOf(*login, 40);
        number = IntOf(*login, 30);
    }
    auto guest = std::make_unique<tagRoomGuest>();
    guest->id = id;
    if (!guest->main.Open(RoomPort())) {
        return fail(std::nullopt);
    }
    CKParam login;
    login.SetShortInt(KEY_COMMAND, CMD_ROOM_LOGIN);
    login.SetCString(20, id);
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
    CKParam enter;
    enter.SetShortInt(KEY_COMMAND, CMD_ENTER);
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
    CKParam attach;
    attach.SetShortInt(KEY_COMMAND, CMD_ATTACH);
    attach.SetInt(20, guest->keyA);
    attach.SetCString(30, id);
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
