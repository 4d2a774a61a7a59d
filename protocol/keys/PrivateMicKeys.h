#pragma once
// Keys of the private microphones and the microphone handle. One namespace per packet;
// packets of one layout share it through an alias.
// Types: s text, i int, h short, b bool, c bytes.

// 1010, take a private microphone.
namespace PrivateMicKey {
enum : short {
    CONFIRM = 20,  // b  the confirmation the user chose in the microphone menu
};
}

// 1020, visit a member's private microphone.
namespace VisitPrivateMicKey {
enum : short {
    MEMBER = 20,   // s  the holder
    VISITOR = 30,  // s  the user
};
}

// 1050, send a member off the private microphone.
namespace SendOffPrivateMicKey {
enum : short {
    MEMBER = 20,  // s
};
}

// 1070, hand the microphone handle to a member.
namespace HandHandleKey {
enum : short {
    MEMBER = 20,  // s
};
}

// 1072, the handle was handed.
namespace HandleHandedKey {
enum : short {
    TO = 20,  // s  the member who holds the handle now
    BY = 30,  // s
};
}

// 1012, a member took a private microphone; 1022 (visited), 1042 (released) and 1052 (sent
// off) name the member the same way.
namespace PrivateMicChangedKey {
enum : short {
    MEMBER = 20,  // s
};
}
namespace PrivateMicVisitedKey = PrivateMicChangedKey;
namespace PrivateMicReleasedKey = PrivateMicChangedKey;
namespace SentOffPrivateMicKey = PrivateMicChangedKey;

// 1031, the private-microphone notice.
namespace PrivateMicNoticeKey {
enum : short {
    STATUS = 20,  // i
    TEXT = 30,    // s  shown as a system line
};
}
