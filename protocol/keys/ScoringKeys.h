#pragma once
// Keys of the scoring activity. One namespace per packet.
// Types: s text, i int, b bool.

// 900, start or end the activity.
namespace ActivityKey {
enum : short {
    ON = 20,     // b  the new activity state
    TITLE = 30,  // s
};
}

// 902, an activity was organised or ended.
namespace ActivityOrganisedKey {
enum : short {
    BY = 20,     // s
    ON = 30,     // b
    TITLE = 40,  // s
};
}

// 930, put a member up for scoring.
namespace ScoreRequestKey {
enum : short {
    MEMBER = 20,  // s
};
}

// 935, a scoring round starts.
namespace ScoringMemberKey {
enum : short {
    BY = 20,      // s  who started the round
    MEMBER = 30,  // s  who is scored
};
}

// 937, the user's score for the member of the round.
namespace ScoreSubmitKey {
enum : short {
    MEMBER = 20,  // s
    SCORE = 30,   // i  0 to 5
};
}

// 950, the round's result.
namespace ScoringResultKey {
enum : short {
    MEMBER = 20,   // s
    AVERAGE = 30,  // s  the average as text
    COUNT = 40,    // i  how many scored
};
}

// 920, the activity ended with its ranking.
namespace ActivityEndedKey {
enum : short {
    BY = 20,           // s  empty when the room has no owner
    MARK_WINNER = 30,  // b
    TEXT_40 = 40,      // s
    COUNT = 50,        // i  n
    FIRST_ENTRY = 60,  // s  60 to 60 + n - 1: "identifier,score", best first
};
}
