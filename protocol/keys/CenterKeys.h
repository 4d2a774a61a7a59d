#pragma once
// Keys of the hall (center) server's requests and replies. One namespace per packet; the
// result and refusal keys every reply shares are in protocol/KParam.h.
// Types: s text, i int, h short, b bool, c bytes.

// Every hall request names the client with these three, after its own keys.
namespace IdentityKey {
enum : short {
    TEXT = 104,     // s  the text the server-information reply gave (its key 12)
    NUMBER = 105,   // i  the number the server-information reply gave (its key 13)
    ADAPTER = 106,  // s  the machine's adapter address, "XX-XX-XX-XX-XX-XX"
};
}

// The requests that name the account carry these two: presence, quit, user information, entry
// information, room list, own rooms, favourites, room creation, logout and the acknowledgement
// of 770.
namespace AccountKey {
enum : short {
    NAME = 20,    // s  the login name; the visitor name where a visitor may ask
    NUMBER = 30,  // i  the user number, -1 before any login
};
}

// 3110, the server-information reply.
namespace ServerInfoReplyKey {
enum : short {
    IDENTITY_TEXT = 12,    // s  becomes IdentityKey::TEXT of every hall request
    IDENTITY_NUMBER = 13,  // i  becomes IdentityKey::NUMBER
    CENTER_HOST = 30,      // s  the hall server's host
    SERVER_PORT = 40,      // i  the port of the second route
    TCP_PORT = 50,         // i  the hall server's port
};
}

// 2, the version reply.
namespace VersionReplyKey {
enum : short {
    NEWEST = 30,  // i  the newest client version
};
}

// 37, visitor presence.
namespace VisitorKey {
enum : short {
    NICKNAME = 20,  // s  the configured visitor nickname
};
}

// 36, the visitor reply.
namespace VisitorReplyKey {
enum : short {
    NAME = 30,    // s  the visitor name the hall gave this client
    NUMBER = 40,  // i  the user number
    VALUE = 50,   // i  kept by the application
};
}

// 42, login.
namespace LoginKey {
enum : short {
    LENGTH = 20,       // i  characters of the credential text
    CREDENTIALS = 30,  // c  the enciphered credential block
    NUMBER = 40,       // i  the user number, -1 before any login
};
}

// 41, the login reply.
namespace LoginReplyKey {
enum : short {
    NUMBER = 30,  // i  the account's number
    NAME = 40,    // s  the account's own spelling of its name
};
}

// 52, logout; AccountKey comes first.
namespace LogoutKey {
enum : short {
    VISITOR_NICKNAME = 40,  // s  the nickname of the visitor the client becomes
};
}

// 51, the logout reply.
namespace LogoutReplyKey {
enum : short {
    VISITOR_NAME = 30,  // s  the new visitor name
};
}

// 61, the user-information reply.
namespace UserInfoReplyKey {
enum : short {
    NAME = 30,         // s  account name
    NICKNAME = 31,     // s
    SIGNATURE = 32,    // s
    NUMBER = 33,       // i  account number
    CREATED = 34,      // s  the day the account was made
    LAST_LOGIN = 35,   // s  time of the last login
    OWN_ROOMS = 36,    // s  how many rooms the account owns
    MONEY = 37,        // i
    LEVEL = 38,        // i
    LOGIN_COUNT = 39,  // i
};
}

// 77, room-entry information; AccountKey comes first.
namespace EntryInfoKey {
enum : short {
    EFFECT = 40,  // i  the entry picture
    VIP = 50,     // i  the VIP entry picture
};
}

// 81, the user's room list.
namespace RoomListReplyKey {
enum : short {
    COUNT = 30,      // i  rows n
    FIRST_ROW = 31,  // s  n rows from here, "room,name,state"
};
}

// 86, the user's own rooms: a count at COUNT and that many room numbers after it, then the
// second list's count and its room numbers. A room number at key k has its mark at
// k + MARK_OFFSET.
namespace OwnRoomsReplyKey {
enum : short {
    COUNT = 30,          // i  rooms of the first list
    MARK_OFFSET = 9970,  // i  the mark of the room whose number is MARK_OFFSET keys before
};
}

// 92, add a room to the favourites; AccountKey comes first.
namespace AddFavoriteKey {
enum : short {
    ROOM = 40,  // i
};
}

// 32, where a room lives.
namespace RoomAddressKey {
enum : short {
    ROOM = 20,  // i
};
}

// 31, the room-address reply.
namespace RoomAddressReplyKey {
enum : short {
    ROOM = 30,  // i
    PORT = 70,  // i  the room server's main port
    HOST = 80,  // s  the room server's host
};
}

// 1101, the hall sends the client to a room.
namespace RoomAddressPushKey {
enum : short {
    ROOM = 30,     // i
    ADDRESS = 40,  // s  "host:port"
    LINE = 50,     // s  the room's line text
};
}

// 871, the room formats.
namespace RoomFormatsReplyKey {
enum : short {
    COUNT = 30,         // i  formats n
    FIRST_FORMAT = 40,  // s  n formats from here, "code,name,description,"
};
}

// 642, create one's own room; AccountKey comes first.
namespace CreateRoomKey {
enum : short {
    NAME = 40,      // s
    AREA = 50,      // i  the area's id
    PASSWORD = 60,  // s  empty: not locked
    FORMAT = 70,    // i  the format's code
    LISTED = 80,    // b  shown in the hall's lists
};
}

// 641, the room-creation reply.
namespace CreateRoomReplyKey {
enum : short {
    ROOM = 30,  // i  the new room's number
};
}

// 770, the account has logged in elsewhere.
namespace LoggedElsewhereKey {
enum : short {
    NAME = 20,  // s  the account
};
}
