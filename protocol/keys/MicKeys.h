#pragma once
// Keys of the microphone order: requests, the queue and the announcements. One namespace per
// packet; packets of one layout share it through an alias.
// Types: s text, i int, h short, b bool, c bytes.

// 221, the microphone queue.
namespace MicQueueReplyKey {
enum : short {
    COUNT = 30,         // i  members n
    FIRST_MEMBER = 31,  // s  n identifiers from here, in queue order
};
}

// 270, change the microphone time.
namespace MicTimeKey {
enum : short {
    SECONDS = 20,  // i
};
}

// 272, the microphone time changed.
namespace MicTimeChangedKey {
enum : short {
    BY = 20,       // s
    SECONDS = 30,  // i
};
}

// 290, change the microphone mode.
namespace MicModeKey {
enum : short {
    MODE = 20,    // i  0 grab, 1 queue, 2 operator
    FORCED = 30,  // i  1: the forced queue
};
}

// 292, the microphone mode changed.
namespace MicModeChangedKey {
enum : short {
    BY = 20,      // s
    MODE = 30,    // i  0 grab, 1 queue, 2 operator
    FORCED = 40,  // i  1: the forced queue
};
}

// 320, reorder the queue.
namespace QueueControlKey {
enum : short {
    UP = 20,      // i  1 move the member up, 0 take it out
    MEMBER = 30,  // s
};
}

// 322, the queue was reordered by a manager.
namespace QueueChangedKey {
enum : short {
    MEMBER = 20,  // s
    UP = 30,      // i  1 moved up, otherwise taken out
    BY = 40,      // s
};
}

// 325, allow or forbid the second microphone.
namespace SecondMicControlKey {
enum : short {
    ALLOW = 20,  // i  1 allow, 0 forbid
    WHICH = 30,  // i  1 main, 2 second, 3 both
};
}

// 327, the second-microphone control changed.
namespace SecondMicControlChangedKey {
enum : short {
    BY = 20,     // s
    ALLOW = 30,  // i  1 allowed, 0 forbidden
    WHICH = 40,  // i  1 main, 2 second, 3 both
};
}

// 400, hand the main microphone to a member; 410 hands the second one the same way.
namespace HandMicKey {
enum : short {
    MEMBER = 20,  // s
};
}
namespace HandSecondMicKey = HandMicKey;

// 403, take a microphone back.
namespace TakeBackMicKey {
enum : short {
    MEMBER = 20,  // s
};
}

// 600, extend a member's turn.
namespace ExtendMicKey {
enum : short {
    MEMBER = 20,  // s
};
}

// 402, the main microphone was handed to a member; 405 (taken back), 412 (second microphone
// handed) and 602 (turn extended) name the member and the actor the same way.
namespace MicHandedKey {
enum : short {
    MEMBER = 20,   // s
    BY = 30,       // s
    FLAG_40 = 40,  // b
};
}
namespace MicTakenBackKey = MicHandedKey;
namespace SecondMicHandedKey = MicHandedKey;
namespace MicExtendedKey = MicHandedKey;

// 422, a member joined the queue or moved from it to a microphone.
namespace QueueJoinedKey {
enum : short {
    MEMBER = 20,  // s
    WHERE = 30,   // h  0 waits in the queue, 1 main microphone, 2 second microphone
};
}

// 430, a member took a microphone; an empty holder frees it.
namespace MicTakenKey {
enum : short {
    HOLDER = 20,      // s  the member now on the microphone
    WHICH = 30,       // h  1 main, 2 second
    FROM_QUEUE = 40,  // h  1 when the queue handed it over
};
}

// 442, the main microphone was released.
namespace MicReleasedKey {
enum : short {
    HOLDER = 20,  // s  who held it
};
}
