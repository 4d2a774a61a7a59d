#pragma once
// Keys of the file transfer between a private pair, on the direct link or through the service.
// Types: s text, i int, h short, b bool, c bytes.
//
// Offsets and sizes are 64-bit numbers carried as two ints, the low 32 bits and the high ones,
// so a file may be larger than 2 GiB.

#include "protocol/Commands.h"

#include <algorithm>

// The file transfer's commands: what a link hands over, the transfer takes and the service
// passes on.
inline constexpr short kFileCommands[] = {CMD_FILE_BEGIN, CMD_FILE_DATA, CMD_FILE_ACK,
                                          CMD_FILE_END,   CMD_FILE_DONE, CMD_FILE_CANCEL};
inline bool IsFileCommand(short code) {
    return std::ranges::count(kFileCommands, code) > 0;
}

namespace FileKey {
enum : short {
    ID = 20,           // i  the transfer, chosen by the sender
    NAME = 30,         // c  FILE_BEGIN: the file's name in UTF-8, without any folder
    SIZE_LOW = 40,     // i  FILE_BEGIN: the file's size
    SIZE_HIGH = 41,    // i
    OFFSET_LOW = 50,   // i  FILE_DATA: where the bytes go; FILE_ACK: bytes received in order
    OFFSET_HIGH = 51,  // i
    BYTES = 60,        // c  FILE_DATA: the bytes
    RESEND = 70,       // b  FILE_ACK: bytes after the offset were lost, send again from it
    SHA256 = 80,       // c  FILE_END: the digest of the whole file, 32 bytes
    RESULT = 90,       // i  FILE_DONE: 0 the file was kept, otherwise why not (EFileOutcome)
    BY_SENDER = 100,   // b  FILE_CANCEL: the sending side gave up (else the receiving side)
    SENDER = 110,      // s  the member the service relayed the packet from
};
}
