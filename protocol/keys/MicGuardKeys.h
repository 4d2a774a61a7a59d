#pragma once
// Keys of the mic-guard enter packet (10131), sent by a guard's own connection.
// Types: s text, i int, b bool.

namespace GuardEnterKey {
enum : short {
    NICKNAME = 20,  // s
    ROOM = 40,      // i
    FLAG_50 = 50,   // b  false
    FLAG_60 = 60,   // b  false
    ADDRESS = 70,   // s  "0.0.0.0"
};
}
