// The service under voice load: one room, one speaker and N listeners (up to 10,000) over real
// loopback TCP.
// The speaker sends quality-1 voice at its real rate (one 23040-byte block of 22050 Hz stereo
// is 261 ms; at 64 kbit/s it encodes to about 2090 bytes); every listener's second connection
// receives the relay. Measured: relay latency from the speaker's send to each listener's
// receive (median, 99th percentile), the service's CPU share (and per 1,000 listeners) and
// memory, the bytes it relays per second, the number of listeners one service holds in one
// room before the 99th percentile passes 50 ms, and, in the same run, plain loopback TCP
// throughput as the ceiling of what it could relay.
//
// The same rig measures room administration at scale: the room's owner kicks a member, the
// member enters again, and a few sampled members time the kick announcement.
//
// The service runs in a child process (so its CPU and memory are its own); the clients here
// are plain sockets speaking the protocol, with one thread receiving for all of them. A
// listener's latency ends at the kernel's arrival stamp on its socket, which on loopback is
// taken inside the service's own send: the receiving thread's reading order is not counted,
// and in scheduler traces it runs only once the sending threads are done, so it does not
// delay them. Receiving on two threads instead made the same fan-out slower, not faster.
//
// Measured (2 cores, nearly idle, two sending threads, median of 3): at 1,000 listeners p50
// 2.3 ms, p99 6.2 ms, 2.9 % of a core per 1,000 listeners (2.5 % in the kernel); 6,000
// listeners within 50 ms. A plain C program writing 2,120 bytes to 1,000 loopback sockets
// from two threads takes 4.2 to 4.6 ms: the floor under the 99th percentile on this machine.
//
// And entries per second into rooms on two room-server processes that share PostgreSQL with
// a hall process (BM_EntriesAcrossTwoRoomServers).

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "protocol/Commands.h"
#include "protocol/FrameCodec.h"
#include "protocol/KParam.h"
#include "protocol/LoginCipher.h"
#include "protocol/keys/AdminKeys.h"
#include "protocol/keys/CenterKeys.h"
#include "server/Seed.h"
#include "server/Service.h"

#include <benchmark/benchmark.h>

#include "tests/support/PostgresServer.h"
#include "tests/support/ServiceProcess.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kLoadRoom = 2001;
constexpr double kBlockSeconds = 23040.0 / (22050.0 * 4);  // 0.2612 s of stereo 16-bit
constexpr int kPayloadBytes = static_cast<int>(64000 / 8 * kBlockSeconds);  // about 2090
constexpr int kWarmupBlocks = 4;
constexpr int kMeasuredBlocks = 30;
// The seeded account that owns the load room, and how many members time each kick.
constexpr int kOwnerNumber = 10001;
constexpr int kKickWatchers = 8;
// Threads that join members at once.
constexpr int kJoiners = 16;

// The kernel stamps each arriving segment with the wall clock; the speaker stamps its packets
// with the same clock, so the receiving thread's own delays stay out of the latency.
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

// ---- the service, in a child process -------------------------------------------------------

struct tagPorts {
    unsigned hall = 0;
    unsigned room = 0;
};

pid_t g_server = -1;
tagPorts g_ports;

[[noreturn]] void RunServer(int reportFd) {
    int argc = 1;
    char name[] = "tavo-serverd-bench";
    char* argv[] = {name, nullptr};
    CClock::Slot().Install(&TheSystemClock());
    QCoreApplication app(argc, argv);
    tagServerConfig config;
    config.databasePath = QStringLiteral(":memory:");
    config.infoPort = config.hallPort = config.routePort = 0;
    config.roomServers = {{0, 0}};
    config.webPort = -1;
    config.adminPollMs = 0;
    config.limits.maxConnections = 30000;
    config.limits.maxConnectionsPerAddress = 0;
    config.limits.maxVisitorsPerAddress = 0;
    CTavoService service(config);
    service.Store().Open(config.databasePath);
    SeedDemoData(service.Store());
    tagRoomRecord room;
    room.number = kLoadRoom;
    room.area = 1;
    room.name = QStringLiteral("load");
    room.maxMembers = 1000000;
    room.micMode = 0;
    room.micSeconds = 3600;
    room.owner = kOwnerNumber;
    service.Store().AddRoom(room);
    tagPorts ports;
    if (service.Start()) {
        ports.hall = service.Config().hallPort;
        ports.room = service.Config().roomServers.front().mainPort;
    }
    [[maybe_unused]] ssize_t n = write(reportFd, &ports, sizeof ports);
    close(reportFd);
    _exit(ports.hall ? app.exec() : 1);
}

// Ten thousand listeners are twenty thousand connections on each side: far past the usual
// limit of descriptors.
void RaiseFileLimit() {
    constexpr rlim_t kWanted = 1 << 17;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    rlimit raised{std::max(limit.rlim_cur, kWanted), std::max(limit.rlim_max, kWanted)};
    // Only a privileged process may raise the ceiling; anyone may go up to it.
    if (setrlimit(RLIMIT_NOFILE, &raised) != 0) {
        raised = {limit.rlim_max, limit.rlim_max};
        setrlimit(RLIMIT_NOFILE, &raised);
    }
}

// The most listeners the descriptors allow, the service's and ours alike: two connections each,
// and some to spare for the listening sockets, the hall connections and the rest.
int MaxListeners() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    return static_cast<int>(std::min<rlim_t>(10000, (limit.rlim_cur - 150) / 2));
}

bool StartServer() {
    if (g_server > 0) {
        return true;
    }
    RaiseFileLimit();
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    g_server = fork();
    if (g_server == 0) {
        close(fds[0]);
        RunServer(fds[1]);
    }
    close(fds[1]);
    const bool ok = read(fds[0], &g_ports, sizeof g_ports) == sizeof g_ports && g_ports.hall != 0;
    close(fds[0]);
    return ok;
}

void StopServer() {
    if (g_server > 0) {
        kill(g_server, SIGTERM);
        waitpid(g_server, nullptr, 0);
        g_server = -1;
    }
}

// CPU seconds the service has used, from /proc: in all, and of them in the kernel.
double ServerCpuSeconds(double* kernel = nullptr) {
    std::ifstream stat("/proc/" + std::to_string(g_server) + "/stat");
    std::string line;
    std::getline(stat, line);
    // Fields after the command name in parentheses; utime and stime are the 14th and 15th.
    const auto close = line.rfind(')');
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) {
            utime = std::stoull(field);
        } else if (i == 15) {
            stime = std::stoull(field);
        }
    }
    const auto tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    if (kernel) {
        *kernel = static_cast<double>(stime) / tick;
    }
    return static_cast<double>(utime + stime) / tick;
}

double ServerMemoryMb(const char* key) {
    std::ifstream status("/proc/" + std::to_string(g_server) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stod(line.substr(std::strlen(key))) / 1024.0;
        }
    }
    return 0;
}

// ---- a client connection: plain blocking socket for the handshake -------------------------

struct tagConn {
    int fd = -1;
    bool timed = false;  // a listener's second connection: its voice is timed
    int sequence = 0;
    CFrameAssembler assembler{kTcpFrame};
    std::deque<QByteArray> inbox;
};

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

// Waits (blocking) for a packet with this command; other packets are dropped.
std::optional<QByteArray> Await(tagConn& c, short command, int timeoutMs = 10000) {
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

struct tagMember {
    tagConn main;
    tagConn second;
    QString id;
};

struct tagAccountLogin {
    QString user;
    QString password;
};

// Says why a member could not join; the rig gives up on the step.
std::unique_ptr<tagMember> Failed(int index, const char* why) {
    std::fprintf(stderr, "member %d: %s (%s)\n", index, why, std::strerror(errno));
    return nullptr;
}

// Where a member joins: the hall and a room; a room port of 0 is asked of the hall (32).
struct tagTarget {
    unsigned hall = 0;
    unsigned room = 0;
    int number = kLoadRoom;
};

// A visitor name from the hall, or an account's login when one is given, then 122, 120, 110
// and 650: a member with both connections. In the load room of the service here unless told
// otherwise.
std::unique_ptr<tagMember> Join(int index, const tagAccountLogin* account = nullptr,
                                std::optional<tagTarget> where = std::nullopt) {
    const tagTarget target = where.value_or(tagTarget{g_ports.hall, g_ports.room, kLoadRoom});
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

// ---- the rig: speaker, listeners and the receiving thread ---------------------------------

class CLoadRig {
public:
    static CLoadRig& Get() {
        static CLoadRig rig;
        return rig;
    }

    bool Ready() const { return m_speaker != nullptr; }
    int Listeners() {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_listeners.size());
    }

    // Adds or removes listeners until there are n.
    bool ResizeTo(int n) {
        if (Listeners() > n) {
            std::vector<std::unique_ptr<tagMember>> gone;
            {
                std::lock_guard lock(m_mutex);
                while (static_cast<int>(m_listeners.size()) > n) {
                    gone.push_back(std::move(m_listeners.back()));
                    m_listeners.pop_back();
                }
            }
            for (auto& m : gone) {
                epoll_ctl(m_epoll, EPOLL_CTL_DEL, m->main.fd, nullptr);
                epoll_ctl(m_epoll, EPOLL_CTL_DEL, m->second.fd, nullptr);
            }
            // The receiving thread may still hold events of these from its last wait.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            for (auto& m : gone) {
                close(m->main.fd);
                close(m->second.fd);
            }
            // The service announces each departure to those who stay.
            std::this_thread::sleep_for(std::chrono::seconds(1));
            return true;
        }
        // Members join from several threads at once: every arrival is announced to everybody
        // inside, and announcements that pile up go out to each member in one write.
        std::atomic<int> wanted{n - Listeners()};
        std::atomic<bool> failed{false};
        std::vector<std::thread> joiners;
        for (int i = 0; i < kJoiners; ++i) {
            joiners.emplace_back([&] {
                while (!failed && wanted.fetch_sub(1) > 0) {
                    int index = 0;
                    {
                        std::lock_guard lock(m_mutex);
                        index = m_nextIndex++;
                    }
                    auto m = Join(index);
                    if (!m) {
                        failed = true;
                        return;
                    }
                    Adopt(std::move(m));
                }
            });
        }
        while (wanted > 0 && !failed) {
            // A big step takes longer than the service lets a silent connection live; the
            // speaker's second connection is this thread's to keep alive.
            if (MonotonicNs() - m_speakerAlive > 10'000'000'000LL) {
                m_speakerAlive = MonotonicNs();
                CKParam alive;
                alive.SetShortInt(KEY_COMMAND, CMD_KEEPALIVE);
                Send(m_speaker->second, alive);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        for (std::thread& t : joiners) {
            t.join();
        }
        if (failed) {
            return false;
        }
        return true;
    }

    // A member who joined becomes a listener the receiving thread reads.
    void Adopt(std::unique_ptr<tagMember> m) {
        for (tagConn* c : {&m->main, &m->second}) {
            fcntl(c->fd, F_SETFL, fcntl(c->fd, F_GETFL) | O_NONBLOCK);
        }
        m->second.timed = true;
        const int on = 1;
        setsockopt(m->second.fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        tagMember* raw = m.get();
        {
            std::lock_guard lock(m_mutex);
            // The first few listeners' main connections time the room's announcements.
            raw->main.timed = static_cast<int>(m_listeners.size()) < kKickWatchers;
            if (raw->main.timed) {
                setsockopt(raw->main.fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
            }
            m_listeners.push_back(std::move(m));
        }
        epoll_event main{EPOLLIN, {.ptr = &raw->main}};
        epoll_event second{EPOLLIN, {.ptr = &raw->second}};
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, raw->main.fd, &main);
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, raw->second.fd, &second);
    }

    struct tagResult {
        std::vector<double> latenciesMs;
        int64_t expected = 0;
        int64_t relayedBytes = 0;  // voice frames received while recording, whole
        double serverCpuPercent = 0;
        double kernelCpuPercent = 0;  // of it, in the kernel
        double seconds = 0;
    };

    // The speaker speaks; the listeners' receipts are timed.
    tagResult Measure() {
        tagResult result;
        {
            std::lock_guard lock(m_mutex);
            m_latencies.clear();
            m_relayedBytes = 0;
            m_recording = false;
        }
        const QByteArray filler(kPayloadBytes, 'v');
        int64_t next = MonotonicNs();
        const int64_t period = static_cast<int64_t>(kBlockSeconds * 1e9);
        double cpuStart = 0;
        double kernelStart = 0;
        int64_t wallStart = 0;
        for (int block = 0; block < kWarmupBlocks + kMeasuredBlocks; ++block) {
            if (block == kWarmupBlocks) {
                std::lock_guard lock(m_mutex);
                m_recording = true;
                cpuStart = ServerCpuSeconds(&kernelStart);
                wallStart = MonotonicNs();
            }
            // One sleep to the block's time: waking every fraction of a millisecond to look at
            // the clock took the cores from the service's sending threads in mid-relay.
            const timespec until{static_cast<time_t>(next / 1000000000LL),
                                 static_cast<long>(next % 1000000000LL)};
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
            }
            QByteArray payload = filler;
            const int64_t sent = RealtimeNs();
            std::memcpy(payload.data(), &sent, sizeof sent);
            payload[8] = block >= kWarmupBlocks ? 1 : 0;
            CKParam voice;
            voice.SetShortInt(KEY_COMMAND, CMD_AUDIO);
            voice.SetInt(20, 1);
            voice.SetInt(50, 10);
            voice.SetInt(30, 1);
            voice.SetChar(40, payload.constData(), static_cast<unsigned short>(payload.size()));
            voice.SetCString(60, m_speaker->id);
            Send(m_speaker->second, voice);
            next += period;
        }
        // Stragglers get a moment, then the window closes.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        result.seconds = static_cast<double>(MonotonicNs() - wallStart) / 1e9;
        double kernelEnd = 0;
        result.serverCpuPercent =
            (ServerCpuSeconds(&kernelEnd) - cpuStart) / result.seconds * 100.0;
        result.kernelCpuPercent = (kernelEnd - kernelStart) / result.seconds * 100.0;
        std::lock_guard lock(m_mutex);
        m_recording = false;
        result.latenciesMs = m_latencies;
        result.relayedBytes = m_relayedBytes;
        result.expected = static_cast<int64_t>(kMeasuredBlocks) * m_listeners.size();
        return result;
    }

    struct tagKickResult {
        std::vector<double> cycleMs;
        std::vector<double> announcementMs;
        int missed = 0;  // announcements that did not reach a watcher within the cycle's wait
    };

    // The owner kicks a member, the member enters again, `cycles` times over; each cycle runs
    // from the kick's send until the member is inside again with both connections.
    std::optional<tagKickResult> MeasureKicks(int cycles) {
        const tagAccountLogin account{QStringLiteral("alice"), QStringLiteral("alice123")};
        if (!m_owner && !(m_owner = Join(m_nextIndex++, &account))) {
            return std::nullopt;
        }
        const int victimIndex = m_nextIndex++;
        auto victim = Join(victimIndex);
        if (!victim) {
            return std::nullopt;
        }
        tagKickResult result;
        int64_t lastKeepAlive = MonotonicNs();
        for (int cycle = 0; cycle < cycles; ++cycle) {
            {
                std::lock_guard lock(m_mutex);
                m_kickHeard = 0;
                m_kickSent = RealtimeNs();
            }
            const int64_t start = MonotonicNs();
            CKParam kick;
            kick.SetShortInt(KEY_COMMAND, CMD_KICK);
            kick.SetCString(KickKey::MEMBER, victim->id);
            kick.SetCString(KickKey::REASON, QStringLiteral("bench"));
            auto reply =
                Send(m_owner->main, kick) ? Await(m_owner->main, CMD_KICK_REPLY) : std::nullopt;
            if (!reply || IntField(*reply, KEY_RESULT) != 0 || !Await(victim->main, CMD_KICKED)) {
                return std::nullopt;
            }
            // The service ends the stay by closing the connection; the member then comes back.
            AwaitClose(victim->main);
            close(victim->main.fd);
            close(victim->second.fd);
            victim = Join(victimIndex);
            if (!victim) {
                return std::nullopt;
            }
            result.cycleMs.push_back(static_cast<double>(MonotonicNs() - start) / 1e6);
            std::unique_lock lock(m_mutex);
            if (!m_kickWaiter.wait_for(lock, std::chrono::seconds(2),
                                       [&] { return m_kickHeard >= kKickWatchers; })) {
                result.missed += kKickWatchers - m_kickHeard;
            }
            m_kickSent = 0;
            lock.unlock();
            // The owner's idle second connection would lapse over a long run.
            if (MonotonicNs() - lastKeepAlive > 10'000'000'000LL) {
                lastKeepAlive = MonotonicNs();
                CKParam alive;
                alive.SetShortInt(KEY_COMMAND, CMD_KEEPALIVE);
                Send(m_owner->second, alive);
            }
        }
        close(victim->main.fd);
        close(victim->second.fd);
        std::lock_guard lock(m_mutex);
        result.announcementMs = std::move(m_kickLatencies);
        m_kickLatencies.clear();
        return result;
    }

    ~CLoadRig() {
        m_stop = true;
        if (m_receiver.joinable()) {
            m_receiver.join();
        }
        StopServer();
    }

private:
    CLoadRig() {
        if (!StartServer()) {
            return;
        }
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        m_receiver = std::thread([this] { Receive(); });
        m_speaker = Join(m_nextIndex++);
        if (!m_speaker) {
            return;
        }
        CKParam grab;
        grab.SetShortInt(KEY_COMMAND, CMD_GRAB_MIC);
        auto granted =
            Send(m_speaker->main, grab) ? Await(m_speaker->main, CMD_GRAB_MIC_REPLY) : std::nullopt;
        if (!granted || IntField(*granted, KEY_RESULT) != 0) {
            m_speaker.reset();
            return;
        }
        // From here on the speaker's main connection only hears arrivals: drain it.
        fcntl(m_speaker->main.fd, F_SETFL, fcntl(m_speaker->main.fd, F_GETFL) | O_NONBLOCK);
        epoll_event ev{EPOLLIN, {.ptr = &m_speaker->main}};
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_speaker->main.fd, &ev);
    }

    // One thread reads every listener connection: voice on the second connections is timed,
    // everything else is drained; keep-alives go out every ten seconds.
    void Receive() {
        std::vector<epoll_event> events(512);
        std::vector<char> buffer(1 << 16);
        int64_t lastKeepAlive = MonotonicNs();
        while (!m_stop) {
            const int n = epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), 50);
            const int64_t now = MonotonicNs();
            for (int i = 0; i < n; ++i) {
                auto* c = static_cast<tagConn*>(events[static_cast<size_t>(i)].data.ptr);
                const bool timed = c->timed;
                for (;;) {
                    int64_t arrived = 0;
                    const ssize_t got = ReceiveStamped(c->fd, buffer, arrived);
                    if (got <= 0) {
                        if (got == 0) {
                            epoll_ctl(m_epoll, EPOLL_CTL_DEL, c->fd, nullptr);
                        }
                        break;
                    }
                    if (timed) {
                        Feed(*c, buffer.data(), static_cast<int>(got));
                        while (!c->inbox.empty()) {
                            Timed(c->inbox.front(), arrived ? arrived : RealtimeNs());
                            c->inbox.pop_front();
                        }
                    }
                }
            }
            if (now - lastKeepAlive > 10'000'000'000LL) {
                lastKeepAlive = now;
                KeepAlive();
            }
        }
    }

    // recv with the kernel's arrival stamp of the first segment read.
    static ssize_t ReceiveStamped(int fd, std::vector<char>& buffer, int64_t& arrived) {
        iovec io{buffer.data(), buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        msghdr msg{};
        msg.msg_iov = &io;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t got = recvmsg(fd, &msg, 0);
        for (cmsghdr* c = got > 0 ? CMSG_FIRSTHDR(&msg) : nullptr; c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec ts{};
                std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                arrived = static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
            }
        }
        return got;
    }

    void Timed(const QByteArray& bytes, int64_t now) {
        CKParam p;
        p.SetBufferPtr(bytes.constData(), static_cast<int>(bytes.size()));
        if (p.Command() == CMD_KICKED) {
            std::lock_guard lock(m_mutex);
            if (m_kickSent != 0) {
                m_kickLatencies.push_back(static_cast<double>(now - m_kickSent) / 1e6);
                ++m_kickHeard;
                m_kickWaiter.notify_one();
            }
            return;
        }
        char* payload = nullptr;
        unsigned short length = 0;
        if (p.Command() != CMD_AUDIO || p.GetCharNC(40, &payload, length) != 0 || length < 9 ||
            payload[8] != 1) {
            return;
        }
        int64_t sent = 0;
        std::memcpy(&sent, payload, sizeof sent);
        std::lock_guard lock(m_mutex);
        if (m_recording) {
            m_latencies.push_back(static_cast<double>(now - sent) / 1e6);
            // The packet and its frame: marker, send time and check value.
            m_relayedBytes += bytes.size() + kTcpFrame.headerSize + 2;
        }
    }

    void KeepAlive() {
        std::vector<tagConn*> all;
        {
            std::lock_guard lock(m_mutex);
            for (const auto& m : m_listeners) {
                all.push_back(&m->main);
                all.push_back(&m->second);
            }
        }
        for (tagConn* c : all) {
            CKParam alive;
            alive.SetShortInt(KEY_COMMAND, CMD_KEEPALIVE);
            Send(*c, alive);
        }
        if (m_speaker) {
            CKParam alive;
            alive.SetShortInt(KEY_COMMAND, CMD_KEEPALIVE);
            Send(m_speaker->main, alive);
        }
    }

    // Reads a connection until the service closes it (or five seconds pass).
    static void AwaitClose(tagConn& c) {
        char buffer[65536];
        const int64_t until = MonotonicNs() + 5'000'000'000LL;
        for (;;) {
            const int left = static_cast<int>((until - MonotonicNs()) / 1000000);
            pollfd pfd{c.fd, POLLIN, 0};
            if (left <= 0 || poll(&pfd, 1, left) <= 0 ||
                recv(c.fd, buffer, sizeof buffer, 0) <= 0) {
                return;
            }
        }
    }

    std::unique_ptr<tagMember> m_speaker;
    std::unique_ptr<tagMember> m_owner;  // owns the load room; kept once joined
    std::vector<std::unique_ptr<tagMember>> m_listeners;
    int m_nextIndex = 0;
    int64_t m_speakerAlive = 0;
    int m_epoll = -1;
    std::thread m_receiver;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    bool m_recording = false;
    std::vector<double> m_latencies;
    int64_t m_relayedBytes = 0;
    int64_t m_kickSent = 0;  // wall clock of the kick in flight, 0 between cycles
    int m_kickHeard = 0;
    std::condition_variable m_kickWaiter;
    std::vector<double> m_kickLatencies;
};

double Percentile(std::vector<double>& v, double q) {
    if (v.empty()) {
        return 0;
    }
    const size_t at =
        std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(at), v.end());
    return v[at];
}

bool Report(benchmark::State& state, CLoadRig::tagResult& r) {
    const double delivered =
        r.expected ? static_cast<double>(r.latenciesMs.size()) / static_cast<double>(r.expected)
                   : 0;
    const double p50 = Percentile(r.latenciesMs, 0.50);
    const double p99 = Percentile(r.latenciesMs, 0.99);
    const double worst =
        r.latenciesMs.empty() ? 0 : *std::max_element(r.latenciesMs.begin(), r.latenciesMs.end());
    const int listeners = CLoadRig::Get().Listeners();
    state.counters["listeners"] = listeners;
    state.counters["p50_ms"] = p50;
    state.counters["p99_ms"] = p99;
    state.counters["max_ms"] = worst;
    state.counters["delivered_pct"] = delivered * 100.0;
    state.counters["server_cpu_pct"] = r.serverCpuPercent;
    state.counters["kernel_cpu_pct"] = r.kernelCpuPercent;
    state.counters["cpu_pct_per_1000"] =
        listeners ? r.serverCpuPercent * 1000.0 / static_cast<double>(listeners) : 0;
    state.counters["relayed_MB_per_s"] =
        static_cast<double>(r.relayedBytes) / std::max(r.seconds, 1e-9) / 1e6;
    state.counters["server_rss_mb"] = ServerMemoryMb("VmRSS:");
    state.counters["server_peak_mb"] = ServerMemoryMb("VmHWM:");
    state.SetIterationTime(r.seconds);
    // The counters keep only the last step of a growing room; every step is shown as it ends.
    std::fprintf(
        stderr,
        "listeners %6d  p50 %7.2f ms  p99 %7.2f ms  delivered %6.2f %%  server cpu %6.1f %% "
        "(kernel %5.1f %%, %5.2f %% per 1000)  relayed %7.2f MB/s  rss %6.1f MB\n",
        listeners, p50, p99, delivered * 100.0, r.serverCpuPercent, r.kernelCpuPercent,
        state.counters["cpu_pct_per_1000"].value, state.counters["relayed_MB_per_s"].value,
        ServerMemoryMb("VmRSS:"));
    return p99 <= 50.0 && delivered > 0.99;
}

// Grows the room in steps until the 99th percentile passes 50 ms (or the step limit is met).
void BM_ListenersWithin50ms(benchmark::State& state) {
    CLoadRig& rig = CLoadRig::Get();
    if (!rig.Ready()) {
        state.SkipWithError("the load rig could not be set up");
        return;
    }
    for (auto _ : state) {
        int held = 0;
        for (int step : {500, 1000, 2000, 3000, 4000, 5000, 6000, 8000, 10000}) {
            const int n = std::min(step, MaxListeners());
            if (n < step && n <= held) {
                break;
            }
            const int64_t joining = MonotonicNs();
            if (!rig.ResizeTo(n)) {
                std::fprintf(stderr, "the room could not grow to %d listeners\n", n);
                break;
            }
            std::fprintf(stderr, "grew to %d listeners in %.1f s\n", n,
                         static_cast<double>(MonotonicNs() - joining) / 1e9);
            auto result = rig.Measure();
            if (!Report(state, result)) {
                break;
            }
            held = n;
        }
        state.counters["listeners_within_50ms"] = held;
    }
}
BENCHMARK(BM_ListenersWithin50ms)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_VoiceRelay(benchmark::State& state) {
    CLoadRig& rig = CLoadRig::Get();
    // Where the machine's descriptors end first, as many as they allow.
    const int n = std::min(static_cast<int>(state.range(0)), MaxListeners());
    if (!rig.Ready() || !rig.ResizeTo(n)) {
        state.SkipWithError("the load rig could not be set up");
        return;
    }
    for (auto _ : state) {
        auto result = rig.Measure();
        Report(state, result);
    }
}
BENCHMARK(BM_VoiceRelay)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(10000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// An owner kicks a member out of a full room and the member enters again: range(0) members in
// all (speaker, owner and the member kicked included), range(1) cycles.
void BM_KickAndReenter(benchmark::State& state) {
    CLoadRig& rig = CLoadRig::Get();
    const int others = static_cast<int>(state.range(0)) - 3;
    if (!rig.Ready() || !rig.ResizeTo(others)) {
        state.SkipWithError("the load rig could not be set up");
        return;
    }
    for (auto _ : state) {
        auto result = rig.MeasureKicks(static_cast<int>(state.range(1)));
        if (!result) {
            state.SkipWithError("a kick or a re-entry failed");
            return;
        }
        double total = 0;
        for (double ms : result->cycleMs) {
            total += ms;
        }
        state.counters["members"] = others + 3;
        state.counters["cycles"] = static_cast<double>(result->cycleMs.size());
        state.counters["cycle_mean_ms"] = total / static_cast<double>(result->cycleMs.size());
        state.counters["cycle_p99_ms"] = Percentile(result->cycleMs, 0.99);
        state.counters["kick_p50_ms"] = Percentile(result->announcementMs, 0.50);
        state.counters["kick_p99_ms"] = Percentile(result->announcementMs, 0.99);
        state.counters["kick_missed"] = result->missed;
        state.counters["server_rss_mb"] = ServerMemoryMb("VmRSS:");
        state.SetIterationTime(total / 1000.0);
    }
}
BENCHMARK(BM_KickAndReenter)
    ->Args({100, 100})
    ->Args({1000, 1000})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- several processes on one PostgreSQL database --------------------------------------------

QByteArray SharedConfiguration(const QString& database, bool hall, int firstRoomServer) {
    return "[server]\ndatabase = " + database.toUtf8() +
           "\nlisten = 127.0.0.1\ninfo_port = 0\nhall_port = 0\nroute_port = 0\nweb_port = 0\n"
           "[rooms]\nservers = 0:0\nfirst_number = " +
           QByteArray::number(firstRoomServer) + "\n[roles]\nhall = " + (hall ? "yes" : "no") +
           "\nweb = no\nrooms = " + (hall ? "no" : "yes") +
           "\n[limits]\nmax_connections_per_address = 0\nmax_visitors_per_address = 0\n";
}

bool Administer(const QString& database, const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(TAVO_SERVERD), QStringList{"admin", "--db", database} + args);
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

// Whole entries (a visitor named by the hall, the room's address asked of it, room login,
// entry, second connection) per second, by range(0) clients at once, into two rooms on two
// room-server processes behind a hall process, all three on one PostgreSQL server that
// flushes its commits to disk as deployed. Every entry writes the visitor's presence and its
// room, and its leaving, in the database.
void BM_EntriesAcrossTwoRoomServers(benchmark::State& state) {
    tavotest::CPostgresServer postgres(true);
    const QString db = postgres.Running() ? postgres.NewDatabase() : QString();
    if (db.isEmpty() || !Administer(db, {"seed"}) ||
        !Administer(db, {"set-room", "1002", "server=2"})) {
        state.SkipWithError("no PostgreSQL server to share");
        return;
    }
    const QString program = QStringLiteral(TAVO_SERVERD);
    tavotest::CServiceProcess first(program, SharedConfiguration(db, false, 1));
    tavotest::CServiceProcess second(program, SharedConfiguration(db, false, 2));
    tavotest::CServiceProcess hall(program, SharedConfiguration(db, true, 1));
    static const QRegularExpression kHall(QStringLiteral("hall=(\\d+)"));
    const auto hallPort = static_cast<unsigned>(kHall.match(hall.Output()).captured(1).toUInt());
    if (!first.Running() || !second.Running() || hallPort == 0) {
        state.SkipWithError("the service's processes did not start");
        return;
    }
    const int clients = static_cast<int>(state.range(0));
    constexpr int64_t kSeconds = 10;
    for (auto _ : state) {
        std::atomic<int> entries{0};
        std::atomic<int> failures{0};
        const int64_t start = MonotonicNs();
        std::vector<std::thread> threads;
        for (int t = 0; t < clients; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; MonotonicNs() - start < kSeconds * 1000000000LL; ++i) {
                    const int room = (t + i) % 2 == 0 ? 1001 : 1002;
                    auto m = Join(t * 1000000 + i, nullptr, tagTarget{hallPort, 0, room});
                    if (!m) {
                        ++failures;
                        continue;
                    }
                    ++entries;
                    close(m->second.fd);
                    close(m->main.fd);
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        const double seconds = static_cast<double>(MonotonicNs() - start) / 1e9;
        state.SetIterationTime(seconds);
        state.counters["entries_per_s"] = entries.load() / seconds;
        state.counters["failed"] = failures.load();
        std::fprintf(stderr, "%d clients: %.0f entries/s across two room servers (%d failed)\n",
                     clients, entries.load() / seconds, failures.load());
    }
}
BENCHMARK(BM_EntriesAcrossTwoRoomServers)
    ->Arg(1)
    ->Arg(8)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The ceiling: bytes through one loopback TCP connection in two seconds.
void BM_LoopbackTcpThroughput(benchmark::State& state) {
    for (auto _ : state) {
        int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
        listen(listener, 1);
        int writer = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        connect(writer, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        int reader = accept(listener, nullptr, nullptr);
        std::atomic<bool> stop{false};
        std::thread producer([&] {
            std::vector<char> chunk(1 << 16, 'x');
            while (!stop) {
                if (send(writer, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0) {
                    break;
                }
            }
        });
        std::vector<char> buffer(1 << 16);
        int64_t bytes = 0;
        const int64_t start = MonotonicNs();
        while (MonotonicNs() - start < 2'000'000'000LL) {
            const ssize_t n = recv(reader, buffer.data(), buffer.size(), 0);
            if (n <= 0) {
                break;
            }
            bytes += n;
        }
        const double seconds = static_cast<double>(MonotonicNs() - start) / 1e9;
        stop = true;
        shutdown(reader, SHUT_RDWR);
        producer.join();
        close(writer);
        close(reader);
        close(listener);
        state.SetIterationTime(seconds);
        state.counters["MB_per_s"] = static_cast<double>(bytes) / seconds / 1e6;
    }
}
BENCHMARK(BM_LoopbackTcpThroughput)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
