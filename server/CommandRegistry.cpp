#include "server/CommandRegistry.h"

#include "protocol/Commands.h"
#include "server/Packets.h"

CKParam tagRequest::Reply() const {
    return MakeReply(ReplyOf(code));
}

CKParam tagRequest::Refusal(int refusal) const {
    return MakeRefusal(ReplyOf(code), refusal);
}

void tagRequest::Answer() const {
    if (const short reply = ReplyOf(code)) {
        peer.Send(MakeReply(reply));
    }
}

void tagRequest::Refuse(int refusal) const {
    if (const short reply = ReplyOf(code)) {
        peer.Send(MakeRefusal(reply, refusal));
    }
}
