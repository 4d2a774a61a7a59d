#pragma once
// Keys of gifts and stamps.
// Types: s text, i int, h short, b bool, c bytes.

// 391, the gift reply.
namespace GiftReplyKey {
enum : short {
    KIND = 31,  // h  10: the reply answers a stamp
};
}
