#pragma once
// One epoll set for the sockets of a thread, watched by the thread's event loop through a
// single descriptor. With a notifier per socket the event loop hands every socket to poll()
// each time it waits and wakes: at thousands of connections that scan, not the work, is what
// a packet waits for. A socket made on a thread that has a set joins it instead.

#include <QSocketNotifier>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

class QThread;

class CSocketPoll {
public:
    // Readiness of a watched socket: readable (closed or failed included), writable.
    using Notify = std::function<void(bool readable, bool writable)>;

    // The set of the calling thread, made when it has none; it lasts while somebody holds it.
    static std::shared_ptr<CSocketPoll> ForThisThread();
    // The calling thread's set, if somebody made one and holds it.
    static std::shared_ptr<CSocketPoll> Current();

    CSocketPoll();
    ~CSocketPoll();
    CSocketPoll(const CSocketPoll&) = delete;
    CSocketPoll& operator=(const CSocketPoll&) = delete;

    QThread* Thread() const { return m_notifier.thread(); }
    QObject* Context() { return &m_notifier; }
    // A handle for the socket, watched for nothing until Watch.
    uint64_t Add(int fd, Notify notify);
    void Watch(uint64_t id, bool read, bool write);
    void Remove(uint64_t id);

private:
    struct tagEntry {
        int fd = -1;
        bool read = false;
        bool write = false;
        bool listed = false;  // in the epoll set
        Notify notify;
    };
    void Ready();

    int m_epoll = -1;
    QSocketNotifier m_notifier;
    uint64_t m_nextId = 1;
    std::unordered_map<uint64_t, tagEntry> m_entries;
};
