#pragma once
// The window messages of the client's hall and room: what each window posts to itself and what
// the room side posts to the hall. Only the messages one window takes need numbers apart.

enum : unsigned {
    // Closes the window it is posted to: the connect dialog, the hall (quitting).
    WM_CLOSE = 0x0010,

    // The hall window.
    // Runs the room's entry request again: wParam the pay flag (the typed password is kept).
    WM_HALL_RETRY_ENTRY = 1034,
    // The room side: wParam 0 the room window closed, 1 enter room lParam, 2 enter the private
    // room with peer lParam.
    WM_HALL_ROOM = 1357,
    // Opens the login once the current work is done; with wParam 1 only when no login or room
    // is open and the user is not logged in.
    WM_HALL_OPEN_LOGIN = 0x0400 + 42,
    // The quit request is on its way (or could not be sent): the run ends.
    WM_HALL_QUIT_GONE = 0x0400 + 43,

    // The room window.
    // Fetches the member list and the room settings at the end of the initial layout.
    WM_FETCH_ROOM = 1135,
    // The timed notices changed.
    WM_NOTICES_CHANGED = 1136,
    // The capture thread's meter: wParam the meter value, lParam the loud flag.
    WM_ROOM_VOICE_METER = 2025,

    // The private-chat window.
    // Fetches the peer's information.
    WM_PEER_INFO = 1246,
    // The capture thread's meter, as WM_ROOM_VOICE_METER.
    WM_PRIVATE_VOICE_METER = 2026,

    // The room's waiting dialog: ends it with Cancel.
    WM_END_CANCEL = 1469,

    // The room entry: continues off the hall's receive path with the room address and the
    // user-verified notice, and attaches the second connection again after it dropped.
    WM_ROOM_ADDRESS = 1400,
    WM_USER_VERIFIED = 1401,
    WM_REATTACH = 1402,
};
