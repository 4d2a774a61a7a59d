#pragma once
// Keys of private chat: the invitation and its answer in the room, entering the private room
// and what the two members say to each other there. One namespace per packet.
// Types: s text, i int, h short, b bool, c bytes.

// 520, invite a member; 522, an invitation for the user.
namespace InviteKey {
enum : short {
    MEMBER = 20,    // s  520: the invitee; 522: the inviter
    GREETING = 30,  // b  a greeting of at least 0.3 goes with it
    AMOUNT = 40,    // i  the greeting in hundredths, truncated
    REASON = 50,    // s
};
}

// 550, the invitee's answer; 552, that answer as the inviter hears it.
namespace InviteAnswerKey {
enum : short {
    ACCEPTED = 20,  // b
    TEXT = 30,      // s  550: the inviter, or why it was refused; 552: why, or empty
};
}

// 553, the private room is ready.
namespace PrivateReadyKey {
enum : short {
    PEER_NUMBER = 20,  // i  the number the private room is entered with
};
}

// 160, the room is left for the private room.
namespace LeavePrivateKey {
enum : short {
    FLAG = 20,  // b  always false
};
}

// 554, gives up a pending invitation or answer.
namespace PrivateGiveUpKey {
enum : short {
    WHAT = 20,  // i  520 or 550
};
}

// 555, the private room could not be set up.
namespace PrivateFailedKey {
enum : short {
    CODE = 20,  // i  a refusal code
};
}

// 150, enter the private room.
namespace EnterPrivateKey {
enum : short {
    OWN_ID = 20,       // s
    FLAG = 30,         // i  1 registered, 0 visitor
    PEER_NUMBER = 40,  // i  key 20 of 553
};
}

// 151, the private room was entered.
namespace EnterPrivateReplyKey {
enum : short {
    REPORTED_ADDRESS = 30,  // s  the user's address as the service sees it
};
}

// 131, the peer is in the private room.
namespace PeerArrivedKey {
enum : short {
    PEER = 20,              // s
    NICKNAME = 30,          // s
    NUMBER = 40,            // i  the peer's account or visitor number
    REGISTERED = 50,        // b
    VIDEO = 60,             // b  the peer can send video
    LOCAL_ADDRESS = 70,     // s  dotted IPv4
    REPORTED_ADDRESS = 80,  // s  dotted IPv4
};
}

// 191, the peer's information.
namespace PeerInfoKey {
enum : short {
    PEER = 30,              // s
    NICKNAME = 40,          // s
    NUMBER = 50,            // i
    REGISTERED = 60,        // b
    VIDEO = 70,             // b
    LOCAL_ADDRESS = 80,     // s
    REPORTED_ADDRESS = 90,  // s
};
}

// 422, the peer took the microphone to play music; 442, the peer released it.
namespace PeerMusicKey {
enum : short {
    MEMBER = 20,  // s
};
}

// 510, the bandwidth mode; 512, it changed.
namespace BandwidthKey {
enum : short {
    MODE = 20,  // i  BANDWIDTH_*
};
}
namespace BandwidthChangedKey {
enum : short {
    BY = 20,    // s
    MODE = 30,  // i  BANDWIDTH_*
};
}
enum : int { BANDWIDTH_NARROW = 1, BANDWIDTH_BROAD = 10 };

// 480, a screenshot or video control asked of the peer.
namespace SnapshotControlKey {
enum : short {
    KIND = 20,  // i  SNAPSHOT_*
};
}
// A screenshot is paid for from the asker's balance (a short one refuses it); starting and
// ending a recording of the peer's picture cost nothing here, its periods are paid with 490.
enum : int { SNAPSHOT_PICTURE = 1, SNAPSHOT_RECORD = 2, SNAPSHOT_RECORD_END = 3 };

// 633 / 634 / 635 / 636, a file offer and its answers.
namespace FileOfferKey {
enum : short {
    AGREED = 20,  // b
};
}
