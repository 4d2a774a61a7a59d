#pragma once
// The load room as the benchmarks drive it: the service in its child process, a speaker who
// holds the microphone, listeners added and removed by the thousand, and one thread that
// reads every listener and times the voice by the kernel's arrival stamps.

#include "bench/load/LoadClient.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace loadbench {

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
    bool ResizeTo(int n);

    struct tagResult {
        std::vector<double> latenciesMs;
        int64_t expected = 0;
        int64_t relayedBytes = 0;  // voice frames received while recording, whole
        double serverCpuPercent = 0;
        double kernelCpuPercent = 0;  // of it, in the kernel
        double seconds = 0;
    };

    // The speaker speaks; the listeners' receipts are timed.
    tagResult Measure();

    struct tagKickResult {
        std::vector<double> cycleMs;
        std::vector<double> announcementMs;
        int missed = 0;  // announcements that did not reach a watcher within the cycle's wait
    };

    // The owner kicks a member, the member enters again, `cycles` times over; each cycle runs
    // from the kick's send until the member is inside again with both connections.
    std::optional<tagKickResult> MeasureKicks(int cycles);

    ~CLoadRig();

private:
    CLoadRig();

    // A member who joined becomes a listener the receiving thread reads.
    void Adopt(std::unique_ptr<tagMember> m);

    // One thread reads every listener connection: voice on the second connections is timed,
    // everything else is drained; keep-alives go out every ten seconds.
    void Receive();

    // recv with the kernel's arrival stamp of the first segment read.
    static ssize_t ReceiveStamped(int fd, std::vector<char>& buffer, int64_t& arrived);

    void Timed(const QByteArray& bytes, int64_t now);

    void KeepAlive();

    // Reads a connection until the service closes it (or five seconds pass).
    static void AwaitClose(tagConn& c);

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

}  // namespace loadbench
