#pragma once
// Keys of video. One namespace per packet.
// Types: s text, i int, h short, b bool, c bytes.

// 470, one video frame.
namespace VideoKey {
enum : short {
    SLOT = 20,       // i  1 video 1, 2 video 2, 0 private viewers only
    ONE = 30,        // i  always 1
    KEY_FRAME = 40,  // b
    FRAME = 50,      // c  the codec's frame packet, byte for byte
    SENDER = 60,     // s  the sender's identifier
    ROOM = 70,       // i  the room; the relaying server adds it
    VIEWERS = 80,    // s  slot 0: the private viewers, comma-separated; otherwise empty
};
}

// 620, set the own video sending state, and 622, its announcement.
namespace VideoStateKey {
enum : short {
    STATE = 20,   // i
    MEMBER = 30,  // s  announcement only
};
}
