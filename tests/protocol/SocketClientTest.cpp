#include "protocol/SocketClient.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <thread>

using namespace tavotest;

namespace {

class CTestClient : public CSocketClient {
public:
    int connects = 0;
    int closes = 0;
    std::vector<CPacketCopy> got;

protected:
    int OnKConnect(int error) override {
        ++connects;
        return 0;
    }
    int OnKReceive(CKParam& packet) override {
        got.push_back({QByteArray(packet.GetBufferPtr(), packet.GetLength())});
        return 0;
    }
    int OnKClose() override {
        ++closes;
        return 0;
    }
    int SendPacket(CKParam& packet) override { return KSend(packet); }
};

// A listener whose connections read and never answer: a silent server.
class CSilentServer : public CAsyncSocket {
public:
    class CConn : public CAsyncSocket {
    protected:
        void OnReceive(int) override {
            char buf[4096];
            while (Receive(buf, sizeof buf) > 0) {
            }
        }
    };
    std::vector<std::unique_ptr<CConn>> conns;
    unsigned port = 0;
    bool Start() {
        QString address;
        return Create(0, FD_ACCEPT, QStringLiteral("127.0.0.1")) && Listen() &&
               GetSockName(address, port);
    }

protected:
    void OnAccept(int) override {
        auto c = std::make_unique<CConn>();
        if (Accept(*c)) {
            conns.push_back(std::move(c));
        }
    }
};

class SocketClientTest : public ::testing::Test {
protected:
    CManualClock clock;
    CScopedClock clockScope{clock};
    CScriptedUi ui;

    void Connect(CTestClient& client, unsigned port) {
        ASSERT_EQ(client.KCreate(), 0);
        ASSERT_EQ(client.KConnect(QStringLiteral("127.0.0.1"), static_cast<int>(port)), 0);
        ASSERT_TRUE(WaitUntil([&] { return client.IsConnect(); }));
    }

    static CKParam Packet(short command) {
        CKParam p;
        p.SetShortInt(KEY_COMMAND, command);
        return p;
    }
};

TEST_F(SocketClientTest, ExchangesPacketsWithSequenceAndClockFields) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    CTestClient client;
    Connect(client, server.Port());
    EXPECT_EQ(client.connects, 1);

    CKParam first = Packet(450);
    ASSERT_EQ(client.KSend(first), 0);
    ASSERT_TRUE(server.WaitFor(450));
    CKParam got;
    server.Received(450)[0].Load(got);
    EXPECT_EQ(got.IntOr(KEY_SEQUENCE, 0), 1);
    // No server clock yet: the field is the local uptime in seconds.
    EXPECT_EQ(got.IntOr(KEY_CLOCK, 0), clock.UptimeSeconds());

    // The first packet received sets the server clock; later ones do not.
    CKParam reply = Packet(451);
    reply.SetInt(KEY_CLOCK, 5000);
    server.LastPeer().KSend(reply);
    ASSERT_TRUE(WaitUntil([&] { return client.got.size() == 1; }));
    EXPECT_EQ(client.ServerClock(), 5000);
    CKParam later = Packet(452);
    later.SetInt(KEY_CLOCK, 9000);
    server.LastPeer().KSend(later);
    ASSERT_TRUE(WaitUntil([&] { return client.got.size() == 2; }));
    EXPECT_EQ(client.ServerClock(), 5000);

    // Our estimate of the server's clock moves with our uptime.
    clock.Advance(10000);
    CKParam second = Packet(450);
    client.KSend(second);
    ASSERT_TRUE(server.WaitFor(450, 2));
    server.Received(450)[1].Load(got);
    EXPECT_EQ(got.IntOr(KEY_SEQUENCE, 0), 2);
    EXPECT_EQ(got.IntOr(KEY_CLOCK, 0), 5010);
}

TEST_F(SocketClientTest, ClosingForgetsTheServerClockTheNumberingAndTheCounters) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    CTestClient client;
    Connect(client, server.Port());
    ASSERT_TRUE(server.WaitForPeers(1));
    CKParam hello = Packet(451);
    hello.SetInt(KEY_CLOCK, 5000);
    server.LastPeer().KSend(hello);
    ASSERT_TRUE(WaitUntil([&] { return client.got.size() == 1; }));
    ASSERT_EQ(client.ServerClock(), 5000);
    for (int i = 0; i < 3; ++i) {
        CKParam p = Packet(450);
        ASSERT_EQ(client.KSend(p), 0);
    }
    ASSERT_TRUE(server.WaitFor(450, 3));
    EXPECT_GT(client.GetAllSendCount(), 0);
    EXPECT_GT(client.GetAllRecvCount(), 0);

    EXPECT_EQ(client.KClose(), 0);
    EXPECT_FALSE(client.IsConnect());
    EXPECT_EQ(client.ServerClock(), 0);
    EXPECT_EQ(client.GetAllSendCount(), 0);
    EXPECT_EQ(client.GetAllRecvCount(), 0);
    // KClose alone does not tell the subclass.
    EXPECT_EQ(client.closes, 0);

    // Opened again, the connection numbers from 1 and estimates the clock from its own uptime
    // until the server's first packet; that packet's clock is taken afresh.
    clock.Advance(7000);
    Connect(client, server.Port());
    ASSERT_TRUE(server.WaitForPeers(2));
    CKParam again = Packet(452);
    ASSERT_EQ(client.KSend(again), 0);
    ASSERT_TRUE(WaitUntil([&] { return !server.LastPeer().WithCommand(452).empty(); }));
    CKParam got;
    server.LastPeer().WithCommand(452)[0].Load(got);
    EXPECT_EQ(got.IntOr(KEY_SEQUENCE, 0), 1);
    EXPECT_EQ(got.IntOr(KEY_CLOCK, 0), clock.UptimeSeconds());
    CKParam later = Packet(453);
    later.SetInt(KEY_CLOCK, 9000);
    server.LastPeer().KSend(later);
    ASSERT_TRUE(WaitUntil([&] { return client.got.size() == 2; }));
    EXPECT_EQ(client.ServerClock(), 9000);

    // A second KCreate fails, yet clears both counters all the same.
    EXPECT_GT(client.GetAllSendCount(), 0);
    EXPECT_EQ(client.KCreate(), -1);
    EXPECT_EQ(client.GetAllSendCount(), 0);
    EXPECT_EQ(client.GetAllRecvCount(), 0);
    EXPECT_TRUE(client.IsConnect());
}

TEST_F(SocketClientTest, PacketSentTwiceCarriesTwoSequenceFieldsAndThePeerReadsTheFirst) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    CTestClient client;
    Connect(client, server.Port());
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
    CSilentServer server;
    ASSERT_TRUE(server.Start());
    CTestClient client;
    Connect(client, server.port);
    clock.Advance(15000);
    EXPECT_GT(client.GetAllSendCount(), 0);  // the keep-alive went out
    const int afterOne = client.GetAllSendCount();
    clock.Advance(15000);
    EXPECT_EQ(client.GetAllSendCount(), 2 * afterOne);
    // Our own keep-alives are not received data: at 42 s of silence the tick closes.
    clock.Advance(11000);
    EXPECT_TRUE(client.IsConnect());
    EXPECT_EQ(client.closes, 0);
    clock.Advance(3000);
    EXPECT_FALSE(client.IsConnect());
    EXPECT_EQ(client.closes, 1);
}

TEST_F(SocketClientTest, ClockGoingBackDoesNotClose) {
    CSilentServer server;
    ASSERT_TRUE(server.Start());
    CTestClient client;
    Connect(client, server.port);
    clock.SetUnixMs(clock.UnixMs() - 3600 * 1000);
    clock.Advance(30000);
    EXPECT_TRUE(client.IsConnect());
}

TEST_F(SocketClientTest, CreateTwiceFailsAndLeavesTheSocket) {
    CTestClient client;
    ASSERT_EQ(client.KCreate(), 0);
    const int handle = client.Handle();
    EXPECT_EQ(client.KCreate(), -1);
    EXPECT_EQ(client.Handle(), handle);
    EXPECT_EQ(client.KConnect(QStringLiteral("no-such-host.invalid"), 1), -1);
    EXPECT_FALSE(client.IsCreated());
}

TEST_F(SocketClientTest, RefusedConnectCallsCloseNotConnect) {
    unsigned port = 0;
    {
        CSilentServer gone;
        ASSERT_TRUE(gone.Start());
        port = gone.port;
    }
    CTestClient client;
    ASSERT_EQ(client.KCreate(), 0);
    ASSERT_EQ(client.KConnect(QStringLiteral("127.0.0.1"), static_cast<int>(port)), 0);
    ASSERT_TRUE(WaitUntil([&] { return client.closes == 1; }));
    EXPECT_EQ(client.connects, 0);
    EXPECT_FALSE(client.IsConnect());
    // It can be created and connected again.
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    Connect(client, server.Port());
}

TEST_F(SocketClientTest, SixPacketsOutOfSequenceDropTheRestOfTheRead) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    CTestClient client;
    Connect(client, server.Port());
    ASSERT_TRUE(server.WaitForPeers(1));
    QByteArray burst;
    for (int i = 1; i <= 7; ++i) {
        CKParam p = Packet(452);
        p.SetInt(KEY_SEQUENCE, i * 10);
        burst += BuildFrame(kTcpFrame, 0, p.GetBufferPtr(), p.GetLength());
    }
    server.LastPeer().KSend(burst.constData(), static_cast<int>(burst.size()));
    ASSERT_TRUE(WaitUntil([&] { return client.got.size() >= 5; }));
    Spin(std::chrono::milliseconds(50));
    EXPECT_EQ(client.got.size(), 5u);
    EXPECT_TRUE(client.IsConnect());
    // The next read starts over: an in-sequence packet after the last delivered one.
    CKParam next = Packet(452);
    next.SetInt(KEY_SEQUENCE, 51);
    QByteArray frame = BuildFrame(kTcpFrame, 0, next.GetBufferPtr(), next.GetLength());
    server.LastPeer().KSend(frame.constData(), static_cast<int>(frame.size()));
    ASSERT_TRUE(WaitUntil([&] { return client.got.size() == 6; }));
}

TEST_F(SocketClientTest, PeerCloseAfterSendingStillDeliversThenClosesOnce) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    CTestClient client;
    Connect(client, server.Port());
    ASSERT_TRUE(server.WaitForPeers(1));
    CKParam last = Packet(670);
    server.LastPeer().KSend(last);
    server.LastPeer().KClose();
    ASSERT_TRUE(WaitUntil([&] { return client.closes == 1; }));
    ASSERT_EQ(client.got.size(), 1u);
    EXPECT_EQ(client.got[0].Command(), 670);
    Spin(std::chrono::milliseconds(30));
    EXPECT_EQ(client.closes, 1);
}

TEST_F(SocketClientTest, SendsFromAnotherThreadAreWholeAndNumbered) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    CTestClient client;
    Connect(client, server.Port());
    constexpr int kEach = 300;
    std::thread worker([&] {
        for (int i = 0; i < kEach; ++i) {
            CKParam p = Packet(460);
            const QByteArray payload(200, 'v');
            p.SetChar(80, payload.constData(), 200);
            while (client.KSend(p) == 1) {
                p.Release();
                p.SetShortInt(KEY_COMMAND, 460);
                p.SetChar(80, payload.constData(), 200);
                std::this_thread::yield();
            }
        }
    });
    for (int i = 0; i < kEach; ++i) {
        CKParam p = Packet(450);
        while (client.KSend(p) == 1) {
            p.Release();
            p.SetShortInt(KEY_COMMAND, 450);
            QCoreApplication::processEvents();
        }
    }
    worker.join();
    ASSERT_TRUE(WaitUntil(
        [&] { return server.Received(460).size() + server.Received(450).size() >= 2u * kEach; }));
    // Every frame arrived whole (its check value matched) and numbering had no gap.
    std::vector<int> sequences;
    for (const auto& p : server.LastPeer().received) {
        CKParam packet;
        p.Load(packet);
        if (packet.Command() != CMD_KEEPALIVE) {
            sequences.push_back(packet.IntOr(KEY_SEQUENCE, 0));
        }
    }
    ASSERT_EQ(sequences.size(), 2u * kEach);
    std::sort(sequences.begin(), sequences.end());
    for (size_t i = 0; i < sequences.size(); ++i) {
        EXPECT_EQ(sequences[i], static_cast<int>(i) + 1);
    }
}

}  // namespace
