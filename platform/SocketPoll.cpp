#include "platform/SocketPoll.h"

#include <sys/epoll.h>
#include <unistd.h>

namespace {
thread_local std::weak_ptr<CSocketPoll> t_current;

int MakeEpoll() {
    return epoll_create1(EPOLL_CLOEXEC);
}
}  // namespace

std::shared_ptr<CSocketPoll> CSocketPoll::ForThisThread() {
    if (auto current = t_current.lock()) {
        return current;
    }
    auto made = std::make_shared<CSocketPoll>();
    t_current = made;
    return made;
}

std::shared_ptr<CSocketPoll> CSocketPoll::Current() {
    return t_current.lock();
}

CSocketPoll::CSocketPoll() : m_epoll(MakeEpoll()), m_notifier(m_epoll, QSocketNotifier::Read) {
    QObject::connect(&m_notifier, &QSocketNotifier::activated, &m_notifier, [this] { Ready(); });
}

CSocketPoll::~CSocketPoll() {
    m_notifier.setEnabled(false);
    if (m_epoll >= 0) {
        ::close(m_epoll);
    }
}

uint64_t CSocketPoll::Add(int fd, Notify notify) {
    const uint64_t id = m_nextId++;
    tagEntry& e = m_entries[id];
    e.fd = fd;
    e.notify = std::move(notify);
    return id;
}

void CSocketPoll::Watch(uint64_t id, bool read, bool write) {
    auto it = m_entries.find(id);
    if (it == m_entries.end()) {
        return;
    }
    tagEntry& e = it->second;
    if (e.listed && e.read == read && e.write == write) {
        return;
    }
    e.read = read;
    e.write = write;
    // A socket watched for nothing leaves the set: a closed one would otherwise report its
    // hang-up on every wait.
    if (!read && !write) {
        if (e.listed) {
            epoll_ctl(m_epoll, EPOLL_CTL_DEL, e.fd, nullptr);
            e.listed = false;
        }
        return;
    }
    epoll_event ev{};
    ev.events = (read ? EPOLLIN : 0u) | (write ? EPOLLOUT : 0u);
    ev.data.u64 = id;
    if (epoll_ctl(m_epoll, e.listed ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, e.fd, &ev) == 0) {
        e.listed = true;
    }
}

void CSocketPoll::Remove(uint64_t id) {
    auto it = m_entries.find(id);
    if (it == m_entries.end()) {
        return;
    }
    if (it->second.listed) {
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, it->second.fd, nullptr);
    }
    m_entries.erase(it);
}

void CSocketPoll::Ready() {
    epoll_event events[256];
    const int n = epoll_wait(m_epoll, events, 256, 0);
    for (int i = 0; i < n; ++i) {
        const uint64_t id = events[i].data.u64;
        const uint32_t got = events[i].events;
        // A callback may close or remove any socket, this one included: look it up each time.
        auto it = m_entries.find(id);
        if (it == m_entries.end()) {
            continue;
        }
        const bool hangUp = (got & (EPOLLHUP | EPOLLERR)) != 0;
        const bool readable = it->second.read && ((got & EPOLLIN) || hangUp);
        const bool writable = it->second.write && ((got & EPOLLOUT) || hangUp);
        if (readable || writable) {
            // A copy: the callback may remove the entry that holds it.
            const Notify notify = it->second.notify;
            notify(readable, writable);
        }
    }
}
