#pragma once
// Keys of video. One namespace per packet.
// Types: s text, i int, h short, b bool, c bytes.

// 80, the frame packet the video sender produces for every encoded picture; it also travels
// whole inside key 50 of 470.
namespace VideoFrameKey {
enum : short {
    WIDTH = 16,   // h  the picture's width in pixels: 176 small, 352 large
    KEY = 25,     // b  the frame decodes by itself
    NUMBER = 26,  // i  the sender's running frame number, one more per frame
    DATA = 30,    // c  the encoded H.264 data of the frame
};
}

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

// 240, open the own video.
namespace VideoRequestKey {
enum : short {
    OPEN = 20,  // i  1
};
}

// 241, the reply to 240.
namespace VideoRequestReplyKey {
enum : short {
    RESULT = 20,   // i  -1 refused
    REFUSAL = 21,  // i
    SLOT = 30,     // i  the video slot the member holds now, 0 none
    ALLOWED = 40,  // i  1 while the room allows video
};
}

// 610, watch a member's video privately.
namespace WatchKey {
enum : short {
    MEMBER = 20,  // s  the member to watch
};
}

// 611, the reply to 610.
namespace WatchReplyKey {
enum : short {
    RESULT = 20,   // i  -1 refused
    REFUSAL = 21,  // i
    MEMBER = 30,   // s  the member now watched
};
}

// 612, a member asks to watch the user's video.
namespace WatchAskedKey {
enum : short {
    VIEWER = 20,  // s  the member who asks
};
}

// 613, the watched member's answer to 612.
namespace WatchAnswerKey {
enum : short {
    RESULT = 20,   // i  0 the viewer gets the pictures, -1 it cannot
    REFUSAL = 21,  // i  why it cannot
    VIEWER = 30,   // s  the member who asked
};
}

// 615, private watching ended, or the watched member could not take the viewer.
namespace WatchEndedKey {
enum : short {
    RESULT = 20,   // i  0 ended, -1 refused
    REFUSAL = 21,  // i  why it was refused
};
}

// 620, set the own video sending state, and 622, its announcement.
namespace VideoStateKey {
enum : short {
    STATE = 20,   // i  1 a camera others may watch, 0 none
    MEMBER = 30,  // s  announcement only
};
}

// -263, a request of the room server to the video sender.
namespace VideoParamsKey {
enum : short {
    ASK = 20,  // i  1 send a key frame now
};
}
