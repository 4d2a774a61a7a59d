#pragma once
// Chat text (450): public lines to everybody else in the room, private lines to one member,
// both checked against the room's forbidden texts, its public-text switch, the member's typing
// ban and the shortest interval between two lines.

#include "server/RoomServer.h"

class CRoomChat : public CRoomFeature {
public:
    explicit CRoomChat(CRoomServer& server);

    // The first string of a comma-separated list found in the text (any letter case), or empty.
    static QString ForbiddenHit(const QString& text, const QString& list);

private:
    void OnText(tagRoomRequest& r);
};
