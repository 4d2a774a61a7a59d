#include "protocol/FrameCodec.h"

#include "protocol/KParam.h"

#include <algorithm>
#include <cstring>

namespace {

inline uint16_t ReadU16(const char* p) {
    return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8));
}

inline bool IsMarker(const char* p) {
    return p[0] == 0x01 && p[1] == 0x02 && p[2] == 0x03 && p[3] == 0x04;
}

// Offset of the next marker at or after p, or -1.
int FindMarker(const char* buf, int p, int size) {
    const char* end = buf + size;
    for (const char* at = buf + p; end - at >= 4;) {
        at = static_cast<const char*>(std::memchr(at, 0x01, static_cast<size_t>(end - at - 3)));
        if (!at) {
            return -1;
        }
        if (IsMarker(at)) {
            return static_cast<int>(at - buf);
        }
        ++at;
    }
    return -1;
}

// The most bytes after a complete frame that are kept for the next read.
constexpr int kTailKeep = 12;

}  // namespace

QByteArray BuildFrame(const tagFrameFormat& format, uint32_t sendTime, const char* packet,
                      int length) {
    QByteArray frame;
    frame.resize(format.headerSize + length + 2);
    char* p = frame.data();
    p[0] = 0x01;
    p[1] = 0x02;
    p[2] = 0x03;
    p[3] = 0x04;
    if (format.headerSize == 8) {
        for (int i = 0; i < 4; ++i) {
            p[4 + i] = static_cast<char>((sendTime >> (8 * i)) & 0xFF);
        }
    }
    std::memcpy(p + format.headerSize, packet, static_cast<size_t>(length));
    const uint16_t crc = PacketCrc(packet, length);
    p[format.headerSize + length] = static_cast<char>(crc & 0xFF);
    p[format.headerSize + length + 1] = static_cast<char>(crc >> 8);
    return frame;
}

int CFrameAssembler::Feed(const char* data, int n, const Deliver& deliver) {
    if (m_leftover.isEmpty()) {
        return Result(Run(data, n, deliver));
    }
    // Joining the whole read to the leftover would copy every byte once more. When the leftover
    // is the start of a frame, take from the read only what that frame lacks, deliver it, and
    // go on with the rest of the read in place. Same result, one copy less.
    const int header = m_format.headerSize;
    if (m_leftover.size() >= 4 && IsMarker(m_leftover.constData())) {
        const int toLength = header + 2 - static_cast<int>(m_leftover.size());
        if (toLength > 0) {
            const int take = std::min(toLength, n);
            m_leftover.append(data, take);
            data += take;
            n -= take;
            if (toLength > take) {
                return 0;
            }
        }
        const int length = ReadU16(m_leftover.constData() + header);
        const int missing = header + length + 2 - static_cast<int>(m_leftover.size());
        // A short tail kept after a frame can hold a whole small frame of its own; only a
        // frame that still lacks bytes takes the quick way.
        if (length >= m_format.minLength && length <= m_format.maxLength && missing > 0) {
            if (missing > n) {
                if (m_leftover.size() + n < m_format.leftoverLimit) {
                    m_leftover.append(data, n);
                } else {
                    m_leftover.clear();
                }
                return 0;
            }
            QByteArray frame = std::move(m_leftover);
            m_leftover = QByteArray();
            frame.append(data, missing);
            const EOutcome outcome =
                Run(frame.constData(), static_cast<int>(frame.size()), deliver);
            if (outcome != EOutcome::Done) {
                return Result(outcome);
            }
            data += missing;
            n -= missing;
            if (n == 0) {
                return 0;
            }
            // What follows a frame: a short tail waits for the next read, as in Run.
            return Result(n <= kTailKeep ? KeepTail(data, n) : Run(data, n, deliver));
        }
    }
    QByteArray work = std::move(m_leftover);
    m_leftover = QByteArray();
    work.append(data, n);
    return Result(Run(work.constData(), static_cast<int>(work.size()), deliver));
}

CFrameAssembler::EOutcome CFrameAssembler::KeepTail(const char* buf, int size) {
    m_leftover = QByteArray(buf, size);
    return EOutcome::Done;
}

CFrameAssembler::EOutcome CFrameAssembler::Run(const char* buf, int size, const Deliver& deliver) {
    const int header = m_format.headerSize;
    int p = 0;
    for (;;) {
        if (size - p < 4 || !IsMarker(buf + p)) {
            const int at = FindMarker(buf, p, size);
            if (at < 0) {
                return EOutcome::Done;
            }
            p = at;
        }
        const int remaining = size - p;
        if (remaining < header + 2) {
            return KeepTail(buf + p, remaining);
        }
        const int length = ReadU16(buf + p + header);
        if (length < m_format.minLength || length > m_format.maxLength) {
            return m_format.refuseIsFatal ? EOutcome::Fatal : EOutcome::Discarded;
        }
        const int frameSize = header + length + 2;
        if (frameSize > remaining) {
            if (remaining < m_format.leftoverLimit) {
                m_leftover = QByteArray(buf + p, remaining);
            }
            return EOutcome::Done;
        }
        const char* packet = buf + p + header;
        if (PacketCrc(packet, length) != ReadU16(packet + length)) {
            return EOutcome::Discarded;
        }
        switch (deliver(packet, length)) {
            case EVerdict::Continue:
                break;
            case EVerdict::DiscardRest:
                return EOutcome::Fatal;
            case EVerdict::Stop:
                m_leftover.clear();
                return EOutcome::Stopped;
        }
        p += frameSize;
        const int left = size - p;
        if (left == 0) {
            m_leftover.clear();
            return EOutcome::Done;
        }
        if (left <= kTailKeep) {
            return KeepTail(buf + p, left);
        }
    }
}
