#include "server/RoomChange.h"

bool AnnounceChange(tagRoomRequest& r, const tagChangeRule& rule, const ChangeStep& change,
                    const AnnounceStep& announce) {
    if (r.member->rank < rule.rank) {
        r.Refuse(r.member->registered ? REFUSE_FORBIDDEN : rule.visitorRefusal);
        return false;
    }
    if (const int refusal = change ? change() : 0) {
        r.Refuse(refusal);
        return false;
    }
    r.Answer();
    if (announce) {
        if (const std::optional<CKParam> announcement = announce()) {
            r.room->Broadcast(*announcement);
        }
    }
    return true;
}
