#pragma once
// One packet sent to many receivers. The frames of two receivers differ only in the send time
// before the packet, the sequence and clock fields each connection appends to it and, for a
// short packet, the check value; so the packet's bytes are made once and shared (counted, not
// copied) by every frame that carries them, and each frame adds its own thirty bytes.

#include "protocol/FrameCodec.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

class CKParam;

// A frame as a send queue keeps it: the receiver's own head, the middle, the receiver's own
// tail. A frame built whole for one receiver is all middle.
struct tagOutFrame {
    static constexpr int kOwnBytes = 30;
    QByteArray middle;
    char own[kOwnBytes] = {};  // the head, then the tail
    uint8_t head = 0;
    uint8_t tail = 0;

    int Size() const { return head + static_cast<int>(middle.size()) + tail; }
};

class CSharedPacket {
public:
    // The packet must outlive this object; it is read when the first frame is made.
    explicit CSharedPacket(const CKParam& packet) : m_packet(packet) {}

    const CKParam& Packet() const { return m_packet; }
    // One receiver's frame: its send time, its sequence number and its clock field (used when
    // the framing carries the time). False when the packet does not fit the framing, which
    // then is not sent at all.
    bool Frame(const tagFrameFormat& format, uint32_t sendTime, int sequence,
               tagOutFrame& out) const;

private:
    struct tagBody {
        QByteArray bytes;    // the packet, its header already counting the appended fields
        int blocks = 0;      // check-value blocks of the whole packet
        int fullBlocks = 0;  // of them, those wholly inside the shared bytes
        uint16_t crc = 0;    // the check value carried over the full blocks
        bool fits = false;
    };
    const tagBody& Body(const tagFrameFormat& format) const;

    const CKParam& m_packet;
    // With and without the clock field; made on first use.
    mutable std::unique_ptr<tagBody> m_bodies[2];
};
