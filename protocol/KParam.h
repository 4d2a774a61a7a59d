#pragma once
// The tagged-field packet every message of the protocol is made of: a 4-byte header (total
// length, field count) followed by fields of (value length, key, type, value), all
// little-endian and unaligned. Keys need not be unique; lookups find the first match.

#include <QString>

#include <cstdint>

// Keys with one meaning throughout the protocol.
enum : short {
    KEY_COMMAND = 10,
    KEY_RESULT = 20,
    KEY_REFUSAL = 21,
    KEY_SEQUENCE = 9999,
    KEY_CLOCK = -31073,
};

// Field type codes.
enum : short {
    KTYPE_SHORT = 10,
    KTYPE_INT = 20,
    KTYPE_BYTES = 30,
    KTYPE_TEXT = 40,
    KTYPE_BOOL = 50,
};

class CKParam {
public:
    CKParam() = default;
    virtual ~CKParam();
    // A packet is never copied member-wise; duplicate it with SetBufferPtr.
    CKParam(const CKParam&) = delete;
    CKParam& operator=(const CKParam&) = delete;
    CKParam(CKParam&& other) noexcept;
    CKParam& operator=(CKParam&& other) noexcept;

    void Release();

    int SetShortInt(short key, short value);
    int UpdateShortInt(short key, short value);
    int GetShortInt(short key, short& value) const;
    int SetInt(short key, int value);
    int GetInt(short key, int& value) const;
    int SetBoolean(short key, bool value);
    int GetBoolean(short key, bool& value) const;
    int SetChar(short key, const char* data, unsigned short n);
    // Copies the value to out (when not null; the caller's buffer must hold it) and sets n.
    int GetChar(short key, char* out, unsigned short& n) const;
    // Points *out at the value inside the packet's own buffer.
    int GetCharNC(short key, char** out, unsigned short& n) const;
    // Text in the ANSI code page, without a terminating zero.
    int SetCString(short key, const QString& value);
    int GetCString(short key, QString& value) const;

    int GetLength() const { return m_length; }
    int GetPacketNum() const { return m_count; }
    char* GetBufferPtr() const { return m_buffer; }
    int SetBufferPtr(const char* data, int n);
    short GetPacketCrc() const;

    // Conveniences over the Get operations for the common "default, then ask" reading.
    short ShortOr(short key, short def) const;
    int IntOr(short key, int def) const;
    bool BoolOr(short key, bool def) const;
    QString TextOr(short key, const QString& def = QString()) const;
    // The command in key 10, 0 when there is none.
    short Command() const { return ShortOr(KEY_COMMAND, 0); }

private:
    int PutBuffer(short key, short type, const char* data, unsigned short n);
    int GetBuffer(int key, char** value, short& type, unsigned short& n) const;

    char* m_buffer = nullptr;
    int32_t m_length = 0;
    int32_t m_count = 0;
    // Bytes allocated. Appends allocate exactly; loading a received packet into one that held a
    // larger packet reuses its buffer, so a connection can keep a few packets for its frames.
    int32_t m_capacity = 0;
};

// CRC-16/ARC over the sampled bytes of a packet: 13 bytes of every 39 among the first 500.
uint16_t PacketCrc(const char* data, int length);
// The same check value taken in steps, for a packet whose bytes do not lie in one buffer: how
// many sampled blocks a packet of this length has, and the value carried on from crc over
// `blocks` blocks, the first of them at data and each next one 39 bytes further.
int PacketCrcBlocks(int length);
uint16_t PacketCrcFrom(uint16_t crc, const char* data, int blocks);
