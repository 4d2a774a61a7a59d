#include "server/SendPool.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {
// Frames one write call carries at most: three pieces each, within the system's limit.
constexpr int kFramesPerWrite = 340;
}  // namespace

struct CSendChannel::tagGroup {
    // The jobs of this wake-up for the group's sockets, in the order they were handed over.
    std::vector<void*> jobs;
};

struct CSendPool::tagThread {
    std::thread thread;
    int epoll = -1;
    int wake = -1;
    std::mutex mutex;
    std::vector<tagJob> inbox;
    bool stop = false;
    // Channels waiting for their socket to take more, kept alive while registered.
    std::map<CSendChannel*, std::shared_ptr<CSendChannel>> waiting;
};

CSendChannel::~CSendChannel() {
    if (m_owned && m_fd >= 0) {
        ::close(m_fd);
    }
}

CSendPool::CSendPool(int threads) {
    if (threads <= 0) {
        threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
    }
    for (int i = 0; i < threads; ++i) {
        auto t = std::make_unique<tagThread>();
        t->epoll = epoll_create1(EPOLL_CLOEXEC);
        t->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        epoll_event ev{EPOLLIN, {.ptr = nullptr}};
        epoll_ctl(t->epoll, EPOLL_CTL_ADD, t->wake, &ev);
        tagThread* raw = t.get();
        t->thread = std::thread([this, raw] { Run(*raw); });
        m_threads.push_back(std::move(t));
    }
}

CSendPool::~CSendPool() {
    for (auto& t : m_threads) {
        {
            std::lock_guard lock(t->mutex);
            t->stop = true;
        }
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(t->wake, &one, sizeof one);
    }
    for (auto& t : m_threads) {
        t->thread.join();
        t->waiting.clear();
        ::close(t->wake);
        ::close(t->epoll);
    }
}

std::shared_ptr<CSendChannel> CSendPool::Open(int fd, const std::shared_ptr<CSendChannel>& with) {
    if (fd < 0) {
        return nullptr;
    }
    auto channel = std::make_shared<CSendChannel>();
    channel->m_fd = fd;
    if (with) {
        channel->m_thread = with->m_thread;
        channel->m_group = with->m_group;
    } else {
        channel->m_thread = m_next;
        m_next = (m_next + 1) % Threads();
        channel->m_group = std::make_shared<CSendChannel::tagGroup>();
    }
    return channel;
}

void CSendPool::Push(const std::shared_ptr<CSendChannel>& channel, tagOutFrame frame) {
    channel->m_queued.fetch_add(frame.Size(), std::memory_order_relaxed);
    Hand({channel, std::move(frame), false});
}

void CSendPool::Close(const std::shared_ptr<CSendChannel>& channel) {
    channel->m_owned = true;
    Hand({channel, {}, true});
}

void CSendPool::Hand(tagJob job) {
    tagThread& t = *m_threads[static_cast<size_t>(job.channel->m_thread)];
    bool first = false;
    {
        std::lock_guard lock(t.mutex);
        first = t.inbox.empty();
        t.inbox.push_back(std::move(job));
    }
    // The thread empties the whole inbox when it wakes: one wake-up per batch is enough.
    if (first) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(t.wake, &one, sizeof one);
    }
}

void CSendPool::Run(tagThread& t) {
    std::vector<epoll_event> events(256);
    std::vector<tagJob> jobs;
    std::vector<CSendChannel::tagGroup*> groups;
    for (;;) {
        const int n = epoll_wait(t.epoll, events.data(), static_cast<int>(events.size()), -1);
        // Sockets that can take more first: what they hold is older than anything new.
        for (int i = 0; i < n; ++i) {
            auto* c = static_cast<CSendChannel*>(events[static_cast<size_t>(i)].data.ptr);
            if (!c) {
                uint64_t count = 0;
                [[maybe_unused]] ssize_t got = ::read(t.wake, &count, sizeof count);
                continue;
            }
            c->m_waiting = false;
            Write(t, *c);
        }
        {
            std::lock_guard lock(t.mutex);
            if (t.stop) {
                return;
            }
            jobs.swap(t.inbox);
        }
        // Each member's frames in the order handed over; a run of frames for one socket goes
        // out in one write.
        for (tagJob& job : jobs) {
            CSendChannel::tagGroup* g = job.channel->m_group.get();
            if (g->jobs.empty()) {
                groups.push_back(g);
            }
            g->jobs.push_back(&job);
        }
        for (CSendChannel::tagGroup* g : groups) {
            CSendChannel* run = nullptr;
            for (void* p : g->jobs) {
                tagJob& job = *static_cast<tagJob*>(p);
                CSendChannel* c = job.channel.get();
                if (run && run != c) {
                    Write(t, *run);
                }
                run = c;
                if (job.close) {
                    Write(t, *c);
                    Shut(t, *c);
                    run = nullptr;
                    continue;
                }
                if (c->m_closed || c->Failed()) {
                    c->m_queued.fetch_sub(job.frame.Size(), std::memory_order_relaxed);
                    continue;
                }
                c->m_pending.push_back(std::move(job.frame));
            }
            if (run) {
                Write(t, *run);
            }
            g->jobs.clear();
        }
        groups.clear();
        jobs.clear();
    }
}

void CSendPool::Write(tagThread& t, CSendChannel& c) {
    if (c.m_waiting || c.m_closed) {
        return;
    }
    while (!c.m_pending.empty()) {
        iovec io[3 * kFramesPerWrite];
        int pieces = 0;
        size_t wanted = 0;
        int skip = c.m_frontOffset;
        for (const tagOutFrame& f : c.m_pending) {
            if (pieces + 3 > 3 * kFramesPerWrite) {
                break;
            }
            const std::pair<const char*, int> parts[3] = {
                {f.own, f.head},
                {f.middle.constData(), static_cast<int>(f.middle.size())},
                {f.own + f.head, f.tail}};
            for (const auto& [data, size] : parts) {
                if (size <= skip) {
                    skip -= size;
                    continue;
                }
                io[pieces++] = {const_cast<char*>(data + skip), static_cast<size_t>(size - skip)};
                wanted += static_cast<size_t>(size - skip);
                skip = 0;
            }
        }
        msghdr msg{};
        msg.msg_iov = io;
        msg.msg_iovlen = static_cast<size_t>(pieces);
        const ssize_t sent = ::sendmsg(c.m_fd, &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // The event loop hears of the broken connection on its reading side.
            c.m_failed = true;
            Forget(c);
            return;
        }
        size_t left = sent > 0 ? static_cast<size_t>(sent) : 0;
        c.m_queued.fetch_sub(static_cast<int64_t>(left), std::memory_order_relaxed);
        while (left > 0) {
            const size_t rest = static_cast<size_t>(c.m_pending.front().Size() - c.m_frontOffset);
            if (left < rest) {
                c.m_frontOffset += static_cast<int>(left);
                break;
            }
            left -= rest;
            c.m_pending.pop_front();
            c.m_frontOffset = 0;
        }
        if (sent < 0 || static_cast<size_t>(sent) < wanted) {
            // The socket is full: go on when it can take more.
            epoll_event ev{EPOLLOUT | EPOLLONESHOT, {.ptr = &c}};
            const int op = c.m_registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
            if (epoll_ctl(t.epoll, op, c.m_fd, &ev) != 0) {
                c.m_failed = true;
                Forget(c);
                return;
            }
            if (!c.m_registered) {
                c.m_registered = true;
                // Registered, the channel stays alive until it is shut, even when its
                // connection lets it go first.
                t.waiting[&c] = c.shared_from_this();
            }
            c.m_waiting = true;
            return;
        }
    }
}

void CSendPool::Shut(tagThread& t, CSendChannel& c) {
    if (c.m_closed) {
        return;
    }
    c.m_closed = true;
    if (c.m_registered) {
        epoll_ctl(t.epoll, EPOLL_CTL_DEL, c.m_fd, nullptr);
        c.m_registered = false;
    }
    Forget(c);
    ::close(c.m_fd);
    c.m_fd = -1;
    t.waiting.erase(&c);
}

void CSendPool::Forget(CSendChannel& c) {
    int64_t dropped = 0;
    for (const tagOutFrame& f : c.m_pending) {
        dropped += f.Size();
    }
    c.m_queued.fetch_sub(dropped - c.m_frontOffset, std::memory_order_relaxed);
    c.m_pending.clear();
    c.m_frontOffset = 0;
}
