#pragma once
// What the capture side decides about each block before it is encoded: silence suppression
// after five quiet seconds, the meter value, and the loud flag at most every two seconds.
// The times belong to one capture object and are touched only by its capture thread.

#include <cstdint>

struct tagVoiceVerdict {
    bool send = false;  // false: a block of silence past the grace time, nothing at all happens
    int meter = 0;      // M, 1 to 20
    int loud = 0;       // F, 0 or 1
};

class CVoiceGate {
public:
    static constexpr int kVoiceLevel = 10;
    static constexpr int64_t kSilenceSeconds = 5;
    static constexpr int kLoudMeter = 12;
    static constexpr int64_t kLoudEverySeconds = 2;

    // Both times start at the construction time (seconds).
    explicit CVoiceGate(int64_t now) : m_nLastVoice(now), m_nLastFlag(now) {}

    tagVoiceVerdict Judge(int level, int64_t now);

    int64_t LastVoiceTime() const { return m_nLastVoice; }

private:
    int64_t m_nLastVoice;
    int64_t m_nLastFlag;
};
