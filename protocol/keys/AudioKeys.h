#pragma once
// Keys of voice transport. One namespace per packet.
// Types: s text, i int, h short, b bool, c bytes.

// 460, one encoded block of voice.
namespace AudioKey {
enum : short {
    MIC = 20,      // i  1 main microphone, 2 second; always 1 from the private chat
    QUALITY = 30,  // i  1 hi-fi, 2 singing, 3 speech
    PAYLOAD = 40,  // c  the encoded block; may be empty
    METER = 50,    // i  the block's meter value, 1 to 20
    SENDER = 60,   // s  the sender's identifier
    ROOM = 70,     // i  the room; the relaying server adds it
};
}

// 500, change the room's sound quality.
namespace QualityKey {
enum : short {
    QUALITY = 20,  // i  1 hi-fi, 2 singing, 3 speech
};
}

// 502, the room's sound quality changed.
namespace QualityChangedKey {
enum : short {
    BY = 20,       // s
    QUALITY = 30,  // i  1 hi-fi, 2 singing, 3 speech
};
}

// 232, the server forbids or allows receiving sound.
namespace AudioControlChangedKey {
enum : short {
    BY = 20,     // s
    ALLOW = 30,  // i  1 allowed, 0 forbidden
};
}
