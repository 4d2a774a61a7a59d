#include "video/FrameTimes.h"

#include <time.h>

CFrameTimes& CFrameTimes::Senders() {
    static CFrameTimes times;
    return times;
}

void CFrameTimes::Note(int number, int64_t capturedNs) {
    std::lock_guard lock(m_mutex);
    m_entries[static_cast<unsigned>(number) % kKept] = {number, capturedNs};
}

int64_t CFrameTimes::CapturedAt(int number) const {
    std::lock_guard lock(m_mutex);
    const tagEntry& e = m_entries[static_cast<unsigned>(number) % kKept];
    return e.number == number ? e.capturedNs : -1;
}

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}
