#pragma once
// The room directory documents the hall loads from the web. Two layouts exist: area lists
// ("Area", or "Favor" and "Region" in edition 10) whose items are an id and a name, and room
// lists ("Room") whose items are a room number, a state, a line ("isp") and the room's name.
// A page that is empty or not XML gives no entries at all.

#include <QString>

#include <functional>
#include <vector>

struct tagAreaItem {
    int id = 0;
    QString name;
};

struct tagRoomItem {
    int room = 0;
    QString name;
    QString state;
    QString isp;
};

// Items of the named elements; items without a name are skipped. False (and no items) when the
// text is empty or not well-formed.
bool ParseAreaDocument(const QString& text, const QString& elementName,
                       std::vector<tagAreaItem>& items);
bool ParseRoomDocument(const QString& text, std::vector<tagRoomItem>& items);

// The element name of an area list's kind (1 to 4) in an edition.
QString AreaElementName(int kind, int edition);

// The longest prefix of name whose drawn width, with the drawn width of state, fits the column.
using TextWidthFn = std::function<int(const QString&)>;
QString CutToWidth(const QString& name, const QString& state, int columnWidth,
                   const TextWidthFn& width);
// The name cut so that name and state together take at most limit characters.
QString CutToLength(const QString& name, const QString& state, int limit);

// The address of the room-list document of an area: beside the area documents, named by the
// area's id.
QString RoomListDocumentAddress(const QString& roomListAddress, int areaId);
