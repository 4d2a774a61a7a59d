#include "platform/AsyncSocket.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tavotest;

namespace {

class CEvents : public CAsyncSocket {
public:
    int connectError = -1;
    int closeError = -1;
    int receives = 0;
    int sends = 0;
    QByteArray data;

protected:
    void OnConnect(int error) override { connectError = error; }
    void OnClose(int error) override { closeError = error; }
    void OnSend(int) override { ++sends; }
    void OnReceive(int) override {
        ++receives;
        char buf[65536];
        int n;
        while ((n = Receive(buf, sizeof buf)) > 0) {
            data.append(buf, n);
        }
    }
};

class CListener : public CAsyncSocket {
public:
    std::vector<std::unique_ptr<CEvents>> accepted;
    unsigned port = 0;
    bool Start() {
        QString address;
        return Create(0, FD_ACCEPT, QStringLiteral("127.0.0.1")) && Listen() &&
               GetSockName(address, port);
    }

protected:
    void OnAccept(int) override {
        auto s = std::make_unique<CEvents>();
        if (Accept(*s)) {
            accepted.push_back(std::move(s));
        }
    }
};

TEST(AsyncSocket, ConnectSendReceiveAndPeerClose) {
    CListener listener;
    ASSERT_TRUE(listener.Start());
    CEvents client;
    ASSERT_TRUE(client.Create());
    const bool immediate = client.Connect(QStringLiteral("localhost"), listener.port);
    EXPECT_TRUE(immediate || CAsyncSocket::GetLastError() == WSAEWOULDBLOCK);
    ASSERT_TRUE(
        WaitUntil([&] { return client.connectError == 0 && listener.accepted.size() == 1; }));

    ASSERT_EQ(client.Send("hello", 5), 5);
    CEvents& server = *listener.accepted[0];
    ASSERT_TRUE(WaitUntil([&] { return server.data == "hello"; }));

    QString peer;
    unsigned peerPort = 0;
    ASSERT_TRUE(server.GetPeerName(peer, peerPort));
    EXPECT_EQ(peer, QStringLiteral("127.0.0.1"));

    client.Close();
    ASSERT_TRUE(WaitUntil([&] { return server.closeError == 0; }));
    Spin(std::chrono::milliseconds(20));
    EXPECT_EQ(server.closeError, 0);
}

TEST(AsyncSocket, RefusedConnectReportsTheSystemsNumber) {
    unsigned port = 0;
    {
        CListener gone;
        ASSERT_TRUE(gone.Start());
        port = gone.port;
    }
    CEvents client;
    ASSERT_TRUE(client.Create());
    client.Connect(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(WaitUntil([&] { return client.connectError != -1; }));
    EXPECT_EQ(client.connectError, WSAECONNREFUSED);
}

TEST(AsyncSocket, UnknownHostAndUnopenedSocketFailAtOnce) {
    CEvents client;
    EXPECT_FALSE(client.Connect(QStringLiteral("127.0.0.1"), 1));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAENOTSOCK);
    ASSERT_TRUE(client.Create());
    EXPECT_FALSE(client.Connect(QStringLiteral("no-such-host.invalid"), 80));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAHOST_NOT_FOUND);
}

TEST(AsyncSocket, FullSendBufferWouldBlockThenNotifiesWhenWritable) {
    CListener listener;
    ASSERT_TRUE(listener.Start());
    CEvents client;
    ASSERT_TRUE(client.Create());
    client.Connect(QStringLiteral("127.0.0.1"), listener.port);
    ASSERT_TRUE(
        WaitUntil([&] { return client.connectError == 0 && listener.accepted.size() == 1; }));
    client.SetBufferSizes(4096, 4096);
    // The server does not read while we fill the pipe (its notifications are switched off).
    listener.accepted[0]->AsyncSelect(0);
    const QByteArray chunk(65536, 'x');
    int blocked = 0;
    for (int i = 0; i < 10000 && !blocked; ++i) {
        if (client.Send(chunk.constData(), static_cast<int>(chunk.size())) < 0) {
            blocked = CAsyncSocket::GetLastError();
        }
    }
    ASSERT_EQ(blocked, WSAEWOULDBLOCK);
    EXPECT_EQ(client.sends, 0);
    listener.accepted[0]->AsyncSelect(FD_ALL_EVENTS);
    EXPECT_TRUE(WaitUntil([&] { return client.sends > 0; }, std::chrono::seconds(10)));
}

}  // namespace
