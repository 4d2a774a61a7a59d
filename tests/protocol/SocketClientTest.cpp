#include "protocol/SocketClient.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

using namespace tavotest;

namespace {

class SocketClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }
    // The clock field of the n-th packet of a command the server received.
    int ClockOf(short command, int n = 0) {
        EXPECT_TRUE(server.WaitFor(command, n + 1));
        return IntOf(server.Received(command).at(static_cast<size_t>(n)), KEY_CLOCK);
    }
    void Tell(int serverClock) {
        server.LastPeer().Send(Packet(451, {{KEY_CLOCK, serverClock}}));
        const size_t before = client.received.size();
        ASSERT_TRUE(WaitUntil([&] { return client.received.size() > before; }));
    }
    int SendAndReadClock(short command) {
        const int before = static_cast<int>(server.Received(command).size());
        client.Send(Packet(command));
        return ClockOf(command, before);
    }

    CManualClock clock;
    CScopedClock clockScope{clock};
    CScriptedUi ui;
    CLoopbackServer server;
    CTestConnection client;
};

TEST_F(SocketClientTest, SequenceAndClockFieldsFollowTheServersFirstClock) {
    ASSERT_TRUE(client.Open(server.Port()));
    ASSERT_TRUE(server.WaitForPeers(1));
    // No server clock yet: the field is the local uptime in seconds.
    EXPECT_EQ(SendAndReadClock(450), clock.UptimeSeconds());
    EXPECT_EQ(IntOf(server.Received(450)[0], KEY_SEQUENCE), 1);
    // The first packet received sets the server clock, later ones do not, and our estimate of
    // the server's clock moves with our uptime.
    Tell(5000);
    Tell(9000);
    clock.Advance(10000);
    EXPECT_EQ(SendAndReadClock(450), 5010);
    EXPECT_EQ(IntOf(server.Received(450)[1], KEY_SEQUENCE), 2);
    EXPECT_GT(client.GetAllSendCount(), 0);
    EXPECT_GT(client.GetAllRecvCount(), 0);

    // Closing forgets the clock, the numbering and the counters; KClose alone tells nobody.
    EXPECT_EQ(client.KClose(), 0);
    EXPECT_FALSE(client.IsConnect());
    EXPECT_EQ(client.GetAllSendCount(), 0);
    EXPECT_EQ(client.GetAllRecvCount(), 0);
    EXPECT_EQ(client.closes, 0);
    clock.Advance(7000);
    ASSERT_TRUE(client.Open(server.Port()));
    ASSERT_TRUE(server.WaitForPeers(2));
    ASSERT_EQ(client.Send(Packet(452)), 0);
    ASSERT_TRUE(server.LastPeer().WaitFor(452));
    EXPECT_EQ(IntOf(server.LastPeer().All(452)[0], KEY_SEQUENCE), 1);
    EXPECT_EQ(IntOf(server.LastPeer().All(452)[0], KEY_CLOCK), clock.UptimeSeconds());
    Tell(9000);
    EXPECT_EQ(SendAndReadClock(453), 9000);

    // A second KCreate fails, yet clears both counters all the same.
    EXPECT_GT(client.GetAllSendCount(), 0);
    EXPECT_EQ(client.KCreate(), -1);
    EXPECT_EQ(client.GetAllSendCount(), 0);
    EXPECT_EQ(client.GetAllRecvCount(), 0);
    EXPECT_TRUE(client.IsConnect());
}

TEST_F(SocketClientTest, PacketSentTwiceCarriesTwoSequenceFieldsAndThePeerReadsTheFirst) {
    ASSERT_TRUE(client.Open(server.Port()));
    CKParam p = Packet(450);
    client.KSend(p);
    client.KSend(p);
    ASSERT_TRUE(server.WaitFor(450, 2));
    CKParam got = server.Received(450)[1].Loaded();
    EXPECT_EQ(got.GetPacketNum(), 5);
    EXPECT_EQ(got.IntOr(KEY_SEQUENCE, 0), 1);
    // The peer counts it as out of sequence but delivers it.
    EXPECT_FALSE(server.LastPeer().closed);
}

TEST_F(SocketClientTest, KeepAliveEveryFifteenSecondsAndSilenceClosesAfterForty) {
    server.silent = true;
    ASSERT_TRUE(client.Open(server.Port()));
    clock.Advance(15000);
    const int afterOne = client.GetAllSendCount();
    EXPECT_GT(afterOne, 0);  // the keep-alive went out
    clock.Advance(15000);
    EXPECT_EQ(client.GetAllSendCount(), 2 * afterOne);
    // Our own keep-alives are not received data: at 42 s of silence the tick closes.
    clock.Advance(11000);
    EXPECT_TRUE(client.IsConnect());
    EXPECT_EQ(client.closes, 0);
    clock.Advance(3000);
    EXPECT_FALSE(client.IsConnect());
    EXPECT_EQ(client.closes, 1);

    // A clock set back does not count as silence.
    CTestConnection other;
    ASSERT_TRUE(other.Open(server.Port()));
    clock.SetUnixMs(clock.UnixMs() - 3600 * 1000);
    clock.Advance(30000);
    EXPECT_TRUE(other.IsConnect());
}

TEST_F(SocketClientTest, CreateTwiceAndRefusedConnects) {
    ASSERT_EQ(client.KCreate(), 0);
    const int handle = client.Handle();
    EXPECT_EQ(client.KCreate(), -1);
    EXPECT_EQ(client.Handle(), handle);
    EXPECT_EQ(client.KConnect("no-such-host.invalid", 1), -1);
    EXPECT_FALSE(client.IsCreated());

    // A refused connect calls the close handler, not the connect one; the socket opens again.
    unsigned port = 0;
    {
        CLoopbackServer gone;
        ASSERT_TRUE(gone.Start());
        port = gone.Port();
    }
    ASSERT_EQ(client.KCreate(), 0);
    ASSERT_EQ(client.KConnect("127.0.0.1", static_cast<int>(port)), 0);
    ASSERT_TRUE(WaitUntil([&] { return client.closes == 1; }));
    EXPECT_EQ(client.connects, 0);
    EXPECT_FALSE(client.IsConnect());
    EXPECT_TRUE(client.Open(server.Port()));
}

TEST_F(SocketClientTest, SixPacketsOutOfSequenceDropTheRestOfTheReadAndAClosingPeerIsHeardOut) {
    ASSERT_TRUE(client.Open(server.Port()));
    ASSERT_TRUE(server.WaitForPeers(1));
    auto frame = [](int sequence) {
        CKParam p = Packet(452);
        p.SetInt(KEY_SEQUENCE, sequence);
        return BuildFrame(kTcpFrame, 0, p.GetBufferPtr(), p.GetLength());
    };
    QByteArray burst;
    for (int i = 1; i <= 7; ++i) {
        burst += frame(i * 10);
    }
    server.LastPeer().KSend(burst.constData(), static_cast<int>(burst.size()));
    ASSERT_TRUE(client.WaitFor(452, 5));
    Spin(std::chrono::milliseconds(50));
    EXPECT_EQ(client.Count(452), 5);
    EXPECT_TRUE(client.IsConnect());
    // The next read starts over: an in-sequence packet after the last delivered one.
    const QByteArray next = frame(51);
    server.LastPeer().KSend(next.constData(), static_cast<int>(next.size()));
    EXPECT_TRUE(client.WaitFor(452, 6));

    // A peer that closes after sending is still heard, and closes us once.
    server.LastPeer().Send(Packet(670));
    server.LastPeer().KClose();
    ASSERT_TRUE(WaitUntil([&] { return client.closes == 1; }));
    EXPECT_EQ(client.Count(670), 1);
    Spin(std::chrono::milliseconds(30));
    EXPECT_EQ(client.closes, 1);
}

// The capture thread and the GUI thread both send while the peer falls behind: a frame is
// sent whole or dropped whole, never cut short or run into another, so the peer gets exactly
// the frames KSend called sent, each sender's in its order, and never loses its place.
TEST_F(SocketClientTest, FramesFromTwoThreadsArriveWholeAndInOrderWhenThePeerFallsBehind) {
    // The peer reads slowly through a small receive buffer, so our socket fills up, and
    // reassembles the stream as a receiver does: a frame that does not begin where the one
    // before it ended fails its length or its check value and the peer loses its place.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int small = 4096;
    ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), length), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length), 0);
    ASSERT_TRUE(client.Open(ntohs(addr.sin_port)));
    const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ::close(listener);
    ASSERT_GE(peer, 0);
    struct tagFrame {
        int sender;
        int index;
        int sequence;
    };
    std::vector<tagFrame> frames;
    bool lostPlace = false;
    std::atomic<size_t> expected{SIZE_MAX};
    std::atomic<bool> finished{false};
    std::thread reader([&] {
        CFrameAssembler assembler(kTcpFrame);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        char chunk[2048];
        while (!lostPlace && frames.size() < expected &&
               std::chrono::steady_clock::now() < giveUp) {
            pollfd ready{peer, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0) {
                continue;
            }
            const ssize_t n = ::recv(peer, chunk, sizeof chunk, 0);
            if (n <= 0) {
                break;
            }
            lostPlace = assembler.Feed(chunk, static_cast<int>(n), [&](const char* data, int size) {
                CKParam packet;
                packet.SetBufferPtr(data, size);
                frames.push_back(
                    {packet.IntOr(81, -1), packet.IntOr(82, -1), packet.IntOr(KEY_SEQUENCE, -1)});
                return CFrameAssembler::EVerdict::Continue;
            }) != 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        finished = true;
    });
    constexpr int kEach = 200;
    // Sizes vary, so the socket often has room for only part of a frame.
    auto numbered = [](int sender, int index) {
        CKParam p = Packet(460, {{81, sender}, {82, index}});
        const int size = 1500 + (index * 1237 + sender * 611) % 6000;
        p.SetChar(80, QByteArray(size, 'v').constData(), static_cast<unsigned short>(size));
        return p;
    };
    std::vector<int> sent[2];
    int dropped[2] = {0, 0};
    auto sendAll = [&](int sender, const std::function<void()>& between) {
        for (int i = 0; i < kEach; ++i) {
            CKParam p = numbered(sender, i);
            const int result = client.KSend(p);
            ASSERT_NE(result, -1);
            if (result == 0) {
                sent[sender].push_back(i);
            } else {
                ++dropped[sender];
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            between();
        }
    };
    std::thread capture([&] { sendAll(0, [] {}); });
    sendAll(1, [] { QCoreApplication::processEvents(); });
    capture.join();

    // What found the socket full goes on from the event loop.
    expected = sent[0].size() + sent[1].size();
    WaitUntil([&] { return finished.load(); }, std::chrono::seconds(60));
    reader.join();
    ::close(peer);
    EXPECT_FALSE(lostPlace) << "the stream lost its place after frame " << frames.size();
    std::vector<int> arrived[2];
    int lastSequence = 0;
    for (const auto& frame : frames) {
        ASSERT_TRUE(frame.sender == 0 || frame.sender == 1);
        arrived[frame.sender].push_back(frame.index);
        EXPECT_GT(frame.sequence, lastSequence);
        lastSequence = frame.sequence;
    }
    EXPECT_EQ(arrived[0], sent[0]);
    EXPECT_EQ(arrived[1], sent[1]);
    // The peer did fall behind: some frames found the socket full.
    EXPECT_GT(dropped[0] + dropped[1], 0);
    EXPECT_TRUE(client.IsConnect());
}

}  // namespace
