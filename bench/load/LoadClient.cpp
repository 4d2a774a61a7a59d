#include "bench/load/LoadClient.h"

#include "protocol/Commands.h"
#include "protocol/LoginCipher.h"
#include "protocol/keys/CenterKeys.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace loadbench {

namespace {

bool WriteAll(int fd, const QByteArray& bytes) {
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t n =
            send(fd, bytes.constData() + at, static_cast<size_t>(bytes.size() - at), MSG_NOSIGNAL);
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 100);
            continue;
        }
        if (n <= 0) {
            return false;
        }
        at += n;
    }
    return true;
}

// Says why a member could not join; the rig gives up on the step.
std::unique_ptr<tagMember> Failed(int index, const char* why) {
    std::fprintf(stderr, "member %d: %s (%s)\n", index, why, std::strerror(errno));
    return nullptr;
}

}  // namespace

int64_t RealtimeNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

bool Connect(tagConn& c, unsigned port) {
    c.fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return connect(c.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool Send(tagConn& c, CKParam& packet) {
    packet.SetInt(KEY_SEQUENCE, ++c.sequence);
    packet.SetInt(KEY_CLOCK, 0);
    return WriteAll(c.fd, BuildFrame(kTcpFrame, 0, packet.GetBufferPtr(), packet.GetLength()));
}

void Feed(tagConn& c, const char* data, int n) {
    c.assembler.Feed(data, n, [&](const char* p, int length) {
        c.inbox.emplace_back(p, length);
        return CFrameAssembler::EVerdict::Continue;
    });
}

std::optional<QByteArray> Await(tagConn& c, short command, int timeoutMs) {
    const int64_t until = MonotonicNs() + static_cast<int64_t>(timeoutMs) * 1000000;
    char buffer[65536];
    for (;;) {
        while (!c.inbox.empty()) {
            QByteArray p = std::move(c.inbox.front());
            c.inbox.pop_front();
            CKParam packet;
            packet.SetBufferPtr(p.constData(), static_cast<int>(p.size()));
            if (packet.Command() == command) {
                return p;
            }
        }
        const int left = static_cast<int>((until - MonotonicNs()) / 1000000);
        pollfd pfd{c.fd, POLLIN, 0};
        if (left <= 0 || poll(&pfd, 1, left) <= 0) {
            return std::nullopt;
        }
        const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return std::nullopt;
        }
        Feed(c, buffer, static_cast<int>(n));
    }
}

int IntField(const QByteArray& bytes, short key) {
    CKParam p;
    p.SetBufferPtr(bytes.constData(), static_cast<int>(bytes.size()));
    return p.IntOr(key, 0);
}

QString TextField(const QByteArray& bytes, short key) {
    CKParam p;
    p.SetBufferPtr(bytes.constData(), static_cast<int>(bytes.size()));
    return p.TextOr(key);
}

std::unique_ptr<tagMember> Join(int index, const tagAccountLogin* account,
                                std::optional<tagTarget> where) {
    const tagTarget target =
        where.value_or(tagTarget{ServerPorts().hall, ServerPorts().room, kLoadRoom});
    auto m = std::make_unique<tagMember>();
    const QString machine = QStringLiteral("BENCH-%1").arg(index);
    tagConn hall;
    if (!Connect(hall, target.hall)) {
        return Failed(index, "the hall refused the connection");
    }
    CKParam visitor;
    visitor.SetShortInt(KEY_COMMAND, CMD_VISITOR);
    visitor.SetCString(20, QStringLiteral("l%1").arg(index));
    visitor.SetCString(106, machine);
    auto named = Send(hall, visitor) ? Await(hall, CMD_VISITOR_REPLY) : std::nullopt;
    if (named && account) {
        const QString text = account->user + ' ' + account->password + ' ' +
                             TextField(*named, VisitorReplyKey::NAME);
        const QByteArray block = EncipherCredentials(text.toLatin1());
        CKParam login;
        login.SetShortInt(KEY_COMMAND, CMD_LOGIN);
        login.SetInt(LoginKey::LENGTH, static_cast<int>(text.size()));
        login.SetChar(LoginKey::CREDENTIALS, block.constData(),
                      static_cast<unsigned short>(block.size()));
        login.SetInt(LoginKey::NUMBER, IntField(*named, VisitorReplyKey::NUMBER));
        login.SetCString(IdentityKey::ADAPTER, machine);
        named = Send(hall, login) ? Await(hall, CMD_LOGIN_REPLY) : std::nullopt;
        if (named && IntField(*named, KEY_RESULT) != 0) {
            named.reset();
        }
    }
    unsigned roomPort = target.room;
    if (named && roomPort == 0) {
        CKParam ask;
        ask.SetShortInt(KEY_COMMAND, CMD_ROOM_ADDRESS);
        ask.SetInt(RoomAddressKey::ROOM, target.number);
        auto where = Send(hall, ask) ? Await(hall, CMD_ROOM_ADDRESS_REPLY) : std::nullopt;
        roomPort = where ? static_cast<unsigned>(IntField(*where, RoomAddressReplyKey::PORT)) : 0;
    }
    close(hall.fd);
    if (!named || roomPort == 0) {
        return Failed(index, "the hall did not name the visitor or the room's server");
    }
    m->id = account ? TextField(*named, LoginReplyKey::NAME) : TextField(*named, 30);
    // The user number the hall gave is what proves the name at the room login.
    const int userNumber = account ? IntField(*named, LoginReplyKey::NUMBER) : IntField(*named, 40);
    if (!Connect(m->main, roomPort)) {
        return Failed(index, "the room server refused the connection");
    }
    CKParam login;
    login.SetShortInt(KEY_COMMAND, CMD_ROOM_LOGIN);
    login.SetCString(20, m->id);
    login.SetInt(30, userNumber);
    login.SetInt(40, target.number);
    login.SetCString(80, machine);
    if (!Send(m->main, login) || !Await(m->main, CMD_ROOM_LOGIN_REPLY) ||
        !Await(m->main, CMD_USER_VERIFIED)) {
        return Failed(index, "the room login was not answered");
    }
    CKParam enter;
    enter.SetShortInt(KEY_COMMAND, CMD_ENTER);
    auto entered = Send(m->main, enter) ? Await(m->main, CMD_ENTER_REPLY) : std::nullopt;
    if (!entered || IntField(*entered, KEY_RESULT) != 0 ||
        !Connect(m->second, static_cast<unsigned>(IntField(*entered, 50)))) {
        return Failed(index, "the entry was refused");
    }
    CKParam attach;
    attach.SetShortInt(KEY_COMMAND, CMD_ATTACH);
    attach.SetInt(20, IntField(*entered, 30));
    attach.SetCString(30, m->id);
    attach.SetInt(40, IntField(*entered, 40));
    auto attached = Send(m->second, attach) ? Await(m->second, CMD_ATTACH_REPLY) : std::nullopt;
    if (!attached || IntField(*attached, KEY_RESULT) != 0) {
        return Failed(index, "the second connection was not attached");
    }
    return m;
}

}  // namespace loadbench
