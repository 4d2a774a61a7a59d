#pragma once
// Keys of the remote trace channel.
// Types: s text, i int, h short, b bool, c bytes.

// 1100, a log line; the log server answers with a command word and two keys beside it.
namespace LogLineKey {
enum : short {
    CODE = 11,        // i  the line's code
    LENGTH = 20,      // i  bytes of the text
    TEXT = 30,        // c  "<tag>:<message>" in the ANSI code page
    WORD = 200,       // c  received: the command word
    WORD_ARG1 = 210,  //    received beside the word; not read
    WORD_ARG2 = 220,  //    received beside the word; not read
};
}
