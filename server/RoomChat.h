#pragma once
// Chat text (450): public lines to everybody else in the room, private lines to one member,
// both checked against the room's forbidden texts, its public-text switch, the member's typing
// ban and the shortest interval between two lines. What is checked is the line the members
// will see (key 30), read as they will see it, and its length in the bytes the wire carries.

#include "server/RoomServer.h"

class CRoomChat : public CRoomFeature {
public:
    explicit CRoomChat(CRoomServer& server);

    // The first string of a comma-separated list found in the text (any letter case), or empty.
    static QString ForbiddenHit(const QString& text, const QString& list);
    // What a chat view shows of an HTML line: the text between the tags, comments left out,
    // character references read. A "<" that no ">" closes stays text.
    static QString VisibleText(const QString& html);

private:
    void OnText(tagRoomRequest& r);
};
