// The web side over real HTTP: the directory documents are built from the database with the
// rooms' live occupancy, and requests that are not what a browser sends are refused.

#include "hall/Directory.h"
#include "protocol/Commands.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

struct Fetched {
    int status = 0;
    QByteArray body;
    QString type;
};

Fetched Get(unsigned port, const QString& path) {
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(
        QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path))));
    WaitUntil([&] { return reply->isFinished(); });
    Fetched f;
    f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    f.body = reply->readAll();
    f.type = reply->header(QNetworkRequest::ContentTypeHeader).toString();
    reply->deleteLater();
    return f;
}

// A room list as the client's hall reads it.
std::vector<tagRoomItem> Rooms(unsigned port, const QString& path) {
    std::vector<tagRoomItem> items;
    EXPECT_TRUE(ParseRoomDocument(QString::fromUtf8(Get(port, path).body), items))
        << path.toStdString();
    return items;
}

}  // namespace

TEST(WebSide, RefusesBodiesAndLongHeadsAndClosesSilentSlowAndCrowdedConnections) {
    tagServerConfig config = TestServiceConfig();
    config.limits.maxConnectionsPerAddress = 4;
    CServiceHarness h(config);
    const unsigned port = h.Service().WebPort();

    CRawClient body;
    ASSERT_TRUE(body.Open(port));
    body.Write("POST /config.xml HTTP/1.1\r\nContent-Length: 2147483648\r\n\r\n");
    ASSERT_TRUE(WaitUntil([&] { return body.closed; }));
    EXPECT_TRUE(body.received.startsWith("HTTP/1.1 413 ")) << body.received.toStdString();

    CRawClient head;
    ASSERT_TRUE(head.Open(port));
    head.Write("GET /config.xml HTTP/1.1\r\nX-Pad: " + QByteArray(9000, 'a'));
    ASSERT_TRUE(WaitUntil([&] { return head.closed; }));
    EXPECT_TRUE(head.received.startsWith("HTTP/1.1 431 ")) << head.received.toStdString();
    body.Close();
    head.Close();
    Spin(std::chrono::milliseconds(50));

    // One request that trickles in, and more silent connections than one address may hold.
    CRawClient slow;
    ASSERT_TRUE(slow.Open(port));
    slow.Write("GET /config.xml HTTP/1.1\r\n");
    std::vector<std::unique_ptr<CRawClient>> silent;
    for (int i = 0; i < 5; ++i) {
        silent.push_back(std::make_unique<CRawClient>());
        ASSERT_TRUE(silent.back()->Open(port));
    }
    auto closedCount = [&] {
        return std::count_if(silent.begin(), silent.end(), [](auto& c) { return c->closed; });
    };
    EXPECT_TRUE(WaitUntil([&] { return closedCount() == 2; }));
    Spin(std::chrono::milliseconds(50));
    EXPECT_EQ(closedCount(), 2);

    // A line every five seconds keeps nobody alive: the request has a time to be whole in.
    for (int i = 0; i < 3; ++i) {
        h.Pass(std::chrono::seconds(5));
        slow.Write("X-Slow: 1\r\n");
    }
    h.Pass(std::chrono::seconds(2));
    EXPECT_TRUE(WaitUntil([&] { return slow.closed && closedCount() == 5; }));
    EXPECT_FALSE(slow.received.contains("200 OK"));
    // Those who ask properly are still served.
    EXPECT_EQ(Get(port, "/config.xml").status, 200);
}

TEST(WebSide, RoomDocumentsShowTheLiveOccupancyAndLeaveUnlistedRoomsOut) {
    CServiceHarness h;
    auto rooms = [&] { return Rooms(h.Service().WebPort(), "/list/2.XML"); };
    auto before = rooms();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0].room, 1003);
    EXPECT_EQ(before[0].name, "密室");
    EXPECT_EQ(before[0].state, "[0/50]锁");
    EXPECT_EQ(before[1].state, "[0/3]");

    auto a = h.Enter(1004, "a", QString(), "M-1");
    auto b = h.Enter(1004, "b", QString(), "M-2");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(rooms()[1].state, "[2/3]");

    auto music = Rooms(h.Service().WebPort(), "/list/room.xml?area=1");
    ASSERT_EQ(music.size(), 2u);
    EXPECT_EQ(music[0].isp, "电信");

    auto record = h.Service().Store().Room(1003);
    record->listed = false;
    ASSERT_TRUE(h.Service().Store().UpdateRoom(*record));
    ASSERT_EQ(rooms().size(), 1u);
    EXPECT_EQ(rooms()[0].room, 1004);
    EXPECT_EQ(Get(h.Service().WebPort(), "/list/room.xml?area=x").status, 400);
}
