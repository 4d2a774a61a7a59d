// The web side over real HTTP: the directory documents are built from the database with the
// rooms' live occupancy, and requests that are not what a browser sends are refused.

#include "protocol/Commands.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iostream>
#include <map>

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

struct Item {
    QString id;
    QString state;
    QString isp;
    QString name;
};

std::vector<Item> Items(const QByteArray& xml, const QString& element) {
    std::vector<Item> out;
    QXmlStreamReader r(xml);
    bool inside = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == element) {
            inside = true;
        } else if (r.isEndElement() && r.name() == element) {
            inside = false;
        } else if (inside && r.isStartElement() && r.name() == QLatin1String("Item")) {
            Item item;
            item.id = r.attributes().value(QLatin1String("id")).toString();
            item.state = r.attributes().value(QLatin1String("state")).toString();
            item.isp = r.attributes().value(QLatin1String("isp")).toString();
            item.name = r.readElementText();
            out.push_back(item);
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return out;
}

// A field of /proc/PID/status in kilobytes (VmRSS, VmHWM), -1 when unreadable.
qint64 StatusKb(qint64 pid, const char* field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QRegularExpression line(QStringLiteral("^%1:\\s+(\\d+) kB").arg(QLatin1String(field)),
                                  QRegularExpression::MultilineOption);
    const auto m = line.match(QString::fromLatin1(status.readAll()));
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

// Sends the head and then up to `more` bytes of filling on a blocking socket, as a client that
// never reads would; stops when the service stops taking bytes for a second or ends the
// connection. Returns the bytes of filling the service took.
qint64 Push(int port, const QByteArray& head, qint64 more) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval second{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &second, sizeof second);
    qint64 sent = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, head.constData(), static_cast<size_t>(head.size()), MSG_NOSIGNAL) ==
            head.size()) {
        const QByteArray chunk(1 << 20, 'a');
        while (sent < more) {
            const ssize_t n =
                ::send(fd, chunk.constData(), static_cast<size_t>(chunk.size()), MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            sent += n;
        }
    }
    ::close(fd);
    return sent;
}

}  // namespace

TEST(WebSide, AnOversizedRequestLeavesTheServiceMemoryAsItWas) {
    CServiceProcess service(QStringLiteral(TAVO_SERVERD));
    ASSERT_TRUE(service.Running()) << service.Output().toStdString();
    const qint64 pid = service.Pid();
    // Writing 5 here starts the peak afresh, so the peak below belongs to this test alone.
    QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    ASSERT_TRUE(clear.open(QIODevice::WriteOnly) && clear.write("5") == 1);
    clear.close();
    const qint64 before = StatusKb(pid, "VmRSS");
    ASSERT_GT(before, 0);

    constexpr qint64 kMB = 1 << 20;
    const qint64 body = Push(service.WebPort(),
                             "POST /config.xml HTTP/1.1\r\nHost: t\r\n"
                             "Content-Length: 2147483648\r\n\r\n",
                             128 * kMB);
    const qint64 header = Push(service.WebPort(), "GET /config.xml HTTP/1.1\r\nX-Pad: ", 64 * kMB);
    Spin(std::chrono::milliseconds(200));
    const qint64 peak = StatusKb(pid, "VmHWM");
    const qint64 after = StatusKb(pid, "VmRSS");
    std::cout << "service memory: " << before << " kB before, peak " << peak << " kB, " << after
              << " kB after; it took " << body / 1024 << " kB of the body and " << header / 1024
              << " kB of the header\n";
    EXPECT_LT(peak - before, 4 * 1024);
    // Nothing it would refuse was read in whole.
    EXPECT_LT(body, 128 * kMB);
    EXPECT_LT(header, 64 * kMB);
}

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
    auto rooms = [&] { return Items(Get(h.Service().WebPort(), "/list/2.XML").body, "Room"); };
    auto before = rooms();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0].id, "1003");
    EXPECT_EQ(before[0].name, "密室");
    EXPECT_EQ(before[0].state, "[0/50]锁");
    EXPECT_EQ(before[1].state, "[0/3]");

    auto a = h.Enter(1004, "a", QString(), "M-1");
    auto b = h.Enter(1004, "b", QString(), "M-2");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(rooms()[1].state, "[2/3]");

    auto music = Items(Get(h.Service().WebPort(), "/list/room.xml?area=1").body, "Room");
    ASSERT_EQ(music.size(), 2u);
    EXPECT_EQ(music[0].isp, "电信");

    auto record = h.Service().Store().Room(1003);
    record->listed = false;
    ASSERT_TRUE(h.Service().Store().UpdateRoom(*record));
    ASSERT_EQ(rooms().size(), 1u);
    EXPECT_EQ(rooms()[0].id, "1004");
    EXPECT_EQ(Get(h.Service().WebPort(), "/list/room.xml?area=x").status, 400);
}
