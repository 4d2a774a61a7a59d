#include "audio/EchoFilter.h"

#include <cstdint>

void CEchoFilter::Apply(short* samples, int count) {
    if (samples == nullptr)
        return;
    for (int i = 0; i < count; ++i) {
        const int x = samples[i];
        const float d = m_ring[m_nPosition];
        float y = static_cast<float>(x) + 0.5f * d;
        // Where the echo would push the sample out of 16 bits, the dry sample goes through.
        const int t = static_cast<int16_t>(static_cast<int>(0.5f * d));
        if (x + t > 32767 || x + t < -32768)
            y = static_cast<float>(x);
        m_ring[m_nPosition] = y;
        samples[i] = static_cast<short>(static_cast<int>(y));
        if (++m_nPosition >= kDelay)
            m_nPosition = 0;
    }
}

void CEchoFilter::Reset() {
    m_ring.fill(0.0f);
    m_nPosition = 0;
}

CEchoFilter& CEchoFilter::Shared() {
    static CEchoFilter filter;
    return filter;
}
