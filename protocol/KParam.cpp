#include "protocol/KParam.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

inline uint16_t ReadU16(const char* p) {
    return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8));
}

inline void WriteU16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}

// CRC-16/ARC, table-driven. The check value is computed for every frame sent and received, so
// it is done one sampled 13-byte block per step: table k advances a byte that stands k bytes
// before the end of its block, and the thirteen lookups of a step are independent.
constexpr int kBlock = 13;
using CrcTables = std::array<std::array<uint16_t, 256>, kBlock>;

constexpr CrcTables MakeCrcTables() {
    CrcTables t{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
        }
        t[0][i] = crc;
    }
    for (unsigned i = 0; i < 256; ++i) {
        for (int k = 1; k < kBlock; ++k) {
            t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
        }
    }
    return t;
}

constexpr CrcTables kCrc = MakeCrcTables();
static_assert(kCrc[0][1] == 0xC0C1 && kCrc[0][128] == 0xA001);

inline uint16_t CrcBlock(uint16_t crc, const uint8_t* p) {
    const uint16_t x = static_cast<uint16_t>(crc ^ (p[0] | (p[1] << 8)));
    return static_cast<uint16_t>(kCrc[12][x & 0xFF] ^ kCrc[11][x >> 8] ^ kCrc[10][p[2]] ^
                                 kCrc[9][p[3]] ^ kCrc[8][p[4]] ^ kCrc[7][p[5]] ^ kCrc[6][p[6]] ^
                                 kCrc[5][p[7]] ^ kCrc[4][p[8]] ^ kCrc[3][p[9]] ^ kCrc[2][p[10]] ^
                                 kCrc[1][p[11]] ^ kCrc[0][p[12]]);
}

constexpr int kHeaderSize = 4;
constexpr int kFieldHeaderSize = 6;
constexpr int kMaxPacket = 0xFFFF;

}  // namespace

int PacketCrcBlocks(int length) {
    // 13 bytes of every 39 among the first 500, at most 13 blocks; the block count guarantees
    // each sampled block lies wholly inside the packet.
    return length <= 0 ? 0 : (std::min(length, 500) + 13) / 39;
}

uint16_t PacketCrcFrom(uint16_t crc, const char* data, int blocks) {
    const auto* p = reinterpret_cast<const uint8_t*>(data);
    for (int b = 0; b < blocks; ++b) {
        crc = CrcBlock(crc, p + 39 * b);
    }
    return crc;
}

uint16_t PacketCrc(const char* data, int length) {
    if (!data || length <= 0) {
        return 0;
    }
    return PacketCrcFrom(0, data, PacketCrcBlocks(length));
}

CKParam::~CKParam() {
    Release();
}

CKParam::CKParam(CKParam&& other) noexcept
    : m_buffer(std::exchange(other.m_buffer, nullptr)),
      m_length(std::exchange(other.m_length, 0)),
      m_count(std::exchange(other.m_count, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)) {}

CKParam& CKParam::operator=(CKParam&& other) noexcept {
    if (this != &other) {
        Release();
        m_buffer = std::exchange(other.m_buffer, nullptr);
        m_length = std::exchange(other.m_length, 0);
        m_count = std::exchange(other.m_count, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

void CKParam::Release() {
    std::free(m_buffer);
    m_buffer = nullptr;
    m_length = 0;
    m_count = 0;
    m_capacity = 0;
}

int CKParam::PutBuffer(short key, short type, const char* data, unsigned short n) {
    const int oldLength = m_buffer ? m_length : kHeaderSize;
    const int total = oldLength + kFieldHeaderSize + n;
    // The header's length word cannot describe a longer packet; refuse rather than wrap.
    if (total > kMaxPacket) {
        return -1;
    }
    char* grown = static_cast<char*>(std::malloc(static_cast<size_t>(total)));
    if (!grown) {
        return -1;
    }
    if (m_buffer) {
        std::memcpy(grown, m_buffer, static_cast<size_t>(m_length));
    }
    std::free(m_buffer);
    m_buffer = grown;
    ++m_count;
    WriteU16(m_buffer, static_cast<uint16_t>(total));
    WriteU16(m_buffer + 2, static_cast<uint16_t>(m_count));
    char* field = m_buffer + oldLength;
    WriteU16(field, n);
    WriteU16(field + 2, static_cast<uint16_t>(key));
    WriteU16(field + 4, static_cast<uint16_t>(type));
    if (n) {
        std::memcpy(field + kFieldHeaderSize, data, n);
    }
    m_length = total;
    m_capacity = total;
    return 0;
}

int CKParam::GetBuffer(int key, char** value, short& type, unsigned short& n) const {
    if (m_count < 1 || !m_buffer) {
        return -1;
    }
    int offset = kHeaderSize;
    for (int i = 0; i < m_count; ++i) {
        if (offset + kFieldHeaderSize > m_length) {
            return -1;
        }
        const uint16_t length = ReadU16(m_buffer + offset);
        const auto storedKey = static_cast<int16_t>(ReadU16(m_buffer + offset + 2));
        if (storedKey == key) {
            if (offset + kFieldHeaderSize + length > m_length) {
                return -1;
            }
            type = static_cast<short>(ReadU16(m_buffer + offset + 4));
            n = length;
            *value = m_buffer + offset + kFieldHeaderSize;
            return 0;
        }
        offset += kFieldHeaderSize + length;
    }
    return -1;
}

int CKParam::SetShortInt(short key, short value) {
    char bytes[2];
    WriteU16(bytes, static_cast<uint16_t>(value));
    return PutBuffer(key, KTYPE_SHORT, bytes, 2);
}

int CKParam::UpdateShortInt(short key, short value) {
    char* p = nullptr;
    short type = 0;
    unsigned short n = 0;
    if (GetBuffer(key, &p, type, n) != 0 || type != KTYPE_SHORT || n < 2) {
        return -1;
    }
    WriteU16(p, static_cast<uint16_t>(value));
    return 0;
}

// A field narrower than its type's width is refused: senders always write the full width, and
// reading past a short field would read the next field's header.
int CKParam::GetShortInt(short key, short& value) const {
    char* p = nullptr;
    short type = 0;
    unsigned short n = 0;
    if (GetBuffer(key, &p, type, n) != 0 || type != KTYPE_SHORT || n < 2) {
        return -1;
    }
    value = static_cast<short>(ReadU16(p));
    return 0;
}

int CKParam::SetInt(short key, int value) {
    char bytes[4];
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return PutBuffer(key, KTYPE_INT, bytes, 4);
}

int CKParam::GetInt(short key, int& value) const {
    char* p = nullptr;
    short type = 0;
    unsigned short n = 0;
    if (GetBuffer(key, &p, type, n) != 0 || type != KTYPE_INT || n < 4) {
        return -1;
    }
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= static_cast<uint32_t>(static_cast<uint8_t>(p[i])) << (8 * i);
    }
    value = static_cast<int>(v);
    return 0;
}

int CKParam::SetBoolean(short key, bool value) {
    const char byte = value ? 1 : 0;
    return PutBuffer(key, KTYPE_BOOL, &byte, 1);
}

int CKParam::GetBoolean(short key, bool& value) const {
    char* p = nullptr;
    short type = 0;
    unsigned short n = 0;
    if (GetBuffer(key, &p, type, n) != 0 || type != KTYPE_BOOL || n < 1) {
        return -1;
    }
    value = *p != 0;
    return 0;
}

int CKParam::SetChar(short key, const char* data, unsigned short n) {
    return PutBuffer(key, KTYPE_BYTES, data, n);
}

int CKParam::GetChar(short key, char* out, unsigned short& n) const {
    char* p = nullptr;
    if (GetCharNC(key, &p, n) != 0) {
        return -1;
    }
    if (out && n) {
        std::memcpy(out, p, n);
    }
    return 0;
}

int CKParam::GetCharNC(short key, char** out, unsigned short& n) const {
    char* p = nullptr;
    short type = 0;
    unsigned short length = 0;
    if (GetBuffer(key, &p, type, length) != 0 || type != KTYPE_BYTES) {
        return -1;
    }
    n = length;
    if (out) {
        *out = p;
    }
    return 0;
}

int CKParam::SetCString(short key, const QString& value) {
    const QByteArray bytes = ToAnsi(value);
    if (bytes.size() > 0xFFFF) {
        return -1;
    }
    return PutBuffer(key, KTYPE_TEXT, bytes.constData(), static_cast<unsigned short>(bytes.size()));
}

int CKParam::GetCString(short key, QString& value) const {
    char* p = nullptr;
    short type = 0;
    unsigned short n = 0;
    if (GetBuffer(key, &p, type, n) != 0 || type != KTYPE_TEXT) {
        return -1;
    }
    value = n ? FromAnsi(QByteArrayView(p, n)) : QString();
    return 0;
}

int CKParam::SetBufferPtr(const char* data, int n) {
    if (n <= 0 || !data) {
        Release();
        return n == 0 ? 0 : -1;
    }
    if (!m_buffer || m_capacity < n) {
        Release();
        m_buffer = static_cast<char*>(std::malloc(static_cast<size_t>(n)));
        if (!m_buffer) {
            return -1;
        }
        m_capacity = n;
    }
    std::memmove(m_buffer, data, static_cast<size_t>(n));
    m_length = n;
    m_count = n >= 4 ? static_cast<int16_t>(ReadU16(m_buffer + 2)) : 0;
    return 0;
}

short CKParam::GetPacketCrc() const {
    return static_cast<short>(PacketCrc(m_buffer, m_length));
}

short CKParam::ShortOr(short key, short def) const {
    GetShortInt(key, def);
    return def;
}

int CKParam::IntOr(short key, int def) const {
    GetInt(key, def);
    return def;
}

bool CKParam::BoolOr(short key, bool def) const {
    GetBoolean(key, def);
    return def;
}

QString CKParam::TextOr(short key, const QString& def) const {
    QString value = def;
    GetCString(key, value);
    return value;
}
