#pragma once
// Keys of room administration: requests and their announcements. One namespace per packet;
// packets of one layout share it through an alias.
// Types: s text, i int, h short, b bool, c bytes.

// 250, change the own nickname.
namespace NicknameKey {
enum : short {
    NICKNAME = 20,  // s
};
}

// 252, a nickname changed.
namespace NicknameChangedKey {
enum : short {
    MEMBER = 20,    // s
    NICKNAME = 30,  // s
};
}

// 280, change the room topic.
namespace TopicKey {
enum : short {
    TOPIC = 20,  // s
};
}

// 282, the topic changed.
namespace TopicChangedKey {
enum : short {
    BY = 20,     // s
    TOPIC = 30,  // s
};
}

// 300, allow or forbid public text.
namespace PublicTextControlKey {
enum : short {
    ALLOW = 20,  // i  1 allow, 0 forbid
};
}

// 302, public text allowed or forbidden.
namespace PublicTextChangedKey {
enum : short {
    BY = 20,     // s
    ALLOW = 30,  // b
};
}

// 310, lock or unlock the room.
namespace LockRoomKey {
enum : short {
    LOCK = 20,      // i  1 lock, 0 unlock
    PASSWORD = 30,  // s
};
}

// 312, the room was locked or unlocked.
namespace RoomLockChangedKey {
enum : short {
    BY = 20,      // s
    LOCKED = 30,  // i  1 locked, 0 unlocked
};
}

// 315, allow or forbid video.
namespace VideoControlKey {
enum : short {
    ALLOW = 20,  // i  1 allow, 0 forbid
    WHICH = 30,  // i  1 video 1, 2 video 2, 0 all video
};
}

// 317, video allowed or forbidden.
namespace VideoControlChangedKey {
enum : short {
    BY = 20,     // s
    ALLOW = 30,  // i  1 allowed, 0 forbidden
    WHICH = 40,  // i  1 video 1, 2 video 2, 0 all video
};
}

// 330, kick a member.
namespace KickKey {
enum : short {
    MEMBER = 20,  // s
    REASON = 30,  // s
};
}

// 332, a member was kicked.
namespace KickedKey {
enum : short {
    MEMBER = 20,  // s
    BY = 30,      // s
    REASON = 40,  // s
};
}

// 340, forbid or allow a member to type, and 342, its announcement; 350 and 352 do the
// same for grabbing the microphone.
namespace TypeControlKey {
enum : short {
    ALLOW = 20,   // i  0 forbid, 1 allow
    MEMBER = 30,  // s
    BY = 40,      // s  announcement only
};
}
namespace GrabControlKey = TypeControlKey;

// 360, force a member's nickname.
namespace ForceNicknameKey {
enum : short {
    MEMBER = 20,    // s
    NICKNAME = 30,  // s
};
}

// 362, a nickname was forced.
namespace NicknameForcedKey {
enum : short {
    MEMBER = 20,    // s
    BY = 30,        // s
    NICKNAME = 40,  // s
};
}

// 370, ban a member.
namespace BanKey {
enum : short {
    MEMBER = 20,     // s
    HOURS = 30,      // i  99: a quiet ban
    NUMBER_40 = 40,  // i  passed on in the announcement
    REASON = 50,     // s
};
}

// 372, a member was banned.
namespace BannedKey {
enum : short {
    MEMBER = 20,     // s
    BY = 30,         // s
    NUMBER_40 = 40,  // i  BanKey::NUMBER_40
    HOURS = 50,      // i
    REASON = 60,     // s
};
}

// 380, change a member's operator rank; RankChangedKey announces it.
namespace OpControlKey {
enum : short {
    MEMBER = 20,  // s
    CHANGE = 30,  // i  1 make operator, 0 remove, 10 make senior, 20 remove senior
};
}

// 560, report the room.
namespace ReportKey {
enum : short {
    TICKET = 20,  // i  the ticket the report information (681) gave
    TEXT = 30,    // s  what the user reports
};
}

// 681, the room's report information.
namespace ReportInfoKey {
enum : short {
    TICKET = 30,  // i  sent back as key 20 of the report
    TEXT = 40,    // s  what the room's service says about reports
};
}

// 820, the room's name changed.
namespace RoomNameChangedKey {
enum : short {
    BY = 20,    // s
    NAME = 30,  // s
};
}

// 830, video allowed or forbidden for one member.
namespace VideoPermissionKey {
enum : short {
    MEMBER = 20,  // s
    ALLOW = 30,   // b
    REASON = 40,  // s
};
}

// 840, the room was disabled while members are inside.
namespace RoomDisabledKey {
enum : short {
    REASON = 20,  // s
    UNTIL = 30,   // i  seconds since 1970
    BY = 40,      // s
};
}
