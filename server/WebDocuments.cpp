#include "server/WebDocuments.h"

#include <QRegularExpression>
#include <QStringList>

#include <QXmlStreamWriter>
#include <algorithm>

namespace {

// The configuration's links, each pointing at a page of this service.
const char* const kPageLinks[] = {
    "ROOM_ADDRESS",      "REGISTER",       "BUY_ROOM",        "HELP",           "MASTER_MANAGE",
    "SUB_MASTER_MANAGE", "BUY_TAVO_MONEY", "EXPEND_DETAIL",   "DISTRIBUTE_AD",  "AD_HALL_BOTTOM",
    "AD_ROOM_TOP",       "AD_ROOM_LEFT1",  "AD_ROOM_LEFT2",   "GIFT",           "STAMP",
    "MAGIC_PORP",        "SUPER_MEMBER",   "FREE_BUILD_ROOM", "SITE_LOGO",      "USER_ZONE",
    "REG_VIP",           "USER_INFO",      "HALL_CASE_LIST",  "HALL_ROOM_LIST", "SPEAKER",
    "ORDERLIST",         "CMD_ACTION",     "USER_HEAD",       "NEW_GIFT",       "FREE_FACE",
    "MUSIC_LIST",        "COLOR_TEXT",     "USER_GIFT",       "HALL_HOME_PAGE", "PAY_ENTERROOM",
    "ALERT_AD",          "GAME",           "MINI_USERINFO",
};

tagWebDocument Xml(QByteArray body) {
    return {200, "text/xml; charset=utf-8", std::move(body)};
}

}  // namespace

CWebDocuments::CWebDocuments(CStore& store, const IRoomDirectory& rooms,
                             const tagServerConfig& config)
    : m_store(store), m_rooms(rooms), m_config(config) {}

QString CWebDocuments::BaseUrl() const {
    return QStringLiteral("http://%1:%2").arg(m_config.publicHost).arg(m_config.webPort);
}

tagWebDocument CWebDocuments::Render(const QString& rawPath, const QUrlQuery& query) {
    const QString path = rawPath.toLower();
    if (path == QLatin1String("/config.xml") || path == QLatin1String("/")) {
        return Xml(ConfigDocument());
    }
    static const QRegularExpression area(QStringLiteral("^/list/area([1-4])\\.xml$"));
    static const QRegularExpression rooms(QStringLiteral("^/list/(?:room)?(\\d{1,9})\\.xml$"));
    if (auto m = area.match(path); m.hasMatch()) {
        return Xml(AreaDocument(m.captured(1).toInt()));
    }
    if (auto m = rooms.match(path); m.hasMatch()) {
        return Xml(RoomDocument(m.captured(1).toInt()));
    }
    if (path == QLatin1String("/list/room.xml") || path == QLatin1String("/list/rooms.xml")) {
        const QString id = query.hasQueryItem(QStringLiteral("area"))
                               ? query.queryItemValue(QStringLiteral("area"))
                               : query.queryItemValue(QStringLiteral("id"));
        bool ok = false;
        const int areaId = id.toInt(&ok);
        if (!id.isEmpty() && (!ok || areaId < 0)) {
            return {400, "text/plain", "bad area\n"};
        }
        return Xml(RoomDocument(ok ? areaId : 0));
    }
    if (path == QLatin1String("/page/hall_case_list") || path == QLatin1String("/page/user_head")) {
        return AccountPage(path.mid(6), query);
    }
    if (path == QLatin1String("/page/ad_hall_bottom")) {
        // The hall's advertisement strip: one quiet line rather than the page's bare name.
        return {200, "text/html; charset=utf-8",
                QStringLiteral("<html><head><meta charset=\"utf-8\"><title>ad_hall_bottom</title>"
                               "</head><body><p align=\"center\">%1</p></body></html>\n")
                    .arg(QStringLiteral("欢迎来到大厅 · 双击房间即可进入"))
                    .toUtf8()};
    }
    if (path.startsWith(QLatin1String("/page/"))) {
        const QString name = path.mid(6).toHtmlEscaped();
        QByteArray body = "<html><head><meta charset=\"utf-8\"><title>" + name.toUtf8() +
                          "</title></head><body><p>" + name.toUtf8() + "</p></body></html>\n";
        return {200, "text/html; charset=utf-8", body};
    }
    return {404, "text/plain", "not found\n"};
}

tagWebDocument CWebDocuments::AccountPage(const QString& name, const QUrlQuery& query) {
    // The hall points these panels at the page with the account's name in u; the page greets
    // it and leads to the service's help.
    const QString user =
        query.queryItemValue(QStringLiteral("u"), QUrl::FullyDecoded).left(64).toHtmlEscaped();
    const QString greeting =
        user.isEmpty() ? QStringLiteral("欢迎光临") : QStringLiteral("你好, %1").arg(user);
    QString body = QStringLiteral(
                       "<html><head><meta charset=\"utf-8\"><title>%1</title></head><body>"
                       "<p><b>%2</b></p>")
                       .arg(name.toHtmlEscaped(), greeting);
    if (name == QLatin1String("hall_case_list")) {
        body +=
            QStringLiteral("<p>%1</p><p><a href=\"/page/help\">%2</a></p>")
                .arg(QStringLiteral("今日推荐房间请在左侧分区中查找."), QStringLiteral("使用帮助"));
    }
    body += QStringLiteral("</body></html>\n");
    return {200, "text/html; charset=utf-8", body.toUtf8()};
}

QByteArray CWebDocuments::ConfigDocument() {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("TAVO"));
    xml.writeStartElement(QStringLiteral("SERVER"));
    xml.writeTextElement(QStringLiteral("IP"), m_config.publicHost);
    xml.writeTextElement(QStringLiteral("PORT"), QString::number(m_config.infoPort));
    xml.writeTextElement(QStringLiteral("TCPPORT"), QString::number(m_config.hallPort));
    xml.writeTextElement(QStringLiteral("LASTVERSION"), QString::number(m_config.lastVersion));
    xml.writeTextElement(QStringLiteral("FIP"), m_config.publicHost);
    xml.writeTextElement(QStringLiteral("FPORT"), QString::number(m_config.routePort));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("ABOUTLINK"));
    const QString base = BaseUrl();
    for (const char* link : kPageLinks) {
        xml.writeTextElement(QString::fromLatin1(link),
                             base + QStringLiteral("/page/") + QString::fromLatin1(link).toLower());
    }
    xml.writeTextElement(QStringLiteral("AREA_ROOM_LIST"), base + QStringLiteral("/list/room.xml"));
    for (int list = 1; list <= 4; ++list) {
        xml.writeTextElement(QStringLiteral("AREA_NAME"), QStringLiteral("area%1").arg(list));
    }
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("SWITCH"));
    xml.writeTextElement(QStringLiteral("VISITOR_OP"), QStringLiteral("1"));
    xml.writeTextElement(QStringLiteral("MIC_ORDER_COLOR"), QStringLiteral("0"));
    xml.writeTextElement(QStringLiteral("BE_GIVEN_MIC_CONFIRM"), QStringLiteral("0"));
    xml.writeTextElement(QStringLiteral("ENABLE_VIRTUAL_USER"), QStringLiteral("0"));
    xml.writeTextElement(QStringLiteral("ENABLE_STAMP_SEAL"), QStringLiteral("0"));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

QByteArray CWebDocuments::AreaDocument(int list) {
    const std::vector<tagArea> areas = m_store.Areas(list);
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("Root"));
    // One edition reads its first two lists from other element names; both are given.
    QStringList names{QStringLiteral("Area")};
    if (list == 1) {
        names << QStringLiteral("Favor");
    } else if (list == 2) {
        names << QStringLiteral("Region");
    }
    for (const QString& name : names) {
        xml.writeStartElement(name);
        xml.writeAttribute(QStringLiteral("count"), QString::number(areas.size()));
        for (const tagArea& a : areas) {
            xml.writeStartElement(QStringLiteral("Item"));
            xml.writeAttribute(QStringLiteral("id"), QString::number(a.id));
            xml.writeCharacters(a.name);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

QByteArray CWebDocuments::RoomDocument(int area) {
    std::vector<tagRoomRecord> rooms = m_store.Rooms(area);
    rooms.erase(std::remove_if(rooms.begin(), rooms.end(),
                               [](const tagRoomRecord& r) { return !r.listed; }),
                rooms.end());
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("Root"));
    xml.writeStartElement(QStringLiteral("Room"));
    xml.writeAttribute(QStringLiteral("count"), QString::number(rooms.size()));
    for (const tagRoomRecord& r : rooms) {
        xml.writeStartElement(QStringLiteral("Item"));
        xml.writeAttribute(QStringLiteral("id"), QString::number(r.number));
        xml.writeAttribute(
            QStringLiteral("state"),
            RoomStateText(m_rooms.Occupancy(r.number), r.maxMembers, !r.password.isEmpty()));
        xml.writeAttribute(QStringLiteral("isp"), r.isp);
        xml.writeCharacters(r.name);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}
