#pragma once
// Gifts and stamps (390): a registered member gives a gift of the catalogue to another member
// of the room; the price leaves the giver's balance and part of it reaches the recipient and
// the room's owner, and the whole room hears of it (392) with the animation to play.

#include "server/GiftStore.h"
#include "server/RoomServer.h"

class CRoomGifts : public CRoomFeature {
public:
    explicit CRoomGifts(CRoomServer& server);

private:
    void OnGive(tagRoomRequest& r);

    CGiftStore m_gifts;
};
