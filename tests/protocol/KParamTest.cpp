#include "protocol/KParam.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <algorithm>
#include <cstdint>

namespace {

QByteArray Bytes(const CKParam& p) {
    return QByteArray(p.GetBufferPtr(), p.GetLength());
}

TEST(KParam, AKeepAliveIsLaidOutByteForByteWithItsCheckValue) {
    CKParam p;
    p.SetShortInt(10, 99);
    p.SetInt(9999, 1);
    p.SetInt(-31073, 1000);
    EXPECT_EQ(
        Bytes(p).toHex(' '),
        QByteArray(
            "20 00 03 00 02 00 0a 00 0a 00 63 00 04 00 0f 27 14 00 01 00 00 00 04 00 9f 86 14 00 "
            "e8 03 00 00"));
    EXPECT_EQ(static_cast<uint16_t>(p.GetPacketCrc()), 0x98AA);
    int clock = 0;
    EXPECT_EQ(p.GetInt(-31073, clock), 0);
    EXPECT_EQ(clock, 1000);
}

// A read that finds no field of its key and type leaves the output alone and an update changes
// no byte; of two fields with one key the first is read and updated.
TEST(KParam, OnlyTheFirstFieldOfItsKeyAndTypeIsReadOrUpdated) {
    CKParam empty;
    EXPECT_EQ(empty.GetLength(), 0);
    EXPECT_EQ(empty.GetBufferPtr(), nullptr);
    EXPECT_EQ(empty.GetPacketCrc(), 0);
    CKParam p;
    p.SetShortInt(10, 3);
    p.SetInt(20, 5);
    for (CKParam* packet : {&empty, &p}) {
        short s = 5;
        int i = 6;
        bool b = true;
        QString t = "keep";
        unsigned short n = 9;
        EXPECT_EQ(packet->GetShortInt(20, s), -1);
        EXPECT_EQ(packet->GetInt(10, i), -1);
        EXPECT_EQ(packet->GetBoolean(10, b), -1);
        EXPECT_EQ(packet->GetCString(10, t), -1);
        EXPECT_EQ(packet->GetChar(10, nullptr, n), -1);
        EXPECT_EQ(s, 5);
        EXPECT_EQ(i, 6);
        EXPECT_TRUE(b);
        EXPECT_EQ(t, "keep");
        EXPECT_EQ(n, 9);
    }
    const QByteArray before = Bytes(p);
    EXPECT_EQ(p.UpdateShortInt(30, 1), -1);
    EXPECT_EQ(p.UpdateShortInt(20, 1), -1);
    EXPECT_EQ(Bytes(p), before);
    EXPECT_EQ(p.GetPacketNum(), 2);
    p.SetBoolean(50, true);
    bool flag = false;
    ASSERT_EQ(p.GetBoolean(50, flag), 0);
    EXPECT_TRUE(flag);

    CKParam dup;
    dup.SetShortInt(10, 1);
    dup.SetShortInt(10, 2);
    short v = 0;
    ASSERT_EQ(dup.GetShortInt(10, v), 0);
    EXPECT_EQ(v, 1);
    const int dupLength = dup.GetLength();
    EXPECT_EQ(dup.UpdateShortInt(10, 7), 0);
    EXPECT_EQ(dup.GetLength(), dupLength);
    ASSERT_EQ(dup.GetShortInt(10, v), 0);
    EXPECT_EQ(v, 7);
    // The second field is untouched.
    EXPECT_EQ(Bytes(dup).mid(4 + 8 + 6, 2).toHex(), QByteArray("0200"));
}

TEST(KParam, FirstAppendWritesHeaderEveryAppendIsExactAndNoneOutgrowsTheLengthWord) {
    CKParam p;
    p.SetShortInt(10, 1);
    EXPECT_EQ(p.GetLength(), 12);
    EXPECT_EQ(Bytes(p).left(4).toHex(), QByteArray("0c000100"));
    p.SetChar(30, "abc", 3);
    EXPECT_EQ(p.GetLength(), 12 + 9);
    p.SetCString(40, QString());
    EXPECT_EQ(p.GetLength(), 21 + 6);
    EXPECT_EQ(p.GetPacketNum(), 3);
    EXPECT_EQ(Bytes(p).left(2).toHex(), QByteArray("1b00"));

    // An append that would outgrow the length word is refused and changes nothing.
    CKParam full;
    const QByteArray big(60000, 'x');
    ASSERT_EQ(full.SetChar(30, big.constData(), 60000), 0);
    const QByteArray before = Bytes(full);
    EXPECT_EQ(full.SetChar(31, big.constData(), 6000), -1);
    EXPECT_EQ(Bytes(full), before);
    EXPECT_EQ(full.GetPacketNum(), 1);
}

TEST(KParam, TextsTravelInTheCodePageAndEmptyTextsSurvive) {
    SetAnsiCodePage(CP_GBK);
    CKParam p;
    p.SetCString(20, QString());
    p.SetCString(30, "你好 abc");
    p.SetCString(40, QString());
    QString a = "x";
    QString b;
    QString c = "y";
    ASSERT_EQ(p.GetCString(20, a), 0);
    ASSERT_EQ(p.GetCString(30, b), 0);
    ASSERT_EQ(p.GetCString(40, c), 0);
    EXPECT_TRUE(a.isEmpty());
    EXPECT_EQ(b, "你好 abc");
    EXPECT_TRUE(c.isEmpty());
    // GBK: two bytes per Chinese character, no terminator.
    unsigned short n = 0;
    EXPECT_EQ(p.GetCharNC(30, nullptr, n), -1);  // a text is not raw bytes
    EXPECT_EQ(Bytes(p).mid(4, 2).toHex(), QByteArray("0000"));
    EXPECT_EQ(Bytes(p).mid(4 + 6, 2).toHex(), QByteArray("0800"));
}

TEST(KParam, RawBytesCopyOrViewAndNullOutputOnlyReportsLength) {
    CKParam p;
    const char data[] = {0, 1, 2, 3, 4};
    p.SetChar(30, data, 5);
    unsigned short n = 0;
    EXPECT_EQ(p.GetChar(30, nullptr, n), 0);
    EXPECT_EQ(n, 5);
    char out[5] = {};
    ASSERT_EQ(p.GetChar(30, out, n), 0);
    EXPECT_EQ(QByteArray(out, 5), QByteArray(data, 5));
    char* view = nullptr;
    ASSERT_EQ(p.GetCharNC(30, &view, n), 0);
    EXPECT_EQ(view, p.GetBufferPtr() + 4 + 6);
}

// CRC-16/ARC one bit at a time, the slow way.
uint16_t ArcCrc(const QByteArray& bytes) {
    uint16_t crc = 0;
    for (const char c : bytes) {
        crc ^= static_cast<uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

// The CRC over the sampled blocks: 13 bytes at every 39-byte stride, as many blocks as
// (min(length, 500) + 13) / 39.
uint16_t SampledArcCrc(const QByteArray& packet) {
    const int sampled = std::min(static_cast<int>(packet.size()), 500);
    QByteArray sample;
    for (int b = 0; b < (sampled + 13) / 39; ++b) {
        sample += packet.mid(39 * b, 13);
    }
    return ArcCrc(sample);
}

TEST(KParam, CheckValueIsArcCrcOfEverySampledBlock) {
    // The reference itself against the published check value of CRC-16/ARC.
    ASSERT_EQ(ArcCrc("123456789"), 0xBB3D);

    // Packets of every length up to well past the 500-byte sampling window, so each block
    // count from 0 to 13 and every position inside a block is exercised.
    uint32_t seed = 12345;
    for (int n = 0; n <= 700; ++n) {
        QByteArray value(n, '\0');
        for (char& c : value) {
            seed = seed * 1103515245u + 12345u;
            c = static_cast<char>(seed >> 16);
        }
        CKParam p;
        ASSERT_EQ(p.SetChar(30, value.constData(), static_cast<unsigned short>(n)), 0);
        const QByteArray bytes = Bytes(p);
        ASSERT_EQ(static_cast<uint16_t>(p.GetPacketCrc()), SampledArcCrc(bytes))
            << "packet of " << bytes.size() << " bytes";
        ASSERT_EQ(PacketCrc(bytes.constData(), static_cast<int>(bytes.size())),
                  SampledArcCrc(bytes));
    }
}

TEST(KParam, LoadedBytesAreReadSafely) {
    // A field count of 0x8000 or more reads as negative: no lookup finds anything.
    QByteArray bytes = QByteArray::fromHex("0c00 0080 0200 0a00 0a00 6300");
    CKParam p;
    ASSERT_EQ(p.SetBufferPtr(bytes.constData(), static_cast<int>(bytes.size())), 0);
    EXPECT_LT(p.GetPacketNum(), 0);
    short v = 0;
    EXPECT_EQ(p.GetShortInt(10, v), -1);

    // A field whose value would run past the end is refused, and so is every later one.
    QByteArray truncated = QByteArray::fromHex("1400 0200 0200 0a00 0a00 6300 ff00 1400 1400 0102");
    ASSERT_EQ(p.SetBufferPtr(truncated.constData(), static_cast<int>(truncated.size())), 0);
    EXPECT_EQ(p.GetShortInt(10, v), 0);
    int i = 0;
    EXPECT_EQ(p.GetInt(20, i), -1);

    // A field shorter than its type's width is not read.
    QByteArray narrow = QByteArray::fromHex("0b00 0100 0100 1400 1400 07");
    ASSERT_EQ(p.SetBufferPtr(narrow.constData(), static_cast<int>(narrow.size())), 0);
    EXPECT_EQ(p.GetInt(20, i), -1);
}

TEST(KParam, LoadedCopiesAndMovesKeepTheirOwnBytes) {
    CKParam a;
    a.SetShortInt(10, 450);
    a.SetCString(30, "hi");
    a.SetChar(80, QByteArray(1000, 'a').constData(), 1000);
    CKParam b;
    ASSERT_EQ(b.SetBufferPtr(a.GetBufferPtr(), a.GetLength()), 0);
    EXPECT_NE(b.GetBufferPtr(), a.GetBufferPtr());
    EXPECT_EQ(Bytes(a), Bytes(b));
    CKParam c(std::move(b));
    EXPECT_EQ(b.GetLength(), 0);
    EXPECT_EQ(c.Command(), 450);
    // Reloading a smaller packet reads only its own bytes, and appends after it grow exactly.
    CKParam small;
    small.SetShortInt(10, 99);
    ASSERT_EQ(c.SetBufferPtr(small.GetBufferPtr(), small.GetLength()), 0);
    EXPECT_EQ(c.GetLength(), 12);
    EXPECT_EQ(c.GetPacketNum(), 1);
    EXPECT_EQ(c.TextOr(30, "gone"), "gone");
    c.SetInt(20, 1);
    EXPECT_EQ(c.GetLength(), 22);
    EXPECT_EQ(c.IntOr(20, 0), 1);
}

}  // namespace
