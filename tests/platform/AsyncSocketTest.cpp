#include "platform/AsyncSocket.h"
#include "platform/SocketPoll.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace tavotest;

namespace {

// A raw socket that records its notifications; the far end is the loopback server.
class CEvents : public CAsyncSocket {
public:
    int connectError = -1;
    int sends = 0;

protected:
    void OnConnect(int error) override { connectError = error; }
    void OnSend(int) override { ++sends; }
};

// Each case runs with a notifier per socket and with the thread's one epoll set.
class AsyncSocket : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) {
            m_poll = CSocketPoll::ForThisThread();
        }
    }
    std::shared_ptr<CSocketPoll> m_poll;
};

TEST_P(AsyncSocket, RefusedUnknownAndUnopenedConnectsReportTheSystemsNumbers) {
    unsigned port = 0;
    {
        CLoopbackServer gone;
        ASSERT_TRUE(gone.Start());
        port = gone.Port();
    }
    CEvents refused;
    ASSERT_TRUE(refused.Create());
    refused.Connect("127.0.0.1", port);
    ASSERT_TRUE(WaitUntil([&] { return refused.connectError != -1; }));
    EXPECT_EQ(refused.connectError, WSAECONNREFUSED);

    CEvents client;
    EXPECT_FALSE(client.Connect("127.0.0.1", 1));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAENOTSOCK);
    ASSERT_TRUE(client.Create());
    EXPECT_FALSE(client.Connect("no-such-host.invalid", 80));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAHOST_NOT_FOUND);
}

// A frame cut short by a full socket is finished when the socket says it has room again.
TEST_P(AsyncSocket, ConnectsSendsUntilTheBufferIsFullIsToldWhenWritableAndCloses) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    CEvents client;
    ASSERT_TRUE(client.Create());
    const bool immediate = client.Connect("localhost", server.Port());
    EXPECT_TRUE(immediate || CAsyncSocket::GetLastError() == WSAEWOULDBLOCK);
    ASSERT_TRUE(WaitUntil([&] { return client.connectError == 0 && server.PeerCount() == 1; }));
    client.SetBufferSizes(4096, 4096);
    // The server does not read while we fill the pipe (its notifications are switched off).
    server.LastPeer().AsyncSelect(0);
    const QByteArray chunk(65536, 'x');
    int blocked = 0;
    for (int i = 0; i < 10000 && !blocked; ++i) {
        if (client.Send(chunk.constData(), static_cast<int>(chunk.size())) < 0) {
            blocked = CAsyncSocket::GetLastError();
        }
    }
    ASSERT_EQ(blocked, WSAEWOULDBLOCK);
    EXPECT_EQ(client.sends, 0);
    server.LastPeer().AsyncSelect(FD_ALL_EVENTS);
    EXPECT_TRUE(WaitUntil([&] { return client.sends > 0; }, std::chrono::seconds(10)));
    client.Close();
    EXPECT_TRUE(server.LastPeer().WaitClosed());
}

INSTANTIATE_TEST_SUITE_P(Notifiers, AsyncSocket, ::testing::Values(false, true));

// Accepted connections that report what they read.
class CAccepting : public CAsyncSocket {
public:
    class CPeer : public CAsyncSocket {
    public:
        std::function<void()> onReceive;
        int received = 0;

    protected:
        void OnReceive(int) override {
            char buffer[64];
            received += Receive(buffer, sizeof buffer);
            if (onReceive) {
                onReceive();
            }
        }
    };
    std::vector<std::unique_ptr<CPeer>> peers;

protected:
    void OnAccept(int) override {
        auto peer = std::make_unique<CPeer>();
        if (Accept(*peer)) {
            peers.push_back(std::move(peer));
        }
    }
};

TEST(SocketPoll, ASocketDeletedByAnotherReadyInTheSameWakeUpIsNotToldOfIt) {
    const auto poll = CSocketPoll::ForThisThread();
    CAccepting server;
    ASSERT_TRUE(server.Create(0, FD_ALL_EVENTS, "127.0.0.1"));
    ASSERT_TRUE(server.Listen());
    QString address;
    unsigned port = 0;
    ASSERT_TRUE(server.GetSockName(address, port));
    CRawClient clients[2];
    for (CRawClient& client : clients) {
        ASSERT_TRUE(client.Open(port));
    }
    ASSERT_TRUE(WaitUntil([&] { return server.peers.size() == 2; }));
    int told = 0;
    for (size_t i = 0; i < 2; ++i) {
        server.peers[i]->onReceive = [&, other = 1 - i] {
            ++told;
            server.peers[other].reset();
        };
    }
    // Both become readable before the event loop looks: one wake-up reports both.
    for (CRawClient& client : clients) {
        client.Write("ab");
    }
    Spin(std::chrono::milliseconds(100));
    EXPECT_EQ(told, 1);
    const bool firstLeft = server.peers[0] != nullptr;
    ASSERT_NE(firstLeft, server.peers[1] != nullptr);
    EXPECT_EQ(server.peers[firstLeft ? 0 : 1]->received, 2);
}

}  // namespace
