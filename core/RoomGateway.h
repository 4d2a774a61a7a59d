#pragma once
// The seam between the hall and the room. The hall window owns the room side for the whole
// run but knows it only through IRoomEntry; the room side reaches back only through
// IHallServices. The programs wire the two together, so neither library includes the other's
// classes.

#include <QString>

class CKParam;

// What the hall asks of the room side.
class IRoomEntry {
public:
    virtual ~IRoomEntry() = default;
    // The hall's WM_HALL_ROOM: wParam 0 the room window closed, 1 enter room lParam,
    // 2 enter the private room with peer lParam.
    virtual void OnRoomMessage(unsigned wParam, long lParam) = 0;
    // The hall's WM_HALL_RETRY_ENTRY: run the entry request again (pay flag, typed password).
    virtual void OnRetryEntry(bool pay) = 0;
    // Replies that reach the hall's reply handler but belong to the entry: 31 (room address)
    // and 120 (user verified).
    virtual void OnRoomAddress(CKParam& reply) = 0;
    virtual void OnUserVerified(CKParam& packet) = 0;
    // The hall's timer 30 (verification) fired.
    virtual void OnVerifyTimeout() = 0;
    virtual bool IsRoomOpen() const = 0;
    virtual bool IsPrivateRoomOpen() const = 0;
};

// What the room side asks of the hall.
class IHallServices {
public:
    virtual ~IHallServices() = default;
    // Request 32 for a room, on the hall's center connection.
    virtual void RequestRoomAddress(int room) = 0;
    // The hall's status window: a text, or hidden when empty.
    virtual void SetHallStatus(const QString& text) = 0;
    virtual void ShowHall(bool show) = 0;
    // Starts or stops the hall's verification timer (id 30, 30 s).
    virtual void StartVerifyTimer(bool start) = 0;
    // Opens the login (from a refusal that asks the user to log in first).
    virtual void OpenLogin() = 0;
    // Posts a message to the hall window (WM_HALL_ROOM, WM_HALL_RETRY_ENTRY).
    virtual void PostToHall(unsigned msg, unsigned wParam, long lParam) = 0;
};
