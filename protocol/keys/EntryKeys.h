#pragma once
// Keys of the room connection and the entry: room login, the user-verified notice, the entry
// request, the second connection's attach and the room settings. One namespace per packet.
// Types: s text, i int, h short, b bool, c bytes.

// The two configuration keys: sent with the entry requests and, after their own keys, with
// the requests the command table marks CF_CONFIG_KEYS.
namespace ConfigKey {
enum : short {
    HOST = 101,  // s  a server host text from the start-up configuration
    PORT = 102,  // i  the port that goes with it
};
}

// 122, room login; ConfigKey follows ADDRESS.
namespace RoomLoginKey {
enum : short {
    NAME = 20,          // s  the login name, the visitor name when not logged in
    NUMBER = 30,        // i  the user number
    ROOM = 40,          // i
    H264_ENCODER = 50,  // b  an H.264 encoder could be made
    H264_DECODER = 60,  // b  an H.264 decoder could be made
    ADDRESS = 70,       // s  this machine's IPv4 address, dotted
    ADAPTER = 80,       // s  the adapter address the hall requests carry
    NUMBER_90 = 90,     // i  always 100
};
}

// 123, the room-login reply; a refusal for a disabled room says until when and why.
namespace RoomLoginReplyKey {
enum : short {
    DISABLED_UNTIL = 30,  // i  seconds since 1970; below 1: no end given
    DISABLED_WHY = 40,    // s  the reason
    DISABLED_BY = 50,     // s  the person responsible
};
}

// 120, the user is verified.
namespace UserVerifiedKey {
enum : short {
    FAULT = 22,      // i  non-zero: the system is out of order
    NUMBER_23 = 23,  // i  kept by the hall
};
}

// 110, enter the room; ConfigKey follows.
namespace EnterKey {
enum : short {
    PAY = 20,       // b  the user agreed to pay the entry fee
    PASSWORD = 30,  // s  the unlock password, empty unless typed
    OWN_ROOM = 40,  // i  editions 50 and 70: 1 for the user's own or marked rooms
};
}

// 111, the entry reply; a refusal that asks for payment carries the payment's terms.
namespace EnterReplyKey {
enum : short {
    KEY_A = 30,           // i  back as AttachKey::KEY_A
    KEY_B = 40,           // i  back as AttachKey::KEY_B
    SECOND_PORT = 50,     // i  the second room connection's port
    ENTRY_TEXT = 60,      // s  the room's entry message
    SERVER_NAME = 70,     // s  stored
    PAY_80 = 80,          // i  payment refusal: shown by the payment dialog
    SERVER_VERSION = 90,  // i  above 1410, audio packets must name the room
    PAY_100 = 100,        // i  payment refusal: shown by the payment dialog
    PAY_110 = 110,        // s  payment refusal: shown by the payment dialog
    ROOM = 200,           // i  the room's number
};
}

// 650, attach the second room connection.
namespace AttachKey {
enum : short {
    KEY_A = 20,   // i  EnterReplyKey::KEY_A
    OWN_ID = 30,  // s  the user's account identifier in the room
    KEY_B = 40,   // i  EnterReplyKey::KEY_B
};
}

// 210, the room settings.
namespace RoomSettingsReplyKey {
enum : short {
    NAME = 30,                  // s  the room's name ("$某某房间$")
    TOPIC = 40,                 // s
    PROCESS_TEXT = 41,          // s  kept for the whole process
    AREA = 50,                  // i  stored
    MAX_MEMBERS = 60,           // i  stored
    LOCK_STATE = 70,            // i  0 unlocked, 401 locked
    MAIN_HOLDER = 80,           // s  the member on the main microphone
    SECOND_HOLDER = 90,         // s  the member on the second microphone
    MIC_MODE = 100,             // i  0 grab, 1 queue, 2 operator
    FORCED_QUEUE = 101,         // i  1: the forced queue, read in queue mode
    MIC_TIME = 110,             // i  seconds of a turn
    PUBLIC_TEXT = 120,          // b  public text allowed
    VIDEO_ALLOWED = 130,        // b  video in the room is allowed
    DUAL_MIC = 135,             // b  both holders may speak at once
    QUALITY = 140,              // i  the sound quality; stored
    FRAME_RATE_HIFI = 150,      // i  video frames a second with the hi-fi quality (1)
    FRAME_RATE_SINGING = 160,   // i  with the singing quality (2)
    FRAME_RATE_SPEECH = 170,    // i  with the speech quality (3)
    SHOW_TIME = 180,            // b  chat lines show the time
    FLAG_190 = 190,             // b  stored
    NUMBERS_200 = 200,          // i  nine numbers, 200 to 280 every 10; stored
    FORBIDDEN_NICKNAMES = 290,  // s  comma-separated
    FORBIDDEN_TEXTS = 300,      // s  comma-separated
    NUMBER_310 = 310,           // i  stored
    FLAG_330 = 330,             // b  stored
    FLAG_340 = 340,             // b  stored
    SCORE_COST = 350,           // i  what one scoring round costs, hundredths of the currency
    GUARD_QUOTA = 360,          // i  the room allows three times this many mic guards
    FLOOR_HOLDER = 370,         // s  the member holding the microphone handle
};
}
