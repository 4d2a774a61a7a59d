// Frames written by the room servers' sending threads: a packet's bytes shared by every
// receiver with each receiver's own fields around them, and frames going out whole and in
// order through a socket that is full most of the time.

#include "protocol/FrameCodec.h"
#include "protocol/KParam.h"
#include "server/SendPool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

CKParam PacketOf(int payloadBytes, int seed) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, 460);
    p.SetInt(20, seed);
    QByteArray payload(payloadBytes, '\0');
    for (int i = 0; i < payloadBytes; ++i) {
        payload[i] = static_cast<char>(seed * 31 + i * 7);
    }
    p.SetChar(40, payload.constData(), static_cast<unsigned short>(payload.size()));
    return p;
}

// What one connection sends when it copies the packet for itself.
QByteArray WholeFrame(const tagFrameFormat& format, const CKParam& packet, uint32_t time,
                      int sequence) {
    CKParam copy;
    copy.SetBufferPtr(packet.GetBufferPtr(), packet.GetLength());
    copy.SetInt(KEY_SEQUENCE, sequence);
    if (format.headerSize == 8) {
        copy.SetInt(KEY_CLOCK, static_cast<int>(time));
    }
    return BuildFrame(format, time, copy.GetBufferPtr(), copy.GetLength());
}

QByteArray Joined(const tagOutFrame& f) {
    return QByteArray(f.own, f.head) + f.middle + QByteArray(f.own + f.head, f.tail);
}

}  // namespace

TEST(SharedPacket, EachReceiversFrameIsByteForByteTheFrameItWouldHaveBuiltAlone) {
    // Every length around the sampled blocks of the check value, where the last block reaches
    // into the receiver's own fields, up to past the 500 bytes sampled.
    for (const tagFrameFormat& format : {kTcpFrame, kRouteFrame}) {
        for (int payload = 0; payload < 560; ++payload) {
            const CKParam packet = PacketOf(payload, payload);
            const CSharedPacket shared(packet);
            for (int sequence : {1, 77, 65536}) {
                const uint32_t time = 0x5F000000u + static_cast<uint32_t>(sequence);
                tagOutFrame frame;
                ASSERT_TRUE(shared.Frame(format, time, sequence, frame)) << payload;
                ASSERT_EQ(Joined(frame), WholeFrame(format, packet, time, sequence))
                    << "payload " << payload << " sequence " << sequence << " time field "
                    << (format.headerSize == 8);
            }
        }
    }
    // A packet the framing refuses is not made into a frame.
    const CKParam huge = PacketOf(29990, 1);
    tagOutFrame frame;
    EXPECT_FALSE(CSharedPacket(huge).Frame(kTcpFrame, 0, 1, frame));
}

TEST(SendPool, FramesReachAReaderThatFallsBehindWholeAndInOrder) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    const int small = 4096;
    ::setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(pair[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ::fcntl(pair[0], F_SETFL, O_NONBLOCK);

    CSendPool pool(2);
    auto channel = pool.Open(pair[0], nullptr);
    ASSERT_TRUE(channel);

    // Shared and whole frames mixed, some several times what the socket holds, far more in
    // all.
    constexpr int kFrames = 3000;
    QByteArray expected;
    std::vector<CKParam> packets;
    for (int i = 0; i < kFrames; ++i) {
        const CKParam packet = PacketOf(i % 3 == 0 ? 9000 : i % 97, i);
        tagOutFrame frame;
        if (i % 2 == 0) {
            ASSERT_TRUE(CSharedPacket(packet).Frame(kTcpFrame, 100, i + 1, frame));
        } else {
            frame.middle = WholeFrame(kTcpFrame, packet, 100, i + 1);
        }
        expected += Joined(frame);
        pool.Push(channel, std::move(frame));
    }
    EXPECT_GT(channel->QueuedBytes(), small);

    // The reader comes late and slowly.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QByteArray got;
    char buffer[1500];
    while (got.size() < expected.size()) {
        const ssize_t n = ::recv(pair[1], buffer, sizeof buffer, 0);
        ASSERT_GT(n, 0);
        got.append(buffer, n);
    }
    EXPECT_EQ(got, expected);
    for (int i = 0; i < 200 && channel->QueuedBytes() != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(channel->QueuedBytes(), 0);

    // The descriptor handed over at the close is the thread's to close: the reader sees the end.
    pool.Close(channel);
    timeval wait{5, 0};
    ::setsockopt(pair[1], SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    EXPECT_EQ(::recv(pair[1], buffer, sizeof buffer, 0), 0);
    ::close(pair[1]);
}
