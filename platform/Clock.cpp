#include "platform/Clock.h"

#include <QPointer>
#include <QTimer>

#include <ctime>

namespace {

constinit CServiceSlot<CClock> g_clock{"clock"};

int64_t ReadClockMs(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

CServiceSlot<CClock>& CClock::Slot() {
    return g_clock;
}

CSystemClock& TheSystemClock() {
    static CSystemClock clock;
    return clock;
}

int64_t CSystemClock::UnixMs() const {
    return ReadClockMs(CLOCK_REALTIME);
}

int64_t CSystemClock::UptimeMs() const {
    return ReadClockMs(CLOCK_BOOTTIME);
}

uintptr_t CSystemClock::StartTimer(ITimerTarget* target, unsigned id, unsigned periodMs) {
    auto* timer = new QTimer;
    timer->setTimerType(Qt::CoarseTimer);
    timer->setInterval(static_cast<int>(periodMs));
    QObject::connect(timer, &QTimer::timeout, timer, [target, id] { target->OnClockTimer(id); });
    timer->start();
    return reinterpret_cast<uintptr_t>(timer);
}

void CSystemClock::StopTimer(uintptr_t handle) {
    auto* timer = reinterpret_cast<QTimer*>(handle);
    timer->stop();
    // The timer may be stopped from inside its own timeout; let the event loop delete it.
    timer->deleteLater();
}

CManualClock::CManualClock(int64_t unixMs, int64_t uptimeMs)
    : m_unixOffset(unixMs - uptimeMs), m_uptime(uptimeMs) {}

int64_t CManualClock::UnixMs() const {
    std::lock_guard lock(m_mutex);
    return m_uptime + m_unixOffset;
}

int64_t CManualClock::UptimeMs() const {
    std::lock_guard lock(m_mutex);
    return m_uptime;
}

uintptr_t CManualClock::StartTimer(ITimerTarget* target, unsigned id, unsigned periodMs) {
    std::lock_guard lock(m_mutex);
    uintptr_t handle = m_nextHandle++;
    m_timers[handle] =
        Timer{target, id, periodMs ? periodMs : 1, m_uptime + (periodMs ? periodMs : 1)};
    return handle;
}

void CManualClock::StopTimer(uintptr_t handle) {
    std::lock_guard lock(m_mutex);
    m_timers.erase(handle);
}

void CManualClock::Advance(int64_t ms) {
    int64_t target;
    {
        std::lock_guard lock(m_mutex);
        target = m_uptime + ms;
    }
    for (;;) {
        ITimerTarget* fire = nullptr;
        unsigned id = 0;
        {
            std::lock_guard lock(m_mutex);
            auto next = m_timers.end();
            for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
                if (it->second.due <= target &&
                    (next == m_timers.end() || it->second.due < next->second.due)) {
                    next = it;
                }
            }
            if (next == m_timers.end()) {
                m_uptime = target;
                return;
            }
            m_uptime = next->second.due;
            next->second.due += next->second.periodMs;
            fire = next->second.target;
            id = next->second.id;
        }
        // Called without the lock: the handler may start or stop timers.
        fire->OnClockTimer(id);
    }
}

void CManualClock::SetUnixMs(int64_t unixMs) {
    std::lock_guard lock(m_mutex);
    m_unixOffset = unixMs - m_uptime;
}
