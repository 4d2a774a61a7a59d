#pragma once
// The speech quality's echo: a feedback comb over 639 samples (about 80 ms at 8000 Hz) with
// a gain of one half, applied in place before G.729. The ring and its position are one for
// the whole process and run on from block to block, across stops and starts.

#include <array>

class CEchoFilter {
public:
    static constexpr int kDelay = 639;

    // Filters samples in place.
    void Apply(short* samples, int count);
    // Ring position of the next sample.
    void Reset();

    // The process's filter, used by every speech capture.
    static CEchoFilter& Shared();

private:
    std::array<float, kDelay> m_ring{};
    int m_nPosition = 0;
};
