#pragma once
// Keys of chat text. One namespace per packet.
// Types: s text, i int, h short, b bool, c bytes.

// 450, send a line.
namespace TextKey {
enum : short {
    TARGET = 20,   // s  the member a private line goes to
    LINE = 30,     // s  the whole line as an HTML fragment
    PRIVATE = 40,  // i  1 private, 0 public
    TEXT = 50,     // s  the text alone, faces converted
};
}

// 452, a line to show.
namespace TextLineKey {
enum : short {
    SENDER = 20,   // s
    TARGET = 21,   // s
    LINE = 30,     // s  the whole line as an HTML fragment
    PRIVATE = 40,  // i  1 private, 0 public
};
}

// 780, a text notice.
namespace TextNoticeKey {
enum : short {
    TEXT = 20,  // s  an HTML fragment
};
}
