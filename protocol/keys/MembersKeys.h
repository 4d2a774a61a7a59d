#pragma once
// Keys of the room's member commands: the member record an arrival carries, departures, the
// member list, rank changes and the side list. One namespace per packet.
// Types: s text, i int, h short, b bool, c bytes.

// 130, a member entered: the member record. Values the client only stores are named by their
// type and key.
namespace ArrivalKey {
enum : short {
    ID = 20,                // s  account identifier, the key of every lookup
    NICKNAME = 30,          // s
    RANK = 40,              // i  rank code
    REGISTERED = 50,        // b  the member has an account
    LISTED_FIRST = 60,      // b  comes before the others of its list
    FLAG_70 = 70,           // b
    ENTRY_TEXT = 80,        // s  personal entry text ("$某某人$", "$某某房间$")
    FLAG_90 = 90,           // b
    TEXT_100 = 100,         // s
    ACCOUNT_NUMBER = 110,   // i  the account's number
    HIDDEN = 120,           // b  no arrival or departure line
    TEXT_130 = 130,         // s
    NUMBER_140 = 140,       // i
    NUMBER_150 = 150,       // i
    NUMBER_160 = 160,       // i
    NUMBER_170 = 170,       // i
    NUMBER_180 = 180,       // i
    NUMBER_190 = 190,       // i
    SENIOR_OPERATOR = 200,  // i  non-zero: a senior operator
    NUMBER_210 = 210,       // i
    NUMBER_220 = 220,       // i
    ENTRY_PICTURE = 230,    // i  the entry picture's number
    NUMBER_240 = 240,       // i  editions 50 and 70
    SHORT_250 = 250,        // h  editions 50 and 70
    SHORT_260 = 260,        // h  editions 50 and 70
    SHORT_270 = 270,        // h  editions 50 and 70
    FACE_END = 280,         // i  seconds since 1970 after which faces are refused
    SHORT_290 = 290,        // h  editions 50 and 70
    SHORT_300 = 300,        // h  2 when absent
    VIP_PICTURE = 310,      // h  the VIP entry picture's number
    ON_PRIVATE_MIC = 320,   // b  the member holds a private microphone
};
}

// 170, a member left.
namespace DepartureKey {
enum : short {
    MEMBER = 20,  // s
};
}

// 181, the member list.
namespace MemberListReplyKey {
enum : short {
    COUNT = 30,         // i  members n
    FIRST_MEMBER = 31,  // s  n member texts from here, fields separated by commas
};
}

// 382, a member's operator rank changed.
namespace RankChangedKey {
enum : short {
    MEMBER = 20,  // s
    CHANGE = 30,  // i  1 made operator, 0 removed, 10 made senior, 20 senior removed
    BY = 40,      // s  who changed it
};
}

// 1060, the side list.
namespace SideListKey {
enum : short {
    COUNT = 20,          // i  members n
    FIRST_MEMBER = 100,  // s  n identifiers from here
};
}
