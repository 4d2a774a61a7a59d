#pragma once
// When the camera took each frame the senders of this process encoded, by frame number, for
// the glass-to-glass measurement and the trace: the receiving side reads it when it draws the
// frame of that number. Keeps the last few seconds only.

#include <array>
#include <cstdint>
#include <mutex>

class CFrameTimes {
public:
    static constexpr int kKept = 256;

    static CFrameTimes& Senders();

    void Note(int number, int64_t capturedNs);
    // -1 when the frame is unknown or too old.
    int64_t CapturedAt(int number) const;

private:
    struct tagEntry {
        int number = -1;
        int64_t capturedNs = -1;
    };
    mutable std::mutex m_mutex;
    std::array<tagEntry, kKept> m_entries{};
};

// The monotonic clock in ns, the clock the camera's timestamps are on.
int64_t MonotonicNs();
