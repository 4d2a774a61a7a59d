#include "protocol/SocketClient.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
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
    CKParam got;
    server.Received(450)[1].Load(got);
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

TEST_F(SocketClientTest, SixPacketsOutOfSequenceDropTheRestOfTheRead) {
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
}

TEST_F(SocketClientTest, PeerCloseAfterSendingStillDeliversThenClosesOnce) {
    ASSERT_TRUE(client.Open(server.Port()));
    ASSERT_TRUE(server.WaitForPeers(1));
    server.LastPeer().Send(Packet(670));
    server.LastPeer().KClose();
    ASSERT_TRUE(WaitUntil([&] { return client.closes == 1; }));
    EXPECT_EQ(client.Count(670), 1);
    Spin(std::chrono::milliseconds(30));
    EXPECT_EQ(client.closes, 1);
}

TEST_F(SocketClientTest, SendsFromAnotherThreadAreWholeAndNumbered) {
    ASSERT_TRUE(client.Open(server.Port()));
    constexpr int kEach = 300;
    // Big packets from the worker, small ones from here; a send that would block is retried.
    auto sendAll = [&](short command, int payload) {
        for (int i = 0; i < kEach; ++i) {
            CKParam p = Packet(command);
            p.SetChar(80, QByteArray(payload, 'v').constData(),
                      static_cast<unsigned short>(payload));
            while (client.KSend(p) == 1) {
                p.Release();
                p.SetShortInt(KEY_COMMAND, command);
                p.SetChar(80, QByteArray(payload, 'v').constData(),
                          static_cast<unsigned short>(payload));
                payload ? std::this_thread::yield() : QCoreApplication::processEvents();
            }
        }
    };
    std::thread worker([&] { sendAll(460, 200); });
    sendAll(450, 0);
    worker.join();
    ASSERT_TRUE(WaitUntil(
        [&] { return server.Received(460).size() + server.Received(450).size() >= 2u * kEach; }));
    // Every frame arrived whole (its check value matched) and numbering had no gap.
    std::vector<int> sequences;
    for (const auto& p : server.LastPeer().received) {
        if (p.Command() != CMD_KEEPALIVE) {
            sequences.push_back(IntOf(p, KEY_SEQUENCE));
        }
    }
    ASSERT_EQ(sequences.size(), 2u * kEach);
    std::sort(sequences.begin(), sequences.end());
    for (size_t i = 0; i < sequences.size(); ++i) {
        EXPECT_EQ(sequences[i], static_cast<int>(i) + 1);
    }
}

}  // namespace
