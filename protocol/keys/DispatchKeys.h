#pragma once
// Keys of the room's own notices.
// Types: s text, i int, h short, b bool, c bytes.

// 614, a timed notice.
namespace TimedNoticeKey {
enum : short {
    STATUS = 20,  // i  0; anything else is no notice
    TEXT = 30,    // s
};
}
