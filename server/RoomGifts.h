#pragma once
// Gifts and stamps (390): a registered member gives a gift of the catalogue to another member
// of the room; the price leaves the giver's balance and part of it reaches the recipient and
// the room's owner, and the whole room hears of it (392) with the animation to play.

#include "server/GiftStore.h"
#include "server/RoomServer.h"

#include <optional>

// Who gives or receives a gift.
struct tagGiftParty {
    QString id;
    int number = 0;  // the account, when registered
    bool registered = false;
};

// One gift given, in a room or in a private room: the checks, the money moved in the store and
// the reply to the giver. Returns the announcement to send, or nothing once a refusal went back
// to the giver. recipient is null when the request names nobody the gift may go to; owner is
// the account that takes a share (0 for none).
std::optional<CKParam> GiveGift(CStore& store, CGiftStore& gifts, tagRoomRequest& r,
                                const tagGiftParty& giver, const tagGiftParty* recipient,
                                int owner);

class CRoomGifts : public CRoomFeature {
public:
    explicit CRoomGifts(CRoomServer& server);

private:
    void OnGive(tagRoomRequest& r);

    CGiftStore m_gifts;
};
