#pragma once
// Keys of gifts and stamps.
// Types: s text, i int, h short, b bool, c bytes.

// Kinds a give request and its announcement carry.
enum : short {
    GIFT_KIND_GIFT = 0,
    GIFT_KIND_STAMP = 10,
};

// 390, give a gift or put a stamp.
namespace GiveGiftKey {
enum : short {
    RECIPIENT = 20,  // s
    GIFT = 30,       // i  gift number, or the stamp number
    QUANTITY = 40,   // h  1 for a stamp
    KIND = 50,       // h  GIFT_KIND_*
};
}

// 391, the gift reply.
namespace GiftReplyKey {
enum : short {
    KIND = 31,  // h  10: the reply answers a stamp
};
}

// 392, a gift was given: everybody in the room hears it.
namespace GiftGivenKey {
enum : short {
    GIVER = 20,              // s
    GIFT = 30,               // i
    KIND = 31,               // h  GIFT_KIND_*
    QUANTITY = 32,           // h  1 when absent
    NAME = 35,               // s
    VALUE = 40,              // i  hundredths of the money unit, for the whole gift
    RECIPIENT = 50,          // s
    MARK = 60,               // i  0: none
    ANIMATION = 70,          // s  a picture path or an address of the service
    WIDTH = 80,              // i  pixels
    HEIGHT = 90,             // i
    SECONDS = 100,           // i  how long the animation stays
    OPTIONS = 110,           // i
    GIVER_DEBIT = 200,       // i  taken from the giver's balance
    RECIPIENT_CREDIT = 210,  // i
    THIRD = 220,             // s
    THIRD_CREDIT = 221,      // i
    FOURTH = 230,            // s
    FOURTH_CREDIT = 231,     // i
};
}
