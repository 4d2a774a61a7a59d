#pragma once
// The documents of the web side, built from the database and the live rooms:
//   /config.xml                   the server configuration document (SERVER, ABOUTLINK, SWITCH)
//   /list/area1.xml ... area4.xml the four area documents (Area layout)
//   /list/room<area>.xml          the rooms of one area (Room layout), also /list/<area>.xml and
//                                 /list/room.xml?area=<area>; /list/rooms.xml lists every room
//   /page/<name>                  the small pages the configuration's links point at; the
//                                 case list and the user's head greet the account named in u
// Paths are matched without regard to letter case.

#include "server/RoomDirectory.h"
#include "server/ServerConfig.h"
#include "server/Store.h"

#include <QByteArray>
#include <QString>
#include <QUrlQuery>

struct tagWebDocument {
    int status = 404;
    QByteArray mimeType;
    QByteArray body;
};

class CWebDocuments {
public:
    CWebDocuments(CStore& store, const IRoomDirectory& rooms, const tagServerConfig& config);

    tagWebDocument Render(const QString& path, const QUrlQuery& query);

    QByteArray ConfigDocument();
    QByteArray AreaDocument(int list);
    // area 0: every room.
    QByteArray RoomDocument(int area);

private:
    QString BaseUrl() const;
    // The pages of the hall's account panels (case list, user's head).
    tagWebDocument AccountPage(const QString& name, const QUrlQuery& query);

    CStore& m_store;
    const IRoomDirectory& m_rooms;
    const tagServerConfig& m_config;
};
