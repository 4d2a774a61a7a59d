#pragma once
// Keys of recording and playing out video files.
// Types: s text, i int, h short, b bool, c bytes.

// What a charge pays for.
enum : int {
    RECORD_CHARGE_PLAYOUT = 1,  // a recording played out into the room
    RECORD_CHARGE_OTHER = 3,    // recording another member's picture
};

// 490, charge one period of a paid recording or play-out.
namespace RecordChargeKey {
enum : short {
    KIND = 20,  // i  RECORD_CHARGE_*
};
}

// 491, the charge's reply (result and refusal as every reply). The figures come with a
// refusal too, so that the user can be told what is missing.
namespace RecordChargeReplyKey {
enum : short {
    PERIOD = 40,   // i  seconds one charge pays for
    COST = 50,     // i  the price of a period, in hundredths
    BALANCE = 60,  // i  the balance after this charge, in hundredths
};
}
