#pragma once
// What the hall and the web side need to know about the rooms the room servers host.

#include <QString>

class IRoomDirectory {
public:
    virtual ~IRoomDirectory() = default;
    // Where a room lives: false when no room server hosts it.
    virtual bool RoomAddress(int room, QString& host, unsigned& mainPort) const = 0;
    // Members inside the room now.
    virtual int Occupancy(int room) const = 0;
    // The room server a new room goes to.
    virtual int PlaceNewRoom() const { return 1; }
};

// The state text shown after a room's name in the hall's lists: the live occupancy over the
// room's capacity, marked when the room is locked.
inline QString RoomStateText(int occupancy, int capacity, bool locked) {
    return QStringLiteral("[%1/%2]%3")
        .arg(occupancy)
        .arg(capacity)
        .arg(locked ? QStringLiteral("锁") : QString());
}
