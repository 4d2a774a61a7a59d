#pragma once
// Threads that write to the sockets of the members of rooms, so that a packet relayed to
// thousands of listeners is written by several threads at once while the event loop goes on.
// Each socket is written by one thread only, in the order its frames were handed over, and
// the two connections of one member are written by the same thread in the order the room
// spoke on them: what the room says on the main connection (the microphone changing hands, a
// line of chat) neither overtakes nor falls behind the voice and video it came between. A
// thread takes everything handed to it since it last woke, and writes each socket's run of
// frames with one call. Reading and every decision stay with the event loop: the thread only
// writes, and closes the descriptor the connection hands it when the connection closes.

#include "server/SharedPacket.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class CSendPool;

// The writing side of one socket, shared by its connection and its thread.
class CSendChannel : public std::enable_shared_from_this<CSendChannel> {
public:
    ~CSendChannel();
    // Bytes handed over and not yet taken by the socket.
    int64_t QueuedBytes() const { return m_queued.load(std::memory_order_relaxed); }
    // The socket refused a write; the connection is as good as closed.
    bool Failed() const { return m_failed.load(std::memory_order_relaxed); }

private:
    friend class CSendPool;
    struct tagGroup;

    int m_fd = -1;
    bool m_owned = false;  // the connection has handed the descriptor over for closing
    int m_thread = 0;
    std::shared_ptr<tagGroup> m_group;  // the member's connections, written in one order
    std::atomic<int64_t> m_queued{0};
    std::atomic<bool> m_failed{false};
    // The thread's own.
    std::deque<tagOutFrame> m_pending;
    int m_frontOffset = 0;
    bool m_waiting = false;  // for the socket to take more
    bool m_registered = false;
    bool m_closed = false;
};

class CSendPool {
public:
    // threads 0: as many as the machine has cores, at most four.
    explicit CSendPool(int threads);
    ~CSendPool();
    CSendPool(const CSendPool&) = delete;
    CSendPool& operator=(const CSendPool&) = delete;

    int Threads() const { return static_cast<int>(m_threads.size()); }
    // Writes the socket from now on: on the thread that writes `with`, in one order with it,
    // when given; otherwise on the next thread in turn. The descriptor stays the connection's
    // until it hands it back through Close.
    std::shared_ptr<CSendChannel> Open(int fd, const std::shared_ptr<CSendChannel>& with);
    void Push(const std::shared_ptr<CSendChannel>& channel, tagOutFrame frame);
    // The connection has closed: what the channel holds goes out as far as the socket takes it
    // at once, then the thread closes the descriptor.
    void Close(const std::shared_ptr<CSendChannel>& channel);

private:
    struct tagJob {
        std::shared_ptr<CSendChannel> channel;
        tagOutFrame frame;
        bool close = false;
    };
    struct tagThread;

    void Hand(tagJob job);
    void Run(tagThread& t);
    void Write(tagThread& t, CSendChannel& c);
    void Shut(tagThread& t, CSendChannel& c);
    void Forget(CSendChannel& c);

    std::vector<std::unique_ptr<tagThread>> m_threads;
    int m_next = 0;
};
