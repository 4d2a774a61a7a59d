#pragma once
// One clock for the whole process. Every wall-clock reading, every uptime reading and every
// window timer goes through it, so tests can swap in a manual clock and let forty seconds of
// silence pass in a millisecond.

#include "platform/ServiceSlot.h"

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

class ITimerTarget {
public:
    virtual ~ITimerTarget() = default;
    virtual void OnClockTimer(unsigned id) = 0;
};

class CClock {
public:
    virtual ~CClock() = default;

    // Milliseconds since 1970 (UTC).
    virtual int64_t UnixMs() const = 0;
    // Milliseconds since the system started.
    virtual int64_t UptimeMs() const = 0;

    // A periodic timer firing target->OnClockTimer(id) on the thread that started it.
    // The handle is never 0.
    virtual uintptr_t StartTimer(ITimerTarget* target, unsigned id, unsigned periodMs) = 0;
    virtual void StopTimer(uintptr_t handle) = 0;

    int64_t Now() const { return UnixMs() / 1000; }
    int UptimeSeconds() const { return static_cast<int>(UptimeMs() / 1000); }

    // The process-wide clock: the programs install the system clock first thing, tests may
    // put a manual one in its place for a while.
    static CServiceSlot<CClock>& Slot();
    static CClock& Get() { return Slot().Get(); }
};

// The real clock: CLOCK_REALTIME, CLOCK_MONOTONIC and Qt timers.
class CSystemClock : public CClock {
public:
    int64_t UnixMs() const override;
    int64_t UptimeMs() const override;
    uintptr_t StartTimer(ITimerTarget* target, unsigned id, unsigned periodMs) override;
    void StopTimer(uintptr_t handle) override;
};

// The system clock, made once. A program installs it for the rest of the process and never
// takes it out: trace lines written on the way out still read the clock.
CSystemClock& TheSystemClock();

// A clock that only moves when told to. Timers fire from Advance(), in deadline order, on the
// thread that calls it.
class CManualClock : public CClock {
public:
    explicit CManualClock(int64_t unixMs = 1700000000000LL, int64_t uptimeMs = 3600000);

    int64_t UnixMs() const override;
    int64_t UptimeMs() const override;
    uintptr_t StartTimer(ITimerTarget* target, unsigned id, unsigned periodMs) override;
    void StopTimer(uintptr_t handle) override;

    // Moves both readings forward, firing every timer that falls due on the way.
    void Advance(int64_t ms);
    // Moves only the wall clock (a clock set back or forward by the user); timers stay.
    void SetUnixMs(int64_t unixMs);

private:
    struct Timer {
        ITimerTarget* target;
        unsigned id;
        unsigned periodMs;
        int64_t due;  // in uptime milliseconds
    };
    mutable std::mutex m_mutex;
    int64_t m_unixOffset;  // unix ms = uptime ms + offset
    int64_t m_uptime;
    uintptr_t m_nextHandle = 1;
    std::map<uintptr_t, Timer> m_timers;
};

// Installs a clock for the life of a scope.
using CScopedClock = CScopedService<CClock>;
