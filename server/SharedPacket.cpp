#include "server/SharedPacket.h"

#include "protocol/KParam.h"

#include <cstring>

namespace {

constexpr int kFieldBytes = 10;  // length, key, type and a 32-bit value
constexpr int kBlockStride = 39;
constexpr int kBlockBytes = 13;

void PutU16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}

void PutU32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

// An integer field as the packet class appends it.
char* PutIntField(char* p, short key, int value) {
    PutU16(p, 4);
    PutU16(p + 2, static_cast<uint16_t>(key));
    PutU16(p + 4, static_cast<uint16_t>(KTYPE_INT));
    PutU32(p + 6, static_cast<uint32_t>(value));
    return p + kFieldBytes;
}

bool WithClock(const tagFrameFormat& format) {
    return format.headerSize == 8;
}

}  // namespace

const CSharedPacket::tagBody& CSharedPacket::Body(const tagFrameFormat& format) const {
    std::unique_ptr<tagBody>& made = m_bodies[WithClock(format) ? 1 : 0];
    if (made) {
        return *made;
    }
    made = std::make_unique<tagBody>();
    const int own = WithClock(format) ? 2 : 1;
    const int base = m_packet.GetLength();
    const int length = base + own * kFieldBytes;
    made->fits = m_packet.GetBufferPtr() && base >= 4 && length >= format.minLength &&
                 length <= format.maxLength;
    if (!made->fits) {
        return *made;
    }
    made->bytes = QByteArray(m_packet.GetBufferPtr(), base);
    PutU16(made->bytes.data(), static_cast<uint16_t>(length));
    PutU16(made->bytes.data() + 2, static_cast<uint16_t>(m_packet.GetPacketNum() + own));
    made->blocks = PacketCrcBlocks(length);
    const int inside = base >= kBlockBytes ? (base - kBlockBytes) / kBlockStride + 1 : 0;
    made->fullBlocks = std::min(made->blocks, inside);
    made->crc = PacketCrcFrom(0, made->bytes.constData(), made->fullBlocks);
    return *made;
}

bool CSharedPacket::Frame(const tagFrameFormat& format, uint32_t sendTime, int sequence,
                          tagOutFrame& out) const {
    const tagBody& body = Body(format);
    if (!body.fits) {
        return false;
    }
    out.middle = body.bytes;
    char* p = out.own;
    PutU16(p, 0x0201);
    PutU16(p + 2, 0x0403);
    p += 4;
    if (WithClock(format)) {
        PutU32(p, sendTime);
        p += 4;
    }
    out.head = static_cast<uint8_t>(p - out.own);
    char* const fields = p;
    p = PutIntField(p, KEY_SEQUENCE, sequence);
    if (WithClock(format)) {
        p = PutIntField(p, KEY_CLOCK, static_cast<int>(sendTime));
    }
    const int fieldBytes = static_cast<int>(p - fields);
    uint16_t crc = body.crc;
    if (body.fullBlocks < body.blocks) {
        // The last sampled block of a short packet reaches into this receiver's own fields:
        // carry the value on over a copy of the few bytes from that block to the end.
        char rest[kBlockBytes + 2 * kFieldBytes];
        const int from = body.fullBlocks * kBlockStride;
        const int shared = static_cast<int>(body.bytes.size()) - from;
        std::memcpy(rest, body.bytes.constData() + from, static_cast<size_t>(shared));
        std::memcpy(rest + shared, fields, static_cast<size_t>(fieldBytes));
        crc = PacketCrcFrom(crc, rest, body.blocks - body.fullBlocks);
    }
    PutU16(p, crc);
    p += 2;
    out.tail = static_cast<uint8_t>(p - fields);
    return true;
}
