// The web side over real HTTP: the configuration document points at this service, and the
// directory documents are built from the database with the rooms' live occupancy.

#include "protocol/Commands.h"
#include "tests/server/ServerHarness.h"
#include "tests/support/TestSupport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

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

// Element name -> text of every child of the named parents, as a client reads them.
std::map<QString, QString> Children(const QByteArray& xml, const QString& parent) {
    std::map<QString, QString> out;
    QXmlStreamReader r(xml);
    bool inside = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == parent) {
            inside = true;
        } else if (r.isEndElement() && r.name() == parent) {
            inside = false;
        } else if (inside && r.isStartElement()) {
            const QString name = r.name().toString();
            out[name] = r.readElementText();
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return out;
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

}  // namespace

TEST(WebSide, TheConfigurationDocumentPointsAtThisService) {
    CServiceHarness h;
    const Fetched f = Get(h.Service().WebPort(), QStringLiteral("/config.xml"));
    ASSERT_EQ(f.status, 200);
    EXPECT_TRUE(f.type.startsWith(QStringLiteral("text/xml")));
    const tagServerConfig& c = h.Service().Config();
    auto server = Children(f.body, QStringLiteral("SERVER"));
    EXPECT_EQ(server[QStringLiteral("IP")], QStringLiteral("127.0.0.1"));
    EXPECT_EQ(server[QStringLiteral("PORT")].toUInt(), c.infoPort);
    EXPECT_EQ(server[QStringLiteral("TCPPORT")].toUInt(), c.hallPort);
    EXPECT_EQ(server[QStringLiteral("LASTVERSION")].toInt(), c.lastVersion);
    auto links = Children(f.body, QStringLiteral("ABOUTLINK"));
    const QString roomList = links[QStringLiteral("AREA_ROOM_LIST")];
    EXPECT_TRUE(
        roomList.startsWith(QStringLiteral("http://127.0.0.1:%1/").arg(h.Service().WebPort())));
    // Every link leads to a page that is there.
    const QString help = QUrl(links[QStringLiteral("HELP")]).path();
    EXPECT_EQ(Get(h.Service().WebPort(), help).status, 200);
    auto switches = Children(f.body, QStringLiteral("SWITCH"));
    EXPECT_EQ(switches.count(QStringLiteral("VISITOR_OP")), 1u);

    // The client finds the area documents next to the room list: folder, "/", name, ".XML".
    const QString folder = QUrl(roomList).path().section(QLatin1Char('/'), 0, -2);
    const Fetched area = Get(h.Service().WebPort(), folder + QStringLiteral("/area1.XML"));
    ASSERT_EQ(area.status, 200);
    const auto areas = Items(area.body, QStringLiteral("Area"));
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[0].id, QStringLiteral("1"));
    EXPECT_EQ(areas[0].name, QStringLiteral("音乐广场"));
    // The edition that reads other element names finds the same items.
    EXPECT_EQ(Items(area.body, QStringLiteral("Favor")).size(), 2u);
    EXPECT_EQ(Get(h.Service().WebPort(), QStringLiteral("/nothing/here")).status, 404);
}

TEST(WebSide, RoomDocumentsShowTheLiveOccupancyAndLeaveUnlistedRoomsOut) {
    CServiceHarness h;
    auto rooms = [&] {
        return Items(Get(h.Service().WebPort(), QStringLiteral("/list/2.XML")).body,
                     QStringLiteral("Room"));
    };
    auto before = rooms();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0].id, QStringLiteral("1003"));
    EXPECT_EQ(before[0].name, QStringLiteral("密室"));
    EXPECT_EQ(before[0].state, QStringLiteral("[0/50]锁"));
    EXPECT_EQ(before[1].state, QStringLiteral("[0/3]"));

    auto a = h.Enter(1004, QStringLiteral("a"), QString(), QStringLiteral("M-1"));
    auto b = h.Enter(1004, QStringLiteral("b"), QString(), QStringLiteral("M-2"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(rooms()[1].state, QStringLiteral("[2/3]"));

    auto music = Items(Get(h.Service().WebPort(), QStringLiteral("/list/room.xml?area=1")).body,
                       QStringLiteral("Room"));
    ASSERT_EQ(music.size(), 2u);
    EXPECT_EQ(music[0].isp, QStringLiteral("电信"));

    auto record = h.Service().Store().Room(1003);
    record->listed = false;
    ASSERT_TRUE(h.Service().Store().UpdateRoom(*record));
    ASSERT_EQ(rooms().size(), 1u);
    EXPECT_EQ(rooms()[0].id, QStringLiteral("1004"));
    EXPECT_EQ(Get(h.Service().WebPort(), QStringLiteral("/list/room.xml?area=x")).status, 400);
}
