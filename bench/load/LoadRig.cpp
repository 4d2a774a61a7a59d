#include "bench/load/LoadRig.h"

#include "protocol/Commands.h"
#include "protocol/keys/AdminKeys.h"

#include <chrono>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace loadbench {

namespace {

constexpr double kBlockSeconds = 23040.0 / (22050.0 * 4);  // 0.2612 s of stereo 16-bit
constexpr int kPayloadBytes = static_cast<int>(64000 / 8 * kBlockSeconds);  // about 2090
constexpr int kWarmupBlocks = 4;
constexpr int kMeasuredBlocks = 30;
// Members that time each kick's announcement.
constexpr int kKickWatchers = 8;
// Threads that join members at once.
constexpr int kJoiners = 16;

}  // namespace

bool CLoadRig::ResizeTo(int n) {
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

void CLoadRig::Adopt(std::unique_ptr<tagMember> m) {
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

CLoadRig::tagResult CLoadRig::Measure() {
    tagResult result;
    {
        std::lock_guard lock(m_mutex);
        m_latencies.clear();
        m_relayedBytes = 0;
        m_recording = false;
    }
    // Listeners are other machines in a deployment: while the voice is timed, the thread that
    // reads them takes only what the service leaves of the cores. Only then: while the room
    // grows the service is busy, and a reader at idle priority starved until the service cut
    // the listeners as slow readers.
    const sched_param none{};
    pthread_setschedparam(m_receiver.native_handle(), SCHED_IDLE, &none);
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
    pthread_setschedparam(m_receiver.native_handle(), SCHED_OTHER, &none);
    result.seconds = static_cast<double>(MonotonicNs() - wallStart) / 1e9;
    double kernelEnd = 0;
    result.serverCpuPercent = (ServerCpuSeconds(&kernelEnd) - cpuStart) / result.seconds * 100.0;
    result.kernelCpuPercent = (kernelEnd - kernelStart) / result.seconds * 100.0;
    std::lock_guard lock(m_mutex);
    m_recording = false;
    result.latenciesMs = m_latencies;
    result.relayedBytes = m_relayedBytes;
    result.expected = static_cast<int64_t>(kMeasuredBlocks) * m_listeners.size();
    return result;
}

std::optional<CLoadRig::tagKickResult> CLoadRig::MeasureKicks(int cycles) {
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

CLoadRig::~CLoadRig() {
    m_stop = true;
    if (m_receiver.joinable()) {
        m_receiver.join();
    }
    StopServer();
}

CLoadRig::CLoadRig() {
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

void CLoadRig::Receive() {
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

ssize_t CLoadRig::ReceiveStamped(int fd, std::vector<char>& buffer, int64_t& arrived) {
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

void CLoadRig::Timed(const QByteArray& bytes, int64_t now) {
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

void CLoadRig::KeepAlive() {
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

void CLoadRig::AwaitClose(tagConn& c) {
    char buffer[65536];
    const int64_t until = MonotonicNs() + 5'000'000'000LL;
    for (;;) {
        const int left = static_cast<int>((until - MonotonicNs()) / 1000000);
        pollfd pfd{c.fd, POLLIN, 0};
        if (left <= 0 || poll(&pfd, 1, left) <= 0 || recv(c.fd, buffer, sizeof buffer, 0) <= 0) {
            return;
        }
    }
}

}  // namespace loadbench
