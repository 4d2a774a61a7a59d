#pragma once
// One member inside a room as the room server keeps it: who it is, its rank, its two
// connections and what the room's managers have forbidden it.

#include "server/ServerPeer.h"

#include <QString>
#include <QStringList>

#include <cstdint>

struct CRoomMember {
    QString id;  // account name, or the visitor name the hall gave
    QString nickname;
    int number = 0;  // account number, or the visitor's number
    int rank = 10;
    bool registered = false;
    bool seniorOperator = false;
    bool hidden = false;
    // A mic guard: nobody behind it.
    bool guard = false;
    QString entryText;  // the member's own arrival text
    int entryEffect = 0;
    int entryVip = 0;
    // Until when the member may send faces: registered members always may, visitors never.
    int64_t faceEndsAt = 0;
    int room = 0;

    IServerPeer* main = nullptr;
    IServerPeer* second = nullptr;
    int keyA = 0;  // entry keys the second connection must show
    int keyB = 0;

    bool typingForbidden = false;
    bool grabForbidden = false;
    int64_t lastTextMs = -1;
    int videoState = 0;    // the member's video sending state (request 620)
    int reportTicket = 0;  // given with the report information; a report must show it
    QStringList watchers;  // who may have the member's private picture (request 610)
    QString watching;      // whose private picture the member has
};
