#include "protocol/FrameCodec.h"
#include "protocol/KParam.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <algorithm>
#include <random>
#include <vector>

namespace {

QByteArray Frame(const tagFrameFormat& format, int sequence, int padding = 0) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, 452);
    if (padding) {
        const QByteArray pad(padding, 'p');
        p.SetChar(30, pad.constData(), static_cast<unsigned short>(padding));
    }
    p.SetInt(KEY_SEQUENCE, sequence);
    return BuildFrame(format, 1234, p.GetBufferPtr(), p.GetLength());
}

// Feeds reads and collects the sequence numbers delivered.
struct Collector {
    explicit Collector(const tagFrameFormat& format) : assembler(format) {}
    CFrameAssembler assembler;
    std::vector<int> sequences;
    int lastResult = 0;

    void Feed(const QByteArray& bytes) {
        lastResult = assembler.Feed(bytes.constData(), static_cast<int>(bytes.size()),
                                    [this](const char* b, int n) {
                                        CKParam p;
                                        p.SetBufferPtr(b, n);
                                        int s = 0;
                                        p.GetInt(KEY_SEQUENCE, s);
                                        sequences.push_back(s);
                                        return CFrameAssembler::EVerdict::Continue;
                                    });
    }
};

TEST(FrameAssembler, FrameLayoutHasMarkerTimePacketAndCheckValue) {
    CKParam p;
    p.SetShortInt(10, 99);
    p.SetInt(9999, 1);
    p.SetInt(-31073, 1000);
    const QByteArray frame = BuildFrame(kTcpFrame, 0x11223344, p.GetBufferPtr(), p.GetLength());
    ASSERT_EQ(frame.size(), 32 + 10);
    EXPECT_EQ(frame.left(8).toHex(), QByteArray("0102030444332211"));
    EXPECT_EQ(frame.right(2).toHex(), QByteArray("aa98"));
    const QByteArray route = BuildFrame(kRouteFrame, 0, p.GetBufferPtr(), p.GetLength());
    ASSERT_EQ(route.size(), 32 + 6);
    EXPECT_EQ(route.mid(4, 2).toHex(), QByteArray("2000"));
}

TEST(FrameAssembler, WholeSplitAndJoinedReads) {
    Collector c(kTcpFrame);
    c.Feed(Frame(kTcpFrame, 1) + Frame(kTcpFrame, 2));
    EXPECT_EQ(c.sequences, (std::vector<int>{1, 2}));

    const QByteArray f = Frame(kTcpFrame, 3, 40);
    c.Feed(f.left(5));
    c.Feed(f.mid(5, 20));
    EXPECT_EQ(c.sequences.size(), 2u);
    c.Feed(f.mid(25));
    EXPECT_EQ(c.sequences, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(c.assembler.LeftoverSize(), 0);
}

TEST(FrameAssembler, ShortTailIsKeptForTheNextRead) {
    Collector c(kTcpFrame);
    const QByteArray next = Frame(kTcpFrame, 2);
    for (int tail = 1; tail <= 12; ++tail) {
        Collector t(kTcpFrame);
        t.Feed(Frame(kTcpFrame, 1) + next.left(tail));
        EXPECT_EQ(t.assembler.LeftoverSize(), tail) << tail;
        t.Feed(next.mid(tail));
        EXPECT_EQ(t.sequences, (std::vector<int>{1, 2})) << tail;
    }
}

TEST(FrameAssembler, GarbageIsSkippedToTheMarker) {
    Collector c(kTcpFrame);
    c.Feed(QByteArray("garbage\x01\x02\x03") + Frame(kTcpFrame, 1));
    EXPECT_EQ(c.sequences, (std::vector<int>{1}));
    c.Feed(QByteArray(500, 'z'));
    EXPECT_EQ(c.assembler.LeftoverSize(), 0);
    c.Feed(Frame(kTcpFrame, 2));
    EXPECT_EQ(c.sequences, (std::vector<int>{1, 2}));
}

TEST(FrameAssembler, BadCheckValueDropsTheRestOfThatReadOnly) {
    Collector c(kTcpFrame);
    QByteArray bad = Frame(kTcpFrame, 1, 30);
    bad[bad.size() - 1] = static_cast<char>(bad[bad.size() - 1] ^ 0x01);
    c.Feed(bad + Frame(kTcpFrame, 2));
    EXPECT_TRUE(c.sequences.empty());
    EXPECT_EQ(c.lastResult, 0);
    c.Feed(Frame(kTcpFrame, 3));
    EXPECT_EQ(c.sequences, (std::vector<int>{3}));
}

TEST(FrameAssembler, LengthsOutOfBoundsEndTheRead) {
    Collector c(kTcpFrame);
    QByteArray tooShort = QByteArray::fromHex("01020304000000000a00") + QByteArray(20, 0);
    c.Feed(tooShort + Frame(kTcpFrame, 1));
    EXPECT_TRUE(c.sequences.empty());
    EXPECT_EQ(c.lastResult, -1);
    QByteArray tooLong = QByteArray::fromHex("010203040000000030750000");  // 30000
    c.Feed(tooLong + Frame(kTcpFrame, 1));
    EXPECT_EQ(c.lastResult, -1);
    EXPECT_TRUE(c.sequences.empty());
}

TEST(FrameAssembler, UnfinishedFrameIsKeptOnlyBelowTheBound) {
    Collector c(kTcpFrame);
    const QByteArray big = Frame(kTcpFrame, 1, 29000);
    c.Feed(big.left(20000));
    EXPECT_EQ(c.assembler.LeftoverSize(), 20000);
    c.Feed(big.mid(20000));
    EXPECT_EQ(c.sequences, (std::vector<int>{1}));
}

TEST(FrameAssembler, VerdictsStopDelivery) {
    CFrameAssembler a(kTcpFrame);
    const QByteArray three = Frame(kTcpFrame, 1) + Frame(kTcpFrame, 2) + Frame(kTcpFrame, 3);
    int seen = 0;
    const int result =
        a.Feed(three.constData(), static_cast<int>(three.size()), [&](const char*, int) {
            return ++seen == 2 ? CFrameAssembler::EVerdict::DiscardRest
                               : CFrameAssembler::EVerdict::Continue;
        });
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(result, -1);
    seen = 0;
    QByteArray withTail = three + Frame(kTcpFrame, 4).left(5);
    a.Feed(withTail.constData(), static_cast<int>(withTail.size()), [&](const char*, int) {
        ++seen;
        return CFrameAssembler::EVerdict::Stop;
    });
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(a.LeftoverSize(), 0);
}

TEST(FrameAssembler, SecondRouteFraming) {
    Collector c(kRouteFrame);
    const QByteArray big = Frame(kRouteFrame, 1, 40000);  // beyond the TCP bound, fine here
    c.Feed(Frame(kRouteFrame, 7) + big.left(100));
    c.Feed(big.mid(100));
    EXPECT_EQ(c.sequences, (std::vector<int>{7, 1}));
    // A zero length drops the rest of the read.
    c.Feed(QByteArray::fromHex("010203040000") + Frame(kRouteFrame, 9));
    EXPECT_EQ(c.sequences.size(), 2u);
    // A TCP frame is not a route frame.
    c.Feed(Frame(kTcpFrame, 5));
    EXPECT_EQ(c.sequences.size(), 2u);
}

}  // namespace

namespace {

// The reassembly rules written plainly, one working buffer per read: the oracle the assembler
// (which avoids copying reads) must agree with, delivery for delivery, on any stream.
class CPlainAssembler {
public:
    explicit CPlainAssembler(const tagFrameFormat& f) : m_f(f) {}
    std::vector<QByteArray> delivered;

    int Feed(const QByteArray& data) {
        QByteArray buf = m_leftover + data;
        m_leftover.clear();
        const int h = m_f.headerSize;
        int p = 0;
        for (;;) {
            const int at = buf.indexOf(QByteArray("\x01\x02\x03\x04", 4), p);
            if (at < 0) {
                return 0;
            }
            p = at;
            const int remaining = static_cast<int>(buf.size()) - p;
            if (remaining < h + 2) {
                m_leftover = buf.mid(p);
                return 0;
            }
            const int length =
                static_cast<uint8_t>(buf[p + h]) | (static_cast<uint8_t>(buf[p + h + 1]) << 8);
            if (length < m_f.minLength || length > m_f.maxLength) {
                return m_f.refuseIsFatal ? -1 : 0;
            }
            if (h + length + 2 > remaining) {
                if (remaining < m_f.leftoverLimit) {
                    m_leftover = buf.mid(p);
                }
                return 0;
            }
            const QByteArray packet = buf.mid(p + h, length);
            const int crc = static_cast<uint8_t>(buf[p + h + length]) |
                            (static_cast<uint8_t>(buf[p + h + length + 1]) << 8);
            if (PacketCrc(packet.constData(), length) != crc) {
                return 0;
            }
            delivered.push_back(packet);
            p += h + length + 2;
            const int left = static_cast<int>(buf.size()) - p;
            if (left == 0) {
                return 0;
            }
            if (left <= 12) {
                m_leftover = buf.mid(p);
                return 0;
            }
        }
    }

private:
    tagFrameFormat m_f;
    QByteArray m_leftover;
};

TEST(FrameAssembler, AgreesWithThePlainRulesOnRandomStreamsAndSplits) {
    std::mt19937 rng(7);
    for (const tagFrameFormat* format : {&kTcpFrame, &kRouteFrame}) {
        for (int round = 0; round < 300; ++round) {
            // Frames, some damaged, with garbage between some of them.
            QByteArray stream;
            const int frames = 1 + static_cast<int>(rng() % 12);
            for (int i = 0; i < frames; ++i) {
                QByteArray f = Frame(*format, i + 1, static_cast<int>(rng() % 1500));
                switch (rng() % 10) {
                    case 0:
                        f[f.size() - 1] = static_cast<char>(f[f.size() - 1] ^ 1);  // check value
                        break;
                    case 1:
                        stream +=
                            QByteArray(static_cast<int>(rng() % 20), static_cast<char>(rng()));
                        break;
                    case 2:
                        f = f.left(static_cast<int>(rng() % f.size()));  // cut short
                        break;
                    default:
                        break;
                }
                stream += f;
            }
            CPlainAssembler plain(*format);
            CFrameAssembler fast(*format);
            std::vector<QByteArray> got;
            for (int at = 0; at < stream.size();) {
                const int n = std::min(1 + static_cast<int>(rng() % 700),
                                       static_cast<int>(stream.size()) - at);
                const QByteArray read = stream.mid(at, n);
                const int expected = plain.Feed(read);
                const int result = fast.Feed(read.constData(), n, [&](const char* b, int len) {
                    got.emplace_back(b, len);
                    return CFrameAssembler::EVerdict::Continue;
                });
                ASSERT_EQ(result, expected) << "round " << round;
                at += n;
            }
            ASSERT_EQ(got, plain.delivered) << "round " << round;
        }
    }
}

}  // namespace

namespace {

TEST(FrameAssembler, ShortTailHoldingAWholeTinyFrame) {
    // On the second route a header-only packet makes a 10-byte frame: with two bytes after it,
    // it fits in the tail kept after a frame and must still be delivered, as the plain rules do.
    const QByteArray tiny = QByteArray::fromHex("01020304 0400 0000 0000 aabb");
    for (const QByteArray& next : {Frame(kRouteFrame, 3), QByteArray("xy")}) {
        CPlainAssembler plain(kRouteFrame);
        CFrameAssembler fast(kRouteFrame);
        std::vector<QByteArray> got;
        auto collect = [&](const char* b, int n) {
            got.emplace_back(b, n);
            return CFrameAssembler::EVerdict::Continue;
        };
        for (const QByteArray& read : {Frame(kRouteFrame, 1) + tiny, next}) {
            EXPECT_EQ(fast.Feed(read.constData(), static_cast<int>(read.size()), collect),
                      plain.Feed(read));
        }
        EXPECT_EQ(got, plain.delivered);
        EXPECT_GE(got.size(), 2u);
    }
}

}  // namespace
