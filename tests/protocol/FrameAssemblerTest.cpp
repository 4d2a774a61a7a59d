#include "protocol/FrameCodec.h"
#include "protocol/KParam.h"

#include <gtest/gtest.h>

#include <QByteArray>

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

// Feeds the reads to a fresh assembler; the sequence numbers delivered and the last result.
std::pair<std::vector<int>, int> Assemble(const tagFrameFormat& format,
                                          const std::vector<QByteArray>& reads) {
    CFrameAssembler assembler(format);
    std::vector<int> sequences;
    int result = 0;
    for (const QByteArray& read : reads) {
        result = assembler.Feed(read.constData(), static_cast<int>(read.size()),
                                [&](const char* b, int n) {
                                    CKParam p;
                                    p.SetBufferPtr(b, n);
                                    sequences.push_back(p.IntOr(KEY_SEQUENCE, 0));
                                    return CFrameAssembler::EVerdict::Continue;
                                });
    }
    return {sequences, result};
}

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

TEST(FrameAssembler, ReadsAreCutIntoFramesByTheRules) {
    const QByteArray f1 = Frame(kTcpFrame, 1), f2 = Frame(kTcpFrame, 2);
    const QByteArray f3 = Frame(kTcpFrame, 3, 40);
    QByteArray bad = Frame(kTcpFrame, 1, 30);
    bad[bad.size() - 1] = static_cast<char>(bad[bad.size() - 1] ^ 0x01);
    const QByteArray tooShort = QByteArray::fromHex("01020304000000000a00") + QByteArray(20, 0);
    const QByteArray tooLong = QByteArray::fromHex("010203040000000030750000");  // 30000
    const QByteArray big = Frame(kTcpFrame, 1, 29000);
    const QByteArray route = Frame(kRouteFrame, 1, 40000);  // beyond the TCP bound, fine here
    const QByteArray tiny = QByteArray::fromHex("01020304 0400 0000 0000 aabb");
    struct Case {
        const char* what;
        const tagFrameFormat& format;
        std::vector<QByteArray> reads;
        std::vector<int> delivered;
        int result;
    };
    const Case cases[] = {
        {"joined", kTcpFrame, {f1 + f2}, {1, 2}, 0},
        {"split", kTcpFrame, {f3.left(5), f3.mid(5, 20), f3.mid(25)}, {3}, 0},
        {"short tail kept", kTcpFrame, {f1 + f2.left(7), f2.mid(7)}, {1, 2}, 0},
        {"garbage skipped",
         kTcpFrame,
         {"garbage\x01\x02\x03" + f1, QByteArray(500, 'z'), f2},
         {1, 2},
         0},
        {"bad check value drops the rest of that read", kTcpFrame, {bad + f2, f3}, {3}, 0},
        {"length below the bound", kTcpFrame, {tooShort + f1}, {}, -1},
        {"length above the bound", kTcpFrame, {tooLong + f1}, {}, -1},
        {"unfinished frame kept below the bound",
         kTcpFrame,
         {big.left(20000), big.mid(20000)},
         {1},
         0},
        {"second route",
         kRouteFrame,
         {Frame(kRouteFrame, 7) + route.left(100), route.mid(100)},
         {7, 1},
         0},
        {"second route zero length",
         kRouteFrame,
         {QByteArray::fromHex("010203040000") + Frame(kRouteFrame, 9)},
         {},
         0},
        {"a TCP frame is not a route frame", kRouteFrame, {f1}, {}, 0},
        // A header-only packet makes a 10-byte route frame: with two bytes after it, it fits in
        // the tail kept after a frame and must still be delivered.
        {"tiny route frame in the kept tail", kRouteFrame, {Frame(kRouteFrame, 1) + tiny, "xy"},
         {1, 0}, 0},
    };
    for (const Case& c : cases) {
        const auto [delivered, result] = Assemble(c.format, c.reads);
        EXPECT_EQ(delivered, c.delivered) << c.what;
        EXPECT_EQ(result, c.result) << c.what;
    }
    // A short tail is kept at every length, and only the tail.
    for (int tail = 1; tail <= 12; ++tail) {
        EXPECT_EQ(Assemble(kTcpFrame, {f1 + f2.left(tail), f2.mid(tail)}).first,
                  (std::vector<int>{1, 2}))
            << tail;
    }
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
    // Stop keeps nothing of the read, not even a tail.
    seen = 0;
    const QByteArray withTail = three + Frame(kTcpFrame, 4).left(5);
    a.Feed(withTail.constData(), static_cast<int>(withTail.size()), [&](const char*, int) {
        ++seen;
        return CFrameAssembler::EVerdict::Stop;
    });
    EXPECT_EQ(seen, 1);
    const QByteArray rest = Frame(kTcpFrame, 4).mid(5);
    a.Feed(rest.constData(), static_cast<int>(rest.size()), [&](const char*, int) {
        ++seen;
        return CFrameAssembler::EVerdict::Continue;
    });
    EXPECT_EQ(seen, 1);
}

}  // namespace
